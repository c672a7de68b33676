#include "demod/DemodChain.h"

#include "demod/AudioGain.h"
#include "platform/MonotonicClock.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPreFirThresholdHz = 1500000.0;
// Below this rate a broadcast signal is halved instead of divided by five, which would leave its
// demodulator too narrow for it (200 kHz at 2 MS/s against a signal about 256 kHz wide).
constexpr double kHalfBandBelowHz = 2500000.0;

// A deviation setting this large is a broadcast signal (the stereo ones are 150 and 300 kHz).
bool broadcastDeviation(const DemodParams& p)
{
    return p.fmDeviationHz >= 50000.0;
}

} // namespace

DemodChain::DemodChain(const DemodParams& params, DemodDiagnostics& diagnostics)
    : m_params(params)
    , m_iqDecimator(params.decimatorTargetHz, diagnostics)
    , m_demod(NfmConfig{params.fmDeviationHz, params.deemphasisUs, isStereoActive(params)}, diagnostics)
    , m_hpfLeft(AudioFilter::HighPass, params.audioHpfHz, kAudioRateHz, params.filterOrder, diagnostics)
    , m_lpfLeft(AudioFilter::LowPass, params.audioLpfHz, kAudioRateHz, params.filterOrder, diagnostics)
    , m_hpfRight(AudioFilter::HighPass, params.audioHpfHz, kAudioRateHz, params.filterOrder, diagnostics)
    , m_lpfRight(AudioFilter::LowPass, params.audioLpfHz, kAudioRateHz, params.filterOrder, diagnostics)
    , m_asrcLeft(kAudioRateHz, diagnostics)
    , m_asrcStereo(kAudioRateHz, diagnostics, 2)
    , m_rateControl(diagnostics)
    , m_quantised(2 * kNcoCapacity)
    , m_mixed(kNcoCapacity)
    , m_decimatedI(kNcoCapacity)
    , m_decimatedQ(kNcoCapacity)
    , m_preOut(kPreFirCapacity)
    , m_polyOut(kPolyFirCapacity)
    , m_demodLeft(kDemodCapacity)
    , m_demodRight(kDemodCapacity)
    , m_asrcOutLeft(kAudioCapacity)
    , m_asrcOutRight(kAudioCapacity)
    , m_pairIn(2 * kDemodCapacity)
    , m_pairOut(2 * kAudioCapacity)
    , m_outLeft(kAudioCapacity)
    , m_outRight(kAudioCapacity)
{
}

void DemodChain::applyParams(const DemodParams& params)
{
    const bool squelchWasOn = m_params.squelchEnabled;
    m_params = params;
    m_params.squelchCloseDb = std::min(params.squelchOpenDb, params.squelchCloseDb);
    m_demod.setStereo(isStereoActive(m_params));
    m_demod.setDeviation(m_params.fmDeviationHz);
    m_demod.setDeemphasis(m_params.deemphasisUs);
    if (m_demod.sampleRate() > 0.0)
        m_demod.updateCoefficients();
    for (AudioFilter* f : {&m_hpfLeft, &m_hpfRight})
        f->setCutoff(m_params.audioHpfHz, kAudioRateHz);
    for (AudioFilter* f : {&m_lpfLeft, &m_lpfRight})
        f->setCutoff(m_params.audioLpfHz, kAudioRateHz);
    if (!squelchWasOn && m_params.squelchEnabled)
        m_squelch.clear();
    else if (!m_params.squelchEnabled)
        m_squelch.setOpen();
}

void DemodChain::reset()
{
    m_dcOffset.reset();
    m_nco.reset();
    m_iqDecimator.reset();
    m_preFir.reset();
    m_halfBand.reset();
    m_polyFir.reset();
    m_demod.reset();
    m_programme.reset();
    for (AudioFilter* f : {&m_hpfLeft, &m_lpfLeft, &m_hpfRight, &m_lpfRight})
        f->reset();
    m_asrcLeft.reset();
    m_asrcStereo.reset();
    m_rateControl.reset();
    m_squelch.clear();
}

void DemodChain::lap(double& stage)
{
    if (!m_profiling)
        return;
    const int64_t now = monotonicNowNs();
    stage += static_cast<double>(now - m_lapStart) * 1e-9;
    m_lapStart = now;
}

size_t DemodChain::process(const int16_t* iq, size_t pairs, double inputRateHz, double centerHz, double nowSeconds)
{
    return demodulate(iq, pairs, inputRateHz, centerHz) > 0 ? toAudio(nowSeconds) : 0;
}

