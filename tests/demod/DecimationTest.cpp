#include "demod/CicDecimator.h"
#include "demod/DcOffsetTracker.h"
#include "demod/FirDecimator.h"
#include "demod/FirDesign.h"
#include "demod/IqDecimator.h"
#include "demod/NcoMixer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace {

using cf = std::complex<float>;

// Magnitude response in dB of a real FIR at a frequency given as a fraction of its rate.
double responseDb(const std::vector<double>& h, double f)
{
    std::complex<double> sum = 0.0;
    for (size_t t = 0; t < h.size(); ++t)
        sum += h[t] * std::polar(1.0, -2.0 * std::numbers::pi * f * static_cast<double>(t));
    return 20.0 * std::log10(std::abs(sum));
}

// First frequency (fraction of the rate, scanning upwards) where the response drops below levelDb.
double crossing(const std::vector<double>& h, double levelDb)
{
    for (double f = 0.0; f < 0.5; f += 1e-5)
        if (responseDb(h, f) < levelDb)
            return f;
    return 0.5;
}

void expectRelative(double actual, double expected, double tol = 1e-6)
{
    EXPECT_NEAR(actual, expected, std::abs(expected) * tol) << "expected " << expected;
}

} // namespace

TEST(FirPrototype, PreFirReproducesItsTellingTaps)
{
    const auto h = preFirPrototype();
    ASSERT_EQ(h.size(), 160u);
    expectRelative(h[0], 2.79057e-06, 2e-6);
    expectRelative(h[1], 7.260318e-05);
    expectRelative(h[79], 0.08759247);
    expectRelative(h[80], 0.08759247);
    expectRelative(h[78], 0.08532112);
    expectRelative(h[81], 0.08532112);
    expectRelative(h[77], 0.08088775);
    expectRelative(h[82], 0.08088775);
}

TEST(FirPrototype, PolyFirReproducesItsTellingTaps)
{
    const auto h = polyFirPrototype();
    ASSERT_EQ(h.size(), 128u);
    expectRelative(h[0], -1.91529e-05, 2e-6);
    expectRelative(h[1], -1.314405e-04);
    expectRelative(h[63], 0.4057856);
    expectRelative(h[64], 0.4057856);
    expectRelative(h[62], 0.1857167);
    expectRelative(h[65], 0.1857167);
    expectRelative(h[61], -0.03919439);
    expectRelative(h[66], -0.03919439);
    expectRelative(h[60], -0.08954012);
    expectRelative(h[67], -0.08954012);
}

TEST(FirPrototype, ResponsesMeetTheirShape)
{
    struct Shape {
        std::vector<double> h;
        double rippleLo, rippleHi, passEdge, minus1, minus3, minus6, stopFrom, nyquist;
    };
    const Shape shapes[] = {
        {preFirPrototype(), -0.045, 0.012, 0.0345, 0.0389, 0.0416, 0.0440, 0.0526, 0.1},
        {polyFirPrototype(), -0.003, 0.006, 0.196, 0.2127, 0.2167, 0.2200, 0.2324, 0.25},
    };
    for (const Shape& s : shapes) {
        for (double f = 0.0; f <= s.passEdge; f += 0.0005) {
            EXPECT_GE(responseDb(s.h, f), s.rippleLo - 0.002) << f;
            EXPECT_LE(responseDb(s.h, f), s.rippleHi + 0.002) << f;
        }
        EXPECT_NEAR(crossing(s.h, -1.0), s.minus1, 0.0005);
        EXPECT_NEAR(crossing(s.h, -3.0), s.minus3, 0.0005);
        EXPECT_NEAR(crossing(s.h, -6.0), s.minus6, 0.0005);
        for (double f = s.stopFrom; f <= 0.5; f += 0.0005)
            EXPECT_LE(responseDb(s.h, f), -40.0) << f;
        EXPECT_NEAR(responseDb(s.h, s.nyquist), -71.0, 1.5);
    }
}

