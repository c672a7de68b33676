// Cost of the spectrum thread's work per IQ block, against the 30 MS/s real-time budget.
// Time inside the pipeline is simulated at the real-time block rate, so the waterfall rows,
// density pictures and published frames (30 per second) cost what they would live.
#include "engine/SpectrumProcessor.h"

#include <fftw3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double kInputRateHz = 30e6;
constexpr int kRepeats = 15;

class BenchSink : public SpectrumSink {
public:
    explicit BenchSink(const SpectrumSettings& settings) : m_settings(settings) {}
    SpectrumSettings settings() override { return m_settings; }
    void storeVbwAlpha(float) override {}
    bool displayAlive() override { return true; }
    void deliverFrame(SpectrumFrame&& frame) override { m_lastFrame = std::move(frame); }
    void statusLine(const std::string&) override {}
    void fpsMeasured(double fps) override { m_settings.fps = fps; }

private:
    SpectrumSettings m_settings;
    SpectrumFrame m_lastFrame;
};

double nowUs()
{
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Blocks per timed repeat: roughly 40 ms of work each.
int blocksPerRepeat(int n)
{
    return std::max(200, 4'000'000 / n);
}

void fillNoiseAndTone(std::vector<uint8_t>& block)
{
    std::mt19937 rng(7);
    std::normal_distribution<float> noise(0.0f, 300.0f);
    auto* raw = reinterpret_cast<int16_t*>(block.data());
    const std::size_t samples = block.size() / 4;
    for (std::size_t i = 0; i < samples; ++i) {
        const double phase = 0.0123 * static_cast<double>(i);
        raw[2 * i] = static_cast<int16_t>(8000.0 * std::cos(phase) + noise(rng));
        raw[2 * i + 1] = static_cast<int16_t>(8000.0 * std::sin(phase) + noise(rng));
    }
}

double bareFftUs(int n)
{
    auto* in = fftwf_alloc_complex(static_cast<std::size_t>(n));
    auto* out = fftwf_alloc_complex(static_cast<std::size_t>(n));
    fftwf_plan plan = fftwf_plan_dft_1d(n, in, out, FFTW_FORWARD, 0);
    std::memset(in, 0, sizeof(fftwf_complex) * static_cast<std::size_t>(n));
    in[1][0] = 1.0f;
    const int blocks = blocksPerRepeat(n) * 4;
    for (int i = 0; i < blocks; ++i)
        fftwf_execute(plan);
    std::vector<double> perBlock;
    for (int r = 0; r < kRepeats; ++r) {
        const double t0 = nowUs();
        for (int i = 0; i < blocks; ++i)
            fftwf_execute(plan);
        perBlock.push_back((nowUs() - t0) / blocks);
    }
    fftwf_destroy_plan(plan);
    fftwf_free(in);
    fftwf_free(out);
    return median(perBlock);
}

double pipelineUs(int n, const SpectrumSettings& settings)
{
    SpectrumEngine engine;
    engine.setFftSize(static_cast<std::size_t>(n));
    engine.setWindowType(settings.windowType);
    BenchSink sink(settings);
    std::atomic<uint64_t> lost{0};
    const int64_t blockNs = static_cast<int64_t>(std::llround(n / kInputRateHz * 1e9));
    int64_t simulatedNs = 0;
    SpectrumProcessor processor(engine, sink, lost, static_cast<std::size_t>(n) * 4,
                                [&simulatedNs] { return simulatedNs; });
    std::vector<uint8_t> block(static_cast<std::size_t>(n) * 4);
    fillNoiseAndTone(block);
    std::memcpy(processor.blockBuffer(), block.data(), block.size());

    const int blocks = blocksPerRepeat(n);
    auto run = [&](int count) {
        for (int i = 0; i < count; ++i) {
            simulatedNs += blockNs;
            processor.processBlock();
        }
    };
    run(blocks);
    std::vector<double> perBlock;
    for (int r = 0; r < kRepeats; ++r) {
        const double t0 = nowUs();
        run(blocks);
        perBlock.push_back((nowUs() - t0) / blocks);
    }
    return median(perBlock);
}

SpectrumSettings defaults(int n)
{
    SpectrumSettings s;
    s.fftSize = n;
    s.sampleRateHz = kInputRateHz;
    s.fps = 30.0;
    s.density.widthBins = 1024;
    s.density.levels = 512;
    s.density.tau = 0.5;
    return s;
}

SpectrumSettings everythingOn(int n, int detectorMode)
{
    SpectrumSettings s = defaults(n);
    s.detectorMode = detectorMode;
    s.vbwHz = 10.0;
    s.density.enabled = true;
    s.waterfallEnabled = true;
    return s;
}

void report(const char* config, int n, double us, double fftUs)
{
    const double blockUs = n / kInputRateHz * 1e6;
    std::printf("%-34s N=%-5d %8.2f us/block %10.0f spectra/s  real-time x%6.2f  fft-ratio %5.2f\n", config, n, us,
                1e6 / us, blockUs / us, us / fftUs);
}

} // namespace

int main()
{
    std::printf("median of %d repeats; real time = 30 MS/s input; fft-ratio = per-block cost / bare fftwf_execute\n",
                kRepeats);
    for (int n : {2048, 8192}) {
        const double fftUs = bareFftUs(n);
        std::printf("%-34s N=%-5d %8.2f us/block\n", "bare fftwf_execute", n, fftUs);
        report("(a) defaults: Avg N=20", n, pipelineUs(n, defaults(n)), fftUs);
        report("(b) all on: Avg N=20, VBW 10 Hz", n, pipelineUs(n, everythingOn(n, 3)), fftUs);
        report("(b) all on: Max N=20, VBW 10 Hz", n, pipelineUs(n, everythingOn(n, 1)), fftUs);
    }
    return 0;
}
