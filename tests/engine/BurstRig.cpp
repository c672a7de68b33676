#include "tests/engine/BurstRig.h"

#include "acquisition/FftRing.h"
#include "engine/SpectrumLoop.h"
#include "engine/SpectrumProcessor.h"
#include "tests/support/GeneratedIq.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <stdexcept>

namespace {

constexpr double kRateHz = 30e6;
// About -78 dBFS of noise over the span: a bin of a 2048-point spectrum near -109 dB.
constexpr double kNoiseLsb = 3.0;
// Blocks of noise before the burst: the detector's window of 20 and some.
constexpr std::size_t kLeadBlocks = 24;
// Columns either side of the burst's own that its edges splatter into.
constexpr std::size_t kSplatterColumns = 48;

class Keep : public SpectrumSink {
public:
    bool displayAlive() override { return false; }
    void deliverFrame(SpectrumFrame&&) override {}
    void statusReport(const SpectrumStatus&) override {}
};

} // namespace

BurstRig::BurstRig(int fftSize, int windowType, int overlapPercent, DensitySource source) : m_n(fftSize)
{
    m_settings.fftSize = fftSize;
    m_settings.windowType = windowType;
    m_settings.sampleRateHz = kRateHz;
    m_settings.overlapPercent = overlapPercent;
    m_settings.densitySource = static_cast<int>(source);
    m_settings.density.enabled = true;
    m_hop = spectrum_settings::hopSamples(static_cast<std::size_t>(fftSize), overlapPercent);
    m_engine.setFftSize(static_cast<std::size_t>(fftSize));
    m_engine.setWindowType(windowType);
}

BurstRig::Drawn BurstRig::burst(double levelDbfs, std::size_t length, std::size_t offset)
{
    const auto n = static_cast<std::size_t>(m_n);
    const std::size_t start = kLeadBlocks * n + offset;
    std::vector<std::complex<double>> signal(start + length + 2 * n);
    const double amplitude = 32768.0 * std::pow(10.0, levelDbfs / 20.0);
    const double cycles = 0.125;
    for (std::size_t i = start; i < start + length; ++i)
        signal[i] = std::polar(amplitude, 2.0 * std::numbers::pi * cycles * static_cast<double>(i));
    return run(signal, (n / 2 + n / 8) * 1024 / n);
}

BurstRig::Drawn BurstRig::continuous(double levelDbfs, int binsAboveCentre)
{
    const auto n = static_cast<std::size_t>(m_n);
    std::vector<std::complex<double>> signal((kLeadBlocks + 2) * n);
    const double amplitude = 32768.0 * std::pow(10.0, levelDbfs / 20.0);
    const double cycles = static_cast<double>(binsAboveCentre) / static_cast<double>(n);
    for (std::size_t i = 0; i < signal.size(); ++i)
        signal[i] = std::polar(amplitude, 2.0 * std::numbers::pi * cycles * static_cast<double>(i));
    const auto bin = static_cast<std::size_t>(static_cast<long long>(n / 2) + binsAboveCentre);
    return run(signal, bin * 1024 / n);
}

BurstRig::Drawn BurstRig::run(const std::vector<std::complex<double>>& signal, std::size_t column)
{
    if (m_noise.size() < signal.size()) {
        std::mt19937 rng(11);
        std::normal_distribution<double> noise(0.0, kNoiseLsb);
        m_noise.resize(signal.size());
        for (auto& v : m_noise)
            v = {noise(rng), noise(rng)};
    }
    m_stream.resize(signal.size());
    for (std::size_t i = 0; i < signal.size(); ++i)
        m_stream[i] = {roundedIqValue(signal[i].real() + m_noise[i].real()), roundedIqValue(signal[i].imag() + m_noise[i].imag())};

    m_engine.density().clear();
    SettingsSnapshot<SpectrumSettings> source(m_settings);
    Keep sink;
    std::atomic<uint64_t> lost{0};
    // The clock keeps the stream's time, so that no picture is made after the first block until
    // the last, a picture period later.
    int64_t nowNs = 0;
    const std::size_t blockBytes = static_cast<std::size_t>(m_n) * kIqSampleBytes;
    SpectrumProcessor processor(m_engine, source, sink, lost, blockBytes, [&nowNs] { return nowNs; });
    // The spectrum thread's own loop on a ring a few blocks long, which the stream wraps around
    // many times, fed as it empties.
    FftRing ring(5 * blockBytes + m_hop * kIqSampleBytes / 2);
    std::atomic<bool> running{true};
    SpectrumLoop loop(processor, &ring, running, ring.capacity());
    const auto* bytes = reinterpret_cast<const uint8_t*>(m_stream.data());
    const std::size_t total = m_stream.size() * kIqSampleBytes;
    const auto hopNs = static_cast<int64_t>(static_cast<double>(m_hop) / kRateHz * 1e9);
    std::size_t written = 0;
    for (;;) {
        const std::size_t room = ring.space() / kIqSampleBytes * kIqSampleBytes;
        written += ring.write(bytes + written, std::min(room, total - written));
        if (ring.available() < blockBytes)
            break;
        const bool last = written == total && ring.available() < blockBytes + m_hop * kIqSampleBytes;
        nowNs += last ? 100'000'000 : hopNs;
        loop.iterate();
    }

    const DensityImage image = m_engine.density().currentImage();
    if (image.width != 1024)
        throw std::runtime_error("no persistence picture");
    double noise = -1e9;
    for (std::size_t c = 0; c < 1024; ++c)
        if (c + kSplatterColumns < column || c > column + kSplatterColumns)
            noise = std::max(noise, topLitDb(image, c));
    return {topLitDb(image, column), noise};
}

double BurstRig::topLitDb(const DensityImage& image, std::size_t column) const
{
    const auto width = static_cast<std::size_t>(image.width);
    for (int row = image.height - 1; row >= 0; --row)
        if ((*image.bytes)[static_cast<std::size_t>(row) * width + column] != 0)
            return image.minDb + (image.maxDb - image.minDb) * row / (image.height - 1);
    return image.minDb;
}
