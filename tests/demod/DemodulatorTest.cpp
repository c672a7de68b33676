#include "demod/FmDiscriminator.h"
#include "demod/NfmDemodulator.h"
#include "demod/OnePoleFilters.h"
#include "demod/PilotLoop.h"
#include "demod/ProgrammeFilter.h"
#include "demod/StereoDecoder.h"
#include "support/DiagnosticsCapture.h"
#include "support/ToneFit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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

// Lines nobody reads.
DiagnosticsCapture& quiet()
{
    static DiagnosticsCapture sink;
    return sink;
}

NfmDemodulator ready(double deviation, double rate = 500000.0, bool stereo = false,
                     DemodDiagnostics& diagnostics = quiet())
{
    NfmDemodulator d(NfmConfig{deviation, 75.0, stereo}, diagnostics);
    d.setSampleRate(rate);
    return d;
}

} // namespace

TEST(NfmDemodulator, DerivesItsCoefficientsFromTheRate)
{
    DiagnosticsCapture capture;
    NfmDemodulator d = ready(150000.0, 500000.0, false, capture);
    const std::string out = capture.take();
    EXPECT_NEAR(d.discrScale(), 0.530516, 1e-6);
    EXPECT_NEAR(d.deemphAlpha(), 0.973686, 1e-6);
    EXPECT_NEAR(d.dcBlockAlpha(), 0.999749, 1e-6);
    EXPECT_NEAR(d.stereoDecoder().pilot().frequency(), 0.238761, 1e-6);
    EXPECT_NE(out.find("[DEBUG NfmDemodulator] Fs=500000 Hz, deviation=150000 Hz, deemphasis=75.0 us\n"), std::string::npos);
    EXPECT_NE(out.find(", m_deemphAlpha=0.973686, m_dcBlockAlpha=0.999749\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("ERROR"), std::string::npos) << out;

    NfmDemodulator slow = ready(150000.0, 200000.0);
    EXPECT_NEAR(slow.stereoDecoder().pilot().frequency(), 0.596903, 1e-6);
}

TEST(NfmDemodulator, RejectsAnInvalidRateAndReportsInfiniteScale)
{
    DiagnosticsCapture capture;
    NfmDemodulator d = ready(150000.0, 500000.0, false, capture);
    capture.take();
    d.setSampleRate(0.0);
    std::string out = capture.take();
    EXPECT_NE(out.find("[ERROR NfmDemodulator::setSampleRate] Invalid sample rate <= 0!\n"), std::string::npos);
    EXPECT_DOUBLE_EQ(d.sampleRate(), 500000.0);

    NfmDemodulator zero(NfmConfig{0.0, 75.0, false}, capture);
    zero.setSampleRate(500000.0);
    out = capture.take();
    EXPECT_TRUE(std::isinf(zero.discrScale()));
    EXPECT_NE(out.find("[ERROR NfmDemodulator] m_discrScale is NaN or Inf!\n"), std::string::npos);
    EXPECT_EQ(out.find("m_deemphAlpha is NaN"), std::string::npos);

    NfmDemodulator unset(NfmConfig{}, capture);
    unset.updateCoefficients();
    out = capture.take();
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

TEST(NfmDemodulator, ReportsTheFirstMonoInputOncePerSink)
{
    // Two demodulators on one sink, three mono calls: one input line, for the first call.
    DiagnosticsCapture capture;
    NfmDemodulator a = ready(150000.0, 500000.0, false, capture);
    NfmDemodulator b = ready(150000.0, 500000.0, false, capture);
    capture.take();
    std::vector<cf> x = {{0.5f, -0.25f}, {-0.5f, 0.25f}};
    std::vector<float> y(2);
    a.process(x.data(), x.size(), y.data(), y.size());
    a.process(x.data(), x.size(), y.data(), y.size());
    b.process(x.data(), x.size(), y.data(), y.size());
    EXPECT_EQ(capture.take(),
              "[DEBUG NfmDemodulator] Input IQ: I_avg=0.000000, Q_avg=0.000000, I_peak=0.500000, Q_peak=0.250000\n");
}

TEST(NfmDemodulator, ResetKeepsCoefficientsAndRestartsThePilotLoop)
{
    NfmDemodulator d = ready(150000.0, 500000.0, true);
    const auto x = tone(20000.0, 500000.0, 2000);
    std::vector<float> l(x.size()), r(x.size());
    d.processStereo(x.data(), x.size(), l.data(), r.data(), l.size());
    d.reset();
    EXPECT_NEAR(d.stereoDecoder().pilot().frequency(), 0.238761, 1e-6);
    EXPECT_NEAR(d.discrScale(), 0.530516, 1e-6);
    EXPECT_FLOAT_EQ(d.stereoDecoder().pilot().error(), 0.0f);
    // After a reset the first output equals that of a fresh demodulator.
    NfmDemodulator fresh = ready(150000.0, 500000.0, true);
    std::vector<float> l2(x.size()), r2(x.size());
    d.processStereo(x.data(), 64, l.data(), r.data(), l.size());
    fresh.processStereo(x.data(), 64, l2.data(), r2.data(), l2.size());
    for (size_t k = 0; k < 64; ++k)
        ASSERT_EQ(l[k], l2[k]) << k;
}

TEST(NfmDemodulator, RestoresTheSubcarrierLevelTheDiscriminatorAverages)
{
    // sinc(38 kHz / Fs): about 1 % at 500 kHz, 6 % at 200 kHz.
    NfmDemodulator d = ready(150000.0);
    EXPECT_NEAR(1.0 / d.stereoDecoder().diffGain(), 0.99053, 1e-5);
    NfmDemodulator slow = ready(150000.0, 200000.0);
    EXPECT_NEAR(1.0 / slow.stereoDecoder().diffGain(), 0.94167, 1e-5);
}

namespace {

// Gain of a filter on a steady sine at hz (rate 500 kHz): output RMS over input RMS, after it
// has settled.
template <typename Filter>
double sineGain(Filter& f, double hz, double rate = 500000.0)
{
    const size_t n = 200000;
    double in = 0.0, out = 0.0;
    for (size_t k = 0; k < n; ++k) {
        const auto x = static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(k) / rate));
        const float y = f.step(x);
        if (k >= n / 2) {
            in += static_cast<double>(x) * x;
            out += static_cast<double>(y) * y;
        }
    }
    return std::sqrt(out / in);
}

} // namespace

TEST(DemodBlocks, DiscriminatorReadsFrequencyAsAFractionOfTheDeviation)
{
    FmDiscriminator d;
    d.setScale(static_cast<float>(500000.0 / (2.0 * std::numbers::pi * 150000.0)));
    for (double hz : {75000.0, -30000.0, 149000.0}) {
        d.reset();
        const auto x = tone(hz, 500000.0, 50);
        std::vector<float> y(x.size());
        d.process(x.data(), x.size(), y.data());
        EXPECT_EQ(y[0], 0.0f) << hz; // no previous sample after a reset
        for (size_t k = 1; k < y.size(); ++k)
            ASSERT_NEAR(y[k], hz / 150000.0, 1e-5) << hz << " at " << k;
    }
    d.reset();
    EXPECT_EQ(d.step({0.0f, 0.0f}), 0.0f);
    EXPECT_EQ(d.step({0.0f, 0.0f}), 0.0f);
}

TEST(DemodBlocks, OnePoleFiltersHaveTheirCornersWhereTheirPolesPutThem)
{
    // The 20 Hz DC blocker of the demodulator at 500 kHz: -3 dB at its corner, DC gone.
    OnePoleHighPass dc(static_cast<float>(std::exp(-2.0 * std::numbers::pi * 20.0 / 500000.0)));
    EXPECT_NEAR(sineGain(dc, 20.0), std::sqrt(0.5), 0.01);
    OnePoleHighPass blocker = dc;
    blocker.reset();
    float y = 0.0f;
    for (int k = 0; k < 500000; ++k)
        y = blocker.step(0.5f);
    EXPECT_LT(std::abs(y), 1e-3f);

    // 75 us de-emphasis: -3 dB at 2122 Hz, about -13.6 dB at 10 kHz, unity at DC.
    OnePoleLowPass deemph;
    deemph.setPole(std::exp(-1.0 / (75e-6 * 500000.0)));
    EXPECT_NEAR(sineGain(deemph, 1.0 / (2.0 * std::numbers::pi * 75e-6)), std::sqrt(0.5), 0.01);
    deemph.reset();
    EXPECT_NEAR(20.0 * std::log10(sineGain(deemph, 10000.0)), -13.6, 0.2);
    std::vector<float> ones(20000, 1.0f);
    deemph.reset();
    deemph.process(ones.data(), ones.size());
    EXPECT_NEAR(ones.back(), 1.0f, 1e-5f);
}

TEST(DemodBlocks, PilotLoopLocksOnAnOffsetPilotUnderLoudProgramme)
{
    // A pilot 2 Hz off nominal (the tolerance of a broadcast pilot) at an arbitrary phase,
    // with programme tones up to 15 kHz ten times as loud.
    const double rate = 500000.0;
    const double pilotHz = 19002.0;
    const double phi = 1.1;
    PilotLoop loop;
    loop.configure(rate);
    double subcarrierIn = 0.0, subcarrierQuad = 0.0, frequency = 0.0;
    const size_t n = static_cast<size_t>(0.1 * rate);
    for (size_t k = 0; k < n; ++k) {
        const double t = static_cast<double>(k) / rate;
        const double psi = 2.0 * std::numbers::pi * pilotHz * t + phi;
        const double programme = 0.5 * std::sin(2.0 * std::numbers::pi * 15000.0 * t) +
                                 0.5 * std::sin(2.0 * std::numbers::pi * 1000.0 * t);
        const float reference = loop.step(static_cast<float>(0.1 * std::sin(psi) + programme));
        if (k >= n / 2) {
            // Locked, the reference is the subcarrier's own phase, sin(2 psi).
            subcarrierIn += reference * std::sin(2.0 * psi);
            subcarrierQuad += reference * std::cos(2.0 * psi);
            frequency += loop.frequency();
        }
    }
    EXPECT_NEAR(frequency / static_cast<double>(n / 2), 2.0 * std::numbers::pi * pilotHz / rate, 1e-6);
    EXPECT_LT(std::abs(loop.error()), 0.2f);
    EXPECT_NEAR(subcarrierIn / static_cast<double>(n / 2), 0.5, 0.01);
    EXPECT_NEAR(subcarrierQuad / static_cast<double>(n / 2), 0.0, 0.02);

    loop.reset();
    EXPECT_NEAR(loop.frequency(), 2.0 * std::numbers::pi * 19000.0 / rate, 1e-12);
    EXPECT_EQ(loop.phase(), 0.0);
}

namespace {

// a sin(w t + phase) as the discriminator sees it: its mean over the sample period ending at t.
double sampleMean(double a, double w, double phase, double t, double rate)
{
    const double period = 1.0 / rate;
    return a * (std::cos(w * (t - period) + phase) - std::cos(w * t + phase)) / (w * period);
}

} // namespace

TEST(DemodBlocks, StereoDecoderSeparatesTheMultiplexTheDiscriminatorDelivers)
{
    // 0.45 (l + r) + 0.45 (l - r) sin(2 psi) + 0.1 sin(psi) with l and r sines at 1 and 3 kHz,
    // each sinusoid averaged over its sample; the programme filter then keeps the audio band.
    const double w1 = 2.0 * std::numbers::pi * 1000.0, w3 = 2.0 * std::numbers::pi * 3000.0;
    const double wp = 2.0 * std::numbers::pi * 19000.0, halfPi = std::numbers::pi / 2.0;
    for (double rate : {500000.0, 200000.0}) {
        StereoDecoder decoder;
        decoder.configure(rate);
        ProgrammeFilter band;
        band.configure(rate);
        const size_t n = static_cast<size_t>(0.05 * rate);
        std::vector<float> mpx(n), left(n), right(n);
        for (size_t k = 0; k < n; ++k) {
            const double t = static_cast<double>(k) / rate;
            // l sin(2 psi) = (cos((2 wp - w) t) - cos((2 wp + w) t)) / 2, and the same for r.
            double x = sampleMean(0.45, w1, 0.0, t, rate) + sampleMean(0.45, w3, 0.0, t, rate) +
                       sampleMean(0.1, wp, 0.0, t, rate);
            for (auto [w, sign] : {std::pair{w1, 1.0}, {w3, -1.0}}) {
                x += sampleMean(sign * 0.225, 2.0 * wp - w, halfPi, t, rate);
                x -= sampleMean(sign * 0.225, 2.0 * wp + w, halfPi, t, rate);
            }
            mpx[k] = static_cast<float>(x);
        }
        // Odd block sizes.
        for (size_t pos = 0, block = 333; pos < n; pos += block)
            decoder.process(mpx.data() + pos, std::min(block, n - pos), left.data() + pos, right.data() + pos);
        left.resize(band.process(left.data(), right.data(), n));
        right.resize(left.size());
        const size_t from = left.size() / 2;
        const ToneFit l = fitTones(left, from, {1000.0, 3000.0, 19000.0}, band.outputRateHz());
        const ToneFit r = fitTones(right, from, {1000.0, 3000.0, 19000.0}, band.outputRateHz());
        EXPECT_NEAR(l.amplitudes[0], 0.45, 0.002) << rate;
        EXPECT_NEAR(r.amplitudes[1], 0.45, 0.002) << rate;
        EXPECT_GT(20.0 * std::log10(l.amplitudes[0] / r.amplitudes[0]), 60.0) << rate;
        EXPECT_GT(20.0 * std::log10(r.amplitudes[1] / l.amplitudes[1]), 60.0) << rate;
        EXPECT_LT(std::max(l.amplitudes[2], r.amplitudes[2]), 1e-5) << rate;
    }
}
