// The measurements against signals of known power, spectrum and bandwidth, run through the
// spectrum thread's own blocks. Every reference value is worked out here from how the signal
// was made, never by the code under test.
#include "engine/SpectrumSettingTable.h"
#include "measure/Measurements.h"
#include "tests/measure/EngineRig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>
#include <string>

namespace {

constexpr double kPi = std::numbers::pi;

const char* windowName(int type)
{
    static const char* const names[] = {"Hann", "Hamming", "Blackman"};
    return names[type];
}

double dB(double power)
{
    return 10.0 * std::log10(power);
}

// Prints a line of the accuracy table the measurement notes are made from.
void note(const std::string& what, const char* window, double errorDb, const char* unit)
{
    std::printf("[accuracy] %-44s %-9s error %+.4f %s\n", what.c_str(), window, errorDb, unit);
}

// Complex white Gaussian noise of a given standard deviation per component.
Iq whiteNoise(std::size_t samples, double sigmaLsb, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> g(0.0, sigmaLsb);
    Iq iq(samples);
    for (auto& v : iq)
        v = {g(rng), g(rng)};
    return iq;
}

// The noise's density per Hz relative to full scale, with the rounding to 16 bits (1/12 LSB^2
// per component) that the receiver's samples carry.
double whiteNoiseDensity(double sigmaLsb, double sampleRateHz)
{
    return fullScalePower(2.0 * sigmaLsb * sigmaLsb + 2.0 / 12.0) / sampleRateHz;
}

MeasurementResults measure(const SpectrumFrame& frame, const MeasurementSettings& s)
{
    Measurements measurements;
    return measurements.run(traceViewOf(frame), s);
}

class EachWindow : public testing::TestWithParam<int> {};

INSTANTIATE_TEST_SUITE_P(Windows, EachWindow,
                         testing::Values(static_cast<int>(WindowType::Hann), static_cast<int>(WindowType::Hamming),
                                         static_cast<int>(WindowType::Blackman)),
                         [](const testing::TestParamInfo<int>& info) { return std::string(windowName(info.param)); });

} // namespace

TEST_P(EachWindow, WhiteNoiseReadsItsDensityInChannelPowerAndNoiseMarker)
{
    EngineRun run;
    run.windowType = GetParam();
    constexpr double kSigma = 1000.0;
    const SpectrumFrame frame = analyseIq(whiteNoise(200 * 2048, kSigma, 11), run);
    const double density = whiteNoiseDensity(kSigma, run.sampleRateHz);

    MeasurementSettings s;
    s.channelCentreHz = 1.23e6;
    s.channelBandwidthHz = 1e6;
    s.noiseMarkerHz = -2.5e6;
    s.detectorMode = run.detectorMode;
    s.detectorWindow = run.detectorWindow;
    const MeasurementResults r = measure(frame, s);

    ASSERT_TRUE(r.channel.valid);
    const double channelError = r.channel.powerDb - dB(density * s.channelBandwidthHz);
    note("white noise, channel power 1 MHz", windowName(run.windowType), channelError, "dB");
    EXPECT_NEAR(channelError, 0.0, 0.2);
    EXPECT_NEAR(r.channel.densityDbHz, dB(density), 0.2);

    ASSERT_TRUE(r.noise.valid);
    const double markerError = r.noise.densityDbHz - dB(density);
    note("white noise, noise marker +/-5 bins", windowName(run.windowType), markerError, "dB");
    EXPECT_NEAR(markerError, 0.0, 0.5);
    EXPECT_NEAR(r.noise.freqHz, -2.5e6, frame.binHz);
}

