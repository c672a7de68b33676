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
}

void Squelch::setOpen()
{
    m_open = true;
    m_gain = 1.0f;
    m_hangRemaining = 0.0;
}

float Squelch::step(const std::complex<float>* samples, size_t k, double blockSeconds, const DemodParams& params)
{
    if (!params.squelchEnabled) {
        setOpen();
        return m_gain;
    }
    double sum = 0.0;
    for (size_t n = 0; n < k; ++n)
        sum += samples[n].real() * samples[n].real() + samples[n].imag() * samples[n].imag();
    const double power = k > 0 ? sum / static_cast<double>(k) : 0.0;
    const double floorMin = std::pow(10.0, params.squelchMinFloorDb / 10.0);

    if (!m_initialised) {
        m_initialised = true;
        m_open = false;
        m_noiseFloor = std::max(floorMin, power);
        m_gain = 0.0f;
    }
    const double alpha = std::clamp(params.squelchNoiseAlpha, 0.0001, 0.5);
    if (!m_open || power < 1.5 * m_noiseFloor)
        m_noiseFloor = std::max((1.0 - alpha) * m_noiseFloor + alpha * power, floorMin);

    const double snrDb = toDb(power / m_noiseFloor);
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
    } else if (snrDb >= params.squelchOpenDb || levelDb >= params.squelchLevelDbfs) {
        m_open = true;
        m_hangRemaining = 0.0;
    }

    const double target = m_open ? 1.0 : 0.0;
    const double tauMs = target > m_gain ? params.squelchAttackMs : params.squelchReleaseMs;
    const double tau = std::max(tauMs * 0.001, 0.001);
    double gain = m_gain;
    if (blockSeconds > 0.0)
        gain += (1.0 - std::exp(-blockSeconds / tau)) * (target - gain);
    else
        gain = target;
    m_gain = static_cast<float>(std::clamp(gain, 0.0, 1.0));
    return m_gain;
}
