#include "engine/DensityMap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr int64_t kSecond = 1'000'000'000;

// 16 rows over -150..0 dB (10 dB per row); with gamma 1 and densityMax 1 a byte is the density
// times 255.
DensitySettings linearSettings()
{
    DensitySettings s;
    s.enabled = true;
    s.widthBins = 1024;
    s.levels = 16;
    s.minDb = -150.0;
    s.maxDb = 0.0;
    s.tau = 0.5;
    s.gamma = 1.0;
    s.densityMax = 1.0;
    s.hitGain = 1.0;
    return s;
}

uint8_t cell(const DensityImage& image, int level, int column)
{
    return (*image.bytes)[static_cast<std::size_t>(level * image.width + column)];
}

} // namespace

TEST(DensityMap, OneColumnPerBinForShortTracesAndPairsForLongOnes)
{
    DensityMap map;
    map.configure(linearSettings());
    map.accumulate(std::vector<float>(100, -100.0f), 0);
    DensityImage image = map.currentImage();
    EXPECT_EQ(image.width, 100);
    EXPECT_EQ(image.height, 16);
    EXPECT_EQ(cell(image, 5, 42), 255);  // trunc(50 * 0.1 + 0.5) = 5, a single hit
    EXPECT_EQ(cell(image, 6, 42), 0);
    EXPECT_EQ(cell(image, 4, 42), 0);

    // Pairs of -20 / -100 dB: the hit lands on the peak's row, 13, and, the peak standing 40 dB
    // over the mean, smears three rows below it, lighter with each row.
    std::vector<float> trace(2048);
    for (std::size_t i = 0; i < trace.size(); ++i)
        trace[i] = i % 2 == 0 ? -20.0f : -100.0f;
    map.accumulate(trace, kSecond);
    image = map.currentImage();
    ASSERT_EQ(image.width, 1024);
    const std::vector<int> expected{0, 0, 18, 28, 56, 255, 0, 0};
    for (int row = 8; row <= 15; ++row)
        EXPECT_EQ(cell(image, row, 700), expected[static_cast<std::size_t>(row - 8)]) << row;
}

// Every column of a long trace lands on its own row: column j's pair of bins, 3 dB apart, peaks
// in row j mod 16, so a column that took another's bins, or a pair read out of order, shows.
TEST(DensityMap, EachColumnOfPairsHitsTheRowOfItsOwnBins)
{
    DensityMap map;
    map.configure(linearSettings());
    std::vector<float> trace(2048);
    for (std::size_t j = 0; j < trace.size() / 2; ++j) {
        const auto level = static_cast<float>(-147.0 + 10.0 * static_cast<double>(j % 16));
        trace[2 * j] = j % 3 == 0 ? level - 3.0f : level;
        trace[2 * j + 1] = j % 3 == 0 ? level : level - 3.0f;
    }
    map.accumulate(trace, 0);
    const DensityImage image = map.currentImage();
    ASSERT_EQ(image.width, 1024);
    for (int column = 0; column < image.width; ++column) {
        for (int row = 0; row < image.height; ++row)
            ASSERT_EQ(cell(image, row, column), row == column % 16 ? 255 : 0) << column << " " << row;
    }
}

// A signal in one bin of a column is drawn at its own level however many bins the column holds
// (one to eight, as 1024 columns show traces of 1024 to 8192 bins): nothing above that row,
// the row itself lit, the column's quieter bins at most a lighter smear below.
TEST(DensityMap, AColumnIsDrawnAtTheLevelOfItsLoudestBin)
{
    for (std::size_t width : {1u, 2u, 3u, 4u, 8u}) {
        DensityMap map;
        map.configure(linearSettings());
        std::vector<float> trace(1024 * width, -150.0f);
        for (std::size_t j = 0; j < 1024; ++j)
            trace[j * width + j % width] = static_cast<float>(-147.0 + 10.0 * static_cast<double>(j % 16));
        map.accumulate(trace, 0);
        const DensityImage image = map.currentImage();
        ASSERT_EQ(image.width, 1024);
        for (int column = 0; column < image.width; ++column) {
            const int peakRow = column % 16;
            ASSERT_EQ(cell(image, peakRow, column), 255) << width << " " << column;
            for (int row = peakRow + 1; row < image.height; ++row)
                ASSERT_EQ(cell(image, row, column), 0) << width << " " << column << " " << row;
        }
    }
}

