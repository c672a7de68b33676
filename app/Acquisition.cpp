// Acquisition start and stop: the session's runs under the device lock, the audio output that
// plays while one runs, and the overload the RX thread reports.
#include "app/RtsaController.h"

#include "display/SpectrumItem.h"
#include "platform/MonotonicClock.h"

bool RtsaController::startRx(bool applyFirst)
{
    const std::lock_guard lock(m_deviceMutex);
    if (!m_connected.load() && !connectDevice())
        return false;
    if (running())
        return true;
    if (applyFirst)
        apply(currentSettings());
    if (!beginRun())
        return false;
    m_running = true;
    emit runningChanged();
    return true;
}

void RtsaController::stopRx()
{
    const std::lock_guard lock(m_deviceMutex);
    if (!running())
        return;
    m_running = false;
    emit runningChanged();
    endRun();
}

void RtsaController::restartRun(const std::function<void()>& change)
{
    // For the user the analyser keeps running through a restart: were `running` to drop for
    // its length, the Start/Stop button would offer Start meanwhile, and a click meant as Stop
    // would start it again once the restart is done.
    const std::lock_guard lock(m_deviceMutex);
    const bool wasRunning = running();
    if (wasRunning)
        endRun();
    change();
    if (wasRunning && !beginRun()) {
        m_running = false;
        emit runningChanged();
    }
}

bool RtsaController::beginRun()
{
    // The run sizes its ring by the FFT size and analyses at the rate just applied.
    publishSpectrumSettings();
    if (!m_device || !m_session->start({m_device.get(), m_receiver.sampleRateHz.load(), m_receiver.centerHz.load()})) {
        m_log.error(QStringLiteral("Device start RX failed"));
        noteError(QStringLiteral("Device start RX failed"));
        return false;
    }
    m_rxRunning = true;
    if (audioEnabled())
        startAudio();
    // Live data replaces the built-in demonstration spectrum.
    if (const QPointer<SpectrumItem> live = guardedSpectrumItem()) {
        QMetaObject::invokeMethod(
            live.data(), [live] { if (live) live->setDemo(false); }, Qt::QueuedConnection);
    }
    m_log.info(QStringLiteral("RX started"));
    return true;
}

void RtsaController::endRun()
{
    m_rxRunning = false;
    stopAudio();
    m_session->stop();
    m_log.info(QStringLiteral("RX stopped"));
}

void RtsaController::handleDspOverload(const QString& trigger)
{
    const QString line = QStringLiteral("DSP overload trigger: %1").arg(trigger);
    m_log.info(line);
    noteAutoAdjustment(line);
    const int64_t nowMs = monotonicNowNs() / 1'000'000;
    if (nowMs - m_lastOverloadLogMs > 1999) {
        m_lastOverloadLogMs = nowMs;
        const QString warning = QStringLiteral("DSP overload detected (no auto-degrade)");
        m_log.info(warning);
    }
}
