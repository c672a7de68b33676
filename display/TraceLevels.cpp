#include "display/TraceLevels.h"

#include <algorithm>

bool measureTraceLevels(std::span<const float> trace, std::vector<float>& scratch, TraceLevels& levels)
{
    if (trace.empty())
        return false;
    scratch.assign(trace.begin(), trace.end());
    const auto middle = scratch.begin() + static_cast<std::ptrdiff_t>(scratch.size() / 2);
    std::nth_element(scratch.begin(), middle, scratch.end());
    levels.noiseFloorDb = *middle;
    levels.strongestDb = *std::max_element(trace.begin(), trace.end());
    return true;
}
