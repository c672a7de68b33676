// Cost of the spectrum thread's work per IQ block, against the 30 MS/s real-time budget.
// Time inside the pipeline is simulated at the real-time block rate, so the waterfall rows,
// density pictures and published frames (30 per second) cost what they would live.
#include "bench/support/BenchFigures.h"
#include "engine/SpectrumProcessor.h"
#include "measure/Measurements.h"
#include "platform/ThreadPriority.h"

#include <fftw3.h>

#include <algorithm>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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

double threadCpuUs()
{
    return static_cast<double>(threadCpuNowNs()) * 1e-3;
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

// A bare fftwf_execute of the same size with the same planner, the reference of every ratio.
class BareFft {
public:
    explicit BareFft(int n)
        : m_in(fftwf_alloc_complex(static_cast<std::size_t>(n))),
          m_out(fftwf_alloc_complex(static_cast<std::size_t>(n))),
          m_plan(fftwf_plan_dft_1d(n, m_in, m_out, FFTW_FORWARD, 0))
    {
        std::memset(m_in, 0, sizeof(fftwf_complex) * static_cast<std::size_t>(n));
        m_in[1][0] = 1.0f;
    }
    ~BareFft()
    {
        fftwf_destroy_plan(m_plan);
        fftwf_free(m_in);
        fftwf_free(m_out);
    }
    BareFft(const BareFft&) = delete;
    BareFft& operator=(const BareFft&) = delete;

    // Microseconds per transform over count transforms.
    double run(int count)
    {
        const double t0 = threadCpuUs();
        for (int i = 0; i < count; ++i)
            fftwf_execute(m_plan);
        return (threadCpuUs() - t0) / count;
    }

private:
    fftwf_complex* m_in;
    fftwf_complex* m_out;
    fftwf_plan m_plan;
};

// Real time per block: the hop between block starts at the input rate.
double blockUs(int n, const SpectrumSettings& settings)
{
    const std::size_t hop = spectrum_settings::hopSamples(static_cast<std::size_t>(n), settings.overlapPercent);
    return static_cast<double>(hop) / kInputRateHz * 1e6;
}

SpectrumSettings defaults(int n)
{
    SpectrumSettings s;
    s.fftSize = n;
    s.sampleRateHz = kInputRateHz;
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
          m_blockNs(clockStepNs > 0 ? clockStepNs : static_cast<int64_t>(std::llround(blockUs(n, settings) * 1e3)))
    {
        m_engine.setFftSize(static_cast<std::size_t>(n));
        m_engine.setWindowType(settings.windowType);
        m_processor = std::make_unique<SpectrumProcessor>(m_engine, m_settings, m_sink, m_lost,
                                                          static_cast<std::size_t>(n) * 4, [this] { return m_nowNs; });
        m_block.resize(static_cast<std::size_t>(n) * 4);
        fillNoiseAndTone(m_block);
    }

    // Microseconds per block over count blocks.
    double run(int count)
    {
        const double t0 = threadCpuUs();
        for (int i = 0; i < count; ++i) {
            m_nowNs += m_blockNs;
            m_processor->processBlock({reinterpret_cast<const IqSample*>(m_block.data()), m_block.size() / 4});
        }
        return (threadCpuUs() - t0) / count;
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
    std::vector<uint8_t> m_block;
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
        const double t0 = threadCpuUs();
        for (int i = 0; i < calls; ++i)
            once();
        perFrame.push_back((threadCpuUs() - t0) / calls);
    }
    const double us = benchfigures::median(perFrame);
    const double framesPerBlock = s.maxFps * n / kInputRateHz;
    std::printf("%-34s N=%-5d %8.2f us/frame  at %.0f frames/s: %6.3f us/block = %5.2f %% of (b)'s block work"
                " (tone %.1f dBFS, %d peaks)\n",
                "(d) all measurements, per frame", n, us, s.maxFps, us * framesPerBlock,
                100.0 * us * framesPerBlock / blockWorkUs, results.channel.powerDb, results.peaks.size);
}

struct BesideFft {
    double fftUs;
    double pipelineUs;
    double ratio;
};

// The pipeline and the bare FFT in turns, so that each ratio compares the two on the same
// machine at the same moment: medians of each and of the ratios.
BesideFft measureBesideFft(int n, const SpectrumSettings& settings)
{
    BareFft fft(n);
    Pipeline pipeline(n, settings, true);
    const int blocks = blocksPerRepeat(n);
    fft.run(4 * blocks);
    pipeline.run(blocks);
    std::vector<double> fftUs, pipelineUs, ratios;
    for (int r = 0; r < kRepeats; ++r) {
        fftUs.push_back(fft.run(4 * blocks));
        pipelineUs.push_back(pipeline.run(blocks));
        ratios.push_back(pipelineUs.back() / fftUs.back());
    }
    return {benchfigures::median(fftUs), benchfigures::median(pipelineUs), benchfigures::median(ratios)};
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
                benchfigures::median(perFrame), waterfallLines);
}

