#include "engine/AlignedFloats.h"
#include "engine/Detector.h"
#include "engine/VideoFilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace {

float dbToPower(double db)
{
    return static_cast<float>(std::pow(10.0, db / 10.0));
}

// Feeds one block whose every bin has the given level.
void feed(Detector& detector, double db, int mode, int window, std::size_t bins = 4)
{
    const std::vector<float> power(bins, dbToPower(db));
    detector.process(power.data(), bins, mode, window);
}

double powerMeanDb(const std::vector<double>& levels)
{
    double sum = 0.0;
    for (double db : levels)
        sum += std::pow(10.0, db / 10.0);
    return 10.0 * std::log10(sum / static_cast<double>(levels.size()));
}

} // namespace

TEST(Detector, AverageRunsOverTheBlocksSeenThenOverTheLastN)
{
    Detector detector;
    std::vector<double> levels;
    for (int b = 0; b < 25; ++b) {
        const double db = -80.0 + 3.0 * b;
        levels.push_back(db);
        feed(detector, db, 3, 20);
        EXPECT_EQ(detector.wasReset(), b == 0);
        if (b == 4) {
            EXPECT_NEAR(detector.outputDb()[0], powerMeanDb(levels), 1e-3);
        }
    }
    const std::vector<double> last20(levels.end() - 20, levels.end());
    EXPECT_NEAR(detector.outputDb()[2], powerMeanDb(last20), 1e-3);
}

TEST(Detector, MaxHoldsAStrongBlockForExactlyNBlocks)
{
    Detector detector;
    feed(detector, -10.0, 1, 5);
    for (int b = 1; b < 5; ++b) {
        feed(detector, -90.0, 1, 5);
        EXPECT_NEAR(detector.outputDb()[0], -10.0, 1e-3) << b;
    }
    feed(detector, -90.0, 1, 5);
    EXPECT_NEAR(detector.outputDb()[0], -90.0, 1e-3);

    Detector minimum;
    feed(minimum, -90.0, 2, 3);
    feed(minimum, -10.0, 2, 3);
    EXPECT_NEAR(minimum.outputDb()[1], -90.0, 1e-3);
}

TEST(Detector, MaxAndMinEqualAFullScanOfTheLastNBlocks)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> level(1e-9f, 1.0f);
    for (int mode : {1, 2}) {
        for (int window : {1, 3, 20}) {
            Detector detector;
            std::vector<std::vector<float>> blocks;
            for (int b = 0; b < 3 * window + 7; ++b) {
                std::vector<float> power(16);
                for (float& p : power)
                    p = level(rng);
                blocks.push_back(power);
                detector.process(power.data(), power.size(), mode, window);
                const std::size_t first = blocks.size() > static_cast<std::size_t>(window) ? blocks.size() - window : 0;
                for (std::size_t k = 0; k < power.size(); ++k) {
                    float expected = blocks[first][k];
                    for (std::size_t r = first; r < blocks.size(); ++r)
                        expected = mode == 1 ? std::max(expected, blocks[r][k]) : std::min(expected, blocks[r][k]);
                    ASSERT_EQ(detector.outputPower()[k], expected) << mode << " " << window << " " << b;
                }
            }
        }
    }
}

// The mean over a million blocks of levels spread over 60 dB, with bursts at full scale that
// come and go, stays within (n + 1) * 2^-24 of the exact mean of the last n blocks, in every
// block: the sums must not drift, and a bin whose burst has left the window must read its own
// level again, not a residue of the burst.
TEST(Detector, AverageStaysOnTheExactMeanOverAMillionBlocks)
{
    constexpr int kWindow = 20;
    constexpr std::size_t kBins = 8;
    constexpr int kBlocks = 1'000'000;
    std::vector<float> levels;
    for (int db = -60; db <= 0; ++db)
        levels.push_back(dbToPower(db));
    std::mt19937 rng(11);
    std::uniform_int_distribution<std::size_t> pick(0, levels.size() - 1);
    std::uniform_int_distribution<int> burst(0, 499);

    Detector detector;
    std::vector<std::vector<float>> history(kWindow, std::vector<float>(kBins, 0.0f));
    std::vector<float> power(kBins);
    const double bound = (kWindow + 1) * std::ldexp(1.0, -24);
    for (int b = 0; b < kBlocks; ++b) {
        for (std::size_t k = 0; k < kBins; ++k)
            power[k] = burst(rng) == 0 ? 1.0f : levels[pick(rng)];
        // Bin 0 sits at -60 dB but for a full-scale burst now and then.
        power[0] = b % 1000 < 3 ? 1.0f : levels.front();
        history[static_cast<std::size_t>(b % kWindow)] = power;
        detector.process(power.data(), kBins, 3, kWindow);
        const int rows = std::min(b + 1, kWindow);
        for (std::size_t k = 0; k < kBins; ++k) {
            double sum = 0.0;
            for (int r = 0; r < rows; ++r)
                sum += history[static_cast<std::size_t>(r)][k];
            const double exact = sum / rows;
            ASSERT_LE(std::abs(detector.outputPower()[k] - exact), bound * exact) << "block " << b << " bin " << k;
        }
    }
}

