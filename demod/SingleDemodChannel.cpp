#include "demod/SingleDemodChannel.h"

#include "acquisition/DemodRing.h"
#include "acquisition/IqSample.h"
#include "platform/MonotonicClock.h"
#include "platform/ThreadName.h"
#include "platform/ThreadPriority.h"

#include <algorithm>
#include <chrono>
#include <system_error>

namespace {

// What the construction line reports: the staging buffer of a producer other than the ring.
// Nothing in the analyser writes one, so it is not allocated.
constexpr size_t kStagingPairs = 1048576;
constexpr int64_t kTimingReportNs = 2'000'000'000;

} // namespace

size_t SingleDemodChannel::readableBytes(size_t available)
{
    if (available < kMinReadBytes)
        return 0;
    return std::min(available, kMaxReadBytes) / kIqSampleBytes * kIqSampleBytes;
}

SingleDemodChannel::SingleDemodChannel(const DemodParams& params, DemodDiagnostics& diagnostics)
    : m_diag(diagnostics)
    , m_pending(params)
    , m_active(params)
    , m_processor(params, diagnostics)
    , m_block(kMaxReadBytes / sizeof(int16_t))
{
    m_diag.print("[SingleDemodChannel] Created with IQ buffer: %zu pairs (%.1f MB)\n", kStagingPairs,
                 static_cast<double>(kStagingPairs * kIqSampleBytes) / (1024.0 * 1024.0));
    m_running = true;
    m_thread = std::thread(&SingleDemodChannel::run, this);
    m_diag.print("[SingleDemodChannel] Demod thread started\n");
}

SingleDemodChannel::~SingleDemodChannel()
{
    stop();
}

void SingleDemodChannel::stop()
{
    if (!m_thread.joinable())
        return;
    if (std::this_thread::get_id() == m_thread.get_id())
        throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur));
    {
        const std::lock_guard lock(m_idleMutex);
        m_running = false;
    }
    m_idle.notify_all();
    m_thread.join();
    m_diag.print("[SingleDemodChannel] Demod thread stopped\n");
}

void SingleDemodChannel::setParams(const DemodParams& params)
{
    m_processor.setEnabled(params.enabled);
    {
        const std::lock_guard lock(m_paramsMutex);
        m_pending = params;
        m_pending.squelchCloseDb = std::min(params.squelchOpenDb, params.squelchCloseDb);
    }
    m_paramsDirty = true;
}

DemodParams SingleDemodChannel::getParams() const
{
    const std::lock_guard lock(m_paramsMutex);
    return m_pending;
}

void SingleDemodChannel::setIqSource(DemodRing* ring, uint32_t rateHz, uint64_t centerHz)
{
    {
        const std::lock_guard lock(m_sourceMutex);
        m_ring = ring;
        m_sourceRateHz = rateHz;
        m_sourceCenterHz = centerHz;
    }
    m_diag.print("[SingleDemodChannel] IQ source set: ring=%p, rate=%u Hz, center=%llu Hz\n", static_cast<void*>(ring),
                 rateHz, static_cast<unsigned long long>(centerHz));
}

void SingleDemodChannel::setSourceRate(uint32_t rateHz)
{
    const std::lock_guard lock(m_sourceMutex);
    m_sourceRateHz = rateHz;
}

void SingleDemodChannel::setSourceCenter(uint64_t centerHz)
{
    const std::lock_guard lock(m_sourceMutex);
    m_sourceCenterHz = centerHz;
}

void SingleDemodChannel::reset()
{
    m_resetsRequested.fetch_add(1);
}

void SingleDemodChannel::applyPendingReset()
{
    const uint64_t requested = m_resetsRequested.load();
    if (requested == m_resetsApplied)
        return;
    m_processor.reset();
    m_resetsApplied = requested;
}

void SingleDemodChannel::applyPendingParams()
{
    if (!m_paramsDirty.exchange(false))
        return;
    {
        const std::lock_guard lock(m_paramsMutex);
        m_active = m_pending;
    }
    m_processor.applyParams(m_active);
}

void SingleDemodChannel::processIqBlock(const int16_t* iq, size_t pairs, uint32_t inputRateHz, uint64_t centerHz)
{
    m_processor.processIqBlock(iq, pairs, inputRateHz, static_cast<double>(centerHz), monotonicNowNs());
}

void SingleDemodChannel::dropBacklog()
{
    const std::lock_guard lock(m_sourceMutex);
    if (m_ring != nullptr)
        m_ring->discard(m_ring->available() / kIqSampleBytes * kIqSampleBytes);
}

void SingleDemodChannel::sleepWhileRunning(int milliseconds)
{
    std::unique_lock lock(m_idleMutex);
    m_idle.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return !m_running.load(); });
}

void SingleDemodChannel::run()
{
    nameCurrentThread("rtsa-demod");
    if (const int error = raiseThreadToTimeCritical(); error == 0)
        m_diag.print("[SingleDemodChannel] Thread priority set to TIME_CRITICAL\n");
    else
        m_diag.print("[SingleDemodChannel] WARNING: Failed to set thread priority (error=%lu)\n",
                     static_cast<unsigned long>(error));
    m_diag.print("[SingleDemodChannel] Demod thread running\n");
    m_timing.clear();
    int64_t lastTimingReport = monotonicNowNs();
    auto* bytes = reinterpret_cast<uint8_t*>(m_block.data());

    while (m_running.load()) {
        applyPendingReset();
        applyPendingParams();
        if (!m_processor.enabled()) {
            sleepWhileRunning(2);
            continue;
        }

        size_t got = 0;
        uint32_t rateHz = 0;
        uint64_t centerHz = 0;
        bool attached = false;
        {
            const std::lock_guard lock(m_sourceMutex);
            if (m_ring != nullptr) {
                attached = true;
                rateHz = m_sourceRateHz;
                centerHz = m_sourceCenterHz;
                const size_t wanted = rateHz != 0 ? readableBytes(m_ring->available()) : 0;
                if (wanted > 0)
                    got = m_ring->read(bytes, wanted) / kIqSampleBytes * kIqSampleBytes;
            }
        }
        if (!attached) {
            sleepWhileRunning(2);
            continue;
        }
        if (got == 0) {
            sleepWhileRunning(1);
            continue;
        }

        // A reset asked for before this block was read applies to it.
        applyPendingReset();
        const int64_t start = monotonicNowNs();
        processIqBlock(m_block.data(), got / kIqSampleBytes, rateHz, centerHz);
        if (m_processor.takeRealigned())
            dropBacklog();
        const int64_t end = monotonicNowNs();
        m_resetsBeforeLastBlock.store(m_resetsApplied, std::memory_order_relaxed);
        m_blocks.fetch_add(1, std::memory_order_release);

        m_timing.push(static_cast<double>(end - start) * 1e-3);
        if (end - lastTimingReport >= kTimingReportNs) {
            const BlockTimingWindow::Summary t = m_timing.summarise();
            m_diag.print("[processIqBlock] avg=%.1f us, P99=%.1f us, max=%.1f us (n=%llu)\n", t.avgUs, t.p99Us, t.maxUs,
                         static_cast<unsigned long long>(t.blocks));
            lastTimingReport = end;
        }
    }
    m_diag.print("[SingleDemodChannel] Demod thread exiting\n");
}
