#include "engine/SpectrumLoop.h"
#include "tests/support/EventWait.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <mutex>
#include <numbers>
#include <thread>
#include <vector>

namespace {

constexpr int64_t kMs = 1'000'000;

// The test's side of the spectrum thread: the settings it publishes, and everything the thread
// hands back.
class RecordingSink : public SpectrumSink {
public:
    bool displayAlive() override
    {
        std::lock_guard lock(m_mutex);
        return m_alive;
    }
    void deliverFrame(SpectrumFrame&& frame) override
    {
        std::lock_guard lock(m_mutex);
        m_frames.push_back(std::move(frame));
    }
    void statusReport(const SpectrumStatus& status) override
    {
        std::lock_guard lock(m_mutex);
        m_reports.push_back(status);
    }

    // Publishes the settings with one edit, as the owner of the thread does.
    void change(const std::function<void(SpectrumSettings&)>& edit)
    {
        edit(m_settings);
        source.publish(m_settings);
    }
    void setAlive(bool alive)
    {
        std::lock_guard lock(m_mutex);
        m_alive = alive;
    }
    std::size_t frameCount()
    {
        std::lock_guard lock(m_mutex);
        return m_frames.size();
    }

    SettingsSnapshot<SpectrumSettings> source;
    std::mutex m_mutex;
    SpectrumSettings m_settings;
    bool m_alive = true;
    std::vector<SpectrumFrame> m_frames;
    std::vector<SpectrumStatus> m_reports;
};

std::vector<uint8_t> toneBlock(std::size_t samples, double cyclesPerSample)
{
    std::vector<uint8_t> bytes(samples * 4);
    auto* raw = reinterpret_cast<int16_t*>(bytes.data());
    for (std::size_t i = 0; i < samples; ++i) {
        const double a = 2.0 * std::numbers::pi * cyclesPerSample * static_cast<double>(i);
        raw[2 * i] = static_cast<int16_t>(std::lround(16000.0 * std::cos(a)));
        raw[2 * i + 1] = static_cast<int16_t>(std::lround(16000.0 * std::sin(a)));
    }
    return bytes;
}

// A processor on a hand-driven clock, for 256-point blocks.
struct Rig {
    Rig()
    {
        engine.setFftSize(256);
        sink.change([](SpectrumSettings& s) { s.fftSize = 256; });
        block = toneBlock(256, 0.25);
    }
    void runFor(int64_t durationNs, int64_t stepNs)
    {
        for (int64_t t = stepNs; t <= durationNs; t += stepNs) {
            now += stepNs;
            processor.processBlock({reinterpret_cast<const IqSample*>(block.data()), block.size() / kIqSampleBytes});
        }
    }

    SpectrumEngine engine;
    RecordingSink sink;
    std::atomic<uint64_t> lost{0};
    int64_t now = 0;
    SpectrumProcessor processor{engine, sink.source, sink, lost, 256 * 4, [this] { return now; }};
    std::vector<uint8_t> block;
};

} // namespace

TEST(SpectrumLoop, CutsABacklogOfMoreThanEightBlocksToFour)
{
    Rig rig;
    std::atomic<bool> running{true};
    const std::size_t b = 1024;
    FftRing ring(64 * b);
    SpectrumLoop loop(rig.processor, &ring, running);
    const std::vector<uint8_t> filler(b, 1);
    for (int i = 0; i < 10; ++i)
        ring.write(filler.data(), b);
    EXPECT_TRUE(loop.iterate());
    EXPECT_EQ(ring.available(), 3 * b);

    std::vector<uint8_t> drain(8 * b);
    ring.read(drain.data(), 3 * b);
    for (int i = 0; i < 8; ++i)
        ring.write(filler.data(), b);
    EXPECT_TRUE(loop.iterate());
    EXPECT_EQ(ring.available(), 7 * b);

    ring.read(drain.data(), 7 * b);
    ring.write(filler.data(), b - 1);
    EXPECT_FALSE(loop.iterate());
    EXPECT_EQ(ring.available(), b - 1);

    SpectrumLoop withoutRing(rig.processor, nullptr, running);
    EXPECT_FALSE(withoutRing.iterate());
    running = false;
    loop.run();

    // The discarded blocks are reported with the next status, once.
    rig.runFor(1000 * kMs, 10 * kMs);
    rig.runFor(1000 * kMs, 10 * kMs);
    ASSERT_EQ(rig.sink.m_reports.size(), 2u);
    EXPECT_EQ(rig.sink.m_reports[0].discardedBlocks, 6u);
    EXPECT_EQ(rig.sink.m_reports[1].discardedBlocks, 0u);
    EXPECT_EQ(rig.sink.m_reports[1].blocksProcessed, 100u);
}