TEST(FirPrototype, HalfBandPassesPolyFirsBandAndStopsWhatWouldFoldIntoIt)
{
    // At 2 MHz: flat over the +-217 kHz PolyFIR passes at 1 MHz, and 100 dB down where a signal
    // would fold into that band at 1 MHz (from 783 kHz up).
    const auto h = halfBandPrototype();
    ASSERT_EQ(h.size(), 32u);
    for (double f = 0.0; f <= 0.1085; f += 0.0005)
        ASSERT_NEAR(responseDb(h, f), 0.0, 0.001) << f;
    for (double f = 0.3915; f <= 0.5; f += 0.0005)
        ASSERT_LE(responseDb(h, f), -100.0) << f;
    EXPECT_NEAR(crossing(h, -6.0), 0.25, 0.001);
}

TEST(FirDecimator, PolyphaseRowsEachCarryAShareOfTheDcGain)
{
    const PreFirDecimator pre;
    const PolyFirDecimator poly;
    const auto preProto = preFirPrototype();
    for (int p = 0; p < 5; ++p) {
        double row = 0.0;
        for (int j = 0; j < 32; ++j) {
            row += pre.coefficients()[static_cast<size_t>(32 * p + j)];
            EXPECT_EQ(pre.coefficients()[static_cast<size_t>(32 * p + j)], static_cast<float>(preProto[static_cast<size_t>(5 * j + p)]));
        }
        EXPECT_NEAR(row, 0.2, 1e-4);
    }
    for (int p = 0; p < 2; ++p) {
        double row = 0.0;
        for (int j = 0; j < 64; ++j)
            row += poly.coefficients()[static_cast<size_t>(64 * p + j)];
        EXPECT_NEAR(row, 0.5, 1e-4);
    }
}

// The polyphase decimator must equal the plain convolution sampled at every D-th input,
// starting with the first input, across arbitrary block boundaries and a reset.
template <typename Decimator>
void expectMatchesDirectConvolution(const std::vector<double>& h, int factor)
{
    Decimator dec;
    std::vector<cf> x(5013);
    for (size_t n = 0; n < x.size(); ++n)
        x[n] = {static_cast<float>(std::sin(0.37 * n) + 0.3 * std::cos(1.91 * n)), static_cast<float>(std::cos(0.11 * n * n))};
    for (int run = 0; run < 2; ++run) {
        std::vector<cf> y(x.size());
        size_t produced = 0;
        size_t pos = 0;
        // Blocks of up to 3000 cross the decimators' internal chunks.
        for (size_t block : {1u, 7u, 160u, 3u, 500u, 342u, 3000u, 1000u}) {
            produced += dec.process(x.data() + pos, block, y.data() + produced, y.size() - produced);
            pos += block;
        }
        ASSERT_EQ(pos, x.size());
        ASSERT_EQ(produced, (x.size() + static_cast<size_t>(factor) - 1) / static_cast<size_t>(factor));
        for (size_t m = 0; m < produced; ++m) {
            std::complex<double> ref = 0.0;
            const size_t n = m * static_cast<size_t>(factor);
            for (size_t t = 0; t < h.size() && t <= n; ++t)
                ref += h[t] * std::complex<double>(x[n - t]);
            ASSERT_NEAR(y[m].real(), ref.real(), 2e-6) << m;
            ASSERT_NEAR(y[m].imag(), ref.imag(), 2e-6) << m;
        }
        dec.reset();
    }
}

TEST(FirDecimator, EqualsDirectConvolutionOnTheOutputPhases)
{
    expectMatchesDirectConvolution<PreFirDecimator>(preFirPrototype(), 5);
    expectMatchesDirectConvolution<HalfBandDecimator>(halfBandPrototype(), 2);
    expectMatchesDirectConvolution<PolyFirDecimator>(polyFirPrototype(), 2);
}