TEST_P(EachWindow, ACwToneReadsItsPowerInChannelPower)
{
    EngineRun run;
    run.windowType = GetParam();
    constexpr double kAmplitude = 10000.0;
    constexpr double kSigma = 20.0;
    // Between two bins, where the window's response is widest.
    const double toneHz = 1.2345678e6;
    Iq iq = whiteNoise(200 * 2048, kSigma, 12);
    for (std::size_t i = 0; i < iq.size(); ++i)
        iq[i] += std::polar(kAmplitude, 2.0 * kPi * toneHz / run.sampleRateHz * static_cast<double>(i));
    const SpectrumFrame frame = analyseIq(iq, run);

    MeasurementSettings s;
    s.channelCentreHz = toneHz;
    s.channelBandwidthHz = 100e3;
    const MeasurementResults r = measure(frame, s);

    const double exact = fullScalePower(kAmplitude * kAmplitude) + whiteNoiseDensity(kSigma, run.sampleRateHz) * 100e3;
    ASSERT_TRUE(r.channel.valid);
    const double error = r.channel.powerDb - dB(exact);
    note("CW tone -10.3 dBFS, channel power 100 kHz", windowName(run.windowType), error, "dB");
    EXPECT_NEAR(error, 0.0, 0.1);
}

TEST_P(EachWindow, BandLimitedNoiseHoldsNinetyNinePercentInItsBandwidth)
{
    EngineRun run;
    run.windowType = GetParam();
    const FlatBandNoise noise = flatBandNoise(256 * 2048, run.sampleRateHz, {{-0.7e6, 1e6, 0.0}}, 2000.0, 13);
    const SpectrumFrame frame = analyseIq(noise.iq, run);

    MeasurementSettings s;
    const MeasurementResults r = measure(frame, s);

    // A flat band holds 99 % of its power in 99 % of its width, centred.
    const double exact = 0.99 * noise.bandWidthHz[0];
    ASSERT_TRUE(r.occupied.valid);
    const double error = (r.occupied.widthHz - exact) / exact;
    note("flat 1 MHz noise, 99 % OBW", windowName(run.windowType), error * 100.0, "%");
    EXPECT_NEAR(error, 0.0, 0.02);
    EXPECT_NEAR((r.occupied.lowHz + r.occupied.highHz) / 2, -0.7e6, 0.01 * exact);
}

namespace {

struct FmCase {
    const char* name;
    double sampleRateHz;
    double deviationHz;
    double toneHz;
};

// The exact band holding 99 % of a tone-modulated FM signal: its lines at n x tone have powers
// J_n(beta)^2. The 0.5 % left above the band is reached inside line K, the first one beyond
// which less than 0.5 % lies, so the band runs from line -K to line K.
double besselNinetyNinePercentHz(double beta, double toneHz)
{
    double outside = 1.0 - std::pow(std::cyl_bessel_j(0.0, beta), 2.0);
    int k = 0;
    // outside: what lies beyond lines -k..k, shared equally by the two sides.
    while (outside / 2.0 >= 0.005) {
        ++k;
        outside -= 2.0 * std::pow(std::cyl_bessel_j(static_cast<double>(k), beta), 2.0);
    }
    return 2.0 * k * toneHz;
}

} // namespace

TEST(OccupiedBandwidth, ToneModulatedFmMatchesItsBesselSpectrum)
{
    for (const FmCase& c : {FmCase{"broadcast: 75 kHz deviation, 15 kHz tone", 2e6, 75e3, 15e3},
                            FmCase{"narrow: 2 kHz deviation, 1 kHz tone", 500e3, 2e3, 1e3}}) {
        for (const int window : {0, 1, 2}) {
            EngineRun run;
            run.fftSize = 8192;
            run.sampleRateHz = c.sampleRateHz;
            run.windowType = window;
            run.detectorWindow = 60;
            const double beta = c.deviationHz / c.toneHz;
            Iq iq(60 * 8192);
            for (std::size_t i = 0; i < iq.size(); ++i) {
                const double t = static_cast<double>(i) / c.sampleRateHz;
                iq[i] = std::polar(12000.0, 0.1e6 / c.sampleRateHz * 2.0 * kPi * static_cast<double>(i) +
                                                beta * std::sin(2.0 * kPi * c.toneHz * t));
            }
            const SpectrumFrame frame = analyseIq(iq, run);
            Measurements measurements;
            const MeasurementResults r = measurements.run(traceViewOf(frame), MeasurementSettings{});

            const double exact = besselNinetyNinePercentHz(beta, c.toneHz);
            ASSERT_TRUE(r.occupied.valid);
            const double error = (r.occupied.widthHz - exact) / exact;
            note(std::string("FM ") + c.name + ", 99 % OBW", windowName(window), error * 100.0, "%");
            EXPECT_NEAR(error, 0.0, 0.05) << c.name << ", window " << windowName(window);
        }
    }
}