// Overlapped blocks are read where they lie and the loop moves on by the hop: four blocks of
// input make seven half-overlapped spectra (thirteen at 75 %), and a block's worth less than a
// hop is left for the next input. A backlog is cut back in whole hops and counted in the
// spectra it would have made.
TEST(SpectrumLoop, OverlappedBlocksStepByTheHopAndACutBacklogCountsTheirSpectra)
{
    for (const auto& [overlap, spectra] : {std::pair{50, 7}, std::pair{75, 13}}) {
        Rig rig;
        rig.sink.change([overlap](SpectrumSettings& s) { s.overlapPercent = overlap; });
        std::atomic<bool> running{true};
        const std::size_t b = 1024;
        const std::size_t hop = b * static_cast<std::size_t>(100 - overlap) / 100;
        FftRing ring(64 * b);
        SpectrumLoop loop(rig.processor, &ring, running, 20 * b);
        const std::vector<uint8_t> filler(b, 1);
        for (int i = 0; i < 4; ++i)
            ring.write(filler.data(), b);
        int processed = 0;
        while (loop.iterate())
            ++processed;
        EXPECT_EQ(processed, spectra) << overlap;
        EXPECT_EQ(ring.available(), b - hop) << overlap;

        for (int i = 0; i < 24; ++i)
            ring.write(filler.data(), b);
        EXPECT_TRUE(loop.iterate());
        EXPECT_EQ(ring.available(), 4 * b - hop) << overlap;
        rig.runFor(1000 * kMs, 10 * kMs);
        ASSERT_FALSE(rig.sink.m_reports.empty());
        // 24 blocks and the leftover, less four blocks kept: (20 b + b - hop) / hop spectra.
        EXPECT_EQ(rig.sink.m_reports[0].discardedBlocks, (21 * b - hop) / hop) << overlap;
    }
}

TEST(SpectrumLoop, CatchUpThresholdAllowsForPollingAtHighRates)
{
    // 30 MS/s, 4096-point blocks, the run's 60 MB ring: a quarter second of signal, where a
    // fixed eight blocks would be 1.1 ms, less than one poll and one receiver transfer.
    const std::size_t block = 4096 * 4;
    EXPECT_EQ(SpectrumLoop::catchUpThresholdBytes(block, 59'998'208u, 30e6), 30'000'000u);
    // A ring smaller than the quarter second: three quarters of it, the rest is room for the
    // reads that arrive while the thread catches up.
    EXPECT_EQ(SpectrumLoop::catchUpThresholdBytes(block, 4u << 20, 30e6), 3u << 20);
    EXPECT_EQ(SpectrumLoop::catchUpThresholdBytes(block, 4u << 20, 2e6), 2'000'000u);
    // Never below eight blocks: large FFTs, a small ring, or no known rate.
    EXPECT_EQ(SpectrumLoop::catchUpThresholdBytes(8192 * 4, 10 * 8192 * 4, 2e6), 8u * 8192 * 4);
    EXPECT_EQ(SpectrumLoop::catchUpThresholdBytes(block, 4u << 20, 0.0), 8 * block);

    // A backlog under the threshold is worked off in full, one block per iteration.
    Rig rig;
    std::atomic<bool> running{true};
    const std::size_t b = 1024;
    FftRing ring(64 * b);
    SpectrumLoop loop(rig.processor, &ring, running, 20 * b);
    const std::vector<uint8_t> filler(b, 1);
    for (int i = 0; i < 20; ++i)
        ring.write(filler.data(), b);
    EXPECT_TRUE(loop.iterate());
    EXPECT_EQ(ring.available(), 19 * b);
    ring.write(filler.data(), b);
    ring.write(filler.data(), b);
    EXPECT_TRUE(loop.iterate());
    EXPECT_EQ(ring.available(), 3 * b);
}

