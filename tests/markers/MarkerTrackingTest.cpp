#include "markers/MarkerTracking.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace marker_tracking;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// Centre 100 MHz, span 20 MHz, 1000 bins: the peak readout of this trace.
PeakReadout::Values peakOf(const std::vector<float>& trace)
{
    PeakReadout readout;
    return readout.update(trace, 100e6, 20e6, trace.size());
}

} // namespace

TEST(MarkerTracking, NearestBinClampsToTheSpanAndRoundsHalvesUp)
{
    EXPECT_EQ(nearestBin(90.01e6, 90e6, 20e3, 1000), 1u);
    EXPECT_EQ(nearestBin(90.009e6, 90e6, 20e3, 1000), 0u);
    EXPECT_EQ(nearestBin(90.03e6, 90e6, 20e3, 1000), 2u);
    EXPECT_EQ(nearestBin(80e6, 90e6, 20e3, 1000), 0u);
    EXPECT_EQ(nearestBin(120e6, 90e6, 20e3, 1000), 999u);
    EXPECT_EQ(nearestBin(kInf, 90e6, 20e3, 1000), 999u);
    EXPECT_EQ(nearestBin(-kInf, 90e6, 20e3, 1000), 0u);
    // A trace shorter than the span suggests is still only read inside.
    EXPECT_EQ(nearestBin(100e6, 90e6, 20e3, 10), 9u);
    EXPECT_FALSE(nearestBin(95e6, 90e6, 0.0, 1000));
    EXPECT_FALSE(nearestBin(95e6, 90e6, 20e3, 0));
    EXPECT_FALSE(nearestBin(std::nan(""), 90e6, 20e3, 1000));
}

TEST(MarkerTracking, MarkersReadTheNearestBinAndAutoPeakMovesToTheLowerEqualMaximum)
{
    std::vector<float> trace(1000, -100.0f);
    trace[0] = -90.0f;
    trace[999] = -80.0f;
    trace[300] = -20.0f;
    trace[700] = -20.0f;
    const PeakReadout::Values peak = peakOf(trace);
    const Reading below = track({80e6, -120.0, false}, trace, peak);
    EXPECT_DOUBLE_EQ(below.freqHz, 80e6);
    EXPECT_DOUBLE_EQ(below.ampDb, -90.0);
    const Reading above = track({120e6, -120.0, false}, trace, peak);
    EXPECT_DOUBLE_EQ(above.freqHz, 120e6);
    EXPECT_DOUBLE_EQ(above.ampDb, -80.0);
    const Reading autoPeak = track({80e6, -120.0, true}, trace, peak);
    EXPECT_DOUBLE_EQ(autoPeak.freqHz, 96e6);
    EXPECT_DOUBLE_EQ(autoPeak.ampDb, -20.0);

    // Without a readable bin the level stays what it was.
    PeakReadout::Values noBins = peak;
    noBins.binHz = 0.0;
    EXPECT_DOUBLE_EQ(track({95e6, -42.0, false}, trace, noBins).ampDb, -42.0);
    EXPECT_DOUBLE_EQ(track({std::nan(""), -42.0, false}, trace, peak).ampDb, -42.0);
}

TEST(MarkerTracking, FuzzyEqualIsRelativeAndZeroOnlyEqualsZero)
{
    EXPECT_TRUE(fuzzyEqual(0.0, 0.0));
    EXPECT_FALSE(fuzzyEqual(0.0, 1e-300));
    EXPECT_TRUE(fuzzyEqual(1e9, 1e9 + 1e-4));
    EXPECT_FALSE(fuzzyEqual(1e9, 1e9 + 0.01));
    EXPECT_FALSE(fuzzyEqual(-120.0, -119.999));
}

TEST(MarkerTracking, MergeKeepsWhatTheUserChangedSinceTheSnapshot)
{
    // A manual marker moved after its reading was taken keeps its new place and old level.
    Reading moved{97e6, -80.0, false};
    EXPECT_FALSE(merge(moved, {95e6, -30.0, false}));
    EXPECT_DOUBLE_EQ(moved.freqHz, 97e6);
    EXPECT_DOUBLE_EQ(moved.ampDb, -80.0);
    Reading still{95e6, -80.0, false};
    EXPECT_TRUE(merge(still, {95e6, -30.0, false}));
    EXPECT_DOUBLE_EQ(still.ampDb, -30.0);

    // An auto-peak marker goes wherever the peak is.
    Reading autoPeak{95e6, -80.0, true};
    EXPECT_TRUE(merge(autoPeak, {96e6, -20.0, true}));
    EXPECT_DOUBLE_EQ(autoPeak.freqHz, 96e6);

    // Auto-peak switched off or on after the reading: it no longer describes the marker.
    Reading switchedOff{95e6, -80.0, false};
    EXPECT_FALSE(merge(switchedOff, {96e6, -20.0, true}));
    EXPECT_DOUBLE_EQ(switchedOff.freqHz, 95e6);
    Reading switchedOn{95e6, -80.0, true};
    EXPECT_FALSE(merge(switchedOn, {95e6, -30.0, false}));
    EXPECT_DOUBLE_EQ(switchedOn.ampDb, -80.0);
}
