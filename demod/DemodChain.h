#pragma once

#include "demod/AsrcResampler.h"
#include "demod/AudioFilter.h"
#include "demod/AudioRate.h"
#include "demod/DcOffsetTracker.h"
#include "demod/DemodDiagnostics.h"
#include "demod/DemodParams.h"
#include "demod/FirDecimator.h"
#include "demod/IqDecimator.h"
#include "demod/NcoMixer.h"
#include "demod/NfmDemodulator.h"
#include "demod/ProgrammeFilter.h"
#include "demod/RateControl.h"
#include "demod/Squelch.h"

#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

// The demodulation stages in the channel's order, from int16 IQ at the receiver rate to 48 kHz
// audio: the receiver's DC taken out, NCO, IqDecimator, PreFIR (or the half-band stage for a
// broadcast signal at 2 MS/s), PolyFIR, squelch, FM demodulation, the programme band, gain and
// clipping, rate-controlled resampling and audio filters. Pure and single-threaded;
// every buffer is allocated at construction and bounds what a stage can hand on.
class DemodChain {
public:
    static constexpr size_t kNcoCapacity = 65536;
    static constexpr size_t kPreFirCapacity = 16384;
    static constexpr size_t kPolyFirCapacity = 8192;
    static constexpr size_t kDemodCapacity = 8192;
    static constexpr size_t kAudioCapacity = 16384;

    // Samples handed on by each stage for one block; all zero stages after a skip.
    struct Counts {
        size_t ncoIn = 0;
        size_t cic = 0;
        size_t preFir = 0;
        size_t polyFir = 0;
        size_t demod = 0;
        size_t asrc = 0;
        bool ncoRetuned = false;
    };

    // Seconds spent in each stage since profiling was switched on.
    struct StageTimes {
        double nco = 0.0, cic = 0.0, preFir = 0.0, polyFir = 0.0, squelch = 0.0, demod = 0.0, gain = 0.0,
               resample = 0.0, filter = 0.0;
    };

    // Throws std::invalid_argument when the audio filter settings are invalid.
    explicit DemodChain(const DemodParams& params,
                        DemodDiagnostics& diagnostics = DemodDiagnostics::standardOutput());

    // Takes over new settings without clearing the signal state.
    void applyParams(const DemodParams& params);
    // Restarts every stage, the rate control and the squelch from scratch.
    void reset();

    // Processes one block of `pairs` interleaved int16 (I, Q) pairs received at inputRateHz
    // around centerHz, arriving at nowSeconds (the caller's monotonic clock). Returns the
    // number of 48 kHz samples in left() (and right() in stereo); 0 when a stage yielded nothing.
    size_t process(const int16_t* iq, size_t pairs, double inputRateHz, double centerHz, double nowSeconds);

    // The same in two steps, for a caller that times the audio side on its own: demodulate()
    // takes the block from the NCO to squelched audio in the programme band and returns its
    // length (0 when a stage yielded nothing); toAudio() then resamples and filters that audio
    // and returns the number of 48 kHz samples (0 when a resampler yielded nothing), its
    // ratio multiplied by ratioTrim (the audio bus's fill control).
    size_t demodulate(const int16_t* iq, size_t pairs, double inputRateHz, double centerHz);
    size_t toAudio(double nowSeconds, double ratioTrim = 1.0);

    const float* left() const { return m_outLeft.data(); }
    const float* right() const { return m_outRight.data(); }
    bool stereo() const { return isStereoActive(m_params); }
    const DemodParams& params() const { return m_params; }
    const Counts& counts() const { return m_counts; }
    double demodRateHz() const { return m_demodRateHz; }
    float squelchGain() const { return m_squelch.gain(); }

    const NcoMixer& nco() const { return m_nco; }
    const IqDecimator& iqDecimator() const { return m_iqDecimator; }
    const NfmDemodulator& demodulator() const { return m_demod; }
    const RateControl& rateControl() const { return m_rateControl; }

    void setProfiling(bool on) { m_profiling = on; }
    const StageTimes& stageTimes() const { return m_times; }

private:
    void lap(double& stage);

    DemodParams m_params;
    DcOffsetTracker m_dcOffset;
    NcoMixer m_nco;
    IqDecimator m_iqDecimator;
    PreFirDecimator m_preFir;
    HalfBandDecimator m_halfBand;
    PolyFirDecimator m_polyFir;
    NfmDemodulator m_demod;
    ProgrammeFilter m_programme;
    AudioFilter m_hpfLeft;
    AudioFilter m_lpfLeft;
    AudioFilter m_hpfRight;
    AudioFilter m_lpfRight;
    // Mono resamples the left side alone; stereo resamples both sides as one interleaved pair,
    // which shares the filter's interpolation between them.
    AsrcResampler m_asrcLeft;
    AsrcResampler m_asrcStereo;
    RateControl m_rateControl;
    Squelch m_squelch;
    double m_demodRateHz = 0.0;
    // The block demodulate() left for toAudio() (at the programme filter's output rate), and its rate.
    size_t m_demodulated = 0;
    double m_blockRateHz = 0.0;

    std::vector<int16_t> m_quantised;
    std::vector<std::complex<float>> m_mixed;
    std::vector<float> m_decimatedI;
    std::vector<float> m_decimatedQ;
    std::vector<std::complex<float>> m_preOut;
    std::vector<std::complex<float>> m_polyOut;
    std::vector<float> m_demodLeft;
    std::vector<float> m_demodRight;
    std::vector<float> m_asrcOutLeft;
    std::vector<float> m_asrcOutRight;
    std::vector<float> m_pairIn;
    std::vector<float> m_pairOut;
    std::vector<float> m_outLeft;
    std::vector<float> m_outRight;

    Counts m_counts;
    bool m_profiling = false;
    StageTimes m_times;
    int64_t m_lapStart = 0;
};