TEST(SpectrumProcessor, PublishesAtMostMaxFpsAndReportsOncePerSecond)
{
    Rig rig;
    rig.sink.change([](SpectrumSettings& s) { s.maxFps = 10.0; });
    rig.lost = 5 * 1024 + 3;
    rig.runFor(1000 * kMs, 10 * kMs);
    EXPECT_EQ(rig.sink.m_frames.size(), 10u);
    ASSERT_EQ(rig.sink.m_reports.size(), 1u);
    EXPECT_EQ(rig.sink.m_reports[0].blocksProcessed, 100u);
    EXPECT_EQ(rig.sink.m_reports[0].droppedFrames, 5u);
    EXPECT_DOUBLE_EQ(rig.sink.m_reports[0].framesPerSecond, 10.0);

    // 60 per second is a period of 16.67 ms, which whole milliseconds round up to 17.
    rig.sink.change([](SpectrumSettings& s) { s.maxFps = 60.0; });
    rig.runFor(1000 * kMs, 1 * kMs);
    EXPECT_EQ(rig.sink.m_frames.size(), 10u + 1000 / 17);
    ASSERT_EQ(rig.sink.m_reports.size(), 2u);
    EXPECT_EQ(rig.sink.m_reports[1].blocksProcessed, 1000u);
    EXPECT_EQ(rig.sink.m_reports[1].droppedFrames, 0u);

    rig.sink.change([](SpectrumSettings& s) { s.maxFps = 1.0; });
    rig.runFor(3000 * kMs, 5 * kMs);
    EXPECT_NEAR(rig.sink.m_reports.back().framesPerSecond, 1.0, 1e-9);
}

TEST(SpectrumProcessor, FramesCarryTheTraceAndTheAccumulatedPictures)
{
    Rig rig;
    rig.sink.change([](SpectrumSettings& s) {
        s.centerHz = 100e6;
        s.sampleRateHz = 2.56e6;
        s.windowType = 2;
        s.vbwHz = 10.0;
        s.density.enabled = true;
        s.density.widthBins = 128;
        s.density.levels = 64;
        s.waterfallEnabled = true;
        s.waterfallLines = 5;
        s.waterfallPaletteId = 1;
    });
    rig.runFor(110 * kMs, 1 * kMs);
    ASSERT_EQ(rig.sink.m_frames.size(), 3u);  // at 34, 68 and 102 ms
    const SpectrumFrame& f = rig.sink.m_frames.back();
    ASSERT_EQ(f.trace.size(), 256u);
    EXPECT_DOUBLE_EQ(f.startHz, 100e6 - 1.28e6);
    EXPECT_DOUBLE_EQ(f.stopHz, 100e6 + 1.28e6);
    EXPECT_DOUBLE_EQ(f.binHz, 10e3);
    EXPECT_DOUBLE_EQ(f.rbwHz, 10e3 * 1.73);
    EXPECT_NEAR(f.rmsDb, 20.0 * std::log10(16000.0 / 32768.0), 0.01);
    EXPECT_FALSE(f.overload);
    // The tone at a quarter of the sample rate is the highest bin, also in the readout.
    const auto peak = std::max_element(f.trace.begin(), f.trace.end()) - f.trace.begin();
    EXPECT_EQ(peak, 128 + 64);
    EXPECT_DOUBLE_EQ(rig.engine.peakReadout().values().peakFreqHz, f.startHz + 192 * 10e3);
    EXPECT_EQ(f.peakLine.size(), 256u);
    EXPECT_EQ(f.density.width, 128);
    EXPECT_EQ(f.density.height, 64);
    EXPECT_EQ(f.waterfall.width, 256);
    EXPECT_EQ(f.waterfall.lines, 5);
    EXPECT_EQ(f.waterfall.totalLines, 3u);  // rows at the same times
    EXPECT_EQ(f.waterfall.paletteId, 1);

    rig.sink.change([](SpectrumSettings& s) {
        s.density.enabled = false;
        s.waterfallEnabled = false;
    });
    rig.runFor(40 * kMs, 10 * kMs);
    const SpectrumFrame& off = rig.sink.m_frames.back();
    EXPECT_EQ(off.density.width, 0);
    EXPECT_FALSE(off.density.bytes);
    EXPECT_EQ(off.waterfall.totalLines, 0u);
    EXPECT_FALSE(off.waterfall.bytes);
    EXPECT_EQ(off.waterfall.paletteId, 1);
}

