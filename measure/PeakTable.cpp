#include "measure/PeakTable.h"

#include "markers/PeakSearch.h"

#include <algorithm>

namespace {

// Keeps list.entries[0 .. size) sorted by falling level, at most `count` long; an equal level
// keeps the one found first (the lower frequency).
void keepIfStrong(PeakList& list, int count, const Peak& peak)
{
    if (list.size == count) {
        if (peak.levelDb <= list.entries[list.size - 1].levelDb)
            return;
        --list.size;
    }
    int at = list.size++;
    while (at > 0 && list.entries[at - 1].levelDb < peak.levelDb) {
        list.entries[at] = list.entries[at - 1];
        --at;
    }
    list.entries[at] = peak;
}

} // namespace

PeakList findPeaks(const PowerTrace& trace, const PeakTableSettings& s)
{
    PeakList list;
    const auto levels = trace.levelsDb();
    const int count = measure_settings::peakCount.clamp(s.count);
    if (levels.empty())
        return list;
    const std::size_t last = levels.size() - 1;
    const auto threshold = static_cast<float>(s.thresholdDb);
    const float highest = *std::max_element(levels.begin(), levels.end());
    for (std::size_t i = 0; i <= last; ++i) {
        const bool top = (i == 0 || levels[i] > levels[i - 1]) && (i == last || levels[i] >= levels[i + 1]);
        if (!top || levels[i] < threshold)
            continue;
        // A full table takes only a stronger peak: a weaker top need not be walked.
        if (list.size == count && levels[i] <= list.entries[list.size - 1].levelDb)
            continue;
        // The trace's highest point has nothing above it on either side: it counts as a peak.
        if (levels[i] < highest && !standsOut(levels, i, 0, last, static_cast<float>(s.excursionDb)))
            continue;
        keepIfStrong(list, count, {trace.frequencyOfBin(static_cast<double>(i)), levels[i]});
    }
    if (s.order == PeakOrder::Frequency)
        std::sort(list.entries.begin(), list.entries.begin() + list.size,
                  [](const Peak& a, const Peak& b) { return a.freqHz < b.freqHz; });
    return list;
}
