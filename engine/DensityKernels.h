#pragma once

#include <cstddef>
#include <cstdint>

// The density map's per-column and per-cell loops: pure, allocation-free, each with an AVX2
// variant beside the baseline one.
namespace densitykernels {

// A column's score in one trace: its row in the low bits, its smear width above them.
constexpr int kSmearShift = 10;
static_assert(1 << kSmearShift >= 1024, "every row fits below the smear");
// A hit smears at most this many rows below its own.
constexpr int kMaxSmear = 3;

// Peak (not below floorDb) and sum of each column of a trace in dB, each column's bins taken in
// order: columns of `width` bins, the usual widths with loops of their own, or columns j of the
// bins columnStart[j] .. columnStart[j + 1] - 1.
void reduceEvenColumns(const float* __restrict trace, std::size_t width, float floorDb, float* __restrict peaks,
                       float* __restrict sums, std::size_t columns);
void reduceUnevenColumns(const float* trace, const std::size_t* columnStart, float floorDb, float* peaks, float* sums,
                         std::size_t columns);
// The same for a spectrum in power (positive, normal values): the peaks come out in dB, the
// sums add each bin's level read off its bits to within 0.13 dB, which only the smear reads.
void reduceEvenPowerColumns(const float* __restrict power, std::size_t width, float* __restrict peaks,
                            float* __restrict sums, std::size_t columns);
void reduceUnevenPowerColumns(const float* power, const std::size_t* columnStart, float* peaks, float* sums,
                              std::size_t columns);

// Row and smear width per column, and the row's offset in hits whose rows are `stride` apart.
// The row is the column's peak, so that a signal is drawn at its level however many bins a
// column holds; the smear, one row per 6 dB the peak stands over the column's mean, at most
// three, is drawn below it. Written branch-free and in float (a row is a fraction of a dB, far
// above float's resolution) so that it vectorises eight columns at a time; NaN levels land on
// row 0. The smear is compared rather than divided, which would keep the loop at the divider's pace.
void scoreColumns(const float* __restrict peaks, const float* __restrict sums, const float* __restrict inverseCounts,
                  uint16_t* __restrict events, uint32_t* __restrict cells, uint32_t stride, std::size_t columns,
                  float minDb, float levelsPerDb, float topRow);

// The lowest and highest centre row per column over `traces` traces of scores, trace t at
// t * columns.
void centreRowSpans(const uint16_t* __restrict events, std::size_t traces, std::size_t columns,
                    uint16_t* __restrict low, uint16_t* __restrict high);

// Whether any of the n values is at least the threshold (NaN is not).
bool anyAtLeast(const float* __restrict values, std::size_t n, float threshold);

// density := density * decay + hits, hits := 0, in one pass over the cells.
void decayAndAdd(float* __restrict density, float* __restrict hits, double decay, std::size_t cells);

} // namespace densitykernels