TEST(SpectrumProcessor, TakesOverPublishedSettingsAtTheNextBlock)
{
    Rig rig;
    rig.sink.change([](SpectrumSettings& s) {
        s.centerHz = 100e6;
        s.sampleRateHz = 2.56e6;
        s.maxFps = 1000.0;
    });
    rig.runFor(1 * kMs, 1 * kMs);
    ASSERT_EQ(rig.sink.m_frames.size(), 1u);
    EXPECT_DOUBLE_EQ(rig.sink.m_frames.back().centerHz, 100e6);

    // Published between two blocks: the very next frame carries it, the one before did not.
    rig.sink.change([](SpectrumSettings& s) { s.centerHz = 101e6; });
    rig.runFor(1 * kMs, 1 * kMs);
    ASSERT_EQ(rig.sink.m_frames.size(), 2u);
    EXPECT_DOUBLE_EQ(rig.sink.m_frames.back().centerHz, 101e6);
    EXPECT_DOUBLE_EQ(rig.sink.m_frames.back().startHz, 101e6 - 1.28e6);
}

TEST(SpectrumProcessor, DerivesTheVideoFilterWeightFromItsOwnFrameRate)
{
    Rig rig;
    rig.sink.change([](SpectrumSettings& s) { s.vbwHz = 10.0; });
    rig.runFor(2000 * kMs, 1 * kMs);
    ASSERT_EQ(rig.sink.m_reports.size(), 2u);
    // No rate is measured in the first second; in the second one, the rate the first measured.
    const SpectrumStatus& first = rig.sink.m_reports[0];
    const SpectrumStatus& second = rig.sink.m_reports[1];
    EXPECT_FLOAT_EQ(first.videoFilterAlpha, VideoFilter::alphaFor(10.0, 0.0));
    EXPECT_DOUBLE_EQ(first.framesPerSecond, 29.0);  // a frame every 34 ms at 30 per second
    EXPECT_FLOAT_EQ(second.videoFilterAlpha, VideoFilter::alphaFor(10.0, first.framesPerSecond));
    EXPECT_NE(second.videoFilterAlpha, first.videoFilterAlpha);

    // Off, the filter has no weight to report.
    rig.sink.change([](SpectrumSettings& s) { s.vbwHz = 0.0; });
    rig.runFor(1000 * kMs, 1 * kMs);
    EXPECT_FLOAT_EQ(rig.sink.m_reports.back().videoFilterAlpha, 0.0f);
}

