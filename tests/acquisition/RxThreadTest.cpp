#include "acquisition/DemodRing.h"
#include "acquisition/FftRing.h"
#include "acquisition/IqSample.h"
#include "acquisition/IDevice.h"
#include "acquisition/IqTap.h"
#include "acquisition/RxThread.h"
#include "tests/support/EventWait.h"
#include "tests/support/InertDevice.h"
#include "platform/ThreadPriority.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// A receiver whose reads are scripted by the test; all other operations do nothing.
class ScriptedDevice : public InertDevice {
public:
    // Called with the 1-based read number; returns whether the read delivered.
    std::function<bool(int, uint8_t*, uint32_t)> onRead;
    // What the receiver says it lost, asked once per report; nothing when unset.
    std::function<ReceiverLoss()> onTakeLoss;
    std::atomic<int> reads{0};

    bool readSamples(uint8_t* buffer, uint32_t length) override { return onRead(++reads, buffer, length); }
    ReceiverLoss takeLoss() override { return onTakeLoss ? onTakeLoss() : ReceiverLoss{}; }
};

// Everything the thread reported, plus a clock that moves one second per reading so that
// every successful read closes a report period. The priority is granted unless the test says
// otherwise, whoever runs it.
struct Recorder {
    std::mutex mutex;
    std::vector<std::string> lines;
    std::vector<double> usage;
    std::vector<RxStatus> reports;
    std::vector<std::string> triggers;
    std::atomic<uint64_t> demodPairs{0};
    std::atomic<int64_t> clock{0};
    std::atomic<bool> demodOn{false};
    std::atomic<int> priorityError{0};
    std::atomic<int> priorityRaises{0};
    std::atomic<int> priorityLowerings{0};
    // Share of a core the reader spends in each report period in turn; the last one holds on.
    std::vector<double> coreShares{0.0};
    // Only the reader looks at its CPU clock.
    int cpuLooks = 0;
    int64_t cpu = 0;
    std::thread::id raisedThread;

