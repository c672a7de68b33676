#include "demod/DemodChain.h"
#include "support/FmTestSignal.h"
#include "support/ToneFit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

struct Audio {
    std::vector<float> left;
    std::vector<float> right;
    // Seconds of input after which the pilot loop stayed within its lock threshold.
    double lockSeconds = 0.0;
};

// Runs the IQ through the chain in blocks of 0.1 ms (at most 4096 pairs, as the channel reads them).
Audio demodulate(const FmTestSignal& signal, double seconds, bool stereo)
{
    const auto pairs = static_cast<size_t>(seconds * signal.sampleRateHz);
    const std::vector<int16_t> iq = signal.generate(pairs);
    DemodChain chain(FmTestSignal::receiverParams(stereo, false));
    Audio audio;
    const double center = signal.centerHz();
    constexpr float kLockedRad = 0.2f;
    const auto block = std::min<size_t>(4096, static_cast<size_t>(signal.sampleRateHz / 10000.0));
    for (size_t pos = 0; pos < pairs; pos += block) {
        const size_t n = std::min(block, pairs - pos);
        const double now = static_cast<double>(pos) / signal.sampleRateHz;
        const size_t got = chain.process(iq.data() + 2 * pos, n, signal.sampleRateHz, center, now);
        audio.left.insert(audio.left.end(), chain.left(), chain.left() + got);
        if (chain.stereo())
            audio.right.insert(audio.right.end(), chain.right(), chain.right() + got);
        if (stereo && std::abs(chain.demodulator().stereoDecoder().pilot().error()) > kLockedRad)
            audio.lockSeconds = static_cast<double>(pos + n) / signal.sampleRateHz;
    }
    return audio;
}

} // namespace

TEST(DemodChainQuality, MonoToneHasLowDistortion)
{
    FmTestSignal signal;
    signal.stereo = false;
    signal.leftLevel = 0.8;
    const Audio audio = demodulate(signal, 0.12, false);
    ASSERT_GT(audio.left.size(), 5000u);
    EXPECT_TRUE(audio.right.empty());
    const double thdn = thdPlusNoise(audio.left, audio.left.size() - 2400, {1000.0});
    std::printf("mono 1 kHz THD+N at 20 MS/s: %.4f %% (%.1f dB)\n", 100.0 * thdn, 20.0 * std::log10(thdn));
    EXPECT_LT(thdn, 0.01);
    // 0.8 of 75 kHz read at the 150 kHz scale, times the audio gain of 2.
    EXPECT_NEAR(toneAmplitude(audio.left, audio.left.size() - 2400, 1000.0), 0.9 * 0.8, 0.05);
}

TEST(DemodChainQuality, StereoSeparatesLeftAndRight)
{
    // At 2 MS/s the channel is only about +-83 kHz wide, which clips a broadcast signal's
    // spectrum and costs separation.
    struct Case {
        double rate;
        double minSeparation1k;
        double minSeparation3k;
    };
    for (auto [rate, min1k, min3k] : {Case{20e6, 30.0, 25.0}, {2e6, 20.0, 20.0}}) {
        FmTestSignal signal;
        signal.sampleRateHz = rate;
        signal.carrierOffsetHz = 0.0625 * rate;
        const Audio audio = demodulate(signal, 0.15, true);
        ASSERT_EQ(audio.left.size(), audio.right.size());
        ASSERT_GT(audio.left.size(), 6000u);
        const size_t from = audio.left.size() - 2400;
        const double leftAt1k = toneAmplitude(audio.left, from, 1000.0);
        const double rightAt1k = toneAmplitude(audio.right, from, 1000.0);
        const double rightAt3k = toneAmplitude(audio.right, from, 3000.0);
        const double leftAt3k = toneAmplitude(audio.left, from, 3000.0);
        const double separation1k = 20.0 * std::log10(leftAt1k / rightAt1k);
        const double separation3k = 20.0 * std::log10(rightAt3k / leftAt3k);
        std::printf("stereo at %.0f MS/s: separation %.1f dB at 1 kHz, %.1f dB at 3 kHz; pilot lock after %.2f ms\n",
                    rate / 1e6, separation1k, separation3k, audio.lockSeconds * 1e3);
        // Each side carries half of the sum plus half of the difference: 0.45 of 75 kHz read
        // at the 150 kHz scale, times the audio gain of 2, halved.
        EXPECT_NEAR(leftAt1k, 0.225, 0.02) << rate;
        EXPECT_NEAR(rightAt3k, 0.225, 0.02) << rate;
        EXPECT_GE(separation1k, min1k) << rate;
        EXPECT_GE(separation3k, min3k) << rate;
        EXPECT_LT(audio.lockSeconds, 0.02) << rate;
    }
}

TEST(DemodChainQuality, PilotLoopLocksAndHoldsUnderLoudTrebleProgramme)
{
    FmTestSignal signal;
    signal.leftHz = 15000.0;
    signal.rightHz = 11000.0;
    // Pre-emphasis lifts these by 17 and 14 dB: together they use most of the deviation.
    signal.leftLevel = 0.12;
    signal.rightLevel = 0.15;
    const Audio audio = demodulate(signal, 0.08, true);
    std::printf("pilot lock with 15/11 kHz programme: %.2f ms\n", audio.lockSeconds * 1e3);
    EXPECT_LT(audio.lockSeconds, 0.02);
}

TEST(DemodChainQuality, EveryInputRateLandsAtTheDemodulatorRate)
{
    struct Case {
        double rate;
        double demodRate;
    };
    for (const Case& c : {Case{2e6, 200e3}, {5e6, 500e3}, {10e6, 500e3}, {30e6, 500e3}}) {
        FmTestSignal signal;
        signal.sampleRateHz = c.rate;
        signal.carrierOffsetHz = 0.12 * c.rate;
        signal.stereo = false;
        signal.leftLevel = 0.8;
        const Audio audio = demodulate(signal, 0.1, false);
        DemodChain probe(FmTestSignal::receiverParams(false, false));
        const std::vector<int16_t> iq = signal.generate(4096);
        probe.process(iq.data(), 4096, c.rate, signal.centerHz(), 0.0);
        EXPECT_DOUBLE_EQ(probe.demodRateHz(), c.demodRate) << c.rate;
        ASSERT_GT(audio.left.size(), 4000u) << c.rate;
        const double thdn = thdPlusNoise(audio.left, audio.left.size() - 2400, {1000.0});
        std::printf("mono 1 kHz THD+N at %.0f MS/s: %.4f %%\n", c.rate / 1e6, 100.0 * thdn);
        EXPECT_LT(thdn, 0.01) << c.rate;
    }
}