TEST(SettingsSnapshot, HandsOverEachPublishedRecordOnce)
{
    SettingsSnapshot<SpectrumSettings> source;
    uint64_t seen = 0;
    SpectrumSettings current;
    current.fftSize = 0;
    // The first look takes the initial record.
    EXPECT_TRUE(source.refresh(seen, current));
    EXPECT_EQ(current.fftSize, SpectrumSettings{}.fftSize);
    EXPECT_FALSE(source.refresh(seen, current));

    SpectrumSettings changed;
    changed.fftSize = 4096;
    changed.density.levels = 64;
    source.publish(changed);
    EXPECT_EQ(source.latest().fftSize, 4096);
    EXPECT_TRUE(source.refresh(seen, current));
    EXPECT_EQ(current.fftSize, 4096);
    EXPECT_EQ(current.density.levels, 64);
    EXPECT_FALSE(source.refresh(seen, current));
}

TEST(SettingsSnapshot, AReaderNeverSeesAnOlderRecordAfterANewerOne)
{
    SpectrumSettings first;
    first.fftSize = 0;
    first.waterfallLines = 0;
    SettingsSnapshot<SpectrumSettings> source(first);
    constexpr int kLast = 20000;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        uint64_t seen = 0;
        SpectrumSettings current;
        int highest = 0;
        bool ordered = true;
        const auto take = [&] {
            if (!source.refresh(seen, current))
                return;
            // A torn record would mix two publications.
            ordered = ordered && current.fftSize >= highest && current.waterfallLines == current.fftSize;
            highest = current.fftSize;
        };
        while (!done.load())
            take();
        take();
        EXPECT_TRUE(ordered);
        EXPECT_EQ(highest, kLast);
    });
    for (int i = 1; i <= kLast; ++i) {
        SpectrumSettings s;
        s.fftSize = i;
        s.waterfallLines = i;
        source.publish(s);
    }
    done = true;
    reader.join();
}

TEST(SpectrumProcessor, KeepsProcessingWithoutPublishingWhenTheDisplayIsGone)
{
    Rig rig;
    rig.sink.change([](SpectrumSettings& s) { s.waterfallEnabled = true; });
    rig.sink.setAlive(false);
    rig.runFor(1000 * kMs, 1 * kMs);
    EXPECT_TRUE(rig.sink.m_frames.empty());
    ASSERT_EQ(rig.sink.m_reports.size(), 1u);
    EXPECT_EQ(rig.sink.m_reports[0].blocksProcessed, 1000u);
    EXPECT_DOUBLE_EQ(rig.sink.m_reports[0].framesPerSecond, 0.0);
    std::vector<float> peakLine;
    rig.engine.peakLine().copyTo(peakLine);
    EXPECT_EQ(peakLine.size(), 256u);
    WaterfallBlock rows;
    rig.engine.waterfall().publish(rows, 400, 0);
    EXPECT_EQ(rows.totalLines, 1000u / 34);  // a row every 34 ms at 30 per second
    EXPECT_DOUBLE_EQ(rig.engine.peakReadout().values().peakValueDb, -120.0);
}

TEST(SpectrumLoop, RunsAgainstAProducerThread)
{
    SpectrumEngine engine;
    engine.setFftSize(512);
    RecordingSink sink;
    sink.change([](SpectrumSettings& s) {
        s.fftSize = 512;
        s.maxFps = 100.0;
        s.density.enabled = true;
        s.waterfallEnabled = true;
    });
    std::atomic<uint64_t> lost{0};
    std::atomic<bool> running{true};
    FftRing ring(FftRing::capacityFor(4096, 512 * 4, 2e6));
    const std::vector<uint8_t> block = toneBlock(512, 0.1);

    std::thread producer([&] {
        while (running.load()) {
            const std::size_t written = ring.write(block.data(), block.size());
            lost += block.size() - written;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    std::thread consumer([&] {
        SpectrumProcessor processor(engine, sink.source, sink, lost, 512 * 4);
        SpectrumLoop(processor, &ring, running).run();
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kEventWaitMs);
    while (sink.frameCount() < 5 && std::chrono::steady_clock::now() < deadline) {
        engine.peakLine().clear();
        engine.density().clear();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    running = false;
    producer.join();
    consumer.join();
    EXPECT_GE(sink.frameCount(), 5u);
}