    RxCallbacks callbacks()
    {
        RxCallbacks c;
        c.demodEnabled = [this] { return demodOn.load(); };
        c.demodInput = [this](uint64_t pairs) { demodPairs += pairs; };
        c.log = [this](const std::string& line) {
            std::lock_guard lock(mutex);
            lines.push_back(line);
        };
        c.report = [this](const RxStatus& status) {
            std::lock_guard lock(mutex);
            usage.push_back(status.fftFillPct());
            reports.push_back(status);
        };
        c.overloadTrigger = [this](const std::string& text) {
            std::lock_guard lock(mutex);
            triggers.push_back(text);
        };
        c.nowNs = [this] { return clock.fetch_add(1'000'000'000); };
        c.raisePriority = [this] {
            std::lock_guard lock(mutex);
            ++priorityRaises;
            raisedThread = std::this_thread::get_id();
            return priorityError.load();
        };
        c.lowerPriority = [this] {
            ++priorityLowerings;
            return 0;
        };
        c.threadCpuNs = [this] {
            // The first look starts the first period; each later one ends a period of a second.
            if (cpuLooks > 0) {
                const auto period = std::min<std::size_t>(static_cast<std::size_t>(cpuLooks - 1), coreShares.size() - 1);
                cpu += static_cast<int64_t>(coreShares[period] * 1e9);
            }
            ++cpuLooks;
            return cpu;
        };
        return c;
    }
};

constexpr uint32_t kBlock = 1 << 20;

// A device script that delivers every read and stops the run at the `last`-th.
std::function<bool(int, uint8_t*, uint32_t)> deliverUntil(int last, std::atomic<bool>& running)
{
    return [last, &running](int n, uint8_t*, uint32_t) {
        if (n == last)
            running = false;
        return true;
    };
}

// Runs the thread until the device's script clears the running flag.
void runToEnd(std::atomic<bool>& running, const RxSources& sources, Recorder& recorder)
{
    RxThread thread(running, sources, recorder.callbacks());
    thread.start();
    thread.join();
}

TEST(RxThreadFailures, ReportsGoOnAndTheFftRingIsClearedAfterTwentyFailures)
{
    std::atomic<bool> running{true};
    FftRing ring(16 * 1024);
    const std::vector<uint8_t> stale(1000, 1);
    ring.write(stale.data(), stale.size());

    std::vector<std::size_t> seen(40, 0);
    ScriptedDevice device;
    device.onRead = [&](int n, uint8_t*, uint32_t) {
        seen[n] = ring.available();
        if (n == 30)
            running = false;
        return false;
    };
    Recorder recorder;
    std::atomic<uint64_t> lost{0};
    runToEnd(running, {&device, &ring, nullptr, 4096, &lost}, recorder);

    EXPECT_EQ(seen[20], stale.size()) << "cleared too early";
    EXPECT_EQ(seen[21], 0u) << "not cleared after the twentieth failure";
    EXPECT_EQ(device.reads, 30);
    // A receiver that delivers nothing is reported every period, not taken for a quiet one (the
    // thirtieth read stops the run before its report).
    ASSERT_EQ(recorder.lines.size(), 58u);
    EXPECT_EQ(recorder.lines[0], "RX 0.00 MB/s, timeouts=1, fftDrop=0, demodOvf=0");
    EXPECT_EQ(recorder.lines[56], "RX 0.00 MB/s, timeouts=1, fftDrop=0, demodOvf=0");
    EXPECT_EQ(recorder.usage.size(), 29u);
}

TEST(RxThreadFailures, TimeoutsAreReportedWhileReadsFailAndThroughputWhenTheyRecover)
{
    std::atomic<bool> running{true};
    FftRing ring(8 * kBlock);
    ScriptedDevice device;
    device.onRead = [&](int n, uint8_t*, uint32_t) {
        if (n == 5)
            running = false;
        return n > 3;
    };
    Recorder recorder;
    std::atomic<uint64_t> lost{0};
    runToEnd(running, {&device, &ring, nullptr, kBlock, &lost}, recorder);

    ASSERT_EQ(recorder.lines.size(), 10u);
    for (int failure = 0; failure < 3; ++failure) {
        EXPECT_EQ(recorder.lines[2 * failure], "RX 0.00 MB/s, timeouts=1, fftDrop=0, demodOvf=0");
        EXPECT_EQ(recorder.lines[2 * failure + 1], "  FFT ring=0/8388608, Demod ring=0/0");
    }
    EXPECT_EQ(recorder.lines[6], "RX 1.00 MB/s, timeouts=0, fftDrop=0, demodOvf=0");
    EXPECT_EQ(recorder.lines[7], "  FFT ring=1048576/8388608, Demod ring=0/0");
    EXPECT_EQ(recorder.lines[8], "RX 1.00 MB/s, timeouts=0, fftDrop=0, demodOvf=0");
    EXPECT_EQ(recorder.lines[9], "  FFT ring=2097152/8388608, Demod ring=0/0");
    ASSERT_EQ(recorder.usage.size(), 5u);
    EXPECT_DOUBLE_EQ(recorder.usage[4], 25.0);
    // The figures of the lines, as numbers.
    ASSERT_EQ(recorder.reports.size(), 5u);
    EXPECT_EQ(recorder.reports[0].timeouts, 1u);
    EXPECT_DOUBLE_EQ(recorder.reports[0].megabytesPerSecond, 0.0);
    EXPECT_EQ(recorder.reports[3].timeouts, 0u);
    EXPECT_DOUBLE_EQ(recorder.reports[3].megabytesPerSecond, 1.0);
    EXPECT_EQ(recorder.reports[4].fftUsed, 2097152u);
    EXPECT_EQ(recorder.reports[4].fftCapacity, 8388608u);
    EXPECT_EQ(recorder.reports[4].demodCapacity, 0u);
    EXPECT_DOUBLE_EQ(recorder.reports[4].demodFillPct(), 0.0);
}

TEST(RxThreadFailures, TheReceiversOwnLossesFollowTheReportThatSawThem)
{
    std::atomic<bool> running{true};
    FftRing ring(8 * kBlock);
    ScriptedDevice device;
    device.onRead = deliverUntil(3, running);
    int asked = 0;
    device.onTakeLoss = [&asked] {
        ++asked;
        return asked == 2 ? ReceiverLoss{3, 49152} : ReceiverLoss{};
    };
    Recorder recorder;
    std::atomic<uint64_t> lost{0};
    runToEnd(running, {&device, &ring, nullptr, kBlock, &lost}, recorder);

    // A receiver that lost nothing adds no line, as the RZ640 never does.
    ASSERT_EQ(recorder.lines.size(), 7u);
    EXPECT_EQ(recorder.lines[0], "RX 1.00 MB/s, timeouts=0, fftDrop=0, demodOvf=0");
    EXPECT_EQ(recorder.lines[3], "  FFT ring=2097152/8388608, Demod ring=0/0");
    EXPECT_EQ(recorder.lines[4], "  Receiver overflows=3, lost samples=49152");
    EXPECT_EQ(recorder.lines[5], "RX 1.00 MB/s, timeouts=0, fftDrop=0, demodOvf=0");
    ASSERT_EQ(recorder.reports.size(), 3u);
    EXPECT_EQ(recorder.reports[1].receiverOverflows, 3u);
    EXPECT_EQ(recorder.reports[1].receiverLostSamples, 49152u);
    EXPECT_EQ(recorder.reports[2].receiverOverflows, 0u);
}

TEST(RxThreadFailures, ExitsPromptlyWhenStoppedDuringBlockingReads)
{
    std::atomic<bool> running{true};
    FftRing ring(1 << 16);
    ScriptedDevice device;
    device.onRead = [](int n, uint8_t*, uint32_t) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return n % 2 == 0;
    };
    RxThread thread(running, {&device, &ring, nullptr, 4096, nullptr}, RxCallbacks{});
    thread.start();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kEventWaitMs);
    while (device.reads <= 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const int readsAtStop = device.reads;
    running = false;
    thread.join();
    ASSERT_GT(readsAtStop, 2);
    // At most the read it was at when the flag went down, and none after it, however busy the
    // machine.
    EXPECT_LE(device.reads, readsAtStop + 1);
}

TEST(RxThreadRings, FullFftRingKeepsWhatFitsAndCountsTheRest)
{
    std::atomic<bool> running{true};
    FftRing ring(2 * kBlock + kBlock / 2 + 1);
    ScriptedDevice device;
    device.onRead = deliverUntil(4, running);
    Recorder recorder;
    std::atomic<uint64_t> lost{0};
    runToEnd(running, {&device, &ring, nullptr, kBlock, &lost}, recorder);

    EXPECT_EQ(ring.available(), 2 * kBlock + kBlock / 2);
    EXPECT_EQ(lost, kBlock / 2 + kBlock);
    ASSERT_EQ(recorder.lines.size(), 8u);
    EXPECT_EQ(recorder.lines[4], "RX 0.50 MB/s, timeouts=0, fftDrop=1, demodOvf=0");
    EXPECT_EQ(recorder.lines[6], "RX 0.00 MB/s, timeouts=0, fftDrop=1, demodOvf=0");
}

// What the RX thread hands a recorder, kept in order. Runs are the session's business.
struct TapProbe : IqTap {
    std::vector<uint8_t> bytes;
    std::vector<uint64_t> losses;

