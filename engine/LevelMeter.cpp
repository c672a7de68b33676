#include "engine/LevelMeter.h"

#include "engine/VectorClones.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// Exact in integers. One sample's I^2 + Q^2 fits 32 unsigned bits but a sum of two may not, so
// each is split into its upper and lower 16 bits, and the halves are summed in 32-bit lanes over
// runs short enough not to overflow: the loop then vectorises as multiply-adds of 16-bit pairs
// instead of widening every square to 64 bits.
RTSA_VECTOR_CLONES uint64_t sumOfSquares(const int16_t* raw, std::size_t count)
{
    constexpr std::size_t kRun = std::size_t{1} << 16;  // 2^16 lower halves of at most 2^16 - 1
    uint64_t total = 0;
    for (std::size_t start = 0; start < count; start += kRun) {
        const std::size_t end = std::min(count, start + kRun);
        uint32_t upper = 0;
        uint32_t lower = 0;
        for (std::size_t i = start; i < end; ++i) {
            const int32_t re = raw[2 * i];
            const int32_t im = raw[2 * i + 1];
            const uint32_t square = static_cast<uint32_t>(re * re) + static_cast<uint32_t>(im * im);
            upper += square >> 16;
            lower += square & 0xffffu;
        }
        total += (uint64_t{upper} << 16) + lower;
    }
    return total;
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
