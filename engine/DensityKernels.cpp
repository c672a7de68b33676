#include "engine/DensityKernels.h"

#include "engine/FastLog.h"
#include "engine/PairedLanes.h"
#include "engine/VectorClones.h"

#include <cstring>

namespace densitykernels {

namespace {

using Lanes = int32_t __attribute__((vector_size(32)));

// How a column's bins are read. A trace's levels are dB as they stand, its peak not below the
// floor. A spectrum's bins are power: the peak is taken in power and converted once per
// column, exactly; the sum, which only sets the smear (a row per 6 dB the peak stands over the
// mean), adds logarithms read off each float's exponent and mantissa bits, within 0.13 dB: per
// bin only the bits as a number are added, scaled to dB once per column.
struct DbLevels {
    static float peakStart(float floorDb) { return floorDb; }
    static float level(float v) { return v; }
    // Vectors in and out by reference: returned by value they would change the ABI.
    static void levels(const pairedlanes::Floats& v, pairedlanes::Floats& out) { out = v; }
};

struct PowerLevels {
    // 10 log10(2) per octave, 2^23 bit patterns per octave; the offset centres the error of
    // reading the mantissa as linear in its logarithm (0 to 0.086 octaves).
    static constexpr float kDbPerBit = 3.0102999566f / 8388608.0f;
    static constexpr float kDbAtZeroBits = -127.0f * 3.0102999566f + 0.0430f * 3.0102999566f;

