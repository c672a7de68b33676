#include "demod/AsrcResampler.h"
#include "demod/AudioFilter.h"
#include "demod/ProgrammeFilter.h"
#include "demod/RateControl.h"
#include "support/DiagnosticsCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

void expectSection(const AudioFilter& f, double b0, double b1, double b2, double a1, double a2)
{
    const AudioFilter::Biquad& s = f.sections().front();
    EXPECT_NEAR(s.b0, b0, 1e-6);
    EXPECT_NEAR(s.b1, b1, 1e-6);
    EXPECT_NEAR(s.b2, b2, 1e-6);
    EXPECT_NEAR(s.a1, a1, 1e-6);
    EXPECT_NEAR(s.a2, a2, 1e-6);
}

std::string constructionError(AudioFilter::Type type, double cutoff, int order)
{
    try {
        AudioFilter f(type, cutoff, 48000.0, order);
    } catch (const std::invalid_argument& e) {
        return e.what();
    }
    return {};
}

double rms(const std::vector<float>& x, size_t from)
{
    double s = 0.0;
    for (size_t n = from; n < x.size(); ++n)
        s += static_cast<double>(x[n]) * x[n];
    return std::sqrt(s / static_cast<double>(x.size() - from));
}

std::vector<float> sine(double hz, size_t n)
{
    std::vector<float> x(n);
    for (size_t k = 0; k < n; ++k)
        x[k] = static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * k / 48000.0));
    return x;
}

} // namespace

TEST(AudioFilter, DesignsButterworthSections)
{
    expectSection(AudioFilter(AudioFilter::HighPass, 20.0, 48000.0, 4), 0.997585, -1.995171, 0.997585, -1.995167, 0.995174);
    expectSection(AudioFilter(AudioFilter::LowPass, 20000.0, 48000.0, 4), 0.638202, 1.276404, 0.638202, 1.184762, 0.368045);
    const AudioFilter lpf3k(AudioFilter::LowPass, 3000.0, 48000.0, 2);
    ASSERT_EQ(lpf3k.sections().size(), 1u);
    expectSection(lpf3k, 0.029955, 0.059909, 0.029955, -1.454244, 0.574062);
    EXPECT_EQ(AudioFilter(AudioFilter::LowPass, 1000.0, 48000.0, 8).sections().size(), 4u);
}

TEST(AudioFilter, RejectsBadOrderFirstThenBadCutoff)
{
    const std::string orderError = "AudioFilter: order must be 2, 4, 6, or 8";
    const std::string cutoffError = "AudioFilter: cutoffHz must be in range (0, Fs/2)";
    EXPECT_EQ(constructionError(AudioFilter::LowPass, 1000.0, 5), orderError);
    EXPECT_EQ(constructionError(AudioFilter::LowPass, 1000.0, 10), orderError);
    EXPECT_EQ(constructionError(AudioFilter::LowPass, 24000.0, 4), cutoffError);
    EXPECT_EQ(constructionError(AudioFilter::HighPass, 0.0, 4), cutoffError);
    EXPECT_EQ(constructionError(AudioFilter::LowPass, 24000.0, 3), orderError);
}

TEST(AudioFilter, PassesAndStopsBands)
{
    AudioFilter lpf(AudioFilter::LowPass, 3000.0, 48000.0, 4);
    AudioFilter hpf(AudioFilter::HighPass, 3000.0, 48000.0, 4);
    for (auto [hz, lpfGain, hpfGain] : {std::tuple{300.0, 1.0, 0.0001}, {3000.0, 0.7071, 0.7071}, {12000.0, 0.0036, 1.0}}) {
        std::vector<float> x = sine(hz, 4800);
        std::vector<float> low(x.size());
        lpf.process(x.data(), low.data(), x.size());
        hpf.process(x.data(), x.data(), x.size()); // in place
        EXPECT_NEAR(rms(low, 2400) * std::sqrt(2.0), lpfGain, 0.01 + 0.05 * lpfGain) << hz;
        EXPECT_NEAR(rms(x, 2400) * std::sqrt(2.0), hpfGain, 0.01 + 0.05 * hpfGain) << hz;
        lpf.reset();
        hpf.reset();
    }
}

