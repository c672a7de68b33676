// The measurements on hand-made traces, where the exact answer follows from the trace's shape.
#include "engine/SpectrumSettingTable.h"
#include "measure/Measurements.h"
#include "measure/MinHold.h"
#include "measure/TraceCsv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

namespace {

// 1 kHz bins from 100 kHz, noise bandwidth 1 bin unless told.
PowerTrace traceOf(const std::vector<float>& db, double enbwBins = 1.0)
{
    PowerTrace trace;
    trace.assign({db.data(), db.size(), 100e3, 1e3, enbwBins});
    return trace;
}

// A floor at -100 dB with a ripple of 1 dB, and tops where asked.
std::vector<float> floorWith(std::initializer_list<std::pair<std::size_t, float>> tops)
{
    std::vector<float> db(200);
    for (std::size_t i = 0; i < db.size(); ++i)
        db[i] = -100.0f + (i % 2 == 0 ? 1.0f : 0.0f);
    for (const auto& [bin, level] : tops) {
        db[bin] = level;
        db[bin - 1] = db[bin + 1] = level - 10.0f;
    }
    return db;
}

} // namespace

TEST(ChannelPowerOnTrace, SumsTheBinsInsideAndCutsThoseAtTheEdges)
{
    // Every bin 0 dB (power 1) with a noise bandwidth of 2 bins: a band of b bins holds b / 2.
    const PowerTrace trace = traceOf(std::vector<float>(100, 0.0f), 2.0);
    const ChannelPower c = channelPower(trace, 150e3, 10.5e3);
    ASSERT_TRUE(c.valid);
    EXPECT_NEAR(c.powerDb, 10.0 * std::log10(10.5 / 2.0), 1e-4);
    EXPECT_NEAR(c.densityDbHz, 10.0 * std::log10(0.5 / 1e3), 1e-4);

    // Past the trace's edge (99.5 kHz) the band is cut to the trace.
    const ChannelPower cut = channelPower(trace, 100e3, 20e3);
    ASSERT_TRUE(cut.valid);
    EXPECT_DOUBLE_EQ(cut.lowHz, 99.5e3);
    EXPECT_NEAR(cut.powerDb, 10.0 * std::log10(10.5 / 2.0), 1e-4);

    EXPECT_FALSE(channelPower(trace, 1e6, 10e3).valid);
    EXPECT_FALSE(channelPower(trace, 150e3, 0.0).valid);
}

TEST(AdjacentChannelsOnTrace, ReadEachChannelAgainstTheMainAndNothingOffTheTrace)
{
    std::vector<float> db(100, -60.0f);
    for (std::size_t i = 45; i < 55; ++i)
        db[i] = 0.0f;   // main: 145..154 kHz
    for (std::size_t i = 65; i < 75; ++i)
        db[i] = -20.0f; // upper neighbour at +20 kHz
    const PowerTrace trace = traceOf(db);
    AdjacentChannelSettings s;
    s.mainBandwidthHz = 10e3;
    s.adjacentBandwidthHz = 10e3;
    s.spacingHz = 20e3;
    s.pairs = 3;
    const AdjacentChannels acp = adjacentChannelPower(trace, 149.5e3, s);
    EXPECT_NEAR(acp.mainDb, 10.0, 1e-4);
    EXPECT_NEAR(acp.upperDbc[0], -20.0, 1e-4);
    EXPECT_NEAR(acp.lowerDbc[0], -60.0, 1e-4);
    EXPECT_NEAR(acp.upperDbc[1], -60.0, 1e-4);
    // The third pair lies at 89.5 and 209.5 kHz: beyond the trace on both sides.
    EXPECT_TRUE(std::isnan(acp.lowerDbc[2]));
    EXPECT_TRUE(std::isnan(acp.upperDbc[2]));

    s.pairs = 7;
    EXPECT_EQ(adjacentChannelPower(trace, 149.5e3, s).pairs, kMaxAdjacentPairs);
}

