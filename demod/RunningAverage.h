#pragma once

#include <algorithm>

// A mean of a stream of measurements weighted by how many samples each one covers: the
// plain mean until `length` samples have been seen, an exponential average of that length
// after, so the estimate does not depend on how the stream is cut into blocks.
class RunningAverage {
public:
    explicit RunningAverage(double length)
        : m_length(length)
    {
    }

    void add(double blockMean, double count)
    {
        if (count <= 0.0)
            return;
        m_value += std::min(1.0, count / std::min(m_length, m_seen + count)) * (blockMean - m_value);
        m_seen = std::min(m_seen + count, m_length);
    }
    void clear()
    {
        m_value = 0.0;
        m_seen = 0.0;
    }

    double value() const { return m_value; }
    // Samples behind the value, up to the averaging length.
    double seen() const { return m_seen; }

private:
    double m_length;
    double m_value = 0.0;
    double m_seen = 0.0;
};
