#include "engine/LevelMeter.h"

#include "engine/VectorClones.h"

#include <cmath>
#include <cstdint>

namespace {

RTSA_VECTOR_CLONES uint64_t sumOfSquaresRun(const int16_t* raw, std::size_t count)
{
    SquareSum sum;
    for (std::size_t i = 0; i < 2 * count; ++i)
        sum.add(raw[i]);
    return sum.total();
}

} // namespace

uint64_t sumOfSquares(const IqSample* samples, std::size_t count)
{
    const auto* raw = reinterpret_cast<const int16_t*>(samples);
    return SquareSum::overRuns(count, [raw](std::size_t start, std::size_t length) {
        return sumOfSquaresRun(raw + 2 * start, length);
    });
}

double rmsDbOfSquares(uint64_t squares, std::size_t count)
{
    const double mean = count == 0 ? 0.0 : static_cast<double>(squares) / static_cast<double>(count);
    return 20.0 * std::log10(std::sqrt(mean) / 32768.0 + 1e-12);
}

bool OverloadMeter::update(double rmsDb, double dtSec)
{
    const double raw = rmsDb > -25.0 ? 1.0 : 0.0;
    const double weight = dtSec > 0.0 ? dtSec / (dtSec + 1.0) : 0.0;
    m_level = static_cast<float>(m_level + (raw - m_level) * weight);
    return m_level > 0.5f;
}