TEST(FirDecimator, TakesTwoRealSignalsAsTheComplexSamplesTheyMake)
{
    // I and Q held apart give the complex path's outputs; without Q, the imaginary parts are 0.
    std::vector<float> i(3001), q(3001);
    std::vector<cf> x(i.size());
    for (size_t n = 0; n < x.size(); ++n) {
        i[n] = static_cast<float>(std::sin(0.37 * static_cast<double>(n)));
        q[n] = static_cast<float>(std::cos(0.011 * static_cast<double>(n * n)));
        x[n] = {i[n], q[n]};
    }
    PreFirDecimator complexIn, planar, realOnly;
    std::vector<cf> a(x.size()), b(x.size()), c(x.size());
    size_t na = 0, nb = 0, nc = 0;
    for (size_t pos = 0, block = 1111; pos < x.size(); pos += block) {
        const size_t n = std::min(block, x.size() - pos);
        na += complexIn.process(x.data() + pos, n, a.data() + na, a.size() - na);
        nb += planar.process(i.data() + pos, q.data() + pos, n, b.data() + nb, b.size() - nb);
        nc += realOnly.process(i.data() + pos, nullptr, n, c.data() + nc, c.size() - nc);
    }
    ASSERT_EQ(na, 601u);
    ASSERT_EQ(nb, na);
    ASSERT_EQ(nc, na);
    for (size_t k = 0; k < na; ++k) {
        ASSERT_EQ(a[k], b[k]) << k;
        ASSERT_EQ(c[k], cf(a[k].real(), 0.0f)) << k;
    }
    EXPECT_EQ(planar.process(nullptr, q.data(), 5, b.data(), b.size()), 0u);
}

TEST(FirDecimator, GivesTheSameOutputsSampleBySampleAsInBlocks)
{
    // Blocks compute their outputs four at a time, a lone sample's output alone: the two must
    // add in the same order, bit for bit, or a stream's outputs would hang on how it was cut.
    std::vector<cf> x(2003);
    for (size_t n = 0; n < x.size(); ++n)
        x[n] = {static_cast<float>(std::sin(0.7 * static_cast<double>(n)) * 1e3),
                static_cast<float>(std::cos(0.013 * static_cast<double>(n * n)) * 1e-3)};
    PreFirDecimator blocks, samples;
    std::vector<cf> a(x.size()), b;
    const size_t na = blocks.process(x.data(), x.size(), a.data(), a.size());
    for (const cf& v : x) {
        cf y;
        if (samples.push(v, y))
            b.push_back(y);
    }
    ASSERT_EQ(b.size(), na);
    for (size_t k = 0; k < na; ++k)
        ASSERT_EQ(a[k], b[k]) << k;
}

TEST(FirDecimator, StopsBeforeAnInputWhoseOutputWouldNotFit)
{
    PolyFirDecimator dec;
    std::vector<cf> x(10, cf{1.0f, 0.0f});
    std::vector<cf> y(3);
    EXPECT_EQ(dec.process(x.data(), x.size(), y.data(), y.size()), 3u);
    cf out;
    EXPECT_TRUE(dec.push(x[0], out)); // the seventh input was left unconsumed, at an output phase
    EXPECT_EQ(dec.process(nullptr, 4, y.data(), 3), 0u);
    EXPECT_EQ(dec.process(x.data(), 4, y.data(), 0), 0u);
}

TEST(CicDecimator, ClampsItsShape)
{
    const CicDecimator cic(0, 7);
    EXPECT_EQ(cic.r(), 1);
    EXPECT_EQ(cic.n(), 4);
    const CicDecimator low(3, 0);
    EXPECT_EQ(low.n(), 1);
    EXPECT_DOUBLE_EQ(CicDecimator(6, 4).dcGain(), 1296.0);
    // R^N is held to 2^16 so that full-scale outputs fit the integrators' 32 bits.
    EXPECT_EQ(CicDecimator(20, 4).r(), 16);
    EXPECT_EQ(CicDecimator(50, 3).r(), 40);
    EXPECT_EQ(CicDecimator(300, 2).r(), 256);
}

TEST(CicDecimator, HoldsFullScaleAtItsLargestGain)
{
    for (auto [r, n] : {std::pair{16, 4}, {40, 3}, {256, 2}, {99, 4}}) {
        CicDecimator cic(r, n);
        float y = 0.0f;
        for (int k = 0; k < 8 * cic.r() * cic.n(); ++k)
            cic.push(-32768, y);
        EXPECT_EQ(y, -1.0f) << r;
        for (int k = 0; k < 8 * cic.r() * cic.n(); ++k)
            cic.push(32767, y);
        EXPECT_EQ(y, 32767.0f / 32768.0f) << r;
    }
}

