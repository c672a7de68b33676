#include "engine/Detector.h"
#include "engine/FastLog.h"
#include "engine/FftAnalyzer.h"
#include "engine/RbwRule.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

namespace {

std::vector<IqSample> tone(std::size_t n, double cyclesPerSample, double amplitude)
{
    std::vector<IqSample> block(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double a = 2.0 * std::numbers::pi * cyclesPerSample * static_cast<double>(i);
        block[i] = {static_cast<int16_t>(std::lround(amplitude * std::cos(a))),
                    static_cast<int16_t>(std::lround(amplitude * std::sin(a)))};
    }
    return block;
}

std::vector<IqSample> noise(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> value(-3000, 3000);
    std::vector<IqSample> block(n);
    for (auto& s : block)
        s = {static_cast<int16_t>(value(rng)), static_cast<int16_t>(value(rng))};
    return block;
}

// The level formula evaluated with a plain double-precision DFT of the same windowed block.
std::vector<double> referenceDb(const std::vector<IqSample>& block, const std::vector<float>& window, float windowSum)
{
    const std::size_t n = window.size();
    std::vector<std::complex<double>> x(n);
    for (std::size_t i = 0; i < std::min(n, block.size()); ++i)
        x[i] = {static_cast<double>(static_cast<float>(block[i].i) * window[i]),
                static_cast<double>(static_cast<float>(block[i].q) * window[i])};
    std::vector<double> db(n);
    for (std::size_t k = 0; k < n; ++k) {
        std::complex<double> sum;
        for (std::size_t i = 0; i < n; ++i) {
            const double a = -2.0 * std::numbers::pi * static_cast<double>((k * i) % n) / static_cast<double>(n);
            sum += x[i] * std::complex<double>(std::cos(a), std::sin(a));
        }
        const std::size_t j = (k + n - n / 2) % n;
        const double amplitude = std::abs(sum) / windowSum / 32768.0;
        db[j] = 10.0 * std::log10(amplitude * amplitude + 1e-24);
    }
    return db;
}

} // namespace

TEST(FastLog, MatchesLibmAcrossTheWholeRangeOfLevels)
{
    double worst = 0.0;
    for (double p = 1e-24; p < 1e6; p *= 1.0137)
        worst = std::max(worst, std::abs(fastlog::powerToDb(static_cast<float>(p)) -
                                         10.0 * std::log10(static_cast<double>(static_cast<float>(p)))));
    EXPECT_LT(worst, 5e-4);
    // Whole octaves carry no error from the polynomial: full scale is exactly 0 dB. The
    // detector's floor is shown and compared as exactly -200 dB.
    EXPECT_EQ(fastlog::powerToDb(1.0f), 0.0f);
    EXPECT_EQ(fastlog::powerToDb(0.25f), -2.0f * 3.0102999566f);
    EXPECT_EQ(fastlog::powerToDb(Detector::kFloorPower), -200.0f);
}

TEST(FftAnalyzer, MatchesDoublePrecisionReferenceWithinHundredthDb)
{
    FftAnalyzer analyzer;
    for (int type : {0, 1, 2}) {
        for (std::size_t n : {std::size_t{1000}, std::size_t{2048}}) {
            analyzer.setSize(n);
            analyzer.setWindowType(type);
            std::vector<IqSample> block = noise(n, static_cast<unsigned>(n + type));
            const std::vector<IqSample> carrier = tone(n, 0.1, 20000.0);
            for (std::size_t i = 0; i < n; ++i) {
                block[i].i = static_cast<int16_t>(block[i].i / 2 + carrier[i].i / 2);
                block[i].q = static_cast<int16_t>(block[i].q / 2 + carrier[i].q / 2);
            }
            std::vector<float> db;
            analyzer.process(block.data(), block.size(), db);
            const std::vector<double> ref = referenceDb(block, analyzer.window(), analyzer.windowSum());
            ASSERT_EQ(db.size(), n);
            double worst = 0.0;
            for (std::size_t j = 0; j < n; ++j)
                worst = std::max(worst, std::abs(db[j] - ref[j]));
            EXPECT_LT(worst, 0.01) << "window " << type << " size " << n;

            std::vector<float> power;
            analyzer.processPower(block.data(), block.size(), power);
            for (std::size_t j = 0; j < n; ++j)
                ASSERT_NEAR(10.0 * std::log10(power[j]), ref[j], 0.01) << j;
        }
    }
}

TEST(FftAnalyzer, FullScaleToneReadsZeroDbfsAndDcLandsInTheMiddleBin)
{
    FftAnalyzer analyzer;
    std::vector<float> db;
    const auto full = tone(2048, 100.0 / 2048.0, 32767.0);
    analyzer.process(full.data(), full.size(), db);
    EXPECT_NEAR(db[1024 + 100], 0.0, 0.01);

    std::vector<IqSample> dc(2048, IqSample{16384, 0});
    analyzer.process(dc.data(), dc.size(), db);
    EXPECT_EQ(std::max_element(db.begin(), db.end()) - db.begin(), 1024);
    EXPECT_NEAR(db[1024], 20.0 * std::log10(0.5), 0.01);
}

