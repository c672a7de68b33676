#include "engine/VideoFilter.h"

#include "engine/FastLog.h"
#include "engine/SpectrumSettingTable.h"
#include "engine/VectorClones.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cmath>
#include <numbers>

namespace {

RTSA_VECTOR_CLONES void smoothDb(float* __restrict trace, const float* __restrict out, float alpha, std::size_t n)
{
    const float keep = 1.0f - alpha;
    for (std::size_t k = 0; k < n; ++k)
        trace[k] = alpha * out[k] + keep * trace[k];
}

RTSA_VECTOR_CLONES void smoothPower(float* __restrict state, float* __restrict trace, const float* __restrict p, float alpha, std::size_t n)
{
    const float keep = 1.0f - alpha;
    // Non-negative floats order as their bit patterns do, and an integer maximum keeps the loop
    // vectorised where a float comparison followed by the logarithm would not. The power is a
    // mix of floored detector outputs, never negative or NaN.
    const auto floorBits = std::bit_cast<int32_t>(Detector::kFloorPower);
    for (std::size_t k = 0; k < n; ++k) {
        const float v = p[k] * alpha + keep * state[k];
        state[k] = v;
        trace[k] = fastlog::powerToDb(std::bit_cast<float>(std::max(std::bit_cast<int32_t>(v), floorBits)));
    }
}

} // namespace

float VideoFilter::alphaFor(double vbwHz, double fps)
{
    const double t = fps > 1.0 ? 1.0 / fps : 1.0 / 60.0;
    return static_cast<float>(1.0 - std::exp(-2.0 * std::numbers::pi * vbwHz * t));
}

void VideoFilter::process(Detector& detector, int mode, double vbwHz, float alpha)
{
    if (!(vbwHz > 0.0)) {
        m_trace = detector.outputDb();
        m_power.assign(0, 0.0f);
        return;
    }
    const std::size_t bins = detector.outputPower().size();
    const bool restart = m_trace.size() != bins || detector.wasReset();
    // The extremes are smoothed in dB, the averages in power.
    const auto kind = static_cast<DetectorMode>(mode);
    if (kind == DetectorMode::Max || kind == DetectorMode::Min) {
        const std::vector<float>& out = detector.outputDb();
        if (restart) {
            m_trace = out;
            return;
        }
        smoothDb(m_trace.data(), out.data(), alpha, bins);
        return;
    }

    const std::vector<float>& p = detector.outputPower();
    if (restart) {
        m_trace = detector.outputDb();
        m_power.assign(bins, 0.0f);
        std::copy(p.begin(), p.end(), m_power.data());
        return;
    }
    // Switched on again without a restart: the state starts from nothing.
    if (m_power.size() != bins)
        m_power.assign(bins, 0.0f);
    smoothPower(m_power.data(), m_trace.data(), p.data(), alpha, bins);
}
