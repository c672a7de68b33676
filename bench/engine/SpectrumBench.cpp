// Cost of the spectrum thread's work per IQ block, against the 30 MS/s real-time budget.
// Time inside the pipeline is simulated at the real-time block rate, so the waterfall rows,
// density pictures and published frames (30 per second) cost what they would live.
#include "engine/SpectrumProcessor.h"
#include "measure/Measurements.h"

#include <fftw3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

namespace {

constexpr double kInputRateHz = 30e6;
constexpr int kRepeats = 15;

// Keeps the latest frame, as the display item does until the next one replaces it.
class BenchSink : public SpectrumSink {
public:
    explicit BenchSink(bool display) : m_display(display) {}
    bool displayAlive() override { return m_display; }
    void deliverFrame(SpectrumFrame&& frame) override
    {
        m_lastFrame = std::move(frame);
        ++m_frames;
    }
    void statusReport(const SpectrumStatus&) override {}
    uint64_t frames() const { return m_frames; }
    const SpectrumFrame& lastFrame() const { return m_lastFrame; }

private:
    bool m_display;
    SpectrumFrame m_lastFrame;
    uint64_t m_frames = 0;
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

SpectrumSettings defaults(int n)
{
    SpectrumSettings s;
    s.fftSize = n;
    s.sampleRateHz = kInputRateHz;
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

// One spectrum thread on a repeated block, its clock advancing at the real-time block rate
// unless a step is given.
class Pipeline {
public:
    Pipeline(int n, const SpectrumSettings& settings, bool display, int64_t clockStepNs = 0)
        : m_settings(settings),
          m_sink(display),
          m_blockNs(clockStepNs > 0 ? clockStepNs : static_cast<int64_t>(std::llround(n / kInputRateHz * 1e9)))
    {
        m_engine.setFftSize(static_cast<std::size_t>(n));
        m_engine.setWindowType(settings.windowType);
        m_processor = std::make_unique<SpectrumProcessor>(m_engine, m_settings, m_sink, m_lost,
                                                          static_cast<std::size_t>(n) * 4, [this] { return m_nowNs; });
        std::vector<uint8_t> block(static_cast<std::size_t>(n) * 4);
        fillNoiseAndTone(block);
        std::memcpy(m_processor->blockBuffer(), block.data(), block.size());
    }

    // Microseconds per block over count blocks.
    double run(int count)
    {
        const double t0 = nowUs();
        for (int i = 0; i < count; ++i) {
            m_nowNs += m_blockNs;
            m_processor->processBlock();
        }
        return (nowUs() - t0) / count;
    }
    uint64_t frames() const { return m_sink.frames(); }
    const SpectrumFrame& lastFrame() const { return m_sink.lastFrame(); }

private:
    SpectrumEngine m_engine;
    SettingsSnapshot<SpectrumSettings> m_settings;
    BenchSink m_sink;
    std::atomic<uint64_t> m_lost{0};
    const int64_t m_blockNs;
    int64_t m_nowNs = 0;
    std::unique_ptr<SpectrumProcessor> m_processor;
};

// The measurements run where a frame is handed to the display, at most maxFps times a second,
// not per block: their cost per frame, spread over the blocks between frames, against the
// spectrum thread's own work per block.
void reportMeasurementCost(int n, double blockWorkUs)
{
    const SpectrumSettings s = everythingOn(n, 3);
    Pipeline pipeline(n, s, true);
    pipeline.run(blocksPerRepeat(n));
    const SpectrumFrame& frame = pipeline.lastFrame();

    MeasurementSettings m;
    // On the bench block's tone.
    m.channelCentreHz = frame.centerHz + 0.0123 / (2.0 * std::numbers::pi) * kInputRateHz;
    m.adjacent.pairs = kMaxAdjacentPairs;
    m.noiseMarkerHz = frame.startHz + kInputRateHz * 0.25;
    m.detectorMode = s.detectorMode;
    m.detectorWindow = s.detectorWindow;
    m.peaks.count = kMaxPeaks;
    Measurements measurements;
    MeasurementResults results;
    const auto once = [&] { results = measurements.run(traceViewOf(frame), m); };
    const int calls = std::max(50, 2'000'000 / n);
    for (int i = 0; i < calls; ++i)
        once();
    std::vector<double> perFrame;
    for (int r = 0; r < kRepeats; ++r) {
        const double t0 = nowUs();
        for (int i = 0; i < calls; ++i)
            once();
        perFrame.push_back((nowUs() - t0) / calls);
    }
    const double us = median(perFrame);
    const double framesPerBlock = s.maxFps * n / kInputRateHz;
    std::printf("%-34s N=%-5d %8.2f us/frame  at %.0f frames/s: %6.3f us/block = %5.2f %% of (b)'s block work"
                " (tone %.1f dBFS, %d peaks)\n",
                "(d) all measurements, per frame", n, us, s.maxFps, us * framesPerBlock,
                100.0 * us * framesPerBlock / blockWorkUs, results.channel.powerDb, results.peaks.size);
}

double pipelineUs(int n, const SpectrumSettings& settings)
{
    Pipeline pipeline(n, settings, true);
    const int blocks = blocksPerRepeat(n);
    pipeline.run(blocks);
    std::vector<double> perBlock;
    for (int r = 0; r < kRepeats; ++r)
        perBlock.push_back(pipeline.run(blocks));
    return median(perBlock);
}

// What publishing a frame costs the spectrum thread: the same work with and without a display,
// run in turns so that both see the same machine. The clock moves a frame period per block, so
// that every block publishes and the difference is the publishing alone.
void reportPublishCost(int n, int waterfallLines)
{
    SpectrumSettings s = everythingOn(n, 3);
    s.waterfallLines = waterfallLines;
    const int64_t framePeriodNs = static_cast<int64_t>(1e9 / s.maxFps) + 1'000'000;
    Pipeline shown(n, s, true, framePeriodNs);
    Pipeline hidden(n, s, false, framePeriodNs);
    const int blocks = blocksPerRepeat(n);
    shown.run(blocks);
    hidden.run(blocks);
    std::vector<double> perFrame;
    for (int r = 0; r < kRepeats; ++r) {
        const uint64_t before = shown.frames();
        const double withDisplay = shown.run(blocks);
        const double withoutDisplay = hidden.run(blocks);
        const double framesPerBlock = static_cast<double>(shown.frames() - before) / blocks;
        perFrame.push_back((withDisplay - withoutDisplay) / framesPerBlock);
    }
    std::printf("%-34s N=%-5d %8.1f us/frame (waterfall %d lines)\n", "(c) publishing one frame, all on", n,
                median(perFrame), waterfallLines);
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
        const double allOnUs = pipelineUs(n, everythingOn(n, 3));
        report("(b) all on: Avg N=20, VBW 10 Hz", n, allOnUs, fftUs);
        report("(b) all on: Max N=20, VBW 10 Hz", n, pipelineUs(n, everythingOn(n, 1)), fftUs);
        reportPublishCost(n, 400);
        reportPublishCost(n, 1200);
        reportMeasurementCost(n, allOnUs);
    }
    return 0;
}