TEST(FftAnalyzer, ShortBlocksArePaddedLongBlocksCutAndEmptyBlocksIgnored)
{
    FftAnalyzer analyzer;
    analyzer.setSize(256);
    const auto block = tone(512, 0.25, 10000.0);
    std::vector<float> cut;
    std::vector<float> exact;
    analyzer.process(block.data(), 512, cut);
    analyzer.process(block.data(), 256, exact);
    EXPECT_EQ(cut, exact);

    std::vector<float> padded;
    analyzer.process(block.data(), 100, padded);
    std::vector<IqSample> zeroed(block.begin(), block.begin() + 256);
    std::fill(zeroed.begin() + 100, zeroed.end(), IqSample{0, 0});
    std::vector<float> reference;
    analyzer.process(zeroed.data(), zeroed.size(), reference);
    EXPECT_EQ(padded, reference);

    std::vector<float> untouched{1.0f, 2.0f};
    analyzer.process(nullptr, 10, untouched);
    analyzer.process(block.data(), 0, untouched);
    EXPECT_EQ(untouched, (std::vector<float>{1.0f, 2.0f}));
}

// The block level is gathered while windowing: it must cover every sample of the block,
// including those past the transform's length, and none of the zero padding.
TEST(FftAnalyzer, PowerReturnsTheSquaresOfEverySampleOfTheBlock)
{
    FftAnalyzer analyzer;
    analyzer.setSize(256);
    std::vector<IqSample> block = noise(600, 11);
    block[3] = IqSample{-32768, -32768};
    block[400] = IqSample{32767, -32768};
    const auto direct = [&](std::size_t count) {
        uint64_t sum = 0;
        for (std::size_t i = 0; i < count; ++i)
            sum += static_cast<uint64_t>(int64_t{block[i].i} * block[i].i + int64_t{block[i].q} * block[i].q);
        return sum;
    };
    std::vector<float> power;
    for (std::size_t count : {std::size_t{1}, std::size_t{100}, std::size_t{256}, std::size_t{600}})
        EXPECT_EQ(analyzer.processPower(block.data(), count, power), direct(count)) << count;
    EXPECT_EQ(analyzer.processPower(nullptr, 10, power), 0u);
}

// A block split by a ring's end is windowed piece after piece, each sample at its own place in
// the window: the same spectrum and level as the block in one piece, to the bit.
TEST(FftAnalyzer, ABlockInTwoPiecesGivesTheSpectrumOfTheWholeBlock)
{
    FftAnalyzer analyzer;
    analyzer.setSize(256);
    analyzer.setWindowType(2);
    std::vector<IqSample> block = noise(256, 5);
    const std::vector<IqSample> carrier = tone(256, 0.3, 12000.0);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i].i = static_cast<int16_t>(block[i].i / 2 + carrier[i].i / 2);
    std::vector<float> whole;
    const uint64_t wholeSquares = analyzer.processPower(block.data(), block.size(), whole);
    for (std::size_t split : {std::size_t{1}, std::size_t{100}, std::size_t{255}}) {
        const std::vector<IqSample> tail(block.begin() + static_cast<std::ptrdiff_t>(split), block.end());
        std::vector<float> pieces;
        EXPECT_EQ(analyzer.processPower(IqBlockView{block.data(), split, tail.data(), tail.size()}, pieces),
                  wholeSquares);
        EXPECT_EQ(pieces, whole) << split;
    }
}

TEST(FftAnalyzer, SingleBinHannDividesBySampleCount)
{
    FftAnalyzer analyzer;
    analyzer.setSize(1);
    EXPECT_EQ(analyzer.windowSum(), 0.0f);
    const IqSample s{16384, 0};
    std::vector<float> db;
    analyzer.process(&s, 1, db);
    ASSERT_EQ(db.size(), 1u);
    // The window zeroes the sample, so only the floor is left, over a divisor of 1.
    EXPECT_NEAR(db[0], -240.0, 0.01);
}

TEST(FftAnalyzer, SizeZeroAndRepeatedWindowTypeChangeNothing)
{
    FftAnalyzer analyzer;
    analyzer.setSize(0);
    EXPECT_EQ(analyzer.size(), 2048u);
    const uint64_t builds = analyzer.windowBuilds();
    analyzer.setWindowType(2);
    analyzer.setWindowType(2);
    EXPECT_EQ(analyzer.windowBuilds(), builds + 1);
    EXPECT_FLOAT_EQ(analyzer.window().front(), analyzer.window().back());
    EXPECT_NEAR(analyzer.window().front(), 0.0f, 1e-6f);
}

TEST(RbwRule, PicksTheNearestPowerOfTwoWithinBounds)
{
    const RbwChoice tenKhz = chooseFftSizeForRbw(10e3, 20e6, 0, 512, 8192);
    EXPECT_FALSE(tenKhz.clamped);
    EXPECT_EQ(tenKhz.fftSize, 2048u);
    EXPECT_NEAR(FftAnalyzer::rbwHz(20e6, 2048, 0), 14648.4, 0.1);

    const RbwChoice oneKhz = chooseFftSizeForRbw(1e3, 20e6, 0, 512, 8192);
    EXPECT_TRUE(oneKhz.clamped);
    EXPECT_NEAR(oneKhz.finestHz, 3662.1, 0.1);
    EXPECT_DOUBLE_EQ(oneKhz.targetHz, oneKhz.finestHz);
    EXPECT_EQ(oneKhz.fftSize, 8192u);

    // nT = 30 gives 32, then the lower bound.
    EXPECT_EQ(chooseFftSizeForRbw(1e6, 20e6, 0, 512, 8192).fftSize, 512u);
    EXPECT_EQ(chooseFftSizeForRbw(1e6, 20e6, 0, 16, 8192).fftSize, 32u);
    // nT = 3072 lies exactly between 2048 and 4096: the larger wins.
    EXPECT_EQ(chooseFftSizeForRbw(20e6 * 1.5 / 3072.0, 20e6, 0, 512, 8192).fftSize, 4096u);
}
