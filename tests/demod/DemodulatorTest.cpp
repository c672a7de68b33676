#include "demod/NfmDemodulator.h"
#include "support/StdoutCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <complex>
#include <numbers>
#include <string>
#include <vector>

namespace {

using cf = std::complex<float>;

std::vector<cf> tone(double hz, double rate, size_t n)
{
    std::vector<cf> x(n);
    for (size_t k = 0; k < n; ++k)
        x[k] = std::polar(0.5f, static_cast<float>(2.0 * std::numbers::pi * hz * k / rate));
    return x;
}

NfmDemodulator ready(double deviation, double rate = 500000.0, bool stereo = false)
{
    NfmDemodulator d(NfmConfig{deviation, 75.0, stereo});
    d.setSampleRate(rate);
    return d;
}

} // namespace

TEST(NfmDemodulator, DerivesItsCoefficientsFromTheRate)
{
    StdoutCapture capture;
    NfmDemodulator d = ready(150000.0);
    const std::string out = capture.take();
    EXPECT_NEAR(d.discrScale(), 0.530516, 1e-6);
    EXPECT_NEAR(d.deemphAlpha(), 0.973686, 1e-6);
    EXPECT_NEAR(d.dcBlockAlpha(), 0.999749, 1e-6);
    EXPECT_NEAR(d.pilotFreq(), 0.238761, 1e-6);
    EXPECT_NE(out.find("[DEBUG NfmDemodulator] Fs=500000 Hz, deviation=150000 Hz, deemphasis=75.0 us\n"), std::string::npos);
    EXPECT_NE(out.find(", m_deemphAlpha=0.973686, m_dcBlockAlpha=0.999749\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("ERROR"), std::string::npos) << out;

    NfmDemodulator slow = ready(150000.0, 200000.0);
    EXPECT_NEAR(slow.pilotFreq(), 0.596903, 1e-6);
}

TEST(NfmDemodulator, RejectsAnInvalidRateAndReportsInfiniteScale)
{
    NfmDemodulator d = ready(150000.0);
    StdoutCapture invalid;
    d.setSampleRate(0.0);
    std::string out = invalid.take();
    EXPECT_NE(out.find("[ERROR NfmDemodulator::setSampleRate] Invalid sample rate <= 0!\n"), std::string::npos);
    EXPECT_DOUBLE_EQ(d.sampleRate(), 500000.0);

    NfmDemodulator zero(NfmConfig{0.0, 75.0, false});
    StdoutCapture infinite;
    zero.setSampleRate(500000.0);
    out = infinite.take();
    EXPECT_TRUE(std::isinf(zero.discrScale()));
    EXPECT_NE(out.find("[ERROR NfmDemodulator] m_discrScale is NaN or Inf!\n"), std::string::npos);
    EXPECT_EQ(out.find("m_deemphAlpha is NaN"), std::string::npos);

    NfmDemodulator unset(NfmConfig{});
    StdoutCapture unsetRate;
    unset.updateCoefficients();
    out = unsetRate.take();
    EXPECT_NE(out.find("[ERROR NfmDemodulator::updateCoefficients] m_sampleRate <= 0, returning!\n"), std::string::npos);
    std::vector<cf> x(8, cf{0.1f, 0.1f});
    std::vector<float> y(8);
    EXPECT_EQ(unset.process(x.data(), x.size(), y.data(), y.size()), 0u);
}

TEST(NfmDemodulator, DiscriminatorScalesDeviationToUnity)
{
    // A steady offset of half the deviation discriminates to 0.5; the output is that
    // through the de-emphasis and the DC blocker, followed here in double precision.
    NfmDemodulator d = ready(150000.0);
    const auto x = tone(75000.0, 500000.0, 400);
    std::vector<float> y(x.size());
    ASSERT_EQ(d.process(x.data(), x.size(), y.data(), y.size()), x.size());
    double s = 0.0, prevIn = 0.0, prevOut = 0.0;
    for (size_t k = 0; k < x.size(); ++k) {
        const double discr = k == 0 ? 0.0 : 0.5; // the first sample has no predecessor
        s += (discr - s) * (1.0 - d.deemphAlpha());
        const double out = (s + prevOut - prevIn) * d.dcBlockAlpha();
        prevIn = s;
        prevOut = out;
        ASSERT_NEAR(y[k], out, 2e-4) << k;
    }

    NfmDemodulator wide = ready(300000.0);
    std::vector<float> w(x.size());
    wide.process(x.data(), x.size(), w.data(), w.size());
    EXPECT_NEAR(w.back(), y.back() / 2.0f, 1e-4f);
}

TEST(NfmDemodulator, SilenceGivesSilenceAndShortOutputGivesNothing)
{
    for (bool stereo : {false, true}) {
        NfmDemodulator d = ready(150000.0, 500000.0, stereo);
        std::vector<cf> x(300, cf{0.0f, 0.0f});
        std::vector<float> l(300, 1.0f), r(300, 1.0f);
        const size_t n = stereo ? d.processStereo(x.data(), x.size(), l.data(), r.data(), l.size())
                                : d.process(x.data(), x.size(), l.data(), l.size());
        ASSERT_EQ(n, x.size());
        for (size_t k = 0; k < x.size(); ++k) {
            EXPECT_EQ(l[k], 0.0f);
            if (stereo) {
                EXPECT_EQ(r[k], 0.0f);
            }
        }
        std::fill(l.begin(), l.end(), 7.0f);
        EXPECT_EQ(d.process(x.data(), x.size(), l.data(), x.size() - 1), 0u);
        EXPECT_EQ(d.processStereo(x.data(), x.size(), l.data(), r.data(), x.size() - 1), 0u);
        EXPECT_EQ(l[0], 7.0f);
    }
}

// Two demodulators, three mono calls: exactly one input line, for the first call.
bool firstInputReportedOnce()
{
    NfmDemodulator a = ready(150000.0);
    NfmDemodulator b = ready(150000.0);
    std::vector<cf> x = {{0.5f, -0.25f}, {-0.5f, 0.25f}};
    std::vector<float> y(2);
    StdoutCapture capture;
    a.process(x.data(), x.size(), y.data(), y.size());
    a.process(x.data(), x.size(), y.data(), y.size());
    b.process(x.data(), x.size(), y.data(), y.size());
    const std::string out = capture.take();
    return out == "[DEBUG NfmDemodulator] Input IQ: I_avg=0.000000, Q_avg=0.000000, I_peak=0.500000, Q_peak=0.250000\n";
}

// The input report comes once per process, so it is checked in a fresh one.
TEST(NfmDemodulator, ReportsTheFirstMonoInputOnceForTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(firstInputReportedOnce() ? 0 : 1), testing::ExitedWithCode(0), "");
}

TEST(NfmDemodulator, ResetKeepsCoefficientsAndRestartsThePilotLoop)
{
    NfmDemodulator d = ready(150000.0, 500000.0, true);
    const auto x = tone(20000.0, 500000.0, 2000);
    std::vector<float> l(x.size()), r(x.size());
    d.processStereo(x.data(), x.size(), l.data(), r.data(), l.size());
    d.reset();
    EXPECT_NEAR(d.pilotFreq(), 0.238761, 1e-6);
    EXPECT_NEAR(d.discrScale(), 0.530516, 1e-6);
    EXPECT_FLOAT_EQ(d.pilotError(), 0.0f);
    // After a reset the first output equals that of a fresh demodulator.
    NfmDemodulator fresh = ready(150000.0, 500000.0, true);
    std::vector<float> l2(x.size()), r2(x.size());
    d.processStereo(x.data(), 64, l.data(), r.data(), l.size());
    fresh.processStereo(x.data(), 64, l2.data(), r2.data(), l2.size());
    for (size_t k = 0; k < 64; ++k)
        ASSERT_EQ(l[k], l2[k]) << k;
}

TEST(NfmDemodulator, RestoresTheDifferenceLevelLostInTheBandFilters)
{
    // Re(H) of the one-pole 23 kHz high-pass and 53 kHz low-pass at 38 kHz.
    NfmDemodulator d = ready(150000.0);
    EXPECT_NEAR(1.0 / d.diffGain(), 0.600, 0.002);
    NfmDemodulator slow = ready(150000.0, 200000.0);
    EXPECT_GT(slow.diffGain(), 1.0);
}
