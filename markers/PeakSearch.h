#pragma once

#include <cstddef>
#include <optional>
#include <span>

// A peak stands this far above the lowest point between it and any higher part of the trace
// (its prominence); the noise on top of a broad signal does not, so the signal is one peak.
inline constexpr float kPeakExcursionDb = 6.0f;

// Whether the top at trace[i] is a peak: on each side the trace falls by the excursion before
// it rises above the top or the range ends. Each side's walk stops as soon as that is decided.
bool standsOut(std::span<const float> trace, std::size_t i, std::size_t first, std::size_t last, float excursionDb);

// The highest peak of trace[first ... last] with no marker on it, as a trace index. A marker is
// on a peak when it lies where the trace stays within the excursion below the peak's top, so a
// new marker skips a station already marked anywhere on its top. Nothing when every peak is
// marked or the range is empty.
std::optional<std::size_t> highestUnmarkedPeak(std::span<const float> trace, std::size_t first, std::size_t last,
                                               std::span<const std::size_t> markedBins,
                                               float excursionDb = kPeakExcursionDb);
