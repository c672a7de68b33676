// The simulator's scene played from a loop: what repeats, what stays live, and the seam.

#include "drivers/rzsdr-sim/SceneRenderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>
#include <vector>

namespace {

using Complex = std::complex<double>;

constexpr uint32_t kRate = 2'000'000;
// Half a second at 2 MS/s: shorter than the music programme, so the seam has to be made.
constexpr std::size_t kLoopBytes = 4'000'000;
constexpr std::size_t kLoopSamples = 1'000'000;

class SceneLoopTest : public ::testing::Test {
protected:
    static SceneRenderer renderer(std::size_t loopBytes, uint64_t centerHz)
    {
        SceneRenderer r(Scene::instance(), NoiseTable::instance(), 7, loopBytes);
        Tuning tuning;
        tuning.centerHz = centerHz;
        tuning.sampleRateHz = kRate;
        r.tune(tuning);
        return r;
    }

    // Rendered in reads of an awkward size, so that reads straddle the seam.
    static std::vector<int16_t> render(SceneRenderer& r, std::size_t samples)
    {
        std::vector<int16_t> iq(2 * samples);
        constexpr std::size_t kRead = 16'381;
        for (std::size_t at = 0; at < samples; at += kRead) {
            const std::size_t n = std::min(kRead, samples - at);
            r.render(reinterpret_cast<uint8_t*>(iq.data() + 2 * at), n);
        }
        return iq;
    }

    static Complex sample(const std::vector<int16_t>& iq, std::size_t n) { return {double(iq[2 * n]), double(iq[2 * n + 1])}; }

    // Instantaneous frequency by FM discriminator, Hz.
    static double frequency(const std::vector<int16_t>& iq, std::size_t n)
    {
        return std::arg(sample(iq, n) * std::conj(sample(iq, n - 1))) * kRate / (2 * std::numbers::pi);
    }

    static double rmsDbfs(const std::vector<int16_t>& iq, std::size_t from, std::size_t to)
    {
        double power = 0.0;
        for (std::size_t n = from; n < to; ++n)
            power += std::norm(sample(iq, n));
        return 10 * std::log10(power / double(to - from) / (32767.0 * 32767.0));
    }
};

TEST_F(SceneLoopTest, StationsAndNoiseRepeatWithTheLoopAndARetuneRendersAfresh)
{
    // A broadcast station 250 kHz below the centre; nothing keyed within reach.
    SceneRenderer r = renderer(kLoopBytes, 96'950'000);
    ASSERT_EQ(r.loopSamples(), kLoopSamples);
    const std::vector<int16_t> iq = render(r, 2 * kLoopSamples + 300'000);
    std::size_t differing = 0;
    for (std::size_t n = 0; n < 2 * (kLoopSamples + 300'000); ++n)
        differing += iq[n] != iq[n + 2 * kLoopSamples];
    EXPECT_EQ(differing, 0u);
    EXPECT_GT(rmsDbfs(iq, 0, kLoopSamples), -40.0);

    // An empty stretch of the band: the loop holds only noise now.
    Tuning quiet;
    quiet.centerHz = 120'000'000;
    quiet.sampleRateHz = kRate;
    r.tune(quiet);
    const std::vector<int16_t> after = render(r, kLoopSamples + 100'000);
    EXPECT_LT(rmsDbfs(after, 0, after.size() / 2), -70.0);
}

TEST_F(SceneLoopTest, TheStationRunsOnAcrossTheSeamWithoutAClick)
{
    SceneRenderer r = renderer(kLoopBytes, 96'950'000);
    const std::vector<int16_t> iq = render(r, kLoopSamples + 50'000);
    // The station is a pure tone within each run of 8 samples: a jump of its phase shows as a
    // spike, one sample of the discriminator's output off its neighbours on both sides, larger
    // than the receiver noise makes anywhere else.
    auto largestSpike = [&](std::size_t from, std::size_t to) {
        double spike = 0.0;
        for (std::size_t n = from; n < to; ++n) {
            const double before = frequency(iq, n) - frequency(iq, n - 1);
            const double after = frequency(iq, n + 1) - frequency(iq, n);
            if (before * after < 0.0)
                spike = std::max(spike, std::min(std::abs(before), std::abs(after)));
        }
        return spike;
    };
    const double noise = largestSpike(2, kLoopSamples - 200'000);
    const double seam = largestSpike(kLoopSamples - 8, kLoopSamples + 8);
    EXPECT_LT(seam, noise) << "elsewhere at most " << noise << " Hz";
    // The carrier stays where it was: the station's mean frequency over the seam.
    double mean = 0.0;
    for (std::size_t n = kLoopSamples - 20'000; n < kLoopSamples + 20'000; ++n)
        mean += frequency(iq, n) / 40'000;
    EXPECT_NEAR(mean, -250e3, 30e3);
}

TEST_F(SceneLoopTest, KeyedEmittersStayLiveAndDoNotRepeatWithTheLoop)
{
    // The voice overs on 146.52 MHz, 200 kHz above the centre: looped and live renderers key the
    // carrier in the same 100 ms windows over the whole nine seconds of overs.
    SceneRenderer looped = renderer(kLoopBytes, 146'320'000);
    SceneRenderer live = renderer(0, 146'320'000);
    ASSERT_EQ(live.loopSamples(), 0u);
    constexpr std::size_t kWindow = 200'000;
    int on = 0;
    for (int w = 0; w < 90; ++w) {
        auto carrier = [&](SceneRenderer& r) {
            const std::vector<int16_t> iq = render(r, kWindow);
            // Mixed down and averaged over 64 samples: a 31 kHz channel around the carrier.
            Complex acc = 0.0;
            double power = 0.0;
            for (std::size_t n = 0; n < kWindow; ++n) {
                acc += sample(iq, n) * std::polar(1.0, -2 * std::numbers::pi * 200e3 * double(n) / kRate);
                if (n % 64 == 63) {
                    power += std::norm(acc / 64.0);
                    acc = 0.0;
                }
            }
            return 10 * std::log10(power / (kWindow / 64) / (32767.0 * 32767.0)) > -70.0;
        };
        const bool fromLoop = carrier(looped);
        EXPECT_EQ(fromLoop, carrier(live)) << "window " << w;
        on += fromLoop;
    }
    EXPECT_GT(on, 90 * 3 / 10);
    EXPECT_LT(on, 90 * 9 / 10);
}

} // namespace
