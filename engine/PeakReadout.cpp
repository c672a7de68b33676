#include "engine/PeakReadout.h"

#include <algorithm>

PeakReadout::Values PeakReadout::update(const std::vector<float>& trace, double centerHz, double sampleRateHz,
                                        std::size_t fftSize)
{
    std::lock_guard lock(m_mutex);
    m_values.startHz = centerHz - sampleRateHz * 0.5;
    m_values.binHz = fftSize == 0 ? 0.0 : sampleRateHz / static_cast<double>(fftSize);
    if (!trace.empty()) {
        // max_element keeps the first of equal maxima: the lowest frequency wins.
        const auto peak = std::max_element(trace.begin(), trace.end());
        const auto index = static_cast<double>(peak - trace.begin());
        m_values.peakValueDb = *peak;
        m_values.peakFreqHz = index * m_values.binHz + m_values.startHz;
    }
    return m_values;
}

PeakReadout::Values PeakReadout::values() const
{
    std::lock_guard lock(m_mutex);
    return m_values;
}