// A block's spectrum goes in as power and is converted per column, not per bin: the picture is
// the one its levels in dB make, for columns of one to eight bins and for columns of unequal
// widths. The quieter bins stand off the peak so that the column's mean is never within a
// fraction of a dB of a smear step, where the two readings of the mean may round apart.
TEST(DensityMap, ASpectrumInPowerIsDrawnAsItsLevelsInDbAre)
{
    const float offsets[] = {4.0f, 10.0f, 17.0f, 23.0f, 40.0f};
    for (std::size_t bins : {1024u, 1500u, 2048u, 3072u, 4096u, 8192u}) {
        std::vector<float> db(bins);
        for (std::size_t i = 0; i < bins; ++i) {
            const std::size_t column = i * 1024 / bins;
            const auto peak = static_cast<float>(-147.0 + 10.0 * static_cast<double>(column % 16));
            const bool loudest = i == 0 || (i - 1) * 1024 / bins != column;
            db[i] = loudest ? peak : peak - offsets[column % 5];
        }
        std::vector<float> power(bins);
        for (std::size_t i = 0; i < bins; ++i)
            power[i] = std::pow(10.0f, db[i] / 10.0f);
        DensityMap fromDb;
        DensityMap fromPower;
        fromDb.configure(linearSettings());
        fromPower.configure(linearSettings());
        fromDb.accumulate(db, 0);
        fromPower.accumulateSpectrum(power, 0);
        const DensityImage expected = fromDb.currentImage();
        const DensityImage image = fromPower.currentImage();
        ASSERT_EQ(image.width, 1024) << bins;
        ASSERT_EQ(image.height, expected.height);
        EXPECT_EQ(*image.bytes, *expected.bytes) << bins;
    }
}

TEST(DensityMap, DecaysWithTauAndMapsThroughGamma)
{
    DensityMap map;
    map.configure(linearSettings());
    map.accumulate(std::vector<float>(8, -100.0f), 0);
    EXPECT_EQ(cell(map.currentImage(), 5, 0), 255);
    // Too soon for a new picture (12 per second): nothing changes.
    map.accumulate(std::vector<float>(8, -30.0f), kSecond / 20);
    EXPECT_EQ(cell(map.currentImage(), 12, 0), 0);
    // One second at tau 0.5 leaves exp(-2) = 13.5 % of the old cell.
    map.accumulate(std::vector<float>(8, -30.0f), kSecond);
    const DensityImage image = map.currentImage();
    EXPECT_EQ(cell(image, 5, 0), 34);  // trunc(exp(-2) * 255)
    EXPECT_EQ(cell(image, 12, 0), 255);  // two undecayed hits, saturated

    DensitySettings s = linearSettings();
    s.gamma = 0.6;
    s.densityMax = 20.0;
    s.hitGain = 5.0;  // one hit is a quarter of densityMax
    DensityMap curved;
    curved.configure(s);
    curved.accumulate(std::vector<float>(8, -100.0f), 0);
    EXPECT_EQ(cell(curved.currentImage(), 5, 0), 110);
}

