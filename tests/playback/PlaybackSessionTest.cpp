// A recording played through the whole acquisition session: the same spectrum as the same IQ
// received live, and at the fastest speed nothing dropped however slow the analysis.
#include "acquisition/AcquisitionSession.h"
#include "acquisition/IqSample.h"
#include "playback/PlaybackDevice.h"
#include "playback/SigmfRecording.h"
#include "sigmf/SigmfMeta.h"
#include "tests/playback/PlaybackFiles.h"
#include "tests/support/EventWait.h"
#include "tests/support/InertDevice.h"

#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <mutex>
#include <numbers>
#include <thread>

namespace {

// Not one of the rate row's choices: a recording plays at whatever rate it was made.
constexpr uint32_t kRate = 2'400'000;
constexpr uint64_t kCenter = 100'000'000;
constexpr double kStrongOffsetHz = 200e3;
constexpr double kWeakOffsetHz = -500e3;
constexpr int kFftSize = 1024;

// A strong and a weak carrier over a low noise floor, one second long.
std::vector<int16_t> scene()
{
    std::vector<int16_t> iq(2 * kRate);
    uint32_t lcg = 12345;
    const auto noise = [&lcg] {
        lcg = lcg * 1664525u + 1013904223u;
        return static_cast<double>(lcg >> 16) / 65536.0 - 0.5;
    };
    for (std::size_t n = 0; n < kRate; ++n) {
        const double t = static_cast<double>(n) / kRate;
        const double strong = 2 * std::numbers::pi * kStrongOffsetHz * t;
        const double weak = 2 * std::numbers::pi * kWeakOffsetHz * t;
        iq[2 * n] = static_cast<int16_t>(8000 * std::cos(strong) + 300 * std::cos(weak) + 60 * noise());
        iq[2 * n + 1] = static_cast<int16_t>(8000 * std::sin(strong) + 300 * std::sin(weak) + 60 * noise());
    }
    return iq;
}

// The same IQ as a live receiver would deliver it: over and over, a block a millisecond.
class LiveIq : public InertDevice {
public:
    explicit LiveIq(const std::vector<int16_t>& iq) : m_iq(iq) {}
    bool startStreaming() override { return m_streaming = true; }
    void stopStreaming() override { m_streaming = false; }
    bool readSamples(uint8_t* buffer, uint32_t lengthBytes) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (!m_streaming.load())
            return false;
        const auto* source = reinterpret_cast<const uint8_t*>(m_iq.data());
        const std::size_t total = m_iq.size() * sizeof(int16_t);
        for (uint32_t done = 0; done < lengthBytes;) {
            const std::size_t n = std::min<std::size_t>(lengthBytes - done, total - m_offset);
            std::memcpy(buffer + done, source + m_offset, n);
            done += static_cast<uint32_t>(n);
            m_offset = (m_offset + n) % total;
        }
        return true;
    }
    uint32_t samplesPerTransfer() override { return PlaybackDevice::kSamplesPerTransfer; }
    std::string deviceName() override { return "live"; }

private:
    const std::vector<int16_t>& m_iq;
    std::size_t m_offset = 0;
    std::atomic<bool> m_streaming{false};
};

class Output : public AcquisitionOutput {
public:
    bool displayAlive() override { return true; }
    void deliverFrame(SpectrumFrame&& frame) override
    {
        std::lock_guard lock(m_mutex);
        m_frames.push_back(std::move(frame));
    }
    void statusReport(const SpectrumStatus& status) override
    {
        std::lock_guard lock(m_mutex);
        m_skipped += status.discardedBlocks + status.droppedFrames;
    }
    void rxLine(const std::string&) override {}
    void rxStatus(const RxStatus& status) override
    {
        std::lock_guard lock(m_mutex);
        m_fftDrops += status.fftDrops;
        m_demodOverflows += status.demodOverflows;
        ++m_reports;
    }
    void overloadTriggered(const std::string&) override {}

    std::vector<SpectrumFrame> frames()
    {
        std::lock_guard lock(m_mutex);
        return m_frames;
    }
    uint64_t fftDrops()
    {
        std::lock_guard lock(m_mutex);
        return m_fftDrops;
    }
    uint64_t demodOverflows()
    {
        std::lock_guard lock(m_mutex);
        return m_demodOverflows;
    }
    // Blocks the spectrum thread skipped to catch up or never got.
    uint64_t skipped()
    {
        std::lock_guard lock(m_mutex);
        return m_skipped;
    }
    int reports()
    {
        std::lock_guard lock(m_mutex);
        return m_reports;
    }

private:
    std::mutex m_mutex;
    std::vector<SpectrumFrame> m_frames;
    uint64_t m_fftDrops = 0;
    uint64_t m_demodOverflows = 0;
    uint64_t m_skipped = 0;
    int m_reports = 0;
};