TEST(CicDecimator, IsExactAgainstCascadedBoxcars)
{
    for (auto [r, n] : {std::pair{6, 4}, {4, 3}, {2, 2}}) {
        CicDecimator cic(r, n);
        std::vector<int64_t> x(600);
        for (size_t k = 0; k < x.size(); ++k)
            x[k] = (k % 7 == 0) ? 32767 : (k % 5 == 0 ? -32768 : static_cast<int64_t>((k * 7919) % 65536) - 32768);
        std::vector<int64_t> ref = x;
        for (int stage = 0; stage < n; ++stage) {
            std::vector<int64_t> next(ref.size(), 0);
            for (size_t k = 0; k < ref.size(); ++k)
                for (int d = 0; d < r && d <= static_cast<int>(k); ++d)
                    next[k] += ref[k - static_cast<size_t>(d)];
            ref = next;
        }
        size_t outputs = 0;
        for (size_t k = 0; k < x.size(); ++k) {
            float y = 0.0f;
            if (cic.push(static_cast<int16_t>(x[k]), y)) {
                ASSERT_EQ((k + 1) % static_cast<size_t>(r), 0u);
                ASSERT_FLOAT_EQ(y, static_cast<float>(static_cast<double>(ref[k]) * cic.scale())) << k;
                ++outputs;
            }
        }
        EXPECT_EQ(outputs, x.size() / static_cast<size_t>(r));
    }
}

TEST(CicDecimator, FullScaleSettlesJustBelowOne)
{
    CicDecimator cic(4, 3);
    float y = 0.0f;
    for (int k = 0; k < 40; ++k)
        cic.push(32767, y);
    EXPECT_FLOAT_EQ(y, 32767.0f / 32768.0f);
    cic.reset();
    for (int k = 0; k < 3; ++k)
        EXPECT_FALSE(cic.push(32767, y));
    EXPECT_TRUE(cic.push(32767, y));
    EXPECT_LT(y, 32767.0f / 32768.0f);
}

TEST(CicDecimator, StaysExactWhileItsIntegratorsWrap)
{
    // Full scale for 30000 inputs takes the fourth integrator of R = 6, N = 4 far past
    // 2^32; the block path over interleaved IQ must agree with push throughout.
    CicDecimator single(6, 4);
    CicDecimator pairI(6, 4);
    CicDecimator pairQ(6, 4);
    std::vector<int16_t> iq(2 * 30000);
    for (size_t k = 0; k < 30000; ++k) {
        iq[2 * k] = 32767;
        iq[2 * k + 1] = static_cast<int16_t>(k % 3 == 0 ? -32768 : 1234);
    }
    std::vector<float> outI(5000), outQ(5000);
    size_t consumed = 0;
    ASSERT_EQ(CicDecimator::processPair(pairI, pairQ, iq.data(), 30000, outI.data(), outQ.data(), outI.size(), consumed),
              5000u);
    EXPECT_EQ(consumed, 30000u);
    size_t m = 0;
    for (size_t k = 0; k < 30000; ++k) {
        float y = 0.0f;
        if (single.push(iq[2 * k], y)) {
            ASSERT_EQ(outI[m++], y) << k;
        }
    }
    EXPECT_FLOAT_EQ(outI.back(), 32767.0f / 32768.0f);
}

