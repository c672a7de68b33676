#pragma once

#include "measure/TraceView.h"

#include <vector>

// The lowest level each bin has shown since the last reset: the counterpart of the peak line,
// which is the maximum hold. A retune (another start or bin width) or another length starts it
// again, as a line drawn at another tuning shows nothing where it now is.
class MinHold {
public:
    void update(const TraceView& trace);
    void reset() { m_levels.clear(); }
    const std::vector<float>& levels() const { return m_levels; }

private:
    std::vector<float> m_levels;
    double m_startHz = 0.0;
    double m_binHz = 0.0;
};
