#include "engine/PeakLine.h"

#include "engine/VectorClones.h"

#include <algorithm>

namespace {

RTSA_VECTOR_CLONES void fallToward(float* __restrict peak, const float* __restrict trace, float drop, std::size_t n)
{
    for (std::size_t k = 0; k < n; ++k)
        peak[k] = std::max(trace[k], peak[k] - drop);
}

} // namespace

void PeakLine::update(const std::vector<float>& trace, double dtSec, double windowSec)
{
    std::lock_guard lock(m_mutex);
    if (m_line.size() != trace.size()) {
        m_line = trace;
        return;
    }
    // Holding for ever is falling by nothing.
    const float drop = windowSec <= 0.0 ? 0.0f : static_cast<float>(dtSec * 120.0 / windowSec);
    fallToward(m_line.data(), trace.data(), drop, trace.size());
}

void PeakLine::clear()
{
    std::lock_guard lock(m_mutex);
    m_line.clear();
}

void PeakLine::followTuning(double centerHz, double sampleRateHz)
{
    std::lock_guard lock(m_mutex);
    if (centerHz == m_centerHz && sampleRateHz == m_sampleRateHz)
        return;
    m_centerHz = centerHz;
    m_sampleRateHz = sampleRateHz;
    m_line.clear();
}

void PeakLine::copyTo(std::vector<float>& out) const
{
    std::lock_guard lock(m_mutex);
    out = m_line;
}
