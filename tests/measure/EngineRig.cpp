#include "tests/measure/EngineRig.h"

#include "engine/SpectrumProcessor.h"
#include "tests/support/GeneratedIq.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <random>

namespace {

class LastFrameSink : public SpectrumSink {
public:
    bool displayAlive() override { return true; }
    void deliverFrame(SpectrumFrame&& frame) override { last = std::move(frame); }
    void statusReport(const SpectrumStatus&) override {}

    SpectrumFrame last;
};

} // namespace

double fullScalePower(double lsbSquared)
{
    return lsbSquared / (32768.0 * 32768.0);
}

SpectrumFrame analyseIq(const Iq& iq, const EngineRun& run)
{
    SpectrumSettings settings;
    settings.fftSize = run.fftSize;
    settings.windowType = run.windowType;
    settings.sampleRateHz = run.sampleRateHz;
    settings.centerHz = run.centerHz;
    settings.detectorMode = run.detectorMode;
    settings.detectorWindow = run.detectorWindow;
    SettingsSnapshot<SpectrumSettings> source(settings);

    SpectrumEngine engine;
    engine.setFftSize(static_cast<std::size_t>(run.fftSize));
    engine.setWindowType(run.windowType);
    LastFrameSink sink;
    std::atomic<uint64_t> lost{0};
    int64_t nowNs = 0;
    const auto n = static_cast<std::size_t>(run.fftSize);
    SpectrumProcessor processor(engine, source, sink, lost, n * 4, [&nowNs] { return nowNs; });

    std::vector<IqSample> block(n);
    for (std::size_t first = 0; first + n <= iq.size(); first += n) {
        for (std::size_t i = 0; i < n; ++i)
            block[i] = {roundedIqValue(iq[first + i].real()), roundedIqValue(iq[first + i].imag())};
        nowNs += 100'000'000;
        processor.processBlock({block.data(), n});
    }
    return std::move(sink.last);
}

FlatBandNoise flatBandNoise(std::size_t samples, double sampleRateHz, const std::vector<FlatBand>& bands,
                            double rmsLsb, uint32_t seed)
{
    const auto n = static_cast<int>(samples);
    std::unique_ptr<fftwf_complex[], decltype(&fftwf_free)> spectrum(fftwf_alloc_complex(samples), fftwf_free);
    std::unique_ptr<fftwf_complex[], decltype(&fftwf_free)> time(fftwf_alloc_complex(samples), fftwf_free);
    std::memset(spectrum.get(), 0, samples * sizeof(fftwf_complex));

    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> phase(0.0, 2.0 * std::numbers::pi);
    const double binHz = sampleRateHz / static_cast<double>(samples);
    FlatBandNoise out;
    std::vector<double> binPower(samples, 0.0);
    for (const FlatBand& band : bands) {
        const auto first = static_cast<long>(std::lround((band.centreHz - band.widthHz / 2) / binHz));
        const auto last = static_cast<long>(std::lround((band.centreHz + band.widthHz / 2) / binHz)) - 1;
        const double magnitude = std::pow(10.0, band.relativeDb / 20.0);
        for (long k = first; k <= last; ++k) {
            // Negative frequencies sit in the upper half of the transform.
            const auto bin = static_cast<std::size_t>((k % n + n) % n);
            const double a = phase(rng);
            spectrum[bin][0] = static_cast<float>(magnitude * std::cos(a));
            spectrum[bin][1] = static_cast<float>(magnitude * std::sin(a));
            binPower[bin] = magnitude * magnitude;
        }
        out.bandWidthHz.push_back(static_cast<double>(last - first + 1) * binHz);
    }

    fftwf_plan plan = fftwf_plan_dft_1d(n, spectrum.get(), time.get(), FFTW_BACKWARD, FFTW_ESTIMATE);
    fftwf_execute(plan);
    fftwf_destroy_plan(plan);

    double power = 0.0;
    for (std::size_t i = 0; i < samples; ++i)
        power += static_cast<double>(time[i][0]) * time[i][0] + static_cast<double>(time[i][1]) * time[i][1];
    const double scale = rmsLsb / std::sqrt(power / static_cast<double>(samples));
    out.iq.resize(samples);
    for (std::size_t i = 0; i < samples; ++i)
        out.iq[i] = {time[i][0] * scale, time[i][1] * scale};

    // By Parseval each band's share of the power is its bins' share of the transform's.
    double total = 0.0;
    for (const double p : binPower)
        total += p;
    for (const FlatBand& band : bands) {
        const double magnitude2 = std::pow(10.0, band.relativeDb / 10.0);
        const double share = magnitude2 * out.bandWidthHz[out.bandPower.size()] / binHz / total;
        out.bandPower.push_back(fullScalePower(rmsLsb * rmsLsb) * share);
    }
    return out;
}
