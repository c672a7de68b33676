#include "demod/Squelch.h"

#include <algorithm>
#include <cmath>

namespace {

double toDb(double power)
{
    return 10.0 * std::log10(std::max(1e-20, power));
}

} // namespace

void Squelch::clear()
{
    m_open = false;
    m_initialised = false;
    m_gain = 0.0f;
    m_hangRemaining = 0.0;
    m_noiseFloor = 0.0;
    m_m2.clear();
    m_m4.clear();
    m_power.clear();
}

void Squelch::setOpen()
{
    m_open = true;
    m_gain = 1.0f;
    m_hangRemaining = 0.0;
}

double Squelch::noiseEstimate() const
{
    const double m2 = m_m2.value();
    const double carrier = std::sqrt(std::max(0.0, 2.0 * m2 * m2 - m_m4.value()));
    return std::clamp(m2 - carrier, 0.0, m2);
}

void Squelch::accumulate(const std::complex<float>* samples, size_t k)
{
    double sum2 = 0.0;
    double sum4 = 0.0;
    for (size_t n = 0; n < k; ++n) {
        const float p = samples[n].real() * samples[n].real() + samples[n].imag() * samples[n].imag();
        sum2 += p;
        sum4 += static_cast<double>(p) * p;
    }
    const auto count = static_cast<double>(k);
    m_m2.add(sum2 / count, count);
    m_m4.add(sum4 / count, count);
    m_power.add(sum2 / count, count);
}

float Squelch::step(const std::complex<float>* samples, size_t k, double blockSeconds, const DemodParams& params)
{
    if (!params.squelchEnabled) {
        setOpen();
        return m_gain;
    }
    if (!m_initialised) {
        // Fresh from clear(): the averages are empty and the floor unknown.
        m_initialised = true;
        m_open = false;
        m_gain = 0.0f;
    }
    if (k > 0)
        accumulate(samples, k);
    decide(m_power.value(), blockSeconds, params);
    smoothGain(blockSeconds, params);
    return m_gain;
}

void Squelch::decide(double power, double blockSeconds, const DemodParams& params)
{
    const double floorMin = std::pow(10.0, params.squelchMinFloorDb / 10.0);
    const bool settled = m_m2.seen() >= kSettleSamples;
    if (settled) {
        const double noise = noiseEstimate();
        if (m_noiseFloor <= 0.0) {
            m_noiseFloor = std::max(floorMin, noise);
        } else if (!m_open || power < 1.5 * m_noiseFloor) {
            const double alpha = std::clamp(params.squelchNoiseAlpha, 0.0001, 0.5);
            m_noiseFloor = std::max((1.0 - alpha) * m_noiseFloor + alpha * noise, floorMin);
        }
    }
    // Until the noise is known the ratio says nothing: 0 dB keeps a closed squelch closed.
    const double snrDb = settled ? toDb(power / m_noiseFloor) : 0.0;
    const double levelDb = toDb(power);
    if (m_open) {
        if (snrDb <= params.squelchCloseDb && levelDb <= params.squelchLevelDbfs - 3.0) {
            if (m_hangRemaining <= 0.0)
                m_hangRemaining = params.squelchHangMs * 0.001;
            m_hangRemaining -= blockSeconds;
            if (m_hangRemaining <= 0.0)
                m_open = false;
        } else {
            m_hangRemaining = 0.0;
        }
    } else if ((settled && snrDb >= params.squelchOpenDb) || levelDb >= params.squelchLevelDbfs) {
        m_open = true;
        m_hangRemaining = 0.0;
    }
}

void Squelch::smoothGain(double blockSeconds, const DemodParams& params)
{
    const double target = m_open ? 1.0 : 0.0;
    const double tauMs = target > m_gain ? params.squelchAttackMs : params.squelchReleaseMs;
    const double tau = std::max(tauMs * 0.001, 0.001);
    double gain = m_gain;
    if (blockSeconds > 0.0)
        gain += (1.0 - std::exp(-blockSeconds / tau)) * (target - gain);
    else
        gain = target;
    m_gain = static_cast<float>(std::clamp(gain, 0.0, 1.0));
}