TEST(AudioFilter, IgnoresAnInvalidNewCutoffAndKeepsItsState)
{
    AudioFilter f(AudioFilter::LowPass, 5000.0, 48000.0, 4);
    std::vector<float> x = sine(1000.0, 100);
    f.process(x.data(), x.data(), x.size());
    const AudioFilter::Biquad before = f.sections().front();
    f.setCutoff(30000.0, 48000.0);
    EXPECT_DOUBLE_EQ(f.cutoffHz(), 5000.0);
    EXPECT_EQ(f.sections().front().w1, before.w1);
    EXPECT_EQ(f.sections().front().b0, before.b0);
    f.setCutoff(3000.0, 48000.0);
    EXPECT_DOUBLE_EQ(f.cutoffHz(), 3000.0);
    EXPECT_EQ(f.sections().front().w1, 0.0);
}

TEST(AsrcResampler, ClampsPushesAndReportsRatioChanges)
{
    using namespace std::chrono_literals;
    DiagnosticsCapture diag;
    AsrcResampler r(48000.0, diag);
    ASSERT_TRUE(r.valid());
    std::vector<float> in(5000, 0.25f), out(16384);

    r.process(in.data(), 10, out.data(), out.size(), 300.0);
    EXPECT_DOUBLE_EQ(r.lastRatio(), 256.0);

    r.process(in.data(), in.size(), out.data(), out.size(), 0.096);
    r.process(in.data(), in.size(), out.data(), out.size(), 0.09605);
    EXPECT_DOUBLE_EQ(r.lastRatio(), 0.096);

    diag.advance(2s);
    diag.take();
    r.process(in.data(), in.size(), out.data(), out.size(), 0.0962);
    EXPECT_DOUBLE_EQ(r.lastRatio(), 0.0962);
    EXPECT_EQ(diag.take(), ""); // passed on, too small a move to report
    r.process(in.data(), in.size(), out.data(), out.size(), 0.0975);
    EXPECT_EQ(diag.take(), "[AsrcResampler] Ratio changed: 0.096200 -> 0.097500 (inputRate=492308Hz -> 48kHz)\n");
    r.process(in.data(), in.size(), out.data(), out.size(), 0.099);
    EXPECT_DOUBLE_EQ(r.lastRatio(), 0.099);
    EXPECT_EQ(diag.take(), ""); // one message per second
    diag.advance(1s);
    r.process(in.data(), in.size(), out.data(), out.size(), 0.0975);
    EXPECT_NE(diag.take().find("Ratio changed: 0.099000 -> 0.097500"), std::string::npos);
}

TEST(AsrcResampler, ReportsAWindowWithIssuesOncePerSecond)
{
    using namespace std::chrono_literals;
    DiagnosticsCapture diag;
    AsrcResampler left(48000.0, diag);
    AsrcResampler right(48000.0, diag);
    std::vector<float> in(5000, 0.25f), out(100);
    // 480 outputs do not fit into 100: each call is an issue, and both resamplers count into
    // the one window of the sink.
    left.process(in.data(), in.size(), out.data(), out.size(), 0.096);
    right.process(in.data(), in.size(), out.data(), out.size(), 0.096);
    diag.advance(1s);
    diag.take();
    left.process(in.data(), in.size(), out.data(), out.size(), 0.096);
    const std::string line = diag.take();
    EXPECT_EQ(line.rfind("[AsrcResampler] ISSUE: calls=3, avgIn=5000, avgInUsed=", 0), 0u) << line;
    EXPECT_NE(line.find(", avgOut=100, issues=3, ratio=0.096000\n"), std::string::npos) << line;
    left.process(in.data(), in.size(), out.data(), out.size(), 0.096);
    EXPECT_EQ(diag.take(), ""); // a new window has begun

    // A window without issues ends silently.
    DiagnosticsCapture clean;
    AsrcResampler fine(48000.0, clean);
    std::vector<float> room(16384);
    fine.process(in.data(), in.size(), room.data(), room.size(), 0.096);
    clean.advance(1s);
    clean.take();
    fine.process(in.data(), in.size(), room.data(), room.size(), 0.096);
    EXPECT_EQ(clean.take(), "");
}