TEST(BandwidthOnTrace, OccupiedAndXdbBandwidthFollowTheShape)
{
    // A flat block of 40 bins (140..179 kHz) far above a floor that holds no power to speak of.
    std::vector<float> db(200, -150.0f);
    for (std::size_t i = 40; i < 80; ++i)
        db[i] = 0.0f;
    const PowerTrace block = traceOf(db);
    const Bandwidth obw = occupiedBandwidth(block, 90.0);
    ASSERT_TRUE(obw.valid);
    EXPECT_NEAR(obw.widthHz, 36e3, 1.0);
    EXPECT_NEAR(obw.lowHz, 139.5e3 + 2e3, 1.0);

    // A triangle falling 2 dB a bin from its top at bin 100: 26 dB down is 13 bins each side.
    std::vector<float> triangle(200);
    for (std::size_t i = 0; i < triangle.size(); ++i)
        triangle[i] = -2.0f * std::abs(static_cast<float>(i) - 100.0f);
    const Bandwidth x = xDbBandwidth(traceOf(triangle), 26.0);
    ASSERT_TRUE(x.valid);
    EXPECT_NEAR(x.lowHz, 187e3, 1e-3);
    EXPECT_NEAR(x.highHz, 213e3, 1e-3);
    // Between bins: 25 dB down lies half way between bins 112 and 113.
    EXPECT_NEAR(xDbBandwidth(traceOf(triangle), 25.0).widthHz, 25e3, 1e-3);
    EXPECT_FALSE(occupiedBandwidth(PowerTrace{}, 99.0).valid);
}

TEST(PeakTableOnTrace, ListsTheStrongestPeaksThatStandOutByTheExcursion)
{
    const PowerTrace trace = traceOf(floorWith({{20, -40.0f}, {60, -70.0f}, {100, -30.0f}, {150, -95.5f}}));
    PeakTableSettings s;
    s.thresholdDb = -90.0;
    PeakList list = findPeaks(trace, s);
    // The ripple (1 dB) and the top at bin 150 (below the threshold) are no peaks.
    ASSERT_EQ(list.size, 3);
    EXPECT_DOUBLE_EQ(list.entries[0].freqHz, 200e3);
    EXPECT_DOUBLE_EQ(list.entries[0].levelDb, -30.0);
    EXPECT_DOUBLE_EQ(list.entries[1].freqHz, 120e3);
    EXPECT_DOUBLE_EQ(list.entries[2].freqHz, 160e3);

    s.order = PeakOrder::Frequency;
    list = findPeaks(trace, s);
    ASSERT_EQ(list.size, 3);
    EXPECT_DOUBLE_EQ(list.entries[0].freqHz, 120e3);
    EXPECT_DOUBLE_EQ(list.entries[2].freqHz, 200e3);

    // The count keeps the strongest, whatever the order they come in along the trace.
    s.count = 2;
    s.order = PeakOrder::Level;
    list = findPeaks(trace, s);
    ASSERT_EQ(list.size, 2);
    EXPECT_DOUBLE_EQ(list.entries[1].levelDb, -40.0);

    // An excursion above the tops' 10 dB shoulders still finds them: the shoulders fall further.
    s.excursionDb = 40.0;
    s.count = 10;
    list = findPeaks(trace, s);
    ASSERT_EQ(list.size, 2);
    EXPECT_DOUBLE_EQ(list.entries[1].levelDb, -40.0);
}

