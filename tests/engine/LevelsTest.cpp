#include "engine/FftAnalyzer.h"
#include "engine/LevelMeter.h"
#include "engine/PeakLine.h"
#include "engine/PeakReadout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

double blockRmsDb(const std::vector<IqSample>& block)
{
    return rmsDbOfSquares(sumOfSquares(block.data(), block.size()), block.size());
}

} // namespace

TEST(LevelMeter, FullScaleReadsZeroAndSilenceTheFloor)
{
    std::vector<IqSample> block(1000);
    for (std::size_t i = 0; i < block.size(); ++i) {
        const double a = 2.0 * std::numbers::pi * 0.01 * static_cast<double>(i);
        block[i] = {static_cast<int16_t>(std::lround(32767 * std::cos(a))),
                    static_cast<int16_t>(std::lround(32767 * std::sin(a)))};
    }
    EXPECT_NEAR(blockRmsDb(block), 0.0, 0.01);
    // Extreme corners must not overflow the per-sample square.
    std::vector<IqSample> corners(7, IqSample{-32768, -32768});
    EXPECT_NEAR(blockRmsDb(corners), 20.0 * std::log10(std::sqrt(2.0)), 1e-6);
    // Nor the running sums over a block far longer than any FFT.
    std::vector<IqSample> longCorners(200'000, IqSample{-32768, 32767});
    longCorners.back() = IqSample{0, 0};
    const double meanSquare = (32768.0 * 32768.0 + 32767.0 * 32767.0) * 199'999.0 / 200'000.0;
    const double expected = 10.0 * std::log10(meanSquare / (32768.0 * 32768.0));
    EXPECT_NEAR(blockRmsDb(longCorners), expected, 1e-6);
    std::vector<IqSample> silence(64, IqSample{0, 0});
    EXPECT_NEAR(blockRmsDb(silence), -240.0, 1e-6);
}

// The sums are exact over long blocks whose squares fill their lower 16 bits too (255^2 = 65025
// = 0xfe01), which the full-scale corners (2^30 and 2^30 - 2^16 + 1) leave almost empty.
TEST(LevelMeter, SumOfSquaresIsExactWhereEveryLowerHalfIsFull)
{
    for (std::size_t count : {std::size_t{1} << 15, std::size_t{1} << 16, std::size_t{200'003}}) {
        const std::vector<IqSample> block(count, IqSample{255, -255});
        EXPECT_EQ(sumOfSquares(block.data(), block.size()), uint64_t{2 * 65025} * count) << count;
    }
}

// Each value is summed as its upper and lower bytes: the sums of their squares and products
// must stay exact where each one peaks, over runs of every length around the longest run, for
// the block level alone and for the one gathered while windowing. -1 has the largest lower
// byte (255), -32513 the largest product of the two (-128 * 255), -32768 the largest upper.
TEST(LevelMeter, SumOfSquaresIsExactWhereEachByteSumPeaks)
{
    constexpr std::size_t kRun = SquareSum::kMaxSamples;
    FftAnalyzer analyzer;
    analyzer.setSize(2 * kRun);
    std::vector<float> power;
    for (const int16_t value : {int16_t{-1}, int16_t{-32513}, int16_t{-32768}, int16_t{32767}}) {
        const uint64_t square = static_cast<uint64_t>(int64_t{value} * value);
        for (std::size_t count : {kRun - 1, kRun, kRun + 1, 2 * kRun, 3 * kRun + 7}) {
            const std::vector<IqSample> block(count, IqSample{value, value});
            EXPECT_EQ(sumOfSquares(block.data(), block.size()), 2 * square * count) << value << " " << count;
            EXPECT_EQ(analyzer.processPower(block.data(), count, power), 2 * square * count) << value << " " << count;
        }
    }
}

TEST(LevelMeter, OverloadNeedsAboutSevenTenthsOfASecondOfLoudInput)
{
    OverloadMeter meter;
    int loudBlocks = 0;
    while (!meter.update(-1.0, 0.01))
        ++loudBlocks;
    EXPECT_GE(loudBlocks, 65);
    EXPECT_LE(loudBlocks, 72);
    int quietBlocks = 0;
    while (meter.update(-60.0, 0.01))
        ++quietBlocks;
    EXPECT_LT(meter.level(), 0.5f);
    EXPECT_LE(quietBlocks, 3);
    EXPECT_FALSE(meter.update(-1.0, 0.0));
}

TEST(PeakLine, HoldsFallsOverItsWindowAndFollowsLengthChanges)
{
    PeakLine line;
    std::vector<float> out;
    line.update({-20.0f, -80.0f}, 0.01, 0.0);
    line.update({-80.0f, -80.0f}, 0.01, 0.0);
    line.copyTo(out);
    EXPECT_EQ(out, (std::vector<float>{-20.0f, -80.0f}));

    // 120 dB per 10 s window: a peak 60 dB above the trace meets it after 5 s.
    double seconds = 0.0;
    while (out[0] > -80.0f) {
        line.update({-80.0f, -80.0f}, 0.1, 10.0);
        line.copyTo(out);
        seconds += 0.1;
    }
    EXPECT_NEAR(seconds, 5.0, 0.11);

    line.update({-1.0f, -2.0f, -3.0f}, 0.1, 10.0);
    line.copyTo(out);
    EXPECT_EQ(out, (std::vector<float>{-1.0f, -2.0f, -3.0f}));
    line.clear();
    line.copyTo(out);
    EXPECT_TRUE(out.empty());
}

TEST(PeakLine, StartsAgainOnARetuneOrARateChangeOnly)
{
    PeakLine line;
    std::vector<float> out;
    line.followTuning(100e6, 20e6);
    line.update({-20.0f, -80.0f}, 0.01, 0.0);
    line.followTuning(100e6, 20e6);
    line.update({-80.0f, -70.0f}, 0.01, 0.0);
    line.copyTo(out);
    EXPECT_EQ(out, (std::vector<float>{-20.0f, -70.0f}));

    line.followTuning(101e6, 20e6);
    line.update({-80.0f, -70.0f}, 0.01, 0.0);
    line.copyTo(out);
    EXPECT_EQ(out, (std::vector<float>{-80.0f, -70.0f})) << "the old station stayed after a retune";

    line.update({-10.0f, -70.0f}, 0.01, 0.0);
    line.followTuning(101e6, 10e6);
    line.update({-80.0f, -60.0f}, 0.01, 0.0);
    line.copyTo(out);
    EXPECT_EQ(out, (std::vector<float>{-80.0f, -60.0f})) << "the old span stayed after a rate change";
}

TEST(PeakReadout, ReportsTheLowestFrequencyOfEqualMaxima)
{
    PeakReadout readout;
    const auto v = readout.update({-50.0f, -10.0f, -30.0f, -10.0f}, 100e6, 4e6, 4);
    EXPECT_DOUBLE_EQ(v.startHz, 98e6);
    EXPECT_DOUBLE_EQ(v.binHz, 1e6);
    EXPECT_DOUBLE_EQ(v.peakFreqHz, 99e6);
    EXPECT_FLOAT_EQ(v.peakValueDb, -10.0f);
    // An empty trace keeps the last peak.
    readout.update({}, 100e6, 4e6, 0);
    EXPECT_DOUBLE_EQ(readout.values().peakFreqHz, 99e6);
    EXPECT_DOUBLE_EQ(readout.values().binHz, 0.0);
}
