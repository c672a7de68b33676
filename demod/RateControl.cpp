#include "demod/RateControl.h"

#include "demod/AudioRate.h"

#include <algorithm>
#include <cmath>

RateControl::RateControl(DemodDiagnostics& diagnostics)
    : m_diag(diagnostics)
{
}

double RateControl::update(double demodRateHz, uint64_t blockSamples, double nowSeconds)
{
    const double theoretical = kAudioRateHz / demodRateHz;
    // A new demodulator rate starts over from its nominal ratio, as after a reset.
    if (!m_initialised || std::abs(m_smoothedRatio / theoretical - 1.0) > kTargetRange) {
        m_initialised = true;
        m_warmedUp = false;
        m_count = 0;
        m_windowStart = nowSeconds;
        m_smoothedRatio = theoretical;
        m_measuredRateHz = demodRateHz;
    }
    m_count += blockSamples;
    const double elapsed = nowSeconds - m_windowStart;
    if (elapsed >= 1.0 && m_count > 0) {
        measure(demodRateHz, elapsed);
        m_count = 0;
        m_windowStart = nowSeconds;
    }
    return m_smoothedRatio;
}

void RateControl::measure(double demodRateHz, double elapsedSeconds)
{
    const double theoretical = kAudioRateHz / demodRateHz;
    m_measuredRateHz = static_cast<double>(m_count) / elapsedSeconds;
    const double target = std::clamp(kAudioRateHz / m_measuredRateHz, (1.0 - kTargetRange) * theoretical,
                                     (1.0 + kTargetRange) * theoretical);
    const bool plausible = std::abs(m_measuredRateHz / demodRateHz - 1.0) <= kPlausibleOffset;
    if (m_warmedUp && plausible) {
        const double step = 0.3 * (target - m_smoothedRatio);
        const double maxStep = kMaxStep * theoretical;
        m_smoothedRatio += std::clamp(step, -maxStep, maxStep);
    }
    m_warmedUp = true;
    m_diag.print("[ASRC] measured=%.1f Hz, target=%.6f, smoothed=%.6f (theoretical=%.6f)\n", m_measuredRateHz, target,
                 m_smoothedRatio, theoretical);
}

void RateControl::reset()
{
    m_smoothedRatio = 1.0;
    m_measuredRateHz = 0.0;
    m_count = 0;
    m_initialised = false;
    m_warmedUp = false;
}