    static float peakStart(float) { return 0.0f; }
    static float level(float v)
    {
        int32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        return static_cast<float>(bits);
    }
    static void levels(const pairedlanes::Floats& v, pairedlanes::Floats& out)
    {
        Lanes bits;
        std::memcpy(&bits, &v, sizeof bits);
        out = __builtin_convertvector(bits, pairedlanes::Floats);
    }
    // The peaks in dB, and the sums of `count(j)` bins' bit patterns as their levels' sums.
    template <typename Count>
    static void finish(float* __restrict peaks, float* __restrict sums, std::size_t columns, Count count)
    {
        for (std::size_t j = 0; j < columns; ++j) {
            peaks[j] = fastlog::powerToDb(peaks[j]);
            sums[j] = sums[j] * kDbPerBit + count(j) * kDbAtZeroBits;
        }
    }
};

// Peak and summed level of each column of `width` bins, each column's bins taken in order. With
// the width known, a column's bins are one group of loads that vectorises across columns;
// otherwise a bin offset at a time across all columns, which vectorises too.
template <typename Levels, std::size_t Width>
inline void reduceColumnsOf(const float* __restrict bins, std::size_t width, float floorDb,
                            float* __restrict peaks, float* __restrict sums, std::size_t columns)
{
    const float peakStart = Levels::peakStart(floorDb);
    if constexpr (Width > 0) {
        std::size_t j = 0;
        if constexpr (Width == 2) {
            // Eight columns at a time, the same comparisons and additions in the same order.
            const pairedlanes::Floats floor = pairedlanes::Floats{} + peakStart;
            for (; j + 8 <= columns; j += 8) {
                pairedlanes::Floats firsts;
                pairedlanes::Floats seconds;
                pairedlanes::split(bins + 2 * j, firsts, seconds);
                pairedlanes::Floats peak = firsts > floor ? firsts : floor;
                peak = seconds > peak ? seconds : peak;
                pairedlanes::store(peaks + j, peak);
                pairedlanes::Floats firstLevels;
                pairedlanes::Floats secondLevels;
                Levels::levels(firsts, firstLevels);
                Levels::levels(seconds, secondLevels);
                pairedlanes::store(sums + j, (pairedlanes::Floats{} + firstLevels) + secondLevels);
            }
        }
        for (; j < columns; ++j) {
            float peak = peakStart;
            float sum = 0.0f;
            for (std::size_t offset = 0; offset < Width; ++offset) {
                const float v = bins[j * Width + offset];
                peak = v > peak ? v : peak;
                sum += Levels::level(v);
            }
            peaks[j] = peak;
            sums[j] = sum;
        }
    } else {
        for (std::size_t j = 0; j < columns; ++j) {
            peaks[j] = peakStart;
            sums[j] = 0.0f;
        }
        for (std::size_t offset = 0; offset < width; ++offset) {
            for (std::size_t j = 0; j < columns; ++j) {
                const float v = bins[j * width + offset];
                peaks[j] = v > peaks[j] ? v : peaks[j];
                sums[j] += Levels::level(v);
            }
        }
    }
}

template <typename Levels>
inline void reduceEvenColumnsOf(const float* __restrict bins, std::size_t width, float floorDb,
                                float* __restrict peaks, float* __restrict sums, std::size_t columns)
{
    switch (width) {
    case 1:
        return reduceColumnsOf<Levels, 1>(bins, width, floorDb, peaks, sums, columns);
    case 2:
        return reduceColumnsOf<Levels, 2>(bins, width, floorDb, peaks, sums, columns);
    case 4:
        return reduceColumnsOf<Levels, 4>(bins, width, floorDb, peaks, sums, columns);
    case 8:
        return reduceColumnsOf<Levels, 8>(bins, width, floorDb, peaks, sums, columns);
    default:
        return reduceColumnsOf<Levels, 0>(bins, width, floorDb, peaks, sums, columns);
    }
}

template <typename Levels>
inline void reduceUnevenColumnsOf(const float* __restrict bins, const std::size_t* __restrict columnStart,
                                  float floorDb, float* __restrict peaks, float* __restrict sums, std::size_t columns)
{
    for (std::size_t j = 0; j < columns; ++j) {
        float peak = Levels::peakStart(floorDb);
        float sum = 0.0f;
        for (std::size_t i = columnStart[j]; i < columnStart[j + 1]; ++i) {
            peak = bins[i] > peak ? bins[i] : peak;
            sum += Levels::level(bins[i]);
        }
        peaks[j] = peak;
        sums[j] = sum;
    }
}

} // namespace

RTSA_VECTOR_CLONES void reduceEvenColumns(const float* __restrict trace, std::size_t width, float floorDb,
                                          float* __restrict peaks, float* __restrict sums, std::size_t columns)
{
    reduceEvenColumnsOf<DbLevels>(trace, width, floorDb, peaks, sums, columns);
}

void reduceUnevenColumns(const float* trace, const std::size_t* columnStart, float floorDb, float* peaks, float* sums,
                         std::size_t columns)
{
    reduceUnevenColumnsOf<DbLevels>(trace, columnStart, floorDb, peaks, sums, columns);
}

RTSA_VECTOR_CLONES void reduceEvenPowerColumns(const float* __restrict power, std::size_t width,
                                               float* __restrict peaks, float* __restrict sums, std::size_t columns)
{
    reduceEvenColumnsOf<PowerLevels>(power, width, 0.0f, peaks, sums, columns);
    const auto bins = static_cast<float>(width);
    PowerLevels::finish(peaks, sums, columns, [bins](std::size_t) { return bins; });
}

void reduceUnevenPowerColumns(const float* power, const std::size_t* columnStart, float* peaks, float* sums,
                              std::size_t columns)
{
    reduceUnevenColumnsOf<PowerLevels>(power, columnStart, 0.0f, peaks, sums, columns);
    PowerLevels::finish(peaks, sums, columns,
                        [columnStart](std::size_t j) { return static_cast<float>(columnStart[j + 1] - columnStart[j]); });
}

RTSA_VECTOR_CLONES void scoreColumns(const float* __restrict peaks, const float* __restrict sums,
                                     const float* __restrict inverseCounts, uint16_t* __restrict events,
                                     uint32_t* __restrict cells, uint32_t stride,
                                     std::size_t columns, float minDb, float levelsPerDb, float topRow)
{
    // Every column holds at least one bin (columns <= trace length).
    for (std::size_t j = 0; j < columns; ++j) {
        const float peak = peaks[j];
        const float avg = sums[j] * inverseCounts[j];
        float position = (peak - minDb) * levelsPerDb + 0.5f;
        position = position > 0.0f ? position : 0.0f;
        position = position < topRow ? position : topRow;
        const float over = peak - avg;
        const int32_t smear = static_cast<int32_t>(over >= 6.0f) + static_cast<int32_t>(over >= 12.0f) +
                              static_cast<int32_t>(over >= 18.0f);
        static_assert(kMaxSmear == 3, "one comparison per row of smear");
        const int32_t row = static_cast<int32_t>(position);
        events[j] = static_cast<uint16_t>(row | smear << kSmearShift);
        cells[j] = static_cast<uint32_t>(row) * stride;
    }
}

RTSA_VECTOR_CLONES void centreRowSpans(const uint16_t* __restrict events, std::size_t traces, std::size_t columns,
                                       uint16_t* __restrict low, uint16_t* __restrict high)
{
    constexpr uint16_t kRowMask = (1 << kSmearShift) - 1;
    for (std::size_t j = 0; j < columns; ++j) {
        low[j] = kRowMask;
        high[j] = 0;
    }
    for (std::size_t t = 0; t < traces; ++t) {
        const uint16_t* trace = events + t * columns;
        for (std::size_t j = 0; j < columns; ++j) {
            const uint16_t row = trace[j] & kRowMask;
            low[j] = row < low[j] ? row : low[j];
            high[j] = row > high[j] ? row : high[j];
        }
    }
}

RTSA_VECTOR_CLONES bool anyAtLeast(const float* __restrict values, std::size_t n, float threshold)
{
    int found = 0;
    for (std::size_t i = 0; i < n; ++i)
        found |= static_cast<int>(values[i] >= threshold);
    return found != 0;
}

RTSA_VECTOR_CLONES void decayAndAdd(float* __restrict density, float* __restrict hits, double decay, std::size_t cells)
{
    for (std::size_t i = 0; i < cells; ++i) {
        density[i] = static_cast<float>(static_cast<double>(density[i]) * decay) + hits[i];
        hits[i] = 0.0f;
    }
}

} // namespace densitykernels
