#include "demod/DemodBlockProcessor.h"

#include "demod/AudioRate.h"
#include "platform/MonotonicClock.h"

#include <algorithm>
#include <cstdio>

namespace {

double microseconds(int64_t ns)
{
    return static_cast<double>(ns) * 1e-3;
}

} // namespace

DemodBlockProcessor::DemodBlockProcessor(const DemodParams& params, DemodDiagnostics& diagnostics)
    : m_diag(diagnostics)
    , m_chain(params, diagnostics)
    , m_leftSlot(m_bus.addSlot())
    , m_rightSlot(m_bus.addSlot())
    , m_enabled(params.enabled)
{
}

void DemodBlockProcessor::applyParams(const DemodParams& params)
{
    m_chain.applyParams(params);
}

void DemodBlockProcessor::reset()
{
    m_chain.reset();
    m_fillControl.reset();
    m_bus.clear();
}

void DemodBlockProcessor::setEnabled(bool enabled)
{
    const std::lock_guard lock(m_writeMutex);
    if (m_enabled.exchange(enabled) && !enabled)
        m_bus.clear();
}

void DemodBlockProcessor::setStatusCallback(StatusCallback callback)
{
    const std::lock_guard lock(m_callbackMutex);
    m_statusCallback = std::move(callback);
}

void DemodBlockProcessor::processIqBlock(const int16_t* iq, size_t pairs, double inputRateHz, double centerHz,
                                         int64_t nowNs)
{
    if (!m_enabled.load())
        return;
    if (!m_reportStarted) {
        m_reportStarted = true;
        m_lastReportNs = nowNs;
    }
    const int64_t start = monotonicNowNs();
    const size_t demodulated = m_chain.demodulate(iq, pairs, inputRateHz, centerHz);
    count(m_chain.counts(), inputRateHz);
    if (demodulated == 0) {
        ++m_stats.skipped;
        return;
    }

    const int64_t writeStart = monotonicNowNs();
    const double fill = m_bus.fill(m_leftSlot);
    const uint64_t request = m_bus.lastRequest(m_leftSlot);
    const size_t audio = m_chain.toAudio(static_cast<double>(nowNs) * 1e-9, m_fillControl.trim());
    m_stats.asrc += m_chain.counts().asrc;
    if (audio == 0) {
        ++m_stats.skipped;
        return;
    }
    m_fillControl.update(fill * static_cast<double>(kBusCapacity), request, audio);
    m_stats.produced += audio;
    m_stats.written += throttleOrWrite(audio, fill, request);
    const int64_t end = monotonicNowNs();
    m_stats.writePathMaxUs = std::max(m_stats.writePathMaxUs, microseconds(end - writeStart));
    m_stats.busyUs += microseconds(end - start);
    reportIfDue(nowNs, fill);
}

void DemodBlockProcessor::count(const DemodChain::Counts& counts, double inputRateHz)
{
    m_stats.ncoIn += counts.ncoIn;
    m_stats.ncoOut += counts.ncoIn;
    m_stats.cic += counts.cic;
    m_stats.preFir += counts.preFir;
    m_stats.polyFir += counts.polyFir;
    m_stats.demod += counts.demod;
    if (counts.ncoRetuned) {
        m_ncoReportPending = true;
        m_ncoOffsetHz = m_chain.nco().offsetHz();
        m_ncoInputRateHz = inputRateHz;
    }
}

