#include "demod/DemodChain.h"
#include "support/FmTestSignal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace {

DemodParams params()
{
    return FmTestSignal::receiverParams(false, true);
}

std::vector<int16_t> noiseOnly(size_t pairs)
{
    FmTestSignal s;
    s.sampleRateHz = 5e6;
    s.carrierLevel = 0.0;
    s.noiseSigma = 0.0012;
    return s.generate(pairs);
}

// Feeds blocks of 4096 pairs at 5 MS/s; returns the largest output magnitude of the last block.
float run(DemodChain& chain, const std::vector<int16_t>& iq, double startSeconds = 0.0)
{
    float peak = 0.0f;
    for (size_t pos = 0; pos + 4096 <= iq.size() / 2; pos += 4096) {
        const size_t n = chain.process(iq.data() + 2 * pos, 4096, 5e6, FmTestSignal::kStationHz - 0.5e6, startSeconds + pos / 5e6);
        peak = 0.0f;
        for (size_t k = 0; k < n; ++k)
            peak = std::max(peak, std::abs(chain.left()[k]));
    }
    return peak;
}

} // namespace

TEST(DemodChain, StereoNeedsABroadcastDeviation)
{
    DemodParams p = params();
    p.fmStereoEnabled = true;
    p.fmDeviationHz = 15000.0;
    DemodChain chain(p);
    EXPECT_FALSE(chain.stereo());
    EXPECT_FALSE(chain.demodulator().config().stereo);
    p.fmDeviationHz = 300000.5;
    chain.applyParams(p);
    EXPECT_TRUE(chain.stereo());
    EXPECT_TRUE(chain.demodulator().config().stereo);
}

TEST(DemodChain, AppliesSettingsWithoutClearingTheSignalPath)
{
    DemodParams p = params();
    DemodChain chain(p);
    p.squelchOpenDb = 6.0;
    p.squelchCloseDb = 9.0;
    p.audioHpfHz = 300.0;
    p.audioLpfHz = 30000.0; // out of range: the old low-pass stays
    chain.applyParams(p);
    EXPECT_EQ(chain.params().squelchCloseDb, 6.0);

    p.filterOrder = 5;
    EXPECT_THROW(DemodChain bad(p), std::invalid_argument);
}

TEST(DemodChain, SquelchMutesNoiseAndSwitchingItOffOpensAtOnce)
{
    const auto noise = noiseOnly(20 * 4096);
    DemodChain chain(params());
    EXPECT_LT(run(chain, noise), 1e-6f);
    EXPECT_EQ(chain.squelchGain(), 0.0f);

    DemodParams off = params();
    off.squelchEnabled = false;
    chain.applyParams(off);
    EXPECT_EQ(chain.squelchGain(), 1.0f);
    EXPECT_GT(run(chain, noise, 1.0), 0.01f); // noise comes through unmuted

    chain.applyParams(params()); // on again: closed, measuring a fresh floor
    EXPECT_EQ(chain.squelchGain(), 0.0f);
}

TEST(DemodChain, ResetRestartsTuningRateControlAndStages)
{
    const auto noise = noiseOnly(4 * 4096);
    DemodParams p = params();
    p.squelchEnabled = false;
    DemodChain chain(p);
    run(chain, noise);
    EXPECT_NEAR(chain.nco().offsetHz(), 0.5e6, 1e-6);
    chain.reset();
    EXPECT_EQ(chain.nco().phasor(), std::complex<float>(1.0f, 0.0f));
    EXPECT_EQ(chain.rateControl().smoothedRatio(), 1.0);
    // The first block after the reset resamples at exactly 48000 / 100000: the demodulator's
    // 500 kHz over the programme filter's factor of 5.
    EXPECT_GT(chain.process(noise.data(), 4096, 5e6, FmTestSignal::kStationHz - 0.5e6, 50.0), 0u);
    EXPECT_DOUBLE_EQ(chain.rateControl().smoothedRatio(), 0.48);
    EXPECT_TRUE(chain.counts().ncoRetuned);
    EXPECT_EQ(chain.counts().cic, 4096u);
    EXPECT_EQ(chain.counts().preFir, 820u);
    EXPECT_EQ(chain.counts().polyFir, 410u);
}
