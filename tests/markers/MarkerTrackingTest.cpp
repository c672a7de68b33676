#include "markers/MarkerTracking.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace marker_tracking;

namespace {

// Centre 100 MHz, span 20 MHz, 1000 bins: 20 kHz bins from 90 MHz; every bin a different level.
std::vector<float> rampTrace()
{
    std::vector<float> trace(1000);
    for (std::size_t i = 0; i < trace.size(); ++i)
        trace[i] = -110.0f + 0.05f * static_cast<float>(i);
    return trace;
}

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
    EXPECT_EQ(nearestBin(109.98e6, 90e6, 20e3, 1000), 999u);
    EXPECT_EQ(nearestBin(std::numeric_limits<double>::infinity(), 90e6, 20e3, 1000), 999u);
    EXPECT_EQ(nearestBin(-std::numeric_limits<double>::infinity(), 90e6, 20e3, 1000), 0u);
    // A trace shorter than the bin width suggests is still only read inside.
    EXPECT_EQ(nearestBin(100e6, 90e6, 20e3, 10), 9u);
}

TEST(MarkerTracking, NoBinWithoutWidthBinsOrANumber)
{
    EXPECT_FALSE(nearestBin(95e6, 90e6, 0.0, 1000).has_value());
    EXPECT_FALSE(nearestBin(95e6, 90e6, 20e3, 0).has_value());
    EXPECT_FALSE(nearestBin(std::nan(""), 90e6, 20e3, 1000).has_value());
}

TEST(MarkerTracking, ManualMarkerReadsTheNearestBinAndKeepsItsFrequency)
{
    const std::vector<float> trace = rampTrace();
    const PeakReadout::Values peak = peakOf(trace);
    const Reading below = track({80e6, -120.0, false}, trace, peak);
    EXPECT_DOUBLE_EQ(below.freqHz, 80e6);
    EXPECT_DOUBLE_EQ(below.ampDb, trace[0]);
    const Reading above = track({120e6, -120.0, false}, trace, peak);
    EXPECT_DOUBLE_EQ(above.freqHz, 120e6);
    EXPECT_DOUBLE_EQ(above.ampDb, trace[999]);
    EXPECT_DOUBLE_EQ(track({90.01e6, -120.0, false}, trace, peak).ampDb, trace[1]);

    // Without a bin width the level stays what it was.
    PeakReadout::Values noBins = peak;
    noBins.binHz = 0.0;
    EXPECT_DOUBLE_EQ(track({95e6, -42.0, false}, trace, noBins).ampDb, -42.0);
    EXPECT_DOUBLE_EQ(track({std::nan(""), -42.0, false}, trace, peak).ampDb, -42.0);
}

TEST(MarkerTracking, AutoPeakMarkerTakesThePeakAndItsLevelAtOnce)
{
    std::vector<float> trace(1000, -100.0f);
    // Two equal highest bins: the lower one is the peak.
    trace[300] = -20.0f;
    trace[700] = -20.0f;
    const Reading r = track({80e6, -120.0, true}, trace, peakOf(trace));
    EXPECT_DOUBLE_EQ(r.freqHz, 90e6 + 300 * 20e3);
    EXPECT_DOUBLE_EQ(r.ampDb, -20.0);
    EXPECT_TRUE(r.autoPeakEnabled);
}

TEST(MarkerTracking, FuzzyEqualIsRelativeAndZeroOnlyEqualsZero)
{
    EXPECT_TRUE(fuzzyEqual(0.0, 0.0));
    EXPECT_FALSE(fuzzyEqual(0.0, 1e-300));
    EXPECT_TRUE(fuzzyEqual(1e9, 1e9 + 1e-4));
    EXPECT_FALSE(fuzzyEqual(1e9, 1e9 + 0.01));
    EXPECT_TRUE(fuzzyEqual(-120.0, -120.0));
    EXPECT_FALSE(fuzzyEqual(-120.0, -119.999));
    EXPECT_FALSE(fuzzyEqual(std::nan(""), std::nan("")));
}

TEST(MarkerTracking, MergeKeepsWhatTheUserChangedSinceTheSnapshot)
{
    // A manual marker moved after its reading was taken keeps the new place and its old level.
    Reading moved{97e6, -80.0, false};
    EXPECT_FALSE(merge(moved, {95e6, -30.0, false}));
    EXPECT_DOUBLE_EQ(moved.freqHz, 97e6);
    EXPECT_DOUBLE_EQ(moved.ampDb, -80.0);

    // Where it still is, its new level applies; the same level again changes nothing.
    Reading still{95e6, -80.0, false};
    EXPECT_TRUE(merge(still, {95e6, -30.0, false}));
    EXPECT_DOUBLE_EQ(still.ampDb, -30.0);
    EXPECT_FALSE(merge(still, {95e6, -30.0, false}));

    // An auto-peak marker goes wherever the peak is.
    Reading autoPeak{95e6, -80.0, true};
    EXPECT_TRUE(merge(autoPeak, {96e6, -20.0, true}));
    EXPECT_DOUBLE_EQ(autoPeak.freqHz, 96e6);
    EXPECT_DOUBLE_EQ(autoPeak.ampDb, -20.0);

    // Auto-peak switched off (or on) after the reading: the reading no longer describes it.
    Reading switchedOff{95e6, -80.0, false};
    EXPECT_FALSE(merge(switchedOff, {96e6, -20.0, true}));
    EXPECT_DOUBLE_EQ(switchedOff.freqHz, 95e6);
    Reading switchedOn{95e6, -80.0, true};
    EXPECT_FALSE(merge(switchedOn, {95e6, -30.0, false}));
    EXPECT_DOUBLE_EQ(switchedOn.ampDb, -80.0);
}
