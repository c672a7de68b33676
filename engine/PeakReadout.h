#pragma once

#include <cstddef>
#include <mutex>
#include <vector>

// The highest bin of the latest published trace, for the controller's peak queries.
class PeakReadout {
public:
    struct Values {
        double startHz = 0.0;
        double binHz = 0.0;
        double peakFreqHz = 0.0;
        double peakValueDb = -120.0;
    };

    // Finds the trace's first (lowest-frequency) maximum; an empty trace keeps the last peak.
    Values update(const std::vector<float>& trace, double centerHz, double sampleRateHz, std::size_t fftSize);
    Values values() const;

private:
    mutable std::mutex m_mutex;
    Values m_values;
};
