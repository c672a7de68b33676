#include "demod/DemodChain.h"
#include "support/FmTestSignal.h"
#include "support/StereoTones.h"
#include "support/ToneFit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Audio {
    std::vector<float> left;
    std::vector<float> right;
    // Seconds of input after which the pilot loop stayed within its lock threshold.
    double lockSeconds = 0.0;
};

// Runs `seconds` of the IQ through a chain with these settings in blocks of 0.1 ms (at most 4096
// pairs, as the channel reads them), starting over at its end: a recording that repeats
// without a seam and holds whole blocks stands for a longer one.
Audio demodulate(const std::vector<int16_t>& iq, double rate, double center, const DemodParams& params,
                 double seconds)
{
    const size_t pairs = iq.size() / 2;
    const auto total = static_cast<size_t>(seconds * rate);
    DemodChain chain(params);
    Audio audio;
    constexpr float kLockedRad = 0.2f;
    const auto block = std::min<size_t>(4096, static_cast<size_t>(rate / 10000.0));
    for (size_t pos = 0; pos < total; pos += block) {
        const size_t at = pos % pairs;
        const size_t n = std::min({block, total - pos, pairs - at});
        const double now = static_cast<double>(pos) / rate;
        const size_t got = chain.process(iq.data() + 2 * at, n, rate, center, now);
        audio.left.insert(audio.left.end(), chain.left(), chain.left() + got);
        if (chain.stereo())
            audio.right.insert(audio.right.end(), chain.right(), chain.right() + got);
        if (chain.stereo() && std::abs(chain.demodulator().stereoDecoder().pilot().error()) > kLockedRad)
            audio.lockSeconds = static_cast<double>(pos + n) / rate;
    }
    return audio;
}

Audio demodulate(const FmTestSignal& signal, double seconds, bool stereo)
{
    const auto pairs = static_cast<size_t>(seconds * signal.sampleRateHz);
    return demodulate(signal.generate(pairs), signal.sampleRateHz, signal.centerHz(),
                      FmTestSignal::receiverParams(stereo, false), seconds);
}

