#pragma once

#include "engine/SpectrumFrame.h"

#include <complex>
#include <cstdint>
#include <vector>

// IQ in 16-bit units, and the power of a level in them relative to a full-scale tone.
using Iq = std::vector<std::complex<double>>;
double fullScalePower(double lsbSquared);

// What the spectrum thread is set to while the IQ goes through it.
struct EngineRun {
    int fftSize = 2048;
    int windowType = 0;
    double sampleRateHz = 10e6;
    double centerHz = 0.0;
    int detectorMode = 3;
    int detectorWindow = 200;
};

// Runs the IQ through the spectrum thread's own per-block processing, block by block on a
// clock that lets every block publish, and returns the last frame published. The samples are
// rounded to 16 bits as a receiver delivers them; the IQ must not clip.
SpectrumFrame analyseIq(const Iq& iq, const EngineRun& run);

// A stretch of noise made of bands of flat spectrum: each band's bins in one long transform
// get the band's magnitude with a random phase, so its power is exactly what is asked.
struct FlatBand {
    double centreHz = 0.0;
    double widthHz = 0.0;
    double relativeDb = 0.0;  // magnitude per Hz relative to the first band
};

struct FlatBandNoise {
    Iq iq;
    // Each band's power (full-scale units) and its width as the long transform's bins make it.
    std::vector<double> bandPower;
    std::vector<double> bandWidthHz;
};

FlatBandNoise flatBandNoise(std::size_t samples, double sampleRateHz, const std::vector<FlatBand>& bands,
                            double rmsLsb, uint32_t seed);
