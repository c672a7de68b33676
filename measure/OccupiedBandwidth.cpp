#include "measure/OccupiedBandwidth.h"

#include <algorithm>

namespace {

Bandwidth between(double lowHz, double highHz)
{
    Bandwidth band;
    band.valid = true;
    band.lowHz = lowHz;
    band.highHz = highHz;
    band.widthHz = highHz - lowHz;
    return band;
}

} // namespace

Bandwidth occupiedBandwidth(const PowerTrace& trace, double percent)
{
    const double total = trace.totalBinPower();
    if (trace.bins() == 0 || !(total > 0.0) || !(percent > 0.0 && percent < 100.0))
        return {};
    const double outsideEachEdge = total * (100.0 - percent) / 200.0;
    return between(trace.frequencyBelow(outsideEachEdge), trace.frequencyBelow(total - outsideEachEdge));
}

Bandwidth xDbBandwidth(const PowerTrace& trace, double xDb)
{
    const auto levels = trace.levelsDb();
    if (levels.empty() || !(xDb > 0.0))
        return {};
    const float threshold = *std::max_element(levels.begin(), levels.end()) - static_cast<float>(xDb);
    const std::size_t last = levels.size() - 1;
    std::size_t low = 0;
    while (levels[low] < threshold)
        ++low;
    std::size_t high = last;
    while (levels[high] < threshold)
        --high;

    // Where the level crosses the threshold between an edge bin and its outer neighbour.
    const auto crossing = [&](std::size_t inside, std::size_t outside) {
        const double rise = levels[inside] - levels[outside];
        const double share = rise > 0.0 ? (levels[inside] - threshold) / rise : 0.0;
        const auto from = static_cast<double>(inside);
        const double bin = from + share * (static_cast<double>(outside) - from);
        return trace.frequencyOfBin(bin);
    };
    const double lowHz = low == 0 ? trace.frequencyOfBin(0.0) : crossing(low, low - 1);
    const double highHz = high == last ? trace.frequencyOfBin(static_cast<double>(last)) : crossing(high, high + 1);
    return between(lowHz, highHz);
}