TEST(AsrcResampler, ConvertsAtTheRatioAndRefusesBadArguments)
{
    DiagnosticsCapture diag;
    AsrcResampler r(48000.0, diag);
    std::vector<float> in(5000), out(16384);
    for (size_t k = 0; k < in.size(); ++k)
        in[k] = static_cast<float>(std::sin(0.01 * k));
    size_t produced = 0;
    size_t consumed = 0;
    for (int call = 0; call < 20; ++call) {
        produced += r.process(in.data(), in.size(), out.data(), out.size(), 0.096, &consumed);
        EXPECT_EQ(consumed, in.size());
    }
    EXPECT_NEAR(static_cast<double>(produced), 20 * 5000 * 0.096, 100.0);

    EXPECT_EQ(r.process(nullptr, 10, out.data(), out.size(), 0.096, &consumed), 0u);
    EXPECT_EQ(consumed, 0u);
    EXPECT_EQ(r.process(in.data(), 10, out.data(), out.size(), 0.0), 0u);
    EXPECT_EQ(r.process(in.data(), 10, out.data(), 0, 0.096), 0u);
    r.reset();
    EXPECT_EQ(r.lastRatio(), 0.0);
}

TEST(AsrcResampler, AStereoPairConvertsEachSideAsAMonoResamplerWould)
{
    DiagnosticsCapture diag;
    AsrcResampler left(48000.0, diag), right(48000.0, diag), pair(48000.0, diag, 2);
    ASSERT_EQ(pair.channels(), 2);
    std::vector<float> l(410), r(410), lr(820), outL(200), outR(200), outLR(400);
    size_t produced = 0;
    for (int call = 0; call < 30; ++call) {
        for (size_t k = 0; k < l.size(); ++k) {
            const double t = static_cast<double>(call * 410 + k) / 500000.0;
            l[k] = lr[2 * k] = static_cast<float>(std::sin(2.0 * std::numbers::pi * 1000.0 * t));
            r[k] = lr[2 * k + 1] = static_cast<float>(0.5 * std::sin(2.0 * std::numbers::pi * 3000.0 * t));
        }
        const size_t nl = left.process(l.data(), l.size(), outL.data(), outL.size(), 0.096);
        const size_t nr = right.process(r.data(), r.size(), outR.data(), outR.size(), 0.096);
        const size_t n = pair.process(lr.data(), l.size(), outLR.data(), outLR.size() / 2, 0.096);
        ASSERT_EQ(n, nl);
        ASSERT_EQ(n, nr);
        for (size_t k = 0; k < n; ++k) {
            ASSERT_NEAR(outLR[2 * k], outL[k], 1e-6f) << call;
            ASSERT_NEAR(outLR[2 * k + 1], outR[k], 1e-6f) << call;
        }
        produced += n;
    }
    EXPECT_NEAR(static_cast<double>(produced), 30 * 410 * 0.096, 40.0);
}

TEST(RateControl, StartsAtTheoryAndTakesOnlyPlausibleWindowsInBoundedSteps)
{
    DiagnosticsCapture diag;
    RateControl rc(diag);
    const double nominal = 48000.0 / 500000.0;
    EXPECT_DOUBLE_EQ(rc.update(500000.0, 0, 10.0), nominal);
    // The first window holds the start-up backlog: reported, not taken.
    rc.update(500000.0, 520000, 11.0);
    EXPECT_DOUBLE_EQ(rc.smoothedRatio(), nominal);
    EXPECT_TRUE(diag.contains("[ASRC] measured=520000.0 Hz, target=0.092308, smoothed=0.096000"));
    // 0.4 % fast is no clock: samples caught up after a stall.
    rc.update(500000.0, 502000, 12.0);
    EXPECT_DOUBLE_EQ(rc.smoothedRatio(), nominal);
    EXPECT_NEAR(rc.measuredRateHz(), 502000.0, 1e-6);
    // 0.05 % fast: three tenths of the way to the target.
    rc.update(500000.0, 500250, 13.0);
    const double afterSmallStep = nominal + 0.3 * (48000.0 / 500250.0 - nominal);
    EXPECT_NEAR(rc.smoothedRatio(), afterSmallStep, 1e-12);
    // 0.15 % fast: the step is bounded to 0.04 % of nominal.
    rc.update(500000.0, 500750, 14.0);
    EXPECT_NEAR(rc.smoothedRatio(), afterSmallStep - 0.0004 * nominal, 1e-12);
    // Not a whole second yet: nothing moves.
    EXPECT_EQ(rc.update(500000.0, 400000, 14.5), rc.smoothedRatio());
    // The printed target keeps within 5 % of nominal.
    rc.update(500000.0, 800000, 15.0);
    EXPECT_TRUE(diag.contains("target=0.091200"));

    // A new demodulator rate starts from its own nominal ratio.
    EXPECT_DOUBLE_EQ(rc.update(200000.0, 100, 16.0), 0.24);
    rc.reset();
    EXPECT_EQ(rc.smoothedRatio(), 1.0);
    EXPECT_DOUBLE_EQ(rc.update(500000.0, 100, 20.0), nominal);
}

