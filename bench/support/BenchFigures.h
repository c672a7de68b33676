#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

// How a benchmark sums up repeated measurements: by order, not by mean, so that the outliers a
// shared machine adds do not move the figure.
namespace benchfigures {

// The p-quantile (0..1) as the nearest of the sorted values; 0 for none.
inline double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const double at = std::clamp(p, 0.0, 1.0) * static_cast<double>(values.size() - 1) + 0.5;
    return values[static_cast<std::size_t>(at)];
}

inline double median(std::vector<double> values)
{
    return percentile(std::move(values), 0.5);
}

} // namespace benchfigures
