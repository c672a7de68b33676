#include "acquisition/AcquisitionSession.h"
#include "acquisition/IqTap.h"
#include "tests/app/ScriptedReceiver.h"
#include "tests/support/EventWait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// What the session's threads hand back, kept for the test to look at.
class RecordingOutput : public AcquisitionOutput {
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
        m_spectrumReports.push_back(status);
    }
    void rxLine(const std::string& line) override
    {
        std::lock_guard lock(m_mutex);
        m_rxLines.push_back(line);
    }
    void rxStatus(const RxStatus& status) override
    {
        std::lock_guard lock(m_mutex);
        m_rxReports.push_back(status);
    }
    void overloadTriggered(const std::string& trigger) override
    {
        std::lock_guard lock(m_mutex);
        m_triggers.push_back(trigger);
    }

    std::size_t frameCount()
    {
        std::lock_guard lock(m_mutex);
        return m_frames.size();
    }
    SpectrumFrame lastFrame()
    {
        std::lock_guard lock(m_mutex);
        return m_frames.empty() ? SpectrumFrame{} : m_frames.back();
    }
    std::size_t spectrumReports()
    {
        std::lock_guard lock(m_mutex);
        return m_spectrumReports.size();
    }
    std::size_t rxReports()
    {
        std::lock_guard lock(m_mutex);
        return m_rxReports.size();
    }
    std::vector<std::string> rxLines()
    {
        std::lock_guard lock(m_mutex);
        return m_rxLines;
    }

private:
    std::mutex m_mutex;
    std::vector<SpectrumFrame> m_frames;
    std::vector<SpectrumStatus> m_spectrumReports;
    std::vector<std::string> m_rxLines;
    std::vector<RxStatus> m_rxReports;
    std::vector<std::string> m_triggers;
};

bool waitFor(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kEventWaitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A session on a scripted receiver delivering 2048 silent samples a millisecond, at 1024 points
// and 100 frames a second.
struct Rig {
    Rig()
    {
        script->samplesPerTransfer = 2048;
        settings.fftSize = 1024;
        settings.centerHz = 100e6;
        settings.sampleRateHz = 2e6;
        settings.maxFps = 100.0;
        session.setSpectrumSettings(settings);
    }
    bool start() { return session.start({&receiver, 2'000'000, 100'000'000}); }
    int calls(const std::string& call) const
    {
        const std::vector<std::string> all = script->calls();
        return static_cast<int>(std::count(all.begin(), all.end(), call));
    }

    std::shared_ptr<ReceiverScript> script = std::make_shared<ReceiverScript>();
    ScriptedReceiver receiver{script};
    RecordingOutput output;
    SpectrumSettings settings;
    AcquisitionSession session{output};
};

} // namespace

TEST(AcquisitionSession, ARunCarriesTheReceiverThroughTheSpectrumThreadToTheOutput)
{
    Rig rig;
    ASSERT_TRUE(rig.start());
    EXPECT_TRUE(rig.session.running());
    EXPECT_EQ(rig.calls("startStreaming"), 1);
    ASSERT_NE(rig.session.fftRing(), nullptr);
    ASSERT_NE(rig.session.demodRing(), nullptr);
    // The ring holds whole blocks of the FFT size the settings had at the start.
    EXPECT_EQ(rig.session.fftRing()->capacity() % (1024 * 4), 0u);

    ASSERT_TRUE(waitFor([&] { return rig.output.frameCount() > 0; }));
    const SpectrumFrame frame = rig.output.lastFrame();
    EXPECT_EQ(frame.trace.size(), 1024u);
    EXPECT_DOUBLE_EQ(frame.centerHz, 100e6);
    EXPECT_DOUBLE_EQ(frame.binHz, 2e6 / 1024);

    // Once a second each thread reports, and the session keeps the last report.
    ASSERT_TRUE(waitFor([&] { return rig.output.spectrumReports() > 0 && rig.output.rxReports() > 0; }));
    EXPECT_GT(rig.session.spectrumStatus().blocksProcessed, 0u);
    EXPECT_GT(rig.session.spectrumStatus().framesPerSecond, 0.0);
    EXPECT_EQ(rig.session.rxStatus().fftCapacity, rig.session.fftRing()->capacity());
    EXPECT_EQ(rig.session.rxStatus().demodCapacity, DemodRing::kDefaultCapacity);
    const std::vector<std::string> lines = rig.output.rxLines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [](const std::string& line) { return line.rfind("RX ", 0) == 0; }));

    rig.session.stop();
    EXPECT_FALSE(rig.session.running());
    EXPECT_EQ(rig.calls("stopStreaming"), 1);
    EXPECT_EQ(rig.session.fftRing(), nullptr);
    EXPECT_EQ(rig.session.demodRing(), nullptr);
    // The last reports outlive the run.
    EXPECT_GT(rig.session.spectrumStatus().blocksProcessed, 0u);
    rig.session.stop();
    EXPECT_EQ(rig.calls("stopStreaming"), 1);
}

