#include "markers/PeakSearch.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

namespace {

// 200 bins of a floor at -90 dB with 1 dB of alternating noise, a broad station at -30 dB over
// bins 40 to 60 whose top ripples by 2 dB (its maximum at bin 52), and a narrow one at -50 dB
// at bin 150.
std::vector<float> twoStations()
{
    std::vector<float> trace(200);
    for (std::size_t i = 0; i < trace.size(); ++i)
        trace[i] = -90.0f + (i % 2 == 0 ? 1.0f : 0.0f);
    for (std::size_t i = 40; i <= 60; ++i)
        trace[i] = -32.0f + (i % 3 == 0 ? 2.0f : 0.0f);
    trace[52] = -29.0f;
    trace[149] = -70.0f;
    trace[150] = -50.0f;
    trace[151] = -70.0f;
    return trace;
}

std::optional<std::size_t> peakOf(const std::vector<float>& trace, std::vector<std::size_t> marked,
                                  std::size_t first = 0, std::size_t last = 199)
{
    return highestUnmarkedPeak(trace, first, last, marked);
}

} // namespace

TEST(PeakSearch, ANewMarkerGoesToTheHighestStationNotYetMarked)
{
    const std::vector<float> trace = twoStations();
    EXPECT_EQ(peakOf(trace, {}), 52u);
    // A marker anywhere on the broad station's top marks it: the ripple is no second peak.
    EXPECT_EQ(peakOf(trace, {43}), 150u);
    EXPECT_EQ(peakOf(trace, {52}), 150u);
    // Markers on both stations leave only the noise, none of whose bumps is a peak.
    EXPECT_EQ(peakOf(trace, {60, 150}), std::nullopt);
    // A marker on the floor beside a station does not mark it.
    EXPECT_EQ(peakOf(trace, {30}), 52u);
}

TEST(PeakSearch, LooksOnlyWithinTheGivenRange)
{
    const std::vector<float> trace = twoStations();
    EXPECT_EQ(peakOf(trace, {}, 100, 199), 150u);
    // The range's end is clamped to the trace; an empty or reversed range finds nothing.
    EXPECT_EQ(peakOf(trace, {}, 100, 5000), 150u);
    EXPECT_EQ(peakOf(trace, {}, 150, 100), std::nullopt);
    EXPECT_EQ(highestUnmarkedPeak({}, 0, 10, {}), std::nullopt);
    // A flat trace has its highest point, the first, as its one peak.
    const std::vector<float> flat(10, -80.0f);
    EXPECT_EQ(peakOf(flat, {}, 0, 9), 0u);
    EXPECT_EQ(peakOf(flat, {5}, 0, 9), std::nullopt);
}