TEST(CicDecimator, BlockPathAgreesWithPushAcrossUnevenBlocks)
{
    // Blocks of odd and even lengths start the pair path at every phase; some calls have
    // room for fewer outputs than their input makes and must stop where push would.
    for (auto [r, n] : {std::pair{6, 4}, {4, 3}, {2, 2}, {5, 1}}) {
        CicDecimator singleI(r, n), singleQ(r, n), pairI(r, n), pairQ(r, n);
        std::vector<int16_t> iq(2 * 5000);
        for (size_t k = 0; k < iq.size(); ++k)
            iq[k] = static_cast<int16_t>((k * 40503u + (k >> 3) * 977u) % 65536u - 32768);
        std::vector<float> refI, refQ;
        for (size_t k = 0; k < iq.size() / 2; ++k) {
            float yi = 0.0f, yq = 0.0f;
            if (singleI.push(iq[2 * k], yi)) {
                ASSERT_TRUE(singleQ.push(iq[2 * k + 1], yq));
                refI.push_back(yi);
                refQ.push_back(yq);
            } else {
                ASSERT_FALSE(singleQ.push(iq[2 * k + 1], yq));
            }
        }
        std::vector<float> gotI, gotQ;
        std::vector<float> outI(600), outQ(600);
        size_t pos = 0;
        for (size_t call = 0; pos < iq.size() / 2; ++call) {
            const size_t len = std::min<size_t>(1 + (call * 37) % 611, iq.size() / 2 - pos);
            const size_t room = call % 3 == 0 ? 1 + call % 5 : outI.size();
            size_t consumed = 0;
            const size_t got = CicDecimator::processPair(pairI, pairQ, iq.data() + 2 * pos, len, outI.data(),
                                                         outQ.data(), room, consumed);
            ASSERT_LE(got, room);
            ASSERT_LE(consumed, len);
            ASSERT_TRUE(consumed == len || got == room) << call;
            gotI.insert(gotI.end(), outI.begin(), outI.begin() + static_cast<ptrdiff_t>(got));
            gotQ.insert(gotQ.end(), outQ.begin(), outQ.begin() + static_cast<ptrdiff_t>(got));
            pos += consumed;
        }
        EXPECT_EQ(gotI, refI) << r;
        EXPECT_EQ(gotQ, refQ) << r;
    }
}

TEST(CicDecimator, BlockPathCarriesLongWindowsAcrossShortBlocksAndResets)
{
    // Windows of 64, 120 and 512 inputs fed in blocks far shorter than a window: each output
    // reaches back across several earlier calls. After a reset the same input must give the
    // same outputs again, nothing left over from before.
    for (auto [r, n] : {std::pair{16, 4}, {40, 3}, {256, 2}}) {
        CicDecimator singleI(r, n), singleQ(r, n), pairI(r, n), pairQ(r, n);
        std::vector<int16_t> iq(2 * 6000);
        for (size_t k = 0; k < iq.size(); ++k)
            iq[k] = static_cast<int16_t>(k % 11 < 4 ? (k % 2 ? -32768 : 32767) : (k * 2654435761u >> 16) % 65536u - 32768);
        std::vector<float> outI(iq.size() / 2), outQ(iq.size() / 2);
        std::vector<float> firstI;
        for (int pass = 0; pass < 2; ++pass) {
            size_t pos = 0;
            size_t got = 0;
            for (size_t call = 0; pos < iq.size() / 2; ++call) {
                const size_t len = std::min<size_t>(1 + (call * 13) % 29, iq.size() / 2 - pos);
                size_t consumed = 0;
                got += CicDecimator::processPair(pairI, pairQ, iq.data() + 2 * pos, len, outI.data() + got,
                                                 outQ.data() + got, outI.size() - got, consumed);
                ASSERT_EQ(consumed, len);
                pos += consumed;
            }
            size_t m = 0;
            for (size_t k = 0; k < iq.size() / 2; ++k) {
                float yi = 0.0f, yq = 0.0f;
                if (singleI.push(iq[2 * k], yi)) {
                    ASSERT_TRUE(singleQ.push(iq[2 * k + 1], yq));
                    ASSERT_LT(m, got);
                    ASSERT_EQ(outI[m], yi) << r << " output " << m;
                    ASSERT_EQ(outQ[m], yq) << r << " output " << m;
                    ++m;
                } else {
                    singleQ.push(iq[2 * k + 1], yq);
                }
            }
            EXPECT_EQ(m, got);
            const std::vector<float> taken(outI.begin(), outI.begin() + static_cast<ptrdiff_t>(got));
            if (pass == 0)
                firstI = taken;
            else
                EXPECT_EQ(taken, firstI) << r;
            for (CicDecimator* c : {&singleI, &singleQ, &pairI, &pairQ})
                c->reset();
        }
    }
}

TEST(IqDecimator, PicksItsModeByRate)
{
    struct Case {
        double rate;
        int r;
        double out;
    };
    for (const Case& c : {Case{30e6, 6, 5e6}, {29.7e6, 6, 4.95e6}, {29.4e6, 1, 29.4e6}, {20e6, 4, 5e6}, {10e6, 2, 5e6},
                          {5e6, 1, 5e6}, {2e6, 1, 2e6}, {7e6, 1, 7e6}}) {
        IqDecimator dec(2e6);
        std::vector<cf> x(1200, cf{0.1f, -0.1f});
        const size_t n = dec.process(x.data(), x.size(), c.rate, x.data(), x.size());
        EXPECT_EQ(dec.decimation(), c.r) << c.rate;
        EXPECT_DOUBLE_EQ(dec.outputRateHz(), c.out) << c.rate;
        EXPECT_EQ(n, x.size() / static_cast<size_t>(c.r)) << c.rate;
    }
}