TEST(Detector, NonFiniteBinsCountAsMinus200AndSettingChangesRestart)
{
    Detector detector;
    std::vector<float> power{std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), 0.0f,
                             -1.0f};
    detector.process(power.data(), power.size(), 2, 4);
    for (float db : detector.outputDb())
        EXPECT_NEAR(db, -200.0f, 1e-3f);

    feed(detector, -50.0, 2, 4);
    EXPECT_FALSE(detector.wasReset());
    feed(detector, -50.0, 2, 8);
    EXPECT_TRUE(detector.wasReset());
    EXPECT_NEAR(detector.outputDb()[0], -50.0, 1e-3);
    feed(detector, -50.0, 2, 8, 6);
    EXPECT_TRUE(detector.wasReset());
}

// The detector's history rows are read with 32-byte vector loads: its storage must start on a
// cache line whatever the allocator returned, small blocks and page-mapped large ones alike, and
// hold every value asked for.
TEST(AlignedFloats, StartOnACacheLineAndHoldTheValuesAskedFor)
{
    for (std::size_t n : {std::size_t{1}, std::size_t{7}, std::size_t{2048}, std::size_t{21 * 2048}, std::size_t{21 * 8192}}) {
        AlignedFloats floats;
        floats.assign(n, 2.5f);
        ASSERT_EQ(floats.size(), n);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(floats.data()) % 64, 0u) << n;
        for (std::size_t k = 0; k < n; ++k)
            ASSERT_EQ(floats.data()[k], 2.5f) << n << " " << k;
        floats.data()[n - 1] = 1.0f;
        floats.assign(n, -1.0f);
        EXPECT_EQ(floats.data()[n - 1], -1.0f);
    }
}

TEST(VideoFilter, AlphaFollowsTheVideoBandwidthAndFrameRate)
{
    EXPECT_NEAR(VideoFilter::alphaFor(10.0, 30.0), 1.0 - std::exp(-2.0 * M_PI / 3.0), 1e-6);
    EXPECT_NEAR(VideoFilter::alphaFor(10.0, 30.0), 0.877, 1e-3);
    EXPECT_FLOAT_EQ(VideoFilter::alphaFor(10.0, 1.0), VideoFilter::alphaFor(10.0, 60.0));
    EXPECT_FLOAT_EQ(VideoFilter::alphaFor(10.0, 0.0), VideoFilter::alphaFor(10.0, 60.0));
}

TEST(VideoFilter, SmoothsAveragesInPowerAndMaximaInDb)
{
    Detector detector;
    VideoFilter filter;
    feed(detector, -60.0, 3, 1);
    filter.process(detector, 3, 5.0, 0.5f);
    EXPECT_NEAR(filter.trace()[0], -60.0, 1e-3);  // restarts from the new output
    feed(detector, -50.0, 3, 1);
    filter.process(detector, 3, 5.0, 0.5f);
    EXPECT_NEAR(filter.trace()[0], 10.0 * std::log10(0.5e-6 + 0.5e-5), 1e-3);

    Detector maxima;
    VideoFilter dbFilter;
    feed(maxima, -60.0, 1, 1);
    dbFilter.process(maxima, 1, 5.0, 0.25f);
    feed(maxima, -20.0, 1, 1);
    dbFilter.process(maxima, 1, 5.0, 0.25f);
    EXPECT_NEAR(dbFilter.trace()[0], -50.0, 1e-3);

    // Off passes the output through; on again starts the power state from zero.
    dbFilter.process(maxima, 1, 0.0, 0.25f);
    EXPECT_NEAR(dbFilter.trace()[0], -20.0, 1e-3);
    feed(detector, -50.0, 3, 1);
    filter.process(detector, 3, 0.0, 0.5f);
    feed(detector, -50.0, 3, 1);
    filter.process(detector, 3, 5.0, 0.5f);
    EXPECT_NEAR(filter.trace()[0], -50.0 + 10.0 * std::log10(0.5), 1e-3);
}
