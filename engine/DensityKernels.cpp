#include "engine/DensityKernels.h"

#include "engine/PairedLanes.h"
#include "engine/VectorClones.h"

namespace densitykernels {

namespace {

// Peak and sum of each column of `width` bins, each column's bins taken in order as the general
// loop takes them. With the width known, a column's bins are one group of loads that vectorises
// across columns; otherwise a bin offset at a time across all columns, which vectorises too.
template <std::size_t Width>
inline void reduceColumnsOf(const float* __restrict trace, std::size_t width, float floorDb,
                            float* __restrict peaks, float* __restrict sums, std::size_t columns)
{
    if constexpr (Width > 0) {
        std::size_t j = 0;
        if constexpr (Width == 2) {
            // Eight columns at a time, the same comparisons and additions in the same order.
            const pairedlanes::Floats floor = pairedlanes::Floats{} + floorDb;
            for (; j + 8 <= columns; j += 8) {
                pairedlanes::Floats firsts;
                pairedlanes::Floats seconds;
                pairedlanes::split(trace + 2 * j, firsts, seconds);
                pairedlanes::Floats peak = firsts > floor ? firsts : floor;
                peak = seconds > peak ? seconds : peak;
                pairedlanes::store(peaks + j, peak);
                pairedlanes::store(sums + j, (pairedlanes::Floats{} + firsts) + seconds);
            }
        }
        for (; j < columns; ++j) {
            float peak = floorDb;
            float sum = 0.0f;
            for (std::size_t offset = 0; offset < Width; ++offset) {
                const float v = trace[j * Width + offset];
                peak = v > peak ? v : peak;
                sum += v;
            }
            peaks[j] = peak;
            sums[j] = sum;
        }
    } else {
        for (std::size_t j = 0; j < columns; ++j) {
            peaks[j] = floorDb;
            sums[j] = 0.0f;
        }
        for (std::size_t offset = 0; offset < width; ++offset) {
            for (std::size_t j = 0; j < columns; ++j) {
                const float v = trace[j * width + offset];
                peaks[j] = v > peaks[j] ? v : peaks[j];
                sums[j] += v;
            }
        }
    }
}

} // namespace

RTSA_VECTOR_CLONES void reduceEvenColumns(const float* __restrict trace, std::size_t width, float floorDb,
                                          float* __restrict peaks, float* __restrict sums, std::size_t columns)
{
    switch (width) {
    case 1:
        return reduceColumnsOf<1>(trace, width, floorDb, peaks, sums, columns);
    case 2:
        return reduceColumnsOf<2>(trace, width, floorDb, peaks, sums, columns);
    case 4:
        return reduceColumnsOf<4>(trace, width, floorDb, peaks, sums, columns);
    case 8:
        return reduceColumnsOf<8>(trace, width, floorDb, peaks, sums, columns);
    default:
        return reduceColumnsOf<0>(trace, width, floorDb, peaks, sums, columns);
    }
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