TEST(IqDecimator, FollowsRateChangesAboveOneHundredKilohertz)
{
    IqDecimator dec(2e6);
    std::vector<cf> x(64, cf{0.2f, 0.2f});
    dec.process(x.data(), x.size(), 10e6, x.data(), x.size());
    dec.process(x.data(), x.size(), 10.05e6, x.data(), x.size());
    EXPECT_DOUBLE_EQ(dec.inputRateHz(), 10e6);
    EXPECT_DOUBLE_EQ(dec.outputRateHz(), 5e6);
    dec.process(x.data(), x.size(), 10.2e6, x.data(), x.size());
    EXPECT_DOUBLE_EQ(dec.inputRateHz(), 10.2e6);
    EXPECT_DOUBLE_EQ(dec.outputRateHz(), 5.1e6);
    EXPECT_EQ(dec.decimation(), 2);
    EXPECT_EQ(dec.process(x.data(), x.size(), 0.0, x.data(), x.size()), 0u);
    EXPECT_EQ(dec.decimation(), 2);
    dec.reset();
    EXPECT_EQ(dec.decimation(), 1);
    EXPECT_DOUBLE_EQ(dec.outputRateHz(), 0.0);
    EXPECT_EQ(dec.process(x.data(), x.size(), 20e6, x.data(), x.size()), 16u);
    EXPECT_EQ(dec.decimation(), 4);
}

TEST(IqDecimator, FullScaleDcSettlesAndStays)
{
    // At the decimator's input 0 Hz is the tuned station's carrier, which must pass untouched.
    IqDecimator dec(2e6);
    std::vector<cf> x(40000, cf{1.0f, 1.0f});
    std::vector<cf> y(x.size());
    const size_t n = dec.process(x.data(), x.size(), 20e6, y.data(), y.size());
    ASSERT_EQ(n, 10000u);
    for (size_t k = 10; k < n; ++k)
        ASSERT_EQ(y[k], cf(32767.0f / 32768.0f, 32767.0f / 32768.0f)) << k;
}

TEST(IqDecimator, BypassCopiesAndRespectsCapacity)
{
    IqDecimator dec(2e6);
    std::vector<cf> x = {{0.1f, 0.2f}, {0.3f, 0.4f}, {0.5f, 0.6f}};
    std::vector<cf> y(2);
    EXPECT_EQ(dec.process(x.data(), x.size(), 5e6, y.data(), y.size()), 2u);
    EXPECT_EQ(y[1], x[1]);
    EXPECT_EQ(dec.process(nullptr, 3, 5e6, y.data(), 2), 0u);
}

TEST(NcoMixer, ShiftsTheWantedFrequencyToDcAndKeepsPhaseAcrossRetunes)
{
    NcoMixer nco;
    const double rate = 20e6;
    EXPECT_TRUE(nco.tune(rate, 100e6, 100e6 + 1.234e6));
    EXPECT_DOUBLE_EQ(nco.offsetHz(), 1.234e6);
    EXPECT_FALSE(nco.tune(rate, 100e6, 100e6 + 1.234e6 + 0.5));

    // A tone at the offset, mixed in odd-sized blocks over several renormalisations.
    const size_t total = 70000;
    std::vector<int16_t> iq(2 * total);
    double phase = 0.0;
    for (size_t n = 0; n < total; ++n) {
        iq[2 * n] = static_cast<int16_t>(std::lround(16000.0 * std::cos(phase)));
        iq[2 * n + 1] = static_cast<int16_t>(std::lround(16000.0 * std::sin(phase)));
        phase += 2.0 * std::numbers::pi * 1.234e6 / rate;
    }
    std::vector<cf> out(total);
    for (size_t pos = 0, block = 4093; pos < total; pos += block)
        nco.process(iq.data() + 2 * pos, std::min(block, total - pos), out.data() + pos);
    for (size_t n = 0; n < total; n += 997) {
        EXPECT_NEAR(out[n].real(), 16000.0 / 32768.0, 2e-3) << n;
        EXPECT_NEAR(out[n].imag(), 0.0, 2e-3) << n;
    }
    EXPECT_NEAR(std::abs(nco.phasor()), 1.0f, 1e-5f);

    // Retuning by 2 Hz takes effect without a phase jump: the phasor moves on smoothly.
    const cf before = nco.phasor();
    EXPECT_TRUE(nco.tune(rate, 100e6, 100e6 + 1.234e6 + 2.0));
    std::vector<int16_t> one = {32767, 0};
    cf y;
    nco.process(one.data(), 1, &y);
    EXPECT_NEAR(y.real(), before.real(), 1e-4);
    EXPECT_NEAR(y.imag(), -before.imag(), 1e-4);

    nco.reset();
    EXPECT_EQ(nco.phasor(), cf(1.0f, 0.0f));
    EXPECT_TRUE(nco.tune(rate, 100e6, 100e6 + 1.234e6 + 2.0));
}

