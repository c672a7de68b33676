#include "demod/Squelch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <utility>
#include <vector>

namespace {

DemodParams squelchParams()
{
    DemodParams p;
    p.squelchEnabled = true;
    return p;
}

// Baseband at the demodulator's rate: a frequency-modulated carrier (a 1 kHz tone at 50 kHz
// deviation, so its envelope is constant) in complex Gaussian noise, powers in dBFS.
class Baseband {
public:
    Baseband(double rateHz, double carrierDbfs, double noiseDbfs, uint32_t seed = 7)
        : m_rateHz(rateHz)
        , m_carrier(std::pow(10.0, carrierDbfs / 20.0))
        , m_noise(0.0, std::sqrt(std::pow(10.0, noiseDbfs / 10.0) / 2.0))
        , m_rng(seed)
    {
    }

    void setCarrierDbfs(double dbfs) { m_carrier = dbfs < -200.0 ? 0.0 : std::pow(10.0, dbfs / 20.0); }
    double rateHz() const { return m_rateHz; }

    std::vector<std::complex<float>> next(size_t k)
    {
        std::vector<std::complex<float>> z(k);
        constexpr double kTwoPi = 2.0 * std::numbers::pi;
        for (auto& v : z) {
            const double t = static_cast<double>(m_n++) / m_rateHz;
            const double phase = 50.0 * std::sin(kTwoPi * 1000.0 * t); // 50 kHz / 1 kHz
            v = std::complex<float>(static_cast<float>(m_carrier * std::cos(phase) + m_noise(m_rng)),
                                    static_cast<float>(m_carrier * std::sin(phase) + m_noise(m_rng)));
        }
        return z;
    }

private:
    double m_rateHz;
    double m_carrier;
    std::normal_distribution<double> m_noise;
    std::mt19937 m_rng;
    uint64_t m_n = 0;
};

// Runs `seconds` of the scene through the squelch in blocks of `block` samples. Returns the
// time from the start of the run at which it was first open (-1 if never) and whether it
// was open at the end.
std::pair<double, bool> run(Squelch& s, Baseband& scene, double seconds, size_t block,
                            const DemodParams& p = squelchParams())
{
    double firstOpen = -1.0;
    const double blockSeconds = static_cast<double>(block) / scene.rateHz();
    for (double t = 0.0; t < seconds; t += blockSeconds) {
        const auto z = scene.next(block);
        s.step(z.data(), z.size(), blockSeconds, p);
        if (s.isOpen() && firstOpen < 0.0)
            firstOpen = t + blockSeconds;
    }
    return {firstOpen, s.isOpen()};
}

// A block of k samples of constant envelope and power p (linear, full scale 1).
float step(Squelch& s, double power, double seconds, const DemodParams& p, size_t k = 200)
{
    const std::vector<std::complex<float>> b(k, std::complex<float>(static_cast<float>(std::sqrt(power)), 0.0f));
    return s.step(b.data(), b.size(), seconds, p);
}

double toDb(double power)
{
    return 10.0 * std::log10(power);
}

} // namespace

// The noise in the demodulator's band of the simulated receiver is about -88 dBFS. A station
// present from the very first block must open the squelch whatever its level, at both
// demodulator rates and with the small blocks of 30 MS/s as with the large ones of 2 MS/s,
// and the floor is the noise, never the station.
TEST(Squelch, AStationPresentFromTheStartOpensItAtAnyLevel)
{
    for (auto [rate, block] : {std::pair{500000.0, size_t{68}}, {200000.0, size_t{410}}}) {
        for (double carrier : {-30.0, -50.0, -70.0, -80.0}) {
            Squelch s;
            Baseband scene(rate, carrier, -88.0);
            const auto [opened, openAtEnd] = run(s, scene, 2.0, block);
            EXPECT_GE(opened, 0.0) << carrier << " dBFS at " << rate;
            EXPECT_LE(opened, 0.1) << carrier << " dBFS at " << rate;
            EXPECT_TRUE(openAtEnd) << carrier << " dBFS at " << rate;
            EXPECT_NEAR(toDb(s.noiseFloor()), -88.0, 1.5) << carrier << " dBFS at " << rate;
            EXPECT_GT(s.gain(), 0.999f);
        }
    }
}

TEST(Squelch, NoiseAloneStaysClosed)
{
    for (auto [rate, block] : {std::pair{500000.0, size_t{68}}, {500000.0, size_t{2}}, {200000.0, size_t{410}}}) {
        for (double noise : {-88.0, -60.0}) {
            Squelch s;
            Baseband scene(rate, -300.0, noise, 11);
            const auto [opened, openAtEnd] = run(s, scene, 5.0, block);
            EXPECT_LT(opened, 0.0) << noise << " dBFS at " << rate << " in blocks of " << block;
            EXPECT_EQ(s.gain(), 0.0f);
        }
    }
}

