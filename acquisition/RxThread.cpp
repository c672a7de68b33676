#include "acquisition/RxThread.h"

#include "acquisition/DemodRing.h"
#include "acquisition/FftRing.h"
#include "acquisition/IDevice.h"
#include "acquisition/IqSample.h"
#include "acquisition/IqTap.h"
#include "platform/MonotonicClock.h"
#include "platform/ThreadName.h"
#include "platform/ThreadPriority.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

namespace {

constexpr int64_t kReportPeriodNs = 1'000'000'000;
constexpr auto kFailureSleep = std::chrono::milliseconds(2);

template <typename... Args>
std::string format(const char* pattern, Args... args)
{
    char text[160];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

} // namespace

RxThread::RxThread(const std::atomic<bool>& running, RxSources sources, RxCallbacks callbacks)
    : m_running(running), m_sources(sources), m_callbacks(std::move(callbacks))
{
    if (!m_callbacks.nowNs)
        m_callbacks.nowNs = monotonicNowNs;
    if (!m_callbacks.raisePriority)
        m_callbacks.raisePriority = raiseThreadToAcquisition;
    if (!m_callbacks.lowerPriority)
        m_callbacks.lowerPriority = lowerThreadToNormal;
    if (!m_callbacks.threadCpuNs)
        m_callbacks.threadCpuNs = threadCpuNowNs;
}

RxThread::~RxThread()
{
    if (m_thread.joinable())
        m_thread.join();
}

void RxThread::start()
{
    // One run per object: a second start would otherwise abandon a running thread.
    if (!m_thread.joinable())
        m_thread = std::thread([this] {
            nameCurrentThread("rtsa-rx");
            run();
        });
}

void RxThread::join()
{
    if (m_thread.joinable())
        m_thread.join();
}

void RxThread::run()
{
    // Refused for a user without the right to real-time scheduling: said once, and the thread
    // reads on at the priority it has.
    const int error = m_callbacks.raisePriority();
    m_raised = error == 0;
    if (!m_raised && m_callbacks.log)
        m_callbacks.log(format("[RxThread] WARNING: Failed to set thread priority (error=%lu)",
                               static_cast<unsigned long>(error)));
    const uint32_t blockBytes = m_sources.readBlockBytes;
    auto block = std::make_unique<uint8_t[]>(blockBytes);
    m_periodStart = m_callbacks.nowNs();
    m_periodCpuStart = m_callbacks.threadCpuNs();
    m_periodBytes = m_periodTimeouts = m_periodFftDrops = m_periodDemodOverflows = 0;
    m_highFillCount = 0;
    m_hoggingPeriods = 0;
    uint32_t consecutiveFailures = 0;

    while (m_running.load()) {
        IDevice* device = m_sources.device;
        if (device != nullptr && device->readSamples(block.get(), blockBytes)) {
            consecutiveFailures = 0;
            if (IqTap* tap = m_sources.tap)
                tap->delivered(block.get(), blockBytes);
            if (FftRing* ring = m_sources.fftRing) {
                // A full ring keeps what fits in whole samples: a torn one would pair every
                // later I and Q byte wrongly for the spectrum thread.
                const std::size_t space = ring->space();
                const std::size_t whole = std::min<std::size_t>(blockBytes, space - space % kIqSampleBytes);
                const std::size_t written = whole > 0 ? ring->write(block.get(), whole) : 0;
                m_periodBytes += written;
                if (written < blockBytes) {
                    ++m_periodFftDrops;
                    if (m_sources.fftRingLostBytes)
                        m_sources.fftRingLostBytes->fetch_add(blockBytes - written);
                }
            }
            DemodRing* demod = m_sources.demodRing;
            if (demod != nullptr && m_callbacks.demodEnabled && m_callbacks.demodEnabled()) {
                const std::size_t accepted = demod->write(block.get(), blockBytes);
                if (accepted > 0) {
                    if (m_callbacks.demodInput)
                        m_callbacks.demodInput(accepted / kIqSampleBytes);
                } else {
                    ++m_periodDemodOverflows;
                }
            }
            reportIfDue();
            continue;
        }

        // A failed read is a timeout. A long run of them leaves only stale samples behind,
        // which the spectrum thread should not keep analysing.
        if (++consecutiveFailures >= kFailuresBeforeRingReset && m_sources.fftRing) {
            m_sources.fftRing->reset();
            consecutiveFailures = 0;
        }
        if (!m_running.load())
            break;
        ++m_periodTimeouts;
        // A receiver that stopped delivering must not look like a quiet one: the report keeps
        // coming, with no throughput and the timeouts counted.
        reportIfDue();
        std::this_thread::sleep_for(kFailureSleep);
    }
}

void RxThread::reportIfDue()
{
    const int64_t now = m_callbacks.nowNs();
    if (now - m_periodStart < kReportPeriodNs)
        return;
    report(now);
    stepDownIfHoggingACore(now);
    m_periodBytes = m_periodTimeouts = m_periodFftDrops = m_periodDemodOverflows = 0;
    m_periodStart = now;
}

void RxThread::stepDownIfHoggingACore(int64_t now)
{
    const int64_t cpu = m_callbacks.threadCpuNs();
    const double share = static_cast<double>(cpu - m_periodCpuStart) / static_cast<double>(now - m_periodStart);
    m_periodCpuStart = cpu;
    m_hoggingPeriods = share > kMaxRaisedCoreShare ? m_hoggingPeriods + 1 : 0;
    if (!m_raised || m_hoggingPeriods < kHoggingPeriods)
        return;
    m_raised = false;
    const int error = m_callbacks.lowerPriority();
    if (m_callbacks.log)
        m_callbacks.log(format("[RxThread] WARNING: Reading took %.0f%% of a core, back to normal priority (error=%lu)",
                               share * 100.0, static_cast<unsigned long>(error)));
}

void RxThread::report(int64_t now)
{
    const FftRing* fft = m_sources.fftRing;
    const DemodRing* demod = m_sources.demodRing;
    RxStatus status;
    const int64_t elapsedMs = (now - m_periodStart) / 1'000'000;
    status.megabytesPerSecond =
        static_cast<double>(m_periodBytes) / 1048576.0 * 1000.0 / static_cast<double>(elapsedMs);
    status.timeouts = m_periodTimeouts;
    status.fftDrops = m_periodFftDrops;
    status.demodOverflows = m_periodDemodOverflows;
    if (m_sources.device != nullptr) {
        const ReceiverLoss loss = m_sources.device->takeLoss();
        status.receiverOverflows = loss.overflows;
        status.receiverLostSamples = loss.samples;
        if (m_sources.tap != nullptr && loss.samples != 0)
            m_sources.tap->lost(loss.samples);
    }
    status.fftUsed = fft ? fft->available() : 0;
    status.fftCapacity = fft ? fft->capacity() : 0;
    status.demodUsed = demod ? demod->available() : 0;
    status.demodCapacity = demod ? demod->capacity() : 0;
    const uint64_t fftUsed = status.fftUsed;
    const uint64_t fftCap = status.fftCapacity;

    if (m_callbacks.log) {
        m_callbacks.log(format("RX %.2f MB/s, timeouts=%llu, fftDrop=%llu, demodOvf=%llu", status.megabytesPerSecond,
                               static_cast<unsigned long long>(status.timeouts),
                               static_cast<unsigned long long>(status.fftDrops),
                               static_cast<unsigned long long>(status.demodOverflows)));
        m_callbacks.log(format("  FFT ring=%llu/%llu, Demod ring=%llu/%llu", static_cast<unsigned long long>(fftUsed),
                               static_cast<unsigned long long>(fftCap),
                               static_cast<unsigned long long>(status.demodUsed),
                               static_cast<unsigned long long>(status.demodCapacity)));
        // Only receivers that can tell (SoapySDR's) report their own losses.
        if (status.receiverOverflows != 0 || status.receiverLostSamples != 0)
            m_callbacks.log(format("  Receiver overflows=%llu, lost samples=%llu",
                                   static_cast<unsigned long long>(status.receiverOverflows),
                                   static_cast<unsigned long long>(status.receiverLostSamples)));
    }
    if (m_callbacks.report)
        m_callbacks.report(status);

    if (fftCap != 0 && fftUsed * 100 / fftCap >= kHighFillPercent) {
        if (++m_highFillCount >= kHighFillReportsForTrigger) {
            if (m_callbacks.overloadTrigger)
                m_callbacks.overloadTrigger(format("ring=%llu/%llu", static_cast<unsigned long long>(fftUsed),
                                                   static_cast<unsigned long long>(fftCap)));
            m_highFillCount = 0;
        }
    } else {
        m_highFillCount = 0;
    }
}