    void runStarted(const IqTapRun&) override {}
    void runStopped() override {}
    void delivered(const uint8_t* iq, std::size_t length) override { bytes.insert(bytes.end(), iq, iq + length); }
    void lost(uint64_t samples) override { losses.push_back(samples); }
};

TEST(RxThreadTap, TheTapGetsEveryBlockAsReadAndTheReceiversLosses)
{
    std::atomic<bool> running{true};
    // Room for one block only: the tap takes what the receiver delivered, not what the ring kept.
    FftRing ring(kBlock + 1);
    ScriptedDevice device;
    device.onRead = [&running](int n, uint8_t* buffer, uint32_t length) {
        std::fill(buffer, buffer + length, static_cast<uint8_t>(n));
        if (n == 3)
            running = false;
        return true;
    };
    int asked = 0;
    device.onTakeLoss = [&asked] { return ++asked == 2 ? ReceiverLoss{1, 49152} : ReceiverLoss{}; };
    Recorder recorder;
    TapProbe tap;
    RxSources sources{&device, &ring, nullptr, kBlock, nullptr};
    sources.tap = &tap;
    runToEnd(running, sources, recorder);

    ASSERT_EQ(tap.bytes.size(), 3u * kBlock);
    for (uint32_t block = 0; block < 3; ++block)
        EXPECT_TRUE(std::all_of(tap.bytes.begin() + block * kBlock, tap.bytes.begin() + (block + 1) * kBlock,
                                [block](uint8_t b) { return b == block + 1; }))
            << "block " << block;
    EXPECT_EQ(tap.losses, std::vector<uint64_t>{49152});
}

// Six bytes left: one whole sample goes in, and the spectrum thread keeps reading I and Q in
// their places.
TEST(RxThreadRings, FullFftRingKeepsWholeSamplesOnly)
{
    std::atomic<bool> running{true};
    FftRing ring(2 * kBlock + 7);
    ScriptedDevice device;
    device.onRead = [&](int n, uint8_t* buffer, uint32_t bytes) {
        for (uint32_t k = 0; k < bytes; ++k)
            buffer[k] = static_cast<uint8_t>(k % kIqSampleBytes);
        if (n == 3)
            running = false;
        return true;
    };
    Recorder recorder;
    std::atomic<uint64_t> lost{0};
    runToEnd(running, {&device, &ring, nullptr, kBlock, &lost}, recorder);

    EXPECT_EQ(ring.available(), 2 * kBlock + kIqSampleBytes);
    EXPECT_EQ(lost, kBlock - kIqSampleBytes);
    EXPECT_EQ(ring.space(), 2u);
    std::vector<uint8_t> out(ring.available());
    ASSERT_EQ(ring.read(out.data(), out.size()), out.size());
    for (std::size_t k = 0; k < out.size(); ++k)
        ASSERT_EQ(out[k], k % kIqSampleBytes) << "byte " << k;
}

TEST(RxThreadRings, DemodRingIsLeftAloneWhileDemodulationIsOff)
{
    std::atomic<bool> running{true};
    FftRing ring(8 * kBlock);
    DemodRing demod(2 * kBlock + 1);
    ScriptedDevice device;
    Recorder recorder;
    device.onRead = [&](int n, uint8_t*, uint32_t) {
        recorder.demodOn = n >= 3;
        if (n == 5)
            running = false;
        return true;
    };
    std::atomic<uint64_t> lost{0};
    runToEnd(running, {&device, &ring, &demod, kBlock, &lost}, recorder);

    // Reads 1 and 2 went to the FFT ring only; 3 and 4 filled the demod ring; 5 was refused.
    EXPECT_EQ(demod.totalWritten(), 2u * kBlock);
    EXPECT_EQ(recorder.demodPairs, 2u * kBlock / 4);
    EXPECT_EQ(demod.overflowCount(), 1u);
    ASSERT_EQ(recorder.lines.size(), 10u);
    EXPECT_EQ(recorder.lines[1], "  FFT ring=1048576/8388608, Demod ring=0/2097153");
    EXPECT_EQ(recorder.lines[2], "RX 1.00 MB/s, timeouts=0, fftDrop=0, demodOvf=0");
    EXPECT_EQ(recorder.lines[8], "RX 1.00 MB/s, timeouts=0, fftDrop=0, demodOvf=1");
}

// The scheduling policy and priority of the calling thread.
std::pair<int, int> currentScheduling()
{
    int policy = 0;
    sched_param param{};
    pthread_getschedparam(pthread_self(), &policy, &param);
    return {policy, param.sched_priority};
}

TEST(RxThreadPriority, ARefusalIsSaidOnceOnTheRxThreadAndReadingGoesOn)
{
    std::atomic<bool> running{true};
    FftRing ring(8 * kBlock);
    ScriptedDevice device;
    std::thread::id reader;
    device.onRead = [&](int n, uint8_t*, uint32_t) {
        reader = std::this_thread::get_id();
        if (n == 4)
            running = false;
        return true;
    };
    Recorder recorder;
    recorder.priorityError = EPERM;
    runToEnd(running, {&device, &ring, nullptr, kBlock, nullptr}, recorder);

    EXPECT_EQ(recorder.priorityRaises, 1);
    EXPECT_EQ(recorder.raisedThread, reader) << "raised another thread than the reader";
    ASSERT_EQ(recorder.lines.size(), 9u);
    EXPECT_EQ(recorder.lines[0], "[RxThread] WARNING: Failed to set thread priority (error=" + std::to_string(EPERM) + ")");
    EXPECT_EQ(std::count_if(recorder.lines.begin(), recorder.lines.end(),
                            [](const std::string& line) { return line.find("priority") != std::string::npos; }),
              1);
    EXPECT_EQ(recorder.lines[7], "RX 1.00 MB/s, timeouts=0, fftDrop=0, demodOvf=0");
    EXPECT_EQ(ring.available(), 4 * kBlock);
}

TEST(RxThreadPriority, AGrantedRaiseIsNotReported)
{
    std::atomic<bool> running{true};
    FftRing ring(8 * kBlock);
    ScriptedDevice device;
    device.onRead = deliverUntil(2, running);
    Recorder recorder;
    runToEnd(running, {&device, &ring, nullptr, kBlock, nullptr}, recorder);

    EXPECT_EQ(recorder.priorityRaises, 1);
    ASSERT_EQ(recorder.lines.size(), 4u);
    EXPECT_EQ(recorder.lines[0], "RX 1.00 MB/s, timeouts=0, fftDrop=0, demodOvf=0");
}

TEST(RxThreadPriority, AReaderThatKeepsTakingMostOfACoreStepsDownOnceAndReadsOn)
{
    struct Case {
        std::vector<double> coreShares;
        int raiseError;
        int lowerings;
    };
    const std::vector<Case> cases = {
        {{0.9, 0.9, 0.9, 0.9, 0.9, 0.9}, 0, 1},
        {{0.5, 0.5, 0.5, 0.5}, 0, 0},
        {{0.9, 0.9, 0.9, 0.9}, EPERM, 0},
        // Bursts such as a simulated receiver's first pass through its scene: two periods of
        // most of a core, then little, again and again.
        {{0.9, 0.9, 0.3, 0.9, 0.9, 0.3, 0.9, 0.9}, 0, 0},
    };
    for (const Case& c : cases) {
        std::atomic<bool> running{true};
        FftRing ring(16 * kBlock);
        ScriptedDevice device;
        const int reads = static_cast<int>(c.coreShares.size());
        device.onRead = deliverUntil(reads, running);
        Recorder recorder;
        recorder.priorityError = c.raiseError;
        recorder.coreShares = c.coreShares;
        runToEnd(running, {&device, &ring, nullptr, kBlock, nullptr}, recorder);

        const std::string shares = ::testing::PrintToString(c.coreShares);
        EXPECT_EQ(recorder.priorityLowerings, c.lowerings) << shares << " " << c.raiseError;
        const auto steppedDown = std::count(recorder.lines.begin(), recorder.lines.end(),
                                            "[RxThread] WARNING: Reading took 90% of a core, back to normal priority (error=0)");
        EXPECT_EQ(steppedDown, c.lowerings) << shares << " " << c.raiseError;
        EXPECT_EQ(ring.available(), static_cast<std::size_t>(reads) * kBlock);
    }
}

// With the system's own answer: where real-time scheduling is granted the reader runs above
// every normal thread and below the demodulation thread; where it is refused, it says so and
// keeps its normal scheduling.
TEST(RxThreadPriority, TheReaderRunsBelowTheDemodulationThread)
{
    std::pair<int, int> timeCritical;
    int timeCriticalError = 0;
    std::thread([&] {
        timeCriticalError = raiseThreadToTimeCritical();
        timeCritical = currentScheduling();
    }).join();

    std::atomic<bool> running{true};
    std::pair<int, int> reader;
    ScriptedDevice device;
    device.onRead = [&](int, uint8_t*, uint32_t) {
        reader = currentScheduling();
        running = false;
        return false;
    };
    std::mutex mutex;
    std::vector<std::string> lines;
    RxCallbacks callbacks;
    callbacks.log = [&](const std::string& line) {
        std::lock_guard lock(mutex);
        lines.push_back(line);
    };
    RxThread thread(running, {&device, nullptr, nullptr, 4096, nullptr}, callbacks);
    thread.start();
    thread.join();

    if (reader.first == SCHED_FIFO) {
        EXPECT_TRUE(lines.empty()) << lines.front();
        EXPECT_GE(reader.second, sched_get_priority_min(SCHED_FIFO));
        if (timeCriticalError == 0) {
            ASSERT_EQ(timeCritical.first, SCHED_FIFO);
            EXPECT_LT(reader.second, timeCritical.second);
        }
    } else {
        EXPECT_EQ(reader.first, SCHED_OTHER);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0], "[RxThread] WARNING: Failed to set thread priority (error=" + std::to_string(EPERM) + ")");
    }
}