bool waitFor(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kEventWaitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

SpectrumSettings settingsFor(int fftSize)
{
    SpectrumSettings settings;
    settings.fftSize = fftSize;
    settings.centerHz = kCenter;
    settings.sampleRateHz = kRate;
    settings.maxFps = 100.0;
    return settings;
}

// Each bin's level averaged over the frames after the first few (in power).
std::vector<double> averageTrace(IDevice& device)
{
    Output output;
    AcquisitionSession session(output);
    session.setSpectrumSettings(settingsFor(kFftSize));
    if (auto* playback = dynamic_cast<PlaybackDevice*>(&device))
        playback->setRoomProbe([&session](std::size_t bytes) { return session.hasRoomFor(bytes); });
    EXPECT_TRUE(session.start({&device, kRate, kCenter}));
    constexpr std::size_t kSkipped = 3;
    constexpr std::size_t kAveraged = 20;
    EXPECT_TRUE(waitFor([&] { return output.frames().size() >= kSkipped + kAveraged; }));
    session.stop();
    const std::vector<SpectrumFrame> frames = output.frames();
    std::vector<double> power(kFftSize, 0.0);
    for (std::size_t f = kSkipped; f < kSkipped + kAveraged && f < frames.size(); ++f) {
        EXPECT_EQ(frames[f].centerHz, kCenter);
        EXPECT_DOUBLE_EQ(frames[f].binHz, static_cast<double>(kRate) / kFftSize);
        for (int b = 0; b < kFftSize; ++b)
            power[b] += std::pow(10.0, frames[f].trace[b] / 10.0) / kAveraged;
    }
    for (double& p : power)
        p = 10.0 * std::log10(p);
    return power;
}

int binOf(double offsetHz)
{
    return static_cast<int>(std::lround(offsetHz / (static_cast<double>(kRate) / kFftSize))) + kFftSize / 2;
}

// The scene as the recorder writes it: NAME.sigmf-data and NAME.sigmf-meta.
std::string writeSigmf(const TempFolder& folder, const std::vector<int16_t>& iq)
{
    const std::string base = folder.file("scene");
    writeFile(base + ".sigmf-data", iq);
    SigmfMeta meta;
    meta.global.datatype = QStringLiteral("ci16_le");
    meta.global.sampleRate = kRate;
    SigmfCapture capture;
    capture.frequency = static_cast<double>(kCenter);
    capture.globalIndex = 0;
    capture.datetime = parseSigmfTime(QStringLiteral("2026-12-08T10:00:00Z"));
    meta.captures.push_back(capture);
    QFile file(QString::fromStdString(base + ".sigmf-meta"));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(sigmfMetaToJson(meta));
    return base + ".sigmf-meta";
}

std::unique_ptr<PlaybackDevice> playing(const std::string& path)
{
    auto device = std::make_unique<PlaybackDevice>();
    device->load(std::make_unique<RecordingFile>(sigmfRecording(path)));
    device->setLoop(true);
    device->setSpeed(PlaybackDevice::kSpeedMax);
    device->play();
    return device;
}

TEST(PlaybackSession, ARecordingGivesTheSpectrumOfTheSameIqReceivedLive)
{
    const std::vector<int16_t> iq = scene();
    TempFolder folder;
    const std::string recording = writeSigmf(folder, iq);

    LiveIq live(iq);
    const std::vector<double> liveTrace = averageTrace(live);
    const std::unique_ptr<PlaybackDevice> playback = playing(recording);
    const std::vector<double> playedTrace = averageTrace(*playback);

    // Both carriers where the scene put them, at the same levels; the floor alike.
    for (const double offset : {kStrongOffsetHz, kWeakOffsetHz}) {
        const int bin = binOf(offset);
        const auto peak = std::max_element(liveTrace.begin() + bin - 2, liveTrace.begin() + bin + 3);
        EXPECT_EQ(peak - liveTrace.begin(), bin) << offset;
        EXPECT_NEAR(playedTrace[bin], liveTrace[bin], 0.5) << offset;
    }
    EXPECT_GT(liveTrace[binOf(kWeakOffsetHz)], liveTrace[binOf(300e3)] + 20.0);
    std::vector<double> liveSorted = liveTrace;
    std::vector<double> playedSorted = playedTrace;
    std::nth_element(liveSorted.begin(), liveSorted.begin() + kFftSize / 2, liveSorted.end());
    std::nth_element(playedSorted.begin(), playedSorted.begin() + kFftSize / 2, playedSorted.end());
    EXPECT_NEAR(playedSorted[kFftSize / 2], liveSorted[kFftSize / 2], 1.0);
}

TEST(PlaybackSession, AtTheFastestSpeedASlowAnalysisLosesNothing)
{
    TempFolder folder;
    const std::string recording = writeSigmf(folder, scene());

    // A large FFT with the persistence display, the waterfall and the demodulator on: far
    // slower than reading a file.
    const auto run = [&](bool withProbe) {
        Output output;
        AcquisitionSession session(output);
        SpectrumSettings settings = settingsFor(65536);
        settings.density.enabled = true;
        settings.waterfallEnabled = true;
        session.setSpectrumSettings(settings);
        DemodParams params = session.demod().getParams();
        params.enabled = true;
        params.demodFreqHz = kCenter + kStrongOffsetHz;
        session.demod().setParams(params);
        const std::unique_ptr<PlaybackDevice> playback = playing(recording);
        if (withProbe)
            playback->setRoomProbe([&session](std::size_t bytes) { return session.hasRoomFor(bytes); });
        EXPECT_TRUE(session.start({playback.get(), kRate, kCenter}));
        EXPECT_TRUE(waitFor([&] { return output.reports() >= 2; }));
        session.stop();
        EXPECT_GT(playback->status().deliveredSamples, 0u);
        return output.fftDrops() + output.demodOverflows() + output.skipped();
    };
    EXPECT_EQ(run(true), 0u);
    // The same run without asking for room drops: the analysis above is indeed the slower.
    EXPECT_GT(run(false), 0u);
}

} // namespace