TEST(NcoMixer, FollowsTheSerialPhasorRecurrence)
{
    NcoMixer nco;
    nco.setFrequency(-3.3e6, 30e6);
    const size_t total = 40000;
    std::vector<int16_t> iq(2 * total);
    for (size_t n = 0; n < total; ++n) {
        iq[2 * n] = static_cast<int16_t>((n * 2654435761u) % 65536 - 32768);
        iq[2 * n + 1] = static_cast<int16_t>((n * 40503u) % 65536 - 32768);
    }
    std::vector<cf> out(total);
    nco.process(iq.data(), total, out.data());
    const double step = -3.3e6 * 2.0 * std::numbers::pi / 30e6;
    for (size_t n = 0; n < total; ++n) {
        const std::complex<double> x(iq[2 * n] / 32768.0, iq[2 * n + 1] / 32768.0);
        const std::complex<double> ref = x * std::polar(1.0, -step * static_cast<double>(n));
        ASSERT_NEAR(out[n].real(), ref.real(), 5e-4) << n;
        ASSERT_NEAR(out[n].imag(), ref.imag(), 5e-4) << n;
    }
}

TEST(NcoMixer, MixesStraightToTheCicInputAsTheFloatPathWould)
{
    // The same input through both paths, across renormalisations and odd block sizes: the int16
    // pairs equal the float samples put to full scale, and the decimator takes either alike.
    const size_t total = 40000;
    std::vector<int16_t> iq(2 * total);
    for (size_t n = 0; n < total; ++n) {
        iq[2 * n] = static_cast<int16_t>((n * 2654435761u) % 65536 - 32768);
        iq[2 * n + 1] = static_cast<int16_t>((n * 40503u) % 65536 - 32768);
    }
    NcoMixer floats, ints;
    floats.setFrequency(2.7e6, 30e6);
    ints.setFrequency(2.7e6, 30e6);
    std::vector<cf> mixed(total);
    std::vector<int16_t> quantised(2 * total);
    for (size_t pos = 0, block = 4093; pos < total; pos += block) {
        const size_t n = std::min(block, total - pos);
        floats.process(iq.data() + 2 * pos, n, mixed.data() + pos);
        ints.processToInt16(iq.data() + 2 * pos, n, quantised.data() + 2 * pos);
    }
    for (size_t n = 0; n < total; ++n) {
        ASSERT_EQ(quantised[2 * n], quantise(mixed[n].real())) << n;
        ASSERT_EQ(quantised[2 * n + 1], quantise(mixed[n].imag())) << n;
    }

    IqDecimator fromFloats(2e6), fromInts(2e6);
    std::vector<cf> a(total);
    std::vector<float> bI(total), bQ(total);
    const size_t na = fromFloats.process(mixed.data(), total, 30e6, a.data(), a.size());
    EXPECT_TRUE(fromInts.decimatesAt(30e6));
    const size_t nb = fromInts.processQuantised(quantised.data(), total, 30e6, bI.data(), bQ.data(), total);
    ASSERT_EQ(na, nb);
    for (size_t k = 0; k < na; ++k)
        ASSERT_EQ(a[k], cf(bI[k], bQ[k])) << k;
    EXPECT_FALSE(fromInts.decimatesAt(5e6));
    EXPECT_EQ(fromInts.processQuantised(quantised.data(), total, 5e6, bI.data(), bQ.data(), total), 0u);
}

