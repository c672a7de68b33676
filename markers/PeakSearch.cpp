#include "markers/PeakSearch.h"

#include <algorithm>
#include <vector>

namespace {

// Whether the trace falls to `floor` on the way from the peak at i to the first point above it,
// or to the range's end, walking by `step`.
bool fallsTo(std::span<const float> trace, std::size_t i, std::size_t first, std::size_t last, int step, float floor)
{
    for (std::size_t k = i; k != (step < 0 ? first : last);) {
        k = step < 0 ? k - 1 : k + 1;
        if (trace[k] > trace[i])
            return false;
        if (trace[k] <= floor)
            return true;
    }
    return false;
}

bool isMarked(std::span<const float> trace, std::size_t i, std::size_t first, std::size_t last,
              std::span<const std::size_t> markedBins, float excursionDb)
{
    const float floor = trace[i] - excursionDb;
    std::size_t from = i;
    while (from > first && trace[from - 1] >= floor)
        --from;
    std::size_t to = i;
    while (to < last && trace[to + 1] >= floor)
        ++to;
    return std::any_of(markedBins.begin(), markedBins.end(), [=](std::size_t bin) { return bin >= from && bin <= to; });
}

} // namespace

bool standsOut(std::span<const float> trace, std::size_t i, std::size_t first, std::size_t last, float excursionDb)
{
    const float floor = trace[i] - excursionDb;
    return fallsTo(trace, i, first, last, -1, floor) && fallsTo(trace, i, first, last, +1, floor);
}

std::optional<std::size_t> highestUnmarkedPeak(std::span<const float> trace, std::size_t first, std::size_t last,
                                               std::span<const std::size_t> markedBins, float excursionDb)
{
    if (trace.empty() || first > last || first >= trace.size())
        return std::nullopt;
    last = std::min(last, trace.size() - 1);

    std::vector<std::size_t> tops;
    for (std::size_t i = first; i <= last; ++i) {
        const bool aboveLeft = i == first || trace[i] > trace[i - 1];
        const bool notBelowRight = i == last || trace[i] >= trace[i + 1];
        if (aboveLeft && notBelowRight)
            tops.push_back(i);
    }
    std::stable_sort(tops.begin(), tops.end(), [&](std::size_t a, std::size_t b) { return trace[a] > trace[b]; });
    for (const std::size_t i : tops) {
        // The highest top of all has nothing above it on either side: it counts as a peak.
        const bool highest = i == tops.front();
        if (!highest && !standsOut(trace, i, first, last, excursionDb))
            continue;
        if (!isMarked(trace, i, first, last, markedBins, excursionDb))
            return i;
    }
    return std::nullopt;
}