// The last `count` samples.
std::vector<float> last(const std::vector<float>& x, size_t count)
{
    return toneWindow(x, x.size() - std::min(count, x.size()), std::min(count, x.size()));
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
    // Through the CIC at 20 MS/s and through the half-band stage at 2 MS/s; the pilot loop locks
    // within a few milliseconds.
    for (double rate : {20e6, 2e6}) {
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
        EXPECT_GE(separation1k, 55.0) << rate;
        EXPECT_GE(separation3k, 55.0) << rate;
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
    // A broadcast deviation gets 500 kHz at every rate; a narrow one keeps 200 kHz at 2 MS/s.
    struct Case {
        double rate;
        double deviation;
        double demodRate;
    };
    for (const Case& c : {Case{2e6, 150e3, 500e3}, {2e6, 15e3, 200e3}, {5e6, 150e3, 500e3}, {10e6, 15e3, 500e3},
                          {30e6, 300e3, 500e3}}) {
        FmTestSignal signal;
        signal.sampleRateHz = c.rate;
        signal.carrierOffsetHz = 0.12 * c.rate;
        signal.stereo = false;
        signal.leftLevel = 0.8;
        signal.peakDeviationHz = c.deviation / 2.0;
        DemodParams params = FmTestSignal::receiverParams(false, false);
        params.fmDeviationHz = c.deviation;
        const auto pairs = static_cast<size_t>(0.1 * c.rate);
        const Audio audio = demodulate(signal.generate(pairs), c.rate, signal.centerHz(), params, 0.1);
        DemodChain probe(params);
        const std::vector<int16_t> iq = signal.generate(4096);
        probe.process(iq.data(), 4096, c.rate, signal.centerHz(), 0.0);
        EXPECT_DOUBLE_EQ(probe.demodRateHz(), c.demodRate) << c.rate;
        ASSERT_GT(audio.left.size(), 4000u) << c.rate;
        const double thdn = thdPlusNoise(audio.left, audio.left.size() - 2400, {1000.0});
        std::printf("mono 1 kHz THD+N at %.0f MS/s, %.0f kHz deviation: %.4f %%\n", c.rate / 1e6, c.deviation / 1e3,
                    100.0 * thdn);
        EXPECT_LT(thdn, 0.01) << c.rate;
        // 0.8 of the deviation read at twice its scale, times the audio gain of 2.
        EXPECT_NEAR(toneAmplitude(audio.left, audio.left.size() - 2400, 1000.0), 0.9 * 0.8, 0.05) << c.rate;
    }
}

TEST(DemodChainQuality, ReferenceStationAtEveryRateExactlyTunedAndOffTune)
{
    // 0.1 s of the station played three times; the last 0.1 s is measured, once the pilot loop,
    // the DC blockers and the audio high-pass have settled.
    constexpr double kRecordingSeconds = 0.1;
    constexpr double kSeconds = 0.3;
    constexpr size_t kMeasured = 2 * kToneWindow;
    std::printf("| rate | tuned | L->R dB | R->L dB | THD+N stereo dB | THD+N mono dB | pilot dBFS (stereo, mono) | "
                "level L-R dB |\n");
    for (double rate : {2e6, 5e6, 10e6, 20e6, 30e6}) {
        const FmTestSignal station = FmTestSignal::referenceStation(rate);
        const std::vector<int16_t> iq = station.generate(static_cast<size_t>(kRecordingSeconds * rate));
        for (double detuneHz : {0.0, 500.0}) {
            DemodParams params = FmTestSignal::receiverParams(true, false);
            params.demodFreqHz += detuneHz;
            const Audio stereo = demodulate(iq, rate, station.centerHz(), params, kSeconds);
            params.fmStereoEnabled = false;
            const Audio mono = demodulate(iq, rate, station.centerHz(), params, kSeconds);
            const StereoFigures s = stereoFigures(last(stereo.left, kMeasured), last(stereo.right, kMeasured));
            const MonoFigures m = monoFigures(last(mono.left, kMeasured));
            const double levelDb = 20.0 * std::log10(s.leftLevel / s.rightLevel);
            std::printf("| %2.0f MS/s | %s | %.1f | %.1f | %.1f | %.1f | %.1f, %.1f | %+.2f |\n", rate / 1e6,
                        detuneHz == 0.0 ? "exactly" : "500 Hz off", s.leftToRightDb, s.rightToLeftDb, s.thdnDb,
                        m.thdnDb, s.pilotDbfs, m.pilotDbfs, levelDb);
            std::fflush(stdout);
            const std::string where = std::to_string(rate / 1e6) + " MS/s, " + std::to_string(detuneHz) + " Hz off";
            EXPECT_EQ(s.windows, 2u) << where;
            EXPECT_GE(s.leftToRightDb, 45.0) << where;
            EXPECT_GE(s.rightToLeftDb, 45.0) << where;
            EXPECT_LE(s.thdnDb, -68.0) << where;
            EXPECT_LE(m.thdnDb, -82.0) << where;
            EXPECT_LE(s.pilotDbfs, -90.0) << where;
            EXPECT_LE(m.pilotDbfs, -90.0) << where;
            EXPECT_LE(std::abs(levelDb), 0.5) << where;
            // Each tone at 0.45 of its level of the 75 kHz deviation read at the 150 kHz scale,
            // times the audio gain of 2, in stereo and in mono.
            EXPECT_NEAR(s.leftLevel, 0.45 * station.leftLevel, 0.01) << where;
            EXPECT_NEAR(m.leftLevel, 0.45 * station.leftLevel, 0.01) << where;
            EXPECT_NEAR(m.rightLevel, 0.45 * station.rightLevel, 0.01) << where;
        }
    }
}

TEST(DemodChainQuality, TheReceiversDcInsideTheChannelStaysOutOfTheAudio)
{
    // The station 150 kHz from the centre at 5 MS/s, where the receiver's DC lands inside the
    // channel; the DC 14 dB below the carrier. Once the offset is learnt (0.1 s), the audio is as
    // clean as without it.
    FmTestSignal station = FmTestSignal::referenceStation(5e6);
    station.carrierOffsetHz = 150e3;
    const DemodParams params = FmTestSignal::receiverParams(false, false);
    const auto thdn = [&](double dc) {
        station.dcOffset = dc;
        const std::vector<int16_t> iq = station.generate(static_cast<size_t>(0.1 * station.sampleRateHz));
        const Audio mono = demodulate(iq, station.sampleRateHz, station.centerHz(), params, 0.4);
        return monoFigures(last(mono.left, 2 * kToneWindow)).thdnDb;
    };
    const double clean = thdn(0.0);
    const double withDc = thdn(0.05);
    std::printf("mono THD+N with the receiver's DC in the channel: %.1f dB, without: %.1f dB\n", withDc, clean);
    EXPECT_LT(withDc, clean + 1.0);
}
