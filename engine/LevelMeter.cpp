#include "engine/LevelMeter.h"

#include "engine/VectorClones.h"

#include <cmath>
#include <cstdint>

namespace {

// Exact in integers (each I^2 + Q^2 fits 32 unsigned bits), so the sum can be split across
// vector lanes in any order; rounding each term to float first would move the level by less
// than 1e-6 dB.
RTSA_VECTOR_CLONES uint64_t sumOfSquares(const int16_t* raw, std::size_t count)
{
    uint64_t sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int32_t re = raw[2 * i];
        const int32_t im = raw[2 * i + 1];
        sum += static_cast<uint32_t>(re * re) + static_cast<uint32_t>(im * im);
    }
    return sum;
}

} // namespace

double blockRmsDb(const IqSample* samples, std::size_t count)
{
    const auto sum = static_cast<double>(sumOfSquares(reinterpret_cast<const int16_t*>(samples), count));
    const double mean = count == 0 ? 0.0 : sum / static_cast<double>(count);
    return 20.0 * std::log10(std::sqrt(mean) / 32768.0 + 1e-12);
}

bool OverloadMeter::update(double rmsDb, double dtSec)
{
    const double raw = rmsDb > -25.0 ? 1.0 : 0.0;
    const double weight = dtSec > 0.0 ? dtSec / (dtSec + 1.0) : 0.0;
    m_level = static_cast<float>(m_level + (raw - m_level) * weight);
    return m_level > 0.5f;
}