TEST(NoiseMarkerOnTrace, ReadsPerHzOverTheResolutionBandwidth)
{
    // Power 1e-6 in every bin, 1 kHz bins, noise bandwidth 1.5 bins: -60 dB in 1.5 kHz.
    const PowerTrace trace = traceOf(std::vector<float>(100, -60.0f), 1.5);
    const NoiseMarkerReading r = noiseMarker(trace, 130.4e3, 5, 0.0);
    ASSERT_TRUE(r.valid);
    EXPECT_DOUBLE_EQ(r.freqHz, 130e3);
    EXPECT_NEAR(r.densityDbHz, -60.0 - 10.0 * std::log10(1500.0), 1e-4);
    EXPECT_NEAR(noiseMarker(trace, 0.0, 5, -2.0).densityDbHz, -60.0 - 10.0 * std::log10(1500.0) - 2.0, 1e-4);

    EXPECT_DOUBLE_EQ(detectorNoiseCorrectionDb(static_cast<int>(DetectorMode::Avg), 20), 0.0);
    EXPECT_DOUBLE_EQ(detectorNoiseCorrectionDb(static_cast<int>(DetectorMode::Sample), 20), 0.0);
    // H_20 = 3.59774: the maximum of 20 reads 5.56 dB high, the minimum 13.01 dB low.
    EXPECT_NEAR(detectorNoiseCorrectionDb(static_cast<int>(DetectorMode::Max), 20), -5.5603, 1e-3);
    EXPECT_NEAR(detectorNoiseCorrectionDb(static_cast<int>(DetectorMode::Min), 20), 13.0103, 1e-3);
}

TEST(MinHoldOnTrace, KeepsTheLowestLevelUntilRetuned)
{
    MinHold hold;
    std::vector<float> a{-10.0f, -20.0f, -30.0f};
    std::vector<float> b{-15.0f, -5.0f, -40.0f};
    hold.update({a.data(), 3, 100e3, 1e3, 1.0});
    hold.update({b.data(), 3, 100e3, 1e3, 1.0});
    EXPECT_EQ(hold.levels(), (std::vector<float>{-15.0f, -20.0f, -40.0f}));
    // Another start frequency: the hold begins again from the new trace.
    hold.update({a.data(), 3, 200e3, 1e3, 1.0});
    EXPECT_EQ(hold.levels(), a);
    hold.reset();
    EXPECT_TRUE(hold.levels().empty());
}

TEST(TraceCsvExport, WritesOneLinePerBinWithTheOffsetApplied)
{
    std::vector<float> db{-10.0f, -20.5f};
    std::ostringstream out;
    writeTraceCsv(out, {db.data(), 2, 99.5e6, 12.5e3, 1.5}, 7.25, "dBm");
    EXPECT_EQ(out.str(), "frequency_hz,level_dBm\n99500000.000,-2.750\n99512500.000,-13.250\n");
}

TEST(MeasurementsOnTrace, SeeOnlyTheSpanOnScreen)
{
    // Two blocks: 0 dB over bins 20..29 (120..129 kHz) and -10 dB over bins 150..159.
    std::vector<float> db(200, -150.0f);
    for (std::size_t i = 20; i < 30; ++i)
        db[i] = 0.0f;
    for (std::size_t i = 150; i < 160; ++i)
        db[i] = -10.0f;
    const TraceView trace{db.data(), db.size(), 100e3, 1e3, 1.0};

    const TraceView part = viewedPart(trace, 199.6e3, 300e3);
    EXPECT_EQ(part.levelsDb, db.data() + 100);
    EXPECT_EQ(part.bins, 100u);
    EXPECT_DOUBLE_EQ(part.startHz, 200e3);
    EXPECT_EQ(viewedPart(trace, 300e3, 200e3).bins, 200u);

    MeasurementSettings s;
    s.peaks.thresholdDb = -50.0;
    Measurements measurements;
    // The whole trace: both blocks, the stronger one first.
    MeasurementResults r = measurements.run(trace, s);
    ASSERT_EQ(r.peaks.size, 2);
    EXPECT_GT(r.occupied.widthHz, 100e3);
    // Only the weaker block on screen: it alone is measured.
    s.viewLowHz = 200e3;
    s.viewHighHz = 299e3;
    r = measurements.run(trace, s);
    ASSERT_EQ(r.peaks.size, 1);
    EXPECT_NEAR(r.peaks.entries[0].levelDb, -10.0, 1e-6);
    EXPECT_NEAR(r.occupied.widthHz, 9.9e3, 1.0);
}