namespace {

// Gain of the programme filter for a sine at hz in the left channel (and at half that level in
// the right), fed in place in odd blocks: settled output RMS over input RMS, each side.
std::pair<double, double> programmeGain(ProgrammeFilter& band, double hz, double rate)
{
    const auto n = static_cast<size_t>(0.05 * rate);
    std::vector<float> left(n), right(n);
    for (size_t k = 0; k < n; ++k) {
        left[k] = static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(k) / rate));
        right[k] = 0.5f * left[k];
    }
    const double in = rms(left, n / 2);
    band.reset();
    std::vector<float> outLeft, outRight;
    for (size_t pos = 0, block = 3333; pos < n; pos += block) {
        const size_t count = std::min(block, n - pos);
        const size_t got = band.process(left.data() + pos, right.data() + pos, count);
        const auto from = static_cast<ptrdiff_t>(pos), to = static_cast<ptrdiff_t>(pos + got);
        outLeft.insert(outLeft.end(), left.begin() + from, left.begin() + to);
        outRight.insert(outRight.end(), right.begin() + from, right.begin() + to);
    }
    EXPECT_EQ(outLeft.size(), (n + static_cast<size_t>(band.factor()) - 1) / static_cast<size_t>(band.factor()));
    return {rms(outLeft, outLeft.size() / 2) / in, rms(outRight, outRight.size() / 2) / (0.5 * in)};
}

} // namespace

TEST(ProgrammeFilter, PassesTheProgrammeAndTakesOutThePilotAndAllAbove)
{
    ProgrammeFilter band;
    band.configure(500000.0);
    EXPECT_EQ(band.factor(), 5);
    EXPECT_DOUBLE_EQ(band.outputRateHz(), 100000.0);
    // Pass band; then the pilot, the subcarrier and what would fold onto 10 kHz at 100 kHz.
    for (double hz : {1000.0, 10000.0, 15000.0}) {
        const auto [left, right] = programmeGain(band, hz, 500000.0);
        EXPECT_NEAR(20.0 * std::log10(left), 0.0, 0.01) << hz;
        EXPECT_NEAR(right, left, 1e-6) << hz;
    }
    for (double hz : {18800.0, 19000.0, 38000.0, 57000.0, 90000.0, 110000.0}) {
        const auto [left, right] = programmeGain(band, hz, 500000.0);
        EXPECT_LT(20.0 * std::log10(left), -90.0) << hz;
        EXPECT_LT(20.0 * std::log10(right), -90.0) << hz;
    }
}

TEST(ProgrammeFilter, TakesTheDemodulatorRatesToOneHundredKilohertzAndServesMono)
{
    // 200 kHz, the narrow demodulator at 2 MS/s, holds the band as 500 kHz does. Another rate
    // goes to the rate a factor that divides the decimator's taps gives, where the band's edge
    // widens with the output rate; a rate below 200 kHz is not taken down at all.
    struct Case {
        double rate;
        int factor;
        double passDb;
        double pilotDb;
    };
    ProgrammeFilter band;
    for (const Case& c : {Case{200000.0, 2, 0.01, -90.0}, {300000.0, 2, 0.5, -40.0}, {80000.0, 1, 0.01, -90.0}}) {
        band.configure(c.rate);
        EXPECT_EQ(band.factor(), c.factor) << c.rate;
        EXPECT_DOUBLE_EQ(band.outputRateHz(), c.rate / c.factor) << c.rate;
        EXPECT_NEAR(20.0 * std::log10(programmeGain(band, 15000.0, c.rate).first), 0.0, c.passDb) << c.rate;
        EXPECT_LT(20.0 * std::log10(programmeGain(band, 19000.0, c.rate).first), c.pilotDb) << c.rate;
    }

    // Mono: the left side alone comes out as it does beside a right one.
    band.configure(500000.0);
    std::vector<float> mono = sine(1234.0, 5000), left = mono, right(mono.size(), 0.25f);
    band.reset();
    const size_t n = band.process(mono.data(), nullptr, mono.size());
    band.reset();
    ASSERT_EQ(band.process(left.data(), right.data(), left.size()), n);
    EXPECT_EQ(n, 1000u);
    for (size_t k = 0; k < n; ++k)
        ASSERT_EQ(mono[k], left[k]) << k;
}