// A tap learns each run's tuning before its first block and its end after its last.
TEST(AcquisitionSession, ATapSeesEachRunFromStartToStop)
{
    struct Tap : IqTap {
        std::mutex mutex;
        std::vector<std::string> events;
        std::atomic<uint64_t> bytes{0};
        void runStarted(const IqTapRun& run) override
        {
            const std::lock_guard lock(mutex);
            events.push_back("start " + std::to_string(run.sampleRateHz) + " " + std::to_string(run.centerHz) + " " +
                             run.deviceName + " " + run.serialNumber + " after " + std::to_string(bytes.load()));
        }
        void runStopped() override
        {
            const std::lock_guard lock(mutex);
            events.push_back("stop");
        }
        void delivered(const uint8_t*, std::size_t length) override
        {
            const std::lock_guard lock(mutex);
            if (events.empty() || events.back() == "stop")
                events.push_back("block outside a run");
            bytes += length;
        }
        void lost(uint64_t) override {}
    } tap;
    Rig rig;
    rig.script->name = "RZ640";
    rig.script->serial = "5A000001";
    rig.session.setIqTap(&tap);
    ASSERT_TRUE(rig.start());
    ASSERT_TRUE(waitFor([&] { return tap.bytes.load() > 0; }));
    rig.session.stop();
    const uint64_t firstRun = tap.bytes.load();
    ASSERT_TRUE(rig.session.start({&rig.receiver, 2'000'000, 101'000'000}));
    ASSERT_TRUE(waitFor([&] { return tap.bytes.load() > firstRun; }));
    rig.session.stop();
    const std::lock_guard lock(tap.mutex);
    EXPECT_EQ(tap.events, (std::vector<std::string>{"start 2000000 100000000 RZ640 5A000001 after 0", "stop",
                                                    "start 2000000 101000000 RZ640 5A000001 after " +
                                                        std::to_string(firstRun),
                                                    "stop"}));
}

TEST(AcquisitionSession, SettingsPublishedDuringARunReachTheSpectrumThread)
{
    Rig rig;
    ASSERT_TRUE(rig.start());
    ASSERT_TRUE(waitFor([&] { return rig.output.lastFrame().centerHz == 100e6; }));

    rig.settings.centerHz = 101e6;
    rig.settings.waterfallEnabled = true;
    rig.session.setSpectrumSettings(rig.settings);
    EXPECT_EQ(rig.session.spectrumSettings().centerHz, 101e6);
    ASSERT_TRUE(waitFor([&] {
        const SpectrumFrame frame = rig.output.lastFrame();
        return frame.centerHz == 101e6 && frame.waterfall.totalLines > 0;
    }));
    EXPECT_EQ(rig.output.lastFrame().waterfall.width, 1024);

    // A new FFT size takes a new run, whose ring and analyser follow it.
    rig.session.stop();
    rig.settings.fftSize = 2048;
    rig.session.setSpectrumSettings(rig.settings);
    ASSERT_TRUE(rig.start());
    EXPECT_EQ(rig.session.fftRing()->capacity() % (2048 * 4), 0u);
    ASSERT_TRUE(waitFor([&] { return rig.output.lastFrame().trace.size() == 2048; }));
}

TEST(AcquisitionSession, FeedsTheDemodulatorOnlyWhileItIsOn)
{
    Rig rig;
    ASSERT_TRUE(rig.start());
    ASSERT_TRUE(waitFor([&] { return rig.output.frameCount() > 2; }));
    EXPECT_EQ(rig.session.demodRing()->totalWritten(), 0u);

    DemodParams params = rig.session.demod().getParams();
    params.enabled = true;
    rig.session.demod().setParams(params);
    ASSERT_TRUE(waitFor([&] { return rig.session.demod().blocksProcessed() > 5; }));

    // Off: once a block that was already on its way has landed, nothing more arrives.
    params.enabled = false;
    rig.session.demod().setParams(params);
    const auto framesLater = [&rig](std::size_t more) {
        const std::size_t frames = rig.output.frameCount();
        return waitFor([&] { return rig.output.frameCount() > frames + more; });
    };
    ASSERT_TRUE(framesLater(2));
    rig.session.clearDemodRing();
    EXPECT_EQ(rig.session.demodRing()->available(), 0u);
    const uint64_t written = rig.session.demodRing()->totalWritten();
    ASSERT_TRUE(framesLater(5));
    EXPECT_EQ(rig.session.demodRing()->totalWritten(), written);
}

TEST(AcquisitionSession, AReceiverThatDoesNotStartLeavesNoRun)
{
    Rig rig;
    rig.script->startResult = false;
    EXPECT_FALSE(rig.start());
    EXPECT_FALSE(rig.session.running());
    EXPECT_EQ(rig.session.fftRing(), nullptr);
    EXPECT_EQ(rig.session.demodRing(), nullptr);
    // Nothing to stop.
    rig.session.stop();
    EXPECT_EQ(rig.calls("stopStreaming"), 0);

    rig.script->startResult = true;
    EXPECT_TRUE(rig.start());
    EXPECT_TRUE(rig.start());
    EXPECT_EQ(rig.calls("startStreaming"), 2);
}