size_t DemodBlockProcessor::throttleOrWrite(size_t samples, double fill, uint64_t request)
{
    const double releaseFill =
        static_cast<double>(m_fillControl.targetSamples(request)) / static_cast<double>(kBusCapacity);
    if (!m_throttling && fill > kThrottleOnFill) {
        m_throttling = true;
    } else if (m_throttling && fill < releaseFill) {
        m_throttling = false;
        if (m_droppedWhileThrottled > 0) {
            m_diag.print("[DemodThread] Throttle released, dropped %llu blocks during throttle\n",
                         static_cast<unsigned long long>(m_droppedWhileThrottled));
            m_droppedWhileThrottled = 0;
        }
    }
    if (m_throttling) {
        ++m_droppedWhileThrottled;
        return 0;
    }
    const std::lock_guard lock(m_writeMutex);
    if (!m_enabled.load())
        return 0;
    // The margin widens before the writer restarts, so the restart already keeps the new one.
    if (const uint64_t shortfall = m_bus.deficit(m_leftSlot); shortfall > 0) {
        m_marginReportPending = m_fillControl.widenMargin(shortfall, request) || m_marginReportPending;
        if (m_bus.realignAfterUnderrun(m_leftSlot, m_fillControl.targetSamples(request))) {
            m_fillControl.reset();
            m_realigned = true;
        }
    }
    const size_t drop = m_fillControl.samplesToDrop(fill * static_cast<double>(kBusCapacity), request, samples);
    const size_t accepted = m_bus.write(m_leftSlot, m_chain.left() + drop, samples - drop);
    if (m_chain.stereo())
        m_bus.write(m_rightSlot, m_chain.right() + drop, samples - drop);
    return accepted;
}

void DemodBlockProcessor::reportIfDue(int64_t nowNs, double fill)
{
    const int64_t elapsedNs = nowNs - m_lastReportNs;
    if (elapsedNs < kReportPeriodNs)
        return;
    const double seconds = static_cast<double>(elapsedNs) * 1e-9;
    const auto perSecond = [seconds](uint64_t samples, double unit) {
        return static_cast<double>(samples) / seconds / unit;
    };
    const Statistics& s = m_stats;

    if (m_ncoReportPending) {
        m_diag.print("[DemodThread] NCO update: offset=%.0f Hz, inputRate=%.0f Hz\n", m_ncoOffsetHz, m_ncoInputRateHz);
        m_ncoReportPending = false;
    }
    if (m_marginReportPending) {
        m_diag.print("[DemodThread] After an underrun the audio bus keeps %.0f ms beyond half a read\n",
                     static_cast<double>(m_fillControl.marginSamples()) * 1000.0 / kAudioRateHz);
        m_marginReportPending = false;
    }
    const uint64_t driverInput = m_driverInputPairs.exchange(0, std::memory_order_relaxed);
    m_diag.print("[RealRate] DrvIn:%.1fM NcoIn:%.1fM NcoOut:%.1fM CIC:%.1fk PreFIR:%.1fk PolyFIR:%.1fk Demod:%.1fk "
                 "ASRC:%.1fk Hz\n",
                 perSecond(driverInput, 1e6), perSecond(s.ncoIn, 1e6), perSecond(s.ncoOut, 1e6), perSecond(s.cic, 1e3),
                 perSecond(s.preFir, 1e3), perSecond(s.polyFir, 1e3), perSecond(s.demod, 1e3), perSecond(s.asrc, 1e3));
    m_diag.print("[WritePath] produced=%llu, written=%llu, skipped=%llu, writePathMax=%.1f us\n",
                 static_cast<unsigned long long>(s.produced), static_cast<unsigned long long>(s.written),
                 static_cast<unsigned long long>(s.skipped), s.writePathMaxUs);

    char line[256];
    std::snprintf(line, sizeof line,
                  "[Demod] CPU=%.1f%% | DrvIn:%.1fM NcoIn:%.1fM NcoOut:%.1fM CIC:%.0fk PreFIR:%.0fk PolyFIR:%.0fk | "
                  "measRate=%.1fk ratio=%.6f fill=%.1f%%",
                  s.busyUs / 1e6 / seconds * 100.0, perSecond(driverInput, 1e6), perSecond(s.ncoIn, 1e6),
                  perSecond(s.ncoOut, 1e6), perSecond(s.cic, 1e3), perSecond(s.preFir, 1e3), perSecond(s.polyFir, 1e3),
                  m_chain.rateControl().measuredRateHz() / 1e3, m_chain.rateControl().smoothedRatio(), fill * 100.0);
    {
        const std::lock_guard lock(m_callbackMutex);
        if (m_statusCallback)
            m_statusCallback(line);
    }
    m_stats = Statistics{};
    m_lastReportNs = nowNs;
}
