#pragma once

#include <mutex>
#include <vector>

// The decaying maximum of the displayed trace. Lives across acquisition runs; the GUI thread
// may clear it at any time, the spectrum thread updates and copies it.
class PeakLine {
public:
    // windowSec <= 0 holds forever; otherwise the line falls 120 dB per window toward the trace.
    void update(const std::vector<float>& trace, double dtSec, double windowSec);
    void clear();
    // A line drawn at another centre or rate shows stations where they no longer are: it starts
    // again when either differs from the one it was built at.
    void followTuning(double centerHz, double sampleRateHz);
    void copyTo(std::vector<float>& out) const;

private:
    mutable std::mutex m_mutex;
    std::vector<float> m_line;
    double m_centerHz = 0.0;
    double m_sampleRateHz = 0.0;
};
