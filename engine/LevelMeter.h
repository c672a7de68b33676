#pragma once

#include "acquisition/IqSample.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

// I^2 + Q^2 summed over a run of at most kMaxSamples samples, exactly. A sum of squares may not
// fit 32 unsigned bits, so each square is split into its upper and lower 16 bits and the halves
// are summed in 32 bits. I and Q are added alike, one value at a time: a loop over the
// interleaved values vectorises as they come, with no separating of I from Q.
class SquareSum {
public:
    static constexpr std::size_t kMaxSamples = std::size_t{1} << 15;  // lower halves < 2^17 a sample

    void add(int32_t value)
    {
        const auto square = static_cast<uint32_t>(value * value);
        m_upper += square >> 16;
        m_lower += square & 0xffffu;
    }
    uint64_t total() const { return (uint64_t{m_upper} << 16) + m_lower; }

    // The exact sum over count samples, runSum(start, length) giving that of each run.
    template <typename RunSum>
    static uint64_t overRuns(std::size_t count, RunSum runSum)
    {
        uint64_t total = 0;
        for (std::size_t start = 0; start < count; start += kMaxSamples)
            total += runSum(start, std::min(kMaxSamples, count - start));
        return total;
    }

private:
    uint32_t m_upper = 0;
    uint32_t m_lower = 0;
};

// I^2 + Q^2 summed over a block.
uint64_t sumOfSquares(const IqSample* samples, std::size_t count);
// RMS level in dBFS of count samples whose I^2 + Q^2 sum to `squares`: a full-scale complex
// tone reads about 0, silence -240.
double rmsDbOfSquares(uint64_t squares, std::size_t count);

// Smoothed overload flag: the level approaches the raw "loud" flag (rms above -25 dBFS) with
// weight dt / (dt + 1) per block, so about 0.7 s of loud input sets it.
class OverloadMeter {
public:
    bool update(double rmsDb, double dtSec);
    float level() const { return m_level; }

private:
    float m_level = 0.0f;
};
