#include "demod/RateControl.h"

#include "demod/AudioRate.h"

#include <algorithm>

RateControl::RateControl(DemodDiagnostics& diagnostics)
    : m_diag(diagnostics)
{
}

double RateControl::update(double demodRateHz, uint64_t blockSamples, double nowSeconds)
{
    const double theoretical = kAudioRateHz / demodRateHz;
    m_count += blockSamples;
    if (!m_initialised) {
        m_initialised = true;
        m_windowStart = nowSeconds;
        m_smoothedRatio = theoretical;
        m_measuredRateHz = demodRateHz;
    }
    const double elapsed = nowSeconds - m_windowStart;
    if (elapsed >= 1.0 && m_count > 0) {
        m_measuredRateHz = static_cast<double>(m_count) / elapsed;
        const double target = std::clamp(kAudioRateHz / m_measuredRateHz, 0.95 * theoretical, 1.05 * theoretical);
        m_smoothedRatio = 0.3 * target + 0.7 * m_smoothedRatio;
        m_count = 0;
        m_windowStart = nowSeconds;
        m_diag.print("[ASRC] measured=%.1f Hz, target=%.6f, smoothed=%.6f (theoretical=%.6f)\n", m_measuredRateHz, target,
                     m_smoothedRatio, theoretical);
    }
    return m_smoothedRatio;
}

void RateControl::reset()
{
    m_smoothedRatio = 1.0;
    m_measuredRateHz = 0.0;
    m_count = 0;
    m_initialised = false;
}