TEST(RxThreadOverload, ThreeHighFillReportsMakeOneTrigger)
{
    std::atomic<bool> running{true};
    FftRing ring(4 * kBlock + 1);
    ScriptedDevice device;
    device.onRead = deliverUntil(12, running);
    Recorder recorder;
    runToEnd(running, {&device, &ring, nullptr, kBlock, nullptr}, recorder);

    // Full from the fourth read on: triggers after reads 6, 9 and 12.
    EXPECT_EQ(recorder.triggers, (std::vector<std::string>(3, "ring=4194304/4194305")));
}

TEST(RxThreadOverload, AReportBelowTheMarkRestartsTheCount)
{
    std::atomic<bool> running{true};
    FftRing ring(4 * kBlock + 1);
    std::vector<uint8_t> sink(4 * kBlock);
    ScriptedDevice device;
    device.onRead = [&](int n, uint8_t*, uint32_t) {
        // Read 8 finds the ring drained: its report shows one block, and the count starts over.
        if (n == 8)
            ring.read(sink.data(), sink.size());
        if (n == 12)
            running = false;
        return true;
    };
    Recorder recorder;
    runToEnd(running, {&device, &ring, nullptr, kBlock, nullptr}, recorder);

    EXPECT_EQ(recorder.triggers, std::vector<std::string>{"ring=4194304/4194305"});
    ASSERT_EQ(recorder.usage.size(), 12u);
    EXPECT_DOUBLE_EQ(recorder.usage[7], 1048576 * 100.0 / 4194305);
}

} // namespace
