#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

class IDevice;
class FftRing;
class DemodRing;
class IqTap;

// What the RX thread reads from and writes into for one acquisition run. The owner keeps all
// of it alive until the thread has been joined.
struct RxSources {
    IDevice* device = nullptr;
    FftRing* fftRing = nullptr;
    DemodRing* demodRing = nullptr;
    uint32_t readBlockBytes = 0;
    // Bytes the FFT ring could not take; the spectrum thread turns them into dropped frames.
    std::atomic<uint64_t>* fftRingLostBytes = nullptr;
    // Optional: gets every block as read and the receiver's losses (a recorder).
    IqTap* tap = nullptr;
};

// One report period of the RX thread: throughput into the FFT ring, what was lost, and how full
// both rings were at its end.
struct RxStatus {
    double megabytesPerSecond = 0.0;
    uint64_t timeouts = 0;
    uint64_t fftDrops = 0;
    uint64_t demodOverflows = 0;
    // What the receiver lost before the samples reached the thread (IDevice::takeLoss).
    uint64_t receiverOverflows = 0;
    uint64_t receiverLostSamples = 0;
    uint64_t fftUsed = 0;
    uint64_t fftCapacity = 0;
    uint64_t demodUsed = 0;
    uint64_t demodCapacity = 0;

    double fftFillPct() const { return percentOf(fftUsed, fftCapacity); }
    double demodFillPct() const { return percentOf(demodUsed, demodCapacity); }

private:
    static double percentOf(uint64_t used, uint64_t capacity)
    {
        return capacity != 0 ? static_cast<double>(used) * 100.0 / static_cast<double>(capacity) : 0.0;
    }
};

// How the RX thread reaches the rest of the system. Every callback runs on the RX thread.
struct RxCallbacks {
    std::function<bool()> demodEnabled;
    // IQ pairs the demod ring accepted.
    std::function<void(uint64_t)> demodInput;
    std::function<void(const std::string&)> log;
    // Once per report period, after its lines.
    std::function<void(const RxStatus&)> report;
    // "ring=used/capacity" after three reports in a row with the FFT ring at 95 % or more.
    std::function<void(const std::string&)> overloadTrigger;
    // Monotonic nanoseconds; steady clock when empty.
    std::function<int64_t()> nowNs;
    // Raises the calling thread's priority and returns 0 or the system's error code; the
    // platform's acquisition priority when empty.
    std::function<int()> raisePriority;
    // Puts the calling thread back to normal scheduling; the platform's when empty.
    std::function<int()> lowerPriority;
    // CPU time the calling thread has used, in nanoseconds; the platform's clock when empty.
    std::function<int64_t()> threadCpuNs;
};

// The only reader of the receiver: pulls blocks into the FFT ring and, while demodulation is
// on, into the demod ring, and reports throughput once per second. Runs until the shared
// running flag is cleared, at a real-time priority below the demodulation thread's where the
// system grants it. A reader that keeps spending most of a core (a receiver simulated slower
// than real time never lets it wait) would hold that core from every normal thread, the
// window's too: it goes back to normal scheduling for the rest of the run. A burst does not
// count: stepped down for one, the reader would wait behind every normal thread for hours.
class RxThread {
public:
    // Consecutive failed reads after which the FFT ring is emptied of stale samples.
    static constexpr uint32_t kFailuresBeforeRingReset = 20;
    static constexpr int kHighFillPercent = 95;
    static constexpr int kHighFillReportsForTrigger = 3;
    // Share of a core above which a raised reader steps down once it has held it for
    // kHoggingPeriods report periods in a row. A simulated receiver's first pass through its
    // scene takes most of a core for a second or two at the top rate, then little.
    static constexpr double kMaxRaisedCoreShare = 0.8;
    static constexpr int kHoggingPeriods = 3;

    RxThread(const std::atomic<bool>& running, RxSources sources, RxCallbacks callbacks);
    // Joins; the owner clears the running flag first.
    ~RxThread();

    RxThread(const RxThread&) = delete;
    RxThread& operator=(const RxThread&) = delete;

    // Starts the thread unless it is already running.
    void start();
    // Throws std::system_error when called from the RX thread itself.
    void join();

private:
    void run();
    // Reports and starts a new period once a second has passed since the last report.
    void reportIfDue();
    void report(int64_t now);
    void stepDownIfHoggingACore(int64_t now);

    const std::atomic<bool>& m_running;
    RxSources m_sources;
    RxCallbacks m_callbacks;

    // Owned by the thread while it runs.
    int64_t m_periodStart = 0;
    uint64_t m_periodBytes = 0;
    uint64_t m_periodTimeouts = 0;
    uint64_t m_periodFftDrops = 0;
    uint64_t m_periodDemodOverflows = 0;
    int m_highFillCount = 0;
    int64_t m_periodCpuStart = 0;
    int m_hoggingPeriods = 0;
    bool m_raised = false;

    std::thread m_thread;
};
