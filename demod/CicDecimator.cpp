#include "demod/CicDecimator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

CicDecimator::CicDecimator(int32_t r, int32_t n)
    : m_r(std::max(r, 1))
    , m_n(std::clamp(n, 1, kMaxStages))
    , m_dcGain(std::pow(static_cast<double>(m_r), m_n))
    , m_scale(1.0 / (m_dcGain * 32768.0))
{
    std::printf("[CIC] Created: R=%d, M=%d, N=%d\n", m_r, 1, m_n);
    std::printf("[CIC] DC_gain=%.0f, scale=%.12e\n", m_dcGain, m_scale);
    std::printf("[CIC] Bit growth: %.1f bits (int64 has 63 bits headroom)\n", m_n * std::log2(static_cast<double>(m_r)));
}

void CicDecimator::reset()
{
    m_integrators.fill(0);
    m_combs.fill(0);
    m_phase = 0;
}
