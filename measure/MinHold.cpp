#include "measure/MinHold.h"

#include <algorithm>

void MinHold::update(const TraceView& trace)
{
    if (trace.levelsDb == nullptr)
        return;
    if (m_levels.size() != trace.bins || trace.startHz != m_startHz || trace.binHz != m_binHz) {
        m_levels.assign(trace.levelsDb, trace.levelsDb + trace.bins);
        m_startHz = trace.startHz;
        m_binHz = trace.binHz;
        return;
    }
    for (std::size_t k = 0; k < trace.bins; ++k)
        m_levels[k] = std::min(m_levels[k], trace.levelsDb[k]);
}