size_t DemodChain::demodulate(const int16_t* iq, size_t pairs, double inputRateHz, double centerHz)
{
    m_counts = Counts{};
    m_demodulated = 0;
    if (!iq || pairs == 0 || inputRateHz <= 0.0)
        return 0;
    if (m_profiling)
        m_lapStart = monotonicNowNs();
    m_counts.ncoRetuned = m_nco.tune(inputRateHz, centerHz, m_params.demodFreqHz);
    const size_t count = std::min(pairs, kNcoCapacity);
    m_counts.ncoIn = count;
    m_dcOffset.update(iq, count, inputRateHz);
    m_nco.setDcOffset(m_dcOffset.offset());
    // Where the CIC runs, the mixer hands it int16 pairs straight away instead of floats it
    // would only put back to int16.
    const bool quantised = m_iqDecimator.decimatesAt(inputRateHz);
    if (quantised)
        m_nco.processToInt16(iq, count, m_quantised.data());
    else
        m_nco.process(iq, count, m_mixed.data());
    lap(m_times.nco);

    // The CIC's outputs stay as I and Q apart, as the filters after it hold them.
    size_t n = quantised ? m_iqDecimator.processQuantised(m_quantised.data(), count, inputRateHz, m_decimatedI.data(),
                                                          m_decimatedQ.data(), kNcoCapacity)
                         : m_iqDecimator.process(m_mixed.data(), count, inputRateHz, m_mixed.data(), m_mixed.size());
    double rate = m_iqDecimator.outputRateHz();
    m_counts.cic = n;
    lap(m_times.cic);
    if (n == 0)
        return 0;

    // Feeds the first stage's outputs to a decimating filter.
    const std::complex<float>* decimated = quantised ? nullptr : m_mixed.data();
    const auto filter = [&](auto& fir, std::complex<float>* out, size_t capacity) {
        return decimated ? fir.process(decimated, n, out, capacity)
                         : fir.process(m_decimatedI.data(), m_decimatedQ.data(), n, out, capacity);
    };
    if (rate > kPreFirThresholdHz) {
        if (rate < kHalfBandBelowHz && broadcastDeviation(m_params)) {
            n = filter(m_halfBand, m_preOut.data(), m_preOut.size());
            rate /= 2.0;
        } else {
            n = filter(m_preFir, m_preOut.data(), m_preOut.size());
            rate /= 5.0;
        }
        decimated = m_preOut.data();
    }
    m_counts.preFir = n;
    lap(m_times.preFir);
    if (n == 0)
        return 0;

    rate *= 0.5;
    if (std::abs(rate - m_demodRateHz) > 1.0) {
        m_demod.setSampleRate(rate);
        m_programme.configure(rate);
        m_demodRateHz = rate;
    }
    n = filter(m_polyFir, m_polyOut.data(), m_polyOut.size());
    m_counts.polyFir = n;
    const double blockSeconds = rate > 0.0 ? static_cast<double>(n) / rate : 0.0;
    lap(m_times.polyFir);
    if (n == 0)
        return 0;

    const float squelchGain = m_squelch.step(m_polyOut.data(), n, blockSeconds, m_params);
    lap(m_times.squelch);

    const bool stereo = isStereoActive(m_params);
    const size_t atDemodRate = stereo
        ? m_demod.processStereo(m_polyOut.data(), n, m_demodLeft.data(), m_demodRight.data(), m_demodLeft.size())
        : m_demod.process(m_polyOut.data(), n, m_demodLeft.data(), m_demodLeft.size());
    m_counts.demod = atDemodRate;
    // Gain and clipping see the programme alone, not the pilot and subcarrier still around it.
    const size_t demodulated = atDemodRate == 0 ? 0
        : m_programme.process(m_demodLeft.data(), stereo ? m_demodRight.data() : nullptr, atDemodRate);
    lap(m_times.demod);
    if (demodulated == 0)
        return 0;

    const auto gain = static_cast<float>(m_params.audioGain);
    applyGainAndClip(m_demodLeft.data(), demodulated, gain);
    if (stereo)
        applyGainAndClip(m_demodRight.data(), demodulated, gain);
    if (m_params.squelchEnabled && squelchGain < 1.0f) {
        applyGain(m_demodLeft.data(), demodulated, squelchGain);
        if (stereo)
            applyGain(m_demodRight.data(), demodulated, squelchGain);
    }
    lap(m_times.gain);
    m_demodulated = demodulated;
    m_blockRateHz = m_programme.outputRateHz();
    return demodulated;
}

size_t DemodChain::toAudio(double nowSeconds, double ratioTrim)
{
    const size_t demodulated = m_demodulated;
    if (demodulated == 0)
        return 0;
    m_demodulated = 0;
    if (m_profiling)
        m_lapStart = monotonicNowNs();
    const bool stereo = isStereoActive(m_params);
    const double ratio = m_rateControl.update(m_blockRateHz, demodulated, nowSeconds) * ratioTrim;
    size_t produced = 0;
    if (stereo) {
        for (size_t k = 0; k < demodulated; ++k) {
            m_pairIn[2 * k] = m_demodLeft[k];
            m_pairIn[2 * k + 1] = m_demodRight[k];
        }
        produced = m_asrcStereo.process(m_pairIn.data(), demodulated, m_pairOut.data(), kAudioCapacity, ratio);
        for (size_t k = 0; k < produced; ++k) {
            m_asrcOutLeft[k] = m_pairOut[2 * k];
            m_asrcOutRight[k] = m_pairOut[2 * k + 1];
        }
    } else {
        produced = m_asrcLeft.process(m_demodLeft.data(), demodulated, m_asrcOutLeft.data(), kAudioCapacity, ratio);
    }
    m_counts.asrc = produced;
    lap(m_times.resample);
    if (produced == 0)
        return 0;

    if (m_params.filterEnabled) {
        m_hpfLeft.process(m_asrcOutLeft.data(), m_outLeft.data(), produced);
        m_lpfLeft.process(m_outLeft.data(), m_outLeft.data(), produced);
        if (stereo) {
            m_hpfRight.process(m_asrcOutRight.data(), m_outRight.data(), produced);
            m_lpfRight.process(m_outRight.data(), m_outRight.data(), produced);
        }
    } else {
        std::copy_n(m_asrcOutLeft.data(), produced, m_outLeft.data());
        if (stereo)
            std::copy_n(m_asrcOutRight.data(), produced, m_outRight.data());
    }
    lap(m_times.filter);
    return produced;
}
