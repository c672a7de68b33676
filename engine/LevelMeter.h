#pragma once

#include "acquisition/IqSample.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

// I^2 + Q^2 summed over a run of at most kMaxSamples samples, exactly. A sum of squares may not
// fit 32 bits, so each value v is split into 256 h + l, h its signed upper byte and l its
// unsigned lower one, and h^2, h l and l^2 are summed apart in 32 bits: v^2 = 65536 h^2 +
// 512 h l + l^2. Products of 16-bit halves summed in pairs are what the processor's multiply-add
// does, so the loops stay in 16-bit lanes. I and Q are added alike, one value at a time: a loop
// over the interleaved values vectorises as they come, with no separating of I from Q.
class SquareSum {
public:
    // l^2 <= 65025 a value, twice a sample: the largest of the three sums stays below 2^31.
    static constexpr std::size_t kMaxSamples = std::size_t{1} << 14;

    void add(int16_t value)
    {
        const auto high = static_cast<int16_t>(value >> 8);
        const auto low = static_cast<int16_t>(value & 0xff);
        m_high += high * high;
        m_cross += high * low;
        m_low += low * low;
    }
    uint64_t total() const
    {
        return static_cast<uint64_t>(int64_t{m_high} * 65536 + int64_t{m_cross} * 512 + int64_t{m_low});
    }

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
    int32_t m_high = 0;
    int32_t m_cross = 0;
    int32_t m_low = 0;
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
