#include "engine/PeakLine.h"

#include <algorithm>

void PeakLine::update(const std::vector<float>& trace, double dtSec, double windowSec)
{
    std::lock_guard lock(m_mutex);
    if (m_line.size() != trace.size()) {
        m_line = trace;
        return;
    }
    const std::size_t n = trace.size();
    float* peak = m_line.data();
    const float* t = trace.data();
    if (windowSec <= 0.0) {
        for (std::size_t k = 0; k < n; ++k)
            peak[k] = std::max(peak[k], t[k]);
        return;
    }
    const float drop = static_cast<float>(dtSec * 120.0 / windowSec);
    for (std::size_t k = 0; k < n; ++k)
        peak[k] = std::max(t[k], peak[k] - drop);
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
