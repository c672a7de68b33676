#pragma once

#include "acquisition/IqSample.h"
#include "engine/SpectrumEngine.h"
#include "engine/SpectrumSettings.h"

#include <complex>
#include <cstdint>
#include <vector>

// CW bursts through the spectrum thread's own loop and per-block processing, read back from the
// persistence picture as the user sees it: the highest lit row in the burst's column, and the
// highest any column away from it reaches on the noise alone.
class BurstRig {
public:
    // The analyser at the window's defaults with the persistence display on, at this FFT size,
    // window, overlap and density source, at 30 MS/s. The tone sits on a bin's centre an eighth
    // of the span above the centre frequency, so that its level does not depend on where it
    // falls between two bins.
    BurstRig(int fftSize, int windowType, int overlapPercent,
             DensitySource source = DensitySource::EverySpectrum);

    struct Drawn {
        double burstDb;  // the burst's column
        double noiseDb;  // the loudest column of noise alone
    };
    // A burst of `length` samples at `levelDbfs` starting `offset` samples after a block's start
    // (0 <= offset < the hop), after enough noise blocks that the detector has a full window.
    Drawn burst(double levelDbfs, std::size_t length, std::size_t offset);
    // A tone on for the whole run, `binsAboveCentre` bins above the centre.
    Drawn continuous(double levelDbfs, int binsAboveCentre);

    // The hop the analyser's overlap makes, in samples.
    std::size_t hop() const { return m_hop; }
    int fftSize() const { return m_n; }

private:
    Drawn run(const std::vector<std::complex<double>>& signal, std::size_t column);
    double topLitDb(const DensityImage& image, std::size_t column) const;

    int m_n;
    std::size_t m_hop;
    SpectrumSettings m_settings;
    SpectrumEngine m_engine;
    std::vector<std::complex<double>> m_noise;
    std::vector<IqSample> m_stream;
};
