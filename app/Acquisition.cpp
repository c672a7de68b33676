// Acquisition start and stop: the rings and the threads that live for one run.
#include "app/RtsaController.h"

#include "acquisition/IqSample.h"
#include "display/SpectrumItem.h"
#include "platform/MonotonicClock.h"

#include <QDebug>

#include <chrono>

namespace {

// Lets a reader of the demod ring that was detached a moment ago finish its read.
constexpr auto kDemodDetachGrace = std::chrono::milliseconds(5);

} // namespace

bool RtsaController::startRx(bool applyFirst)
{
    const std::lock_guard lock(m_deviceMutex);
    if (!m_connected.load() && !connectDevice())
        return false;
    if (running())
        return true;
    if (applyFirst)
        apply(currentSettings());
    if (!m_device || !m_device->startStreaming()) {
        emit logMessage(QStringLiteral("Device start RX failed"));
        return false;
    }

    m_rxRunning = true;
    // A receiver that reports no transfer size still gets whole blocks to read.
    const uint32_t reported = m_device->samplesPerTransfer();
    const uint64_t samplesPerTransfer = reported != 0 ? reported : kDefaultSamplesPerTransfer;
    m_run.readBlockBytes = samplesPerTransfer * kIqSampleBytes;
    m_run.fftFrameBytes = static_cast<uint64_t>(fftSize()) * kIqSampleBytes;
    m_run.fftRing = std::make_unique<FftRing>(FftRing::capacityFor(samplesPerTransfer, m_run.fftFrameBytes));
    m_run.demodRing = std::make_unique<DemodRing>(DemodRing::kDefaultCapacity);
    m_demod.setIqSource(m_run.demodRing.get(), m_receiver.sampleRateHz.load(), m_receiver.centerHz.load());
    m_spectrum.setFftSize(static_cast<std::size_t>(fftSize()));
    m_run.fftRingLostBytes = 0;
    startRxThread();
    m_run.spectrumThread = std::thread(&RtsaController::runSpectrumThread, this);

    m_running = true;
    emit runningChanged();
    if (audioEnabled())
        startAudio();
    // Live data replaces the built-in demonstration spectrum.
    if (const QPointer<SpectrumItem> live = guardedSpectrumItem()) {
        QMetaObject::invokeMethod(
            live.data(), [live] { if (live) live->setDemo(false); }, Qt::QueuedConnection);
    }
    emit logMessage(QStringLiteral("RX started"));
    return true;
}

void RtsaController::startRxThread()
{
    RxSources sources;
    sources.device = m_device.get();
    sources.fftRing = m_run.fftRing.get();
    sources.demodRing = m_run.demodRing.get();
    sources.readBlockBytes = static_cast<uint32_t>(m_run.readBlockBytes);
    sources.fftRingLostBytes = &m_run.fftRingLostBytes;

    RxCallbacks callbacks;
    callbacks.demodEnabled = [this] { return m_demod.enabledNow(); };
    callbacks.demodInput = [this](uint64_t pairs) { m_demod.addDriverInput(pairs); };
    callbacks.log = [this](const std::string& line) { emit logMessage(QString::fromStdString(line)); };
    callbacks.ringUsagePct = [this](double pct) {
        m_ringUsagePct = pct;
        emit ringUsagePctChanged();
    };
    callbacks.overloadTrigger = [this](const std::string& text) {
        QMetaObject::invokeMethod(
            this, [this, trigger = QString::fromStdString(text)] { handleDspOverload(trigger); },
            Qt::QueuedConnection);
    };
    m_run.rxThread = std::make_unique<RxThread>(m_rxRunning, sources, std::move(callbacks));
    m_run.rxThread->start();
}

void RtsaController::stopRx()
{
    const std::lock_guard lock(m_deviceMutex);
    if (!running())
        return;
    m_rxRunning = false;
    m_running = false;
    emit runningChanged();
    // Wakes a read that is waiting for samples, so the RX thread sees the flag promptly.
    if (m_device)
        m_device->stopStreaming();
    stopAudio();
    m_run.rxThread->join();
    m_run.spectrumThread.join();
    m_run.rxThread.reset();
    m_run.fftRing.reset();
    m_demod.setIqSource(nullptr, 0, 0);
    std::this_thread::sleep_for(kDemodDetachGrace);
    m_run.demodRing.reset();
    emit logMessage(QStringLiteral("RX stopped"));
}

void RtsaController::handleDspOverload(const QString& trigger)
{
    const QString line = QStringLiteral("DSP overload trigger: %1").arg(trigger);
    emit logMessage(line);
    qInfo().noquote() << line;
    const int64_t nowMs = monotonicNowNs() / 1'000'000;
    if (nowMs - m_lastOverloadLogMs > 1999) {
        m_lastOverloadLogMs = nowMs;
        const QString warning = QStringLiteral("DSP overload detected (no auto-degrade)");
        emit logMessage(warning);
        qInfo().noquote() << warning;
    }
}