// Returns the pipeline's time per block.
double report(const char* config, int n, const SpectrumSettings& settings)
{
    const BesideFft m = measureBesideFft(n, settings);
    const double realTimeUs = blockUs(n, settings);
    std::printf("%-34s N=%-5d %8.2f us/block %10.0f spectra/s  real-time x%6.2f  fft-ratio %5.2f (bare FFT %.2f us)\n",
                config, n, m.pipelineUs, 1e6 / m.pipelineUs, realTimeUs / m.pipelineUs, m.ratio, m.fftUs);
    return m.pipelineUs;
}

// Only the all-on pipeline at one size for a while, for a profiler to look into.
void profile(int n, double seconds)
{
    const SpectrumSettings s = everythingOn(n, 3);
    Pipeline pipeline(n, s, true);
    const int blocks = static_cast<int>(seconds * 1e6 / blockUs(n, s));
    std::printf("all on, N=%d: %.2f us/block over %d blocks\n", n, pipeline.run(blocks), blocks);
}

// Writes the block the pipeline is benchmarked on (at the largest size) as cs16, for a reference
// to read.
int writeSignal(const char* path)
{
    std::vector<uint8_t> block(8192 * 4);
    fillNoiseAndTone(block);
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr || std::fwrite(block.data(), 1, block.size(), file) != block.size()) {
        std::fprintf(stderr, "cannot write %s\n", path);
        return 1;
    }
    std::fclose(file);
    return 0;
}

} // namespace

// With "profile N [seconds]" runs only the all-on pipeline at size N (default 10 s of input);
// with "signal FILE" writes the input block; with "allon N [OVERLAP]" measures the all-on pipeline
// beside the bare FFT at size N only, its blocks overlapping by OVERLAP percent (0).
int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "profile") == 0) {
        profile(std::atoi(argv[2]), argc >= 4 ? std::atof(argv[3]) : 10.0);
        return 0;
    }
    if (argc >= 3 && std::strcmp(argv[1], "signal") == 0)
        return writeSignal(argv[2]);
    if (argc >= 3 && std::strcmp(argv[1], "allon") == 0) {
        const int n = std::atoi(argv[2]);
        SpectrumSettings s = everythingOn(n, 3);
        s.overlapPercent = argc >= 4 ? std::atoi(argv[3]) : 0;
        report(s.overlapPercent > 0 ? "(e) all on, overlapped blocks" : "(b) all on: Avg N=20, VBW 10 Hz", n, s);
        return 0;
    }
    std::printf("median of %d repeats of thread CPU time; real time = 30 MS/s input; fft-ratio = median of per-block "
                "cost / bare fftwf_execute, measured in turns\n",
                kRepeats);
    for (int n : {2048, 8192}) {
        report("(a) defaults: Avg N=20", n, defaults(n));
        const double allOnUs = report("(b) all on: Avg N=20, VBW 10 Hz", n, everythingOn(n, 3));
        report("(b) all on: Max N=20, VBW 10 Hz", n, everythingOn(n, 1));
        for (int overlap : {50, 75}) {
            SpectrumSettings s = everythingOn(n, 3);
            s.overlapPercent = overlap;
            std::printf("overlap %d %%: ", overlap);
            report("(e) all on, overlapped blocks", n, s);
        }
        reportPublishCost(n, 400);
        reportPublishCost(n, 1200);
        reportMeasurementCost(n, allOnUs);
    }
    return 0;
}
