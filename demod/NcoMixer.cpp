#include "demod/NcoMixer.h"

#include "demod/SimdKernels.h"

#include <algorithm>
#include <cmath>
#include <numbers>

void NcoMixer::setFrequency(double offsetHz, double sampleRateHz)
{
    const double step = sampleRateHz > 0.0 ? offsetHz * 2.0 * std::numbers::pi / sampleRateHz : 0.0;
    m_stepCos = static_cast<float>(std::cos(step));
    m_stepSin = static_cast<float>(std::sin(step));
    for (size_t k = 0; k < kLanes; ++k) {
        m_powCos[2 * k] = m_powCos[2 * k + 1] = static_cast<float>(std::cos(step * static_cast<double>(k)));
        m_powSin[2 * k] = m_powSin[2 * k + 1] = static_cast<float>(std::sin(step * static_cast<double>(k)));
    }
    m_chunkCos = static_cast<float>(std::cos(step * kLanes));
    m_chunkSin = static_cast<float>(std::sin(step * kLanes));
}

bool NcoMixer::tune(double inputRateHz, double centerHz, double demodFreqHz)
{
    const bool moved = std::abs(inputRateHz - m_lastRateHz) > 1.0 || std::abs(centerHz - m_lastCenterHz) > 1.0
                       || std::abs(demodFreqHz - m_lastDemodHz) > 1.0;
    if (!moved)
        return false;
    m_lastRateHz = inputRateHz;
    m_lastCenterHz = centerHz;
    m_lastDemodHz = demodFreqHz;
    m_offsetHz = demodFreqHz - centerHz;
    setFrequency(m_offsetHz, inputRateHz);
    return true;
}

void NcoMixer::reset()
{
    m_dc = {};
    m_cos = 1.0f;
    m_sin = 0.0f;
    m_counter = 0;
    m_lastRateHz = m_lastCenterHz = m_lastDemodHz = 0.0;
    setFrequency(0.0, 0.0);
}

void NcoMixer::renormaliseIfDue()
{
    if (m_counter < kRenormInterval)
        return;
    m_counter -= kRenormInterval;
    const float mag2 = m_cos * m_cos + m_sin * m_sin;
    if (mag2 > 0.0f) {
        const float mag = std::sqrt(mag2);
        m_cos /= mag;
        m_sin /= mag;
    }
}

template <typename Chunks, typename Store>
void NcoMixer::run(const int16_t* iq, size_t pairs, Chunks chunks, Store store)
{
    constexpr float kScale = 1.0f / 32768.0f;
    size_t n = 0;
    while (n + kLanes <= pairs) {
        // Whole chunks up to the next renormalisation.
        const size_t due = (kRenormInterval - m_counter + kLanes - 1) / kLanes;
        const size_t count = std::min((pairs - n) / kLanes, due);
        chunks(n, count);
        n += count * kLanes;
        m_counter += count * kLanes;
        renormaliseIfDue();
    }
    for (; n < pairs; ++n) {
        const float i = static_cast<float>(iq[2 * n]) * kScale - m_dc.real();
        const float q = static_cast<float>(iq[2 * n + 1]) * kScale - m_dc.imag();
        store(n, i * m_cos + q * m_sin, q * m_cos - i * m_sin);
        const float c = m_cos * m_stepCos - m_sin * m_stepSin;
        m_sin = m_cos * m_stepSin + m_sin * m_stepCos;
        m_cos = c;
        ++m_counter;
        renormaliseIfDue();
    }
}

void NcoMixer::process(const int16_t* iq, size_t pairs, std::complex<float>* out)
{
    float* dst = reinterpret_cast<float*>(out);
    run(
        iq, pairs,
        [&](size_t n, size_t count) {
            mixChunks(iq + 2 * n, count, dst + 2 * n, m_dc.real(), m_dc.imag(), m_powCos.data(), m_powSin.data(),
                      m_chunkCos, m_chunkSin, m_cos, m_sin);
        },
        [dst](size_t n, float re, float im) {
            dst[2 * n] = re;
            dst[2 * n + 1] = im;
        });
}

void NcoMixer::processToInt16(const int16_t* iq, size_t pairs, int16_t* out)
{
    run(
        iq, pairs,
        [&](size_t n, size_t count) {
            mixChunksToInt16(iq + 2 * n, count, out + 2 * n, m_dc.real(), m_dc.imag(), m_powCos.data(),
                             m_powSin.data(), m_chunkCos, m_chunkSin, m_cos, m_sin);
        },
        [out](size_t n, float re, float im) {
            out[2 * n] = quantise(re);
            out[2 * n + 1] = quantise(im);
        });
}