TEST_P(EachWindow, AdjacentChannelsReadTheirRatioToTheMainChannel)
{
    EngineRun run;
    run.windowType = GetParam();
    run.sampleRateHz = 5e6;
    run.fftSize = 4096;
    // A main channel with a neighbour 30 dB down above it and one 40 dB down below it.
    const FlatBandNoise noise = flatBandNoise(128 * 4096, run.sampleRateHz,
                                              {{0.3e6, 200e3, 0.0}, {0.55e6, 200e3, -30.0}, {0.05e6, 200e3, -40.0}},
                                              3000.0, 14);
    const SpectrumFrame frame = analyseIq(noise.iq, run);

    MeasurementSettings s;
    s.channelCentreHz = 0.3e6;
    s.adjacent.mainBandwidthHz = 200e3;
    s.adjacent.adjacentBandwidthHz = 200e3;
    s.adjacent.spacingHz = 250e3;
    s.adjacent.pairs = 2;
    const MeasurementResults r = measure(frame, s);

    const double upperExact = dB(noise.bandPower[1] / noise.bandPower[0]);
    const double lowerExact = dB(noise.bandPower[2] / noise.bandPower[0]);
    EXPECT_NEAR(r.adjacent.mainDb, dB(noise.bandPower[0]), 0.3);
    note("ACP upper neighbour -30 dBc", windowName(run.windowType), r.adjacent.upperDbc[0] - upperExact, "dB");
    note("ACP lower neighbour -40 dBc", windowName(run.windowType), r.adjacent.lowerDbc[0] - lowerExact, "dB");
    EXPECT_NEAR(r.adjacent.upperDbc[0], upperExact, 0.3);
    EXPECT_NEAR(r.adjacent.lowerDbc[0], lowerExact, 0.3);
    // The second pair holds nothing but the window's leakage.
    EXPECT_LT(r.adjacent.upperDbc[1], -60.0);
    EXPECT_LT(r.adjacent.lowerDbc[1], -60.0);
}

TEST(NoiseMarker, DetectorCorrectionRestoresTheMeanOfMaxAndMinTraces)
{
    constexpr double kSigma = 1000.0;
    const Iq iq = whiteNoise(200 * 2048, kSigma, 15);
    for (const int mode : {static_cast<int>(DetectorMode::Sample), static_cast<int>(DetectorMode::Max),
                           static_cast<int>(DetectorMode::Min)}) {
        EngineRun run;
        run.detectorMode = mode;
        run.detectorWindow = 20;
        const double density = whiteNoiseDensity(kSigma, run.sampleRateHz);
        // Ten independent traces (the detector's window apart), each read at several places.
        double sumDb = 0.0;
        int readings = 0;
        for (int part = 0; part < 10; ++part) {
            const Iq stretch(iq.begin() + part * 20 * 2048, iq.begin() + (part + 1) * 20 * 2048);
            const SpectrumFrame frame = analyseIq(stretch, run);
            for (const double hz : {-3e6, -1e6, 1e6, 3e6}) {
                MeasurementSettings s;
                s.noiseMarkerHz = hz;
                s.noiseBinsEachSide = 50;
                s.detectorMode = mode;
                s.detectorWindow = run.detectorWindow;
                sumDb += measure(frame, s).noise.densityDbHz;
                ++readings;
            }
        }
        const double error = sumDb / readings - dB(density);
        static const char* const names[] = {"Sample", "Max", "Min"};
        note(std::string("noise marker through detector ") + names[mode], "Hann", error, "dB");
        EXPECT_NEAR(error, 0.0, 0.5) << names[mode];
    }
}
