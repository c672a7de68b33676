#include "engine/InterceptTime.h"

#include "engine/FftWindow.h"
#include "engine/SpectrumSettingTable.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace intercept {

namespace {

// The window's running sums: sums[k] is the sum of its first k values.
std::vector<double> windowSums(std::size_t n, int windowType)
{
    std::vector<double> sums(n + 1, 0.0);
    for (std::size_t i = 0; i < n; ++i)
        sums[i + 1] = sums[i] + fftWindowValue(windowType, i, n);
    return sums;
}

// The least, over where a burst of `length` samples starts, of the largest share of the
// window's sum it covers in one block. Blocks start at multiples of hop, so its start repeats
// with period hop.
double worstBestShare(const std::vector<double>& sums, std::size_t hop, std::size_t length)
{
    const auto n = static_cast<long long>(sums.size() - 1);
    const auto h = static_cast<long long>(hop);
    const auto d = static_cast<long long>(length);
    double worst = 1.0;
    for (long long start = 0; start < h; ++start) {
        double best = 0.0;
        // Every block that overlaps [start, start + d): those starting after start - n and
        // before start + d.
        for (long long block = (start - n) / h * h; block < start + d; block += h) {
            const long long from = std::clamp(start - block, 0LL, n);
            const long long to = std::clamp(start + d - block, 0LL, n);
            best = std::max(best, sums[static_cast<std::size_t>(to)] - sums[static_cast<std::size_t>(from)]);
        }
        worst = std::min(worst, best / sums.back());
    }
    return worst;
}

} // namespace

std::size_t fullAmplitudeSamples(std::size_t n, int windowType, std::size_t hop)
{
    if (n == 0)
        return 0;
    hop = std::clamp<std::size_t>(hop, 1, n);
    const std::vector<double> sums = windowSums(n, windowType);
    const double needed = std::pow(10.0, -kFullAmplitudeDb / 20.0);
    // A burst of n + hop - 1 samples fills some block wherever it starts; the share only grows
    // with the length, so the shortest one that is enough is found by halving.
    std::size_t low = 1;
    std::size_t high = n + hop - 1;
    while (low < high) {
        const std::size_t mid = low + (high - low) / 2;
        if (worstBestShare(sums, hop, mid) >= needed)
            high = mid;
        else
            low = mid + 1;
    }
    return low;
}

double fullAmplitudeSeconds(std::size_t n, int windowType, int overlapPercent, double sampleRateHz)
{
    if (n == 0 || !(sampleRateHz > 0.0))
        return 0.0;
    const std::size_t hop = spectrum_settings::hopSamples(n, overlapPercent);
    return static_cast<double>(fullAmplitudeSamples(n, windowType, hop)) / sampleRateHz;
}

} // namespace intercept