// A picture decays and paints only the rows the map's tiles of columns have been hit on: every
// cell must still come out, in every tile up to the short last one, on rows a tile reached in an
// earlier picture and on rows it reaches only now. Column j of the first trace lands on row
// j mod 16 and of the second, a second later, on row 7 j + 3 mod 16: an old hit reads
// trunc(exp(-2) * 255) = 34, a new one 255, and every other cell 0.
TEST(DensityMap, EveryTileOfColumnsPaintsAllItsRowsUpToTheLastColumn)
{
    DensityMap map;
    map.configure(linearSettings());
    const auto traceOf = [](const auto& rowOf) {
        std::vector<float> trace(100);
        for (std::size_t j = 0; j < trace.size(); ++j)
            trace[j] = static_cast<float>(-150.0 + 10.0 * static_cast<double>(rowOf(j)));
        return trace;
    };
    const auto first = [](std::size_t j) { return j % 16; };
    const auto second = [](std::size_t j) { return (7 * j + 3) % 16; };
    map.accumulate(traceOf(first), 0);
    map.accumulate(traceOf(second), kSecond);
    const DensityImage image = map.currentImage();
    ASSERT_EQ(image.width, 100);
    for (int column = 0; column < image.width; ++column) {
        const auto j = static_cast<std::size_t>(column);
        for (int row = 0; row < image.height; ++row) {
            const auto r = static_cast<std::size_t>(row);
            const int expected = r == second(j) ? 255 : r == first(j) ? 34 : 0;
            ASSERT_EQ(cell(image, row, column), expected) << column << " " << row;
        }
    }
}

TEST(DensityMap, IntensityBytesMatchTheExactCurve)
{
    for (double gamma : {0.1, 0.6, 1.37, 2.0}) {
        for (double hitGain = 0.1; hitGain <= 10.0; hitGain *= 1.013) {
            DensitySettings s = linearSettings();
            s.gamma = gamma;
            s.densityMax = 7.0;
            s.hitGain = hitGain;
            DensityMap map;
            map.configure(s);
            map.accumulate({-100.0f}, 0);
            const double x = static_cast<double>(static_cast<float>(hitGain)) / 7.0;
            const auto expected = static_cast<int>(std::pow(std::min(x, 1.0), gamma) * 255.0);
            ASSERT_EQ(cell(map.currentImage(), 5, 0), expected) << gamma << " " << hitGain;
        }
    }
}

TEST(DensityMap, DisablingClearsAndAnEmptyRangeAccumulatesNothing)
{
    DensityMap map;
    DensitySettings s = linearSettings();
    map.configure(s);
    map.accumulate(std::vector<float>(8, -100.0f), 0);
    s.enabled = false;
    map.configure(s);
    EXPECT_EQ(map.currentImage().width, 0);
    EXPECT_FALSE(map.currentImage().bytes);

    s.enabled = true;
    map.configure(s);
    map.accumulate(std::vector<float>(8, -30.0f), kSecond);
    DensityImage image = map.currentImage();
    EXPECT_EQ(cell(image, 5, 0), 0);
    EXPECT_EQ(cell(image, 12, 0), 255);

    map.clear();
    EXPECT_EQ(map.currentImage().width, 0);

    s.minDb = 0.0;
    map.configure(s);
    map.accumulate(std::vector<float>(8, -30.0f), 2 * kSecond);
    EXPECT_EQ(map.currentImage().width, 0);
}

TEST(DensityMap, EachTraceCountsWithTheHitGainOfItsOwnTime)
{
    DensitySettings s = linearSettings();
    s.densityMax = 20.0;
    s.hitGain = 1.0;
    DensityMap map;
    map.configure(s);
    const std::vector<float> trace(8, -100.0f);
    map.accumulate(trace, 0);  // the first picture, at once
    map.accumulate(trace, kSecond / 1000);
    s.hitGain = 5.0;
    map.configure(s);
    map.accumulate(trace, 2 * kSecond / 1000);
    map.accumulate(trace, kSecond);
    // One second at tau 0.5 leaves exp(-2) of the first hit; then 1 + 5 + 5 since.
    const double density = std::exp(-2.0) + 11.0;
    EXPECT_EQ(cell(map.currentImage(), 5, 0), static_cast<int>(255.0 * density / 20.0));
}