TEST(Squelch, ClosesWhenTheStationGoesAndOpensWhenItReturns)
{
    Squelch s;
    Baseband scene(500000.0, -65.0, -88.0);
    ASSERT_TRUE(run(s, scene, 0.5, 68).second);

    scene.setCarrierDbfs(-300.0);
    const auto [stillOpen, openAfterNoise] = run(s, scene, 0.1, 68);
    EXPECT_FALSE(openAfterNoise); // averaging, hang and release are all shorter than 0.1 s
    EXPECT_LT(s.gain(), 0.3f); // releasing over 50 ms
    run(s, scene, 3.0, 68);
    EXPECT_FALSE(s.isOpen());

    scene.setCarrierDbfs(-75.0);
    const auto [reopened, openAtEnd] = run(s, scene, 1.0, 68);
    EXPECT_GE(reopened, 0.0);
    EXPECT_LE(reopened, 0.1);
    EXPECT_TRUE(openAtEnd);
}

TEST(Squelch, UntilTheNoiseIsKnownOnlyTheLevelOpens)
{
    const DemodParams p = squelchParams();
    Squelch quiet;
    EXPECT_EQ(step(quiet, 1e-5, 0.0004, p), 0.0f); // -50 dBFS, below the level
    EXPECT_FALSE(quiet.isOpen());
    EXPECT_EQ(quiet.noiseFloor(), 0.0);

    Squelch loud;
    step(loud, 1e-4, 0.0004, p); // -40 dBFS opens by level at once
    EXPECT_TRUE(loud.isOpen());
    EXPECT_NEAR(loud.gain(), 1.0 - std::exp(-0.1), 1e-6);

    // A clean carrier has no noise: the floor rests at its lowest, -87 dBFS by default.
    Squelch clean;
    step(clean, 1e-12, 0.01, p, 5000);
    EXPECT_NEAR(clean.noiseFloor(), std::pow(10.0, -8.7), 1e-15);
    EXPECT_FALSE(clean.isOpen()); // -120 dBFS is below that floor
}

TEST(Squelch, ClosesOnlyAfterTheHangOfConsecutiveQuietTime)
{
    const DemodParams p = squelchParams(); // hang 10 ms
    // 500 kHz in blocks of 100 samples (0.2 ms); the power is averaged over 1024 samples, so
    // 11 loud blocks make a loud average and 20 quiet ones bring it below the level again.
    auto loud = [&p](Squelch& s) {
        for (int k = 0; k < 11; ++k)
            step(s, 1e-4, 0.0002, p, 100);
    };
    Squelch s;
    loud(s);
    ASSERT_TRUE(s.isOpen());
    int quietBlocks = 0;
    bool interrupted = false;
    while (s.isOpen() && quietBlocks < 1000) {
        step(s, 1e-10, 0.0002, p, 100);
        if (++quietBlocks == 30 && !interrupted) { // loud again within the hang: it starts over
            loud(s);
            interrupted = true;
            quietBlocks = 0;
        }
    }
    // 20 blocks for the average to fall below the level, then 50 of hang.
    EXPECT_GE(quietBlocks, 65);
    EXPECT_LE(quietBlocks, 75);
}

TEST(Squelch, NoiseAlphaAndTimeConstantsAreLimited)
{
    // The floor follows a rise of the noise at the clamped pace: 0.9 acts as 0.5, 0 as 0.0001.
    auto floorAfterRise = [](double alpha) {
        DemodParams p = squelchParams();
        p.squelchNoiseAlpha = alpha;
        Squelch s;
        Baseband scene(500000.0, -300.0, -80.0, 3);
        run(s, scene, 0.2, 68, p);
        Baseband louder(500000.0, -300.0, -77.0, 5);
        run(s, louder, 0.05, 68, p);
        return s.noiseFloor();
    };
    EXPECT_EQ(floorAfterRise(0.9), floorAfterRise(0.5));
    EXPECT_EQ(floorAfterRise(0.0), floorAfterRise(0.0001));
    EXPECT_GT(floorAfterRise(0.5), floorAfterRise(0.0001));

    DemodParams p = squelchParams();
    p.squelchAttackMs = 0.0;
    Squelch s;
    step(s, 1e-4, 0.0004, p);
    EXPECT_NEAR(s.gain(), 1.0 - std::exp(-0.4), 1e-6); // 0 ms acts as 1 ms
    EXPECT_EQ(step(s, 1e-4, 0.0, p), 1.0f);            // no duration: straight to the target
}

TEST(Squelch, SwitchedOffPassesEverything)
{
    DemodParams p = squelchParams();
    p.squelchEnabled = false;
    Squelch s;
    EXPECT_EQ(step(s, 1e-12, 0.001, p), 1.0f);
    EXPECT_TRUE(s.isOpen());
    s.clear();
    EXPECT_FALSE(s.isOpen());
    EXPECT_FALSE(s.initialised());
    EXPECT_EQ(s.gain(), 0.0f);
}
