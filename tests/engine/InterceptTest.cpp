// What the persistence display shows of short bursts, through the spectrum thread's own
// processing: each block's spectrum reaches the map at its level, overlapped blocks close the
// window's blind edges, and the intercept time the window states is the shortest burst drawn
// within 1 dB of its level wherever it falls.
#include "engine/InterceptTime.h"
#include "tests/engine/BurstRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

// Rows are 120 dB / 511 apart, and a level lands on the nearest.
constexpr double kRowDb = 120.0 / 511.0;

// Where a burst starts in its block: evenly over one hop, and at random.
std::vector<std::size_t> offsets(std::size_t hop, std::size_t even, std::size_t random, unsigned seed)
{
    std::vector<std::size_t> out;
    for (std::size_t k = 0; k < even; ++k)
        out.push_back(k * hop / even);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<std::size_t> anywhere(0, hop - 1);
    for (std::size_t k = 0; k < random; ++k)
        out.push_back(anywhere(rng));
    return out;
}

} // namespace

// The stated length is enough wherever the burst falls, and nine tenths of it is not: somewhere
// in the hop such a burst is drawn more than 1 dB low.
TEST(InterceptTime, ABurstOfTheStatedLengthIsDrawnWithinOneDbWhereverItFallsAndAShorterOneIsNot)
{
    for (const auto& [window, overlap] : {std::pair{0, 0}, std::pair{0, 50}, std::pair{0, 75}, std::pair{2, 50}}) {
        BurstRig rig(2048, window, overlap);
        const double level = rig.continuous(-20.0, 256).burstDb;
        const std::size_t stated = intercept::fullAmplitudeSamples(2048, window, rig.hop());
        double worstStated = 0.0;
        double worstShorter = 0.0;
        for (std::size_t offset : offsets(rig.hop(), 64, 0, 1)) {
            worstStated = std::min(worstStated, rig.burst(-20.0, stated, offset).burstDb - level);
            worstShorter = std::min(worstShorter, rig.burst(-20.0, stated * 9 / 10, offset).burstDb - level);
        }
        EXPECT_GE(worstStated, -1.0 - kRowDb) << "window " << window << " overlap " << overlap;
        EXPECT_LT(worstShorter, -1.0) << "window " << window << " overlap " << overlap;
    }
    EXPECT_NEAR(intercept::fullAmplitudeSeconds(2048, 0, 0, 30e6), 100e-6, 1e-6);
    EXPECT_EQ(intercept::fullAmplitudeSeconds(0, 0, 0, 30e6), 0.0);
    EXPECT_EQ(intercept::fullAmplitudeSeconds(2048, 0, 0, 0.0), 0.0);
}

// With the default detector (the power average of 20 spectra) a quarter-block burst at -50 dBFS
// is one spectrum in twenty; fed every spectrum the map draws it far above the noise wherever
// it falls, also straddling two blocks, where the window all but hides it. Fed the trace, the
// same burst is averaged away by the detector.
TEST(PersistenceDisplay, EveryBurstOfAQuarterBlockOrLongerReachesTheMapWellAboveTheNoise)
{
    for (int n : {2048, 8192}) {
        BurstRig rig(n, 0, 0);
        const auto length = static_cast<std::size_t>(n);
        for (std::size_t burst : {length / 4, length / 2, length, 3 * length / 2}) {
            double weakest = 1e9;
            for (std::size_t offset : offsets(rig.hop(), 16, 16, static_cast<unsigned>(burst))) {
                const BurstRig::Drawn drawn = rig.burst(-50.0, burst, offset);
                weakest = std::min(weakest, drawn.burstDb - drawn.noiseDb);
            }
            EXPECT_GE(weakest, 10.0) << "N " << n << " burst " << burst;
        }
    }
    BurstRig everySpectrum(2048, 0, 0);
    BurstRig trace(2048, 0, 0, DensitySource::DisplayTrace);
    EXPECT_GT(everySpectrum.burst(-20.0, 2048, 0).burstDb - trace.burst(-20.0, 2048, 0).burstDb, 10.0);
}

// A continuous tone is drawn at its level wherever it sits among the bins a column gathers (two
// at 2048 points, eight at 8192), with each window.
TEST(PersistenceDisplay, AContinuousToneIsDrawnAtItsLevelAtEverySizeAndWindow)
{
    for (int n : {2048, 8192}) {
        for (int window : {0, 1, 2}) {
            BurstRig rig(n, window, 0);
            for (int bin = n / 8; bin < n / 8 + 8; ++bin)
                EXPECT_NEAR(rig.continuous(-30.0, bin).burstDb, -30.0, 1.5) << n << " " << window << " " << bin;
        }
    }
}

// Half-overlapped Hann blocks: from one and a half blocks on, some block holds the burst whole
// wherever it falls, and from one block on, some block holds enough of it for 1 dB. Without the
// overlap a burst of one block straddling two blocks loses more.
TEST(PersistenceDisplay, WithHalfOverlapEveryBurstOfABlockOrLongerIsDrawnWithinOneDb)
{
    BurstRig rig(2048, 0, 50);
    const double level = rig.continuous(-20.0, 256).burstDb;
    for (std::size_t burst : {2048u, 3072u, 4096u}) {
        double worst = 0.0;
        for (std::size_t offset : offsets(rig.hop(), 32, 32, static_cast<unsigned>(burst)))
            worst = std::min(worst, rig.burst(-20.0, burst, offset).burstDb - level);
        EXPECT_GE(worst, -1.0) << burst;
    }
}