namespace {

// A receiver's DC offset of (1000, -500) int16 under a strong tone 1.234567 MHz off the centre.
std::vector<int16_t> dcUnderATone(size_t pairs, double rate)
{
    std::vector<int16_t> iq(2 * pairs);
    for (size_t n = 0; n < pairs; ++n) {
        const double phase = 2.0 * std::numbers::pi * 1.234567e6 / rate * static_cast<double>(n);
        iq[2 * n] = static_cast<int16_t>(1000 + std::lround(30000.0 * std::cos(phase)));
        iq[2 * n + 1] = static_cast<int16_t>(-500 + std::lround(30000.0 * std::sin(phase)));
    }
    return iq;
}

} // namespace

TEST(DcOffsetTracker, FollowsTheReceiverDcWithItsTimeConstantWhateverTheBlocks)
{
    const double rate = 5e6;
    const std::vector<int16_t> iq = dcUnderATone(static_cast<size_t>(rate), rate);
    const cf dc(1000.0f / 32768.0f, -500.0f / 32768.0f);
    // One time constant in blocks of 4096 pairs and in odd blocks: the same one-pole approach.
    DcOffsetTracker even, odd;
    const auto tau = static_cast<size_t>(DcOffsetTracker::kTimeConstantSeconds * rate);
    for (size_t pos = 0; pos < tau; pos += 4096)
        even.update(iq.data() + 2 * pos, std::min<size_t>(4096, tau - pos), rate);
    for (size_t pos = 0; pos < tau; pos += 777)
        odd.update(iq.data() + 2 * pos, std::min<size_t>(777, tau - pos), rate);
    const cf expected = dc * static_cast<float>(1.0 - std::exp(-1.0));
    EXPECT_LT(std::abs(even.offset() - expected), 2e-4f * std::abs(dc));
    EXPECT_LT(std::abs(odd.offset() - expected), 2e-4f * std::abs(dc));
    // Ten time constants on, the tone, 30 times as strong, has not moved it.
    for (size_t pos = tau; pos < iq.size() / 2; pos += 4096)
        even.update(iq.data() + 2 * pos, std::min<size_t>(4096, iq.size() / 2 - pos), rate);
    EXPECT_LT(std::abs(even.offset() - dc), 1e-4f * std::abs(dc));
    even.reset();
    EXPECT_EQ(even.offset(), cf());
    even.update(nullptr, 4096, rate);
    even.update(iq.data(), 4096, 0.0);
    EXPECT_EQ(even.offset(), cf());
}

TEST(NcoMixer, TakesTheDcOffsetOutBeforeMixing)
{
    // What remains of the tone once the DC is out: mixed to 0 Hz, a constant of its amplitude.
    const double rate = 30e6;
    const size_t total = 20000;
    const std::vector<int16_t> iq = dcUnderATone(total, rate);
    NcoMixer floats, ints;
    for (NcoMixer* nco : {&floats, &ints}) {
        nco->setFrequency(1.234567e6, rate);
        nco->setDcOffset({1000.0f / 32768.0f, -500.0f / 32768.0f});
    }
    std::vector<cf> mixed(total);
    std::vector<int16_t> quantised(2 * total);
    floats.process(iq.data(), total, mixed.data());
    ints.processToInt16(iq.data(), total, quantised.data());
    for (size_t n = 0; n < total; ++n) {
        ASSERT_NEAR(mixed[n].real(), 30000.0 / 32768.0, 2e-4) << n;
        ASSERT_NEAR(mixed[n].imag(), 0.0, 2e-4) << n;
        ASSERT_EQ(quantised[2 * n], quantise(mixed[n].real())) << n;
        ASSERT_EQ(quantised[2 * n + 1], quantise(mixed[n].imag())) << n;
    }
    floats.reset();
    std::vector<int16_t> one = {32767, 0};
    cf y;
    floats.process(one.data(), 1, &y);
    EXPECT_EQ(y, cf(32767.0f / 32768.0f, 0.0f));
}
