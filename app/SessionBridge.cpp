// The controller's side of the acquisition session: the spectrum settings handed in as one
// record, and the results and status taken out.
#include "app/SessionOutput.h"

#include "display/SpectrumItem.h"
#include "markers/MarkerFrameUpdate.h"

#include <algorithm>
#include <limits>

namespace {

// Counts as QML integers; a count past their range shows as the largest.
int countForQml(uint64_t count)
{
    return static_cast<int>(std::min<uint64_t>(count, std::numeric_limits<int>::max()));
}

} // namespace

bool RtsaController::SessionOutput::displayAlive()
{
    return !m_controller.guardedSpectrumItem().isNull();
}

// Markers are read off the trace here, outside the model's lock; only the result goes to the
// model's thread.
void RtsaController::SessionOutput::tracePublished(const std::vector<float>& trace, const PeakReadout::Values& peak,
                                                   double centerHz)
{
    MarkerModel& model = m_controller.m_markerModel;
    model.postFrameUpdate(markerFrameUpdate(model.snapshot(), trace, peak, centerHz));
}

void RtsaController::SessionOutput::deliverFrame(SpectrumFrame&& frame)
{
    // Measured here, at the display's frame rate rather than per block, before the frame moves on.
    m_controller.m_measurements.takeFrame(frame, m_controller.detectorMode(), m_controller.detectorWindow());
    if (!m_frames.put(std::move(frame)))
        return;
    // Queued on the controller, which lives in the item's (GUI) thread and, unlike the item,
    // outlives the session's threads; an item destroyed meanwhile simply misses the frame.
    QMetaObject::invokeMethod(
        &m_controller,
        [this] {
            std::optional<SpectrumFrame> newest = m_frames.take();
            if (const QPointer<SpectrumItem> item = m_controller.guardedSpectrumItem(); newest && item)
                item->setFrame(std::move(*newest));
        },
        Qt::QueuedConnection);
}

void RtsaController::SessionOutput::statusReport(const SpectrumStatus& status)
{
    m_controller.postFigures([c = &m_controller, status] { c->showSpectrumStatus(status); });
}

void RtsaController::SessionOutput::rxLine(const std::string& line)
{
    // Logged from the controller's thread: the RX thread never waits on the console.
    m_controller.postFigures([c = &m_controller, text = QString::fromStdString(line)] {
        // Its rates and ring fills come every second; a warning is news.
        if (text.contains(QStringLiteral("WARNING")))
            c->m_log.warning(text);
        else
            c->m_log.status(text);
    });
}

void RtsaController::SessionOutput::rxStatus(const RxStatus&)
{
    m_controller.postFigures([c = &m_controller] { c->showRxStatus(); });
}

void RtsaController::SessionOutput::overloadTriggered(const std::string& trigger)
{
    QMetaObject::invokeMethod(
        &m_controller, [c = &m_controller, text = QString::fromStdString(trigger)] { c->handleDspOverload(text); },
        Qt::QueuedConnection);
}

SpectrumSettings RtsaController::spectrumSettingsSnapshot() const
{
    SpectrumSettings s;
    s.fftSize = fftSize();
    s.centerHz = static_cast<double>(m_receiver.centerHz.load());
    s.sampleRateHz = static_cast<double>(m_receiver.sampleRateHz.load());
    s.windowType = windowType();
    s.detectorMode = detectorMode();
    s.detectorWindow = detectorWindow();
    s.overlapPercent = spectrumOverlap();
    s.densitySource = densitySource();
    s.vbwHz = vbwHz();
    s.maxFps = maxFps();
    s.density.enabled = densityEnabled();
    s.density.widthBins = static_cast<uint64_t>(densityWidthBins());
    s.density.levels = densityLevels();
    s.density.minDb = densityMinDb();
    s.density.maxDb = densityMaxDb();
    s.density.tau = densityTau();
    s.density.hitGain = densityHitGain();
    s.density.gamma = densityGamma();
    s.density.densityMax = densityMax();
    s.density.fps = densityFps();
    s.peakLineWindowSec = peakLineWindowSec();
    s.waterfallEnabled = waterfallEnabled();
    s.waterfallLines = waterfallLines();
    s.waterfallFps = waterfallFps();
    s.waterfallPaletteId = waterfallPaletteId();
    return s;
}

void RtsaController::publishSpectrumSettings()
{
    const std::lock_guard lock(m_spectrumPublishMutex);
    m_session->setSpectrumSettings(spectrumSettingsSnapshot());
}

void RtsaController::postFigures(std::function<void()> show)
{
    QMetaObject::invokeMethod(
        this,
        [this, show = std::move(show)]() mutable {
            if (const QPointer<SpectrumItem> item = guardedSpectrumItem())
                item->atNextRepaint(this, std::move(show));
            else
                show();
        },
        Qt::QueuedConnection);
}

void RtsaController::showSpectrumStatus(const SpectrumStatus& status)
{
    m_log.status(QStringLiteral("DSP %1 fps, dropFrames=%2").arg(status.blocksProcessed).arg(status.droppedFrames));
    if (status.discardedBlocks > 0)
        m_log.log(LogLevel::Warning, QStringLiteral("DSP catch-up: discarded %1 blocks").arg(status.discardedBlocks),
                  LogAudience::Status);
    noteSpectraSkipped(status.discardedBlocks > 0);
    emit spectrumStatusChanged();
    emit fpsChanged();

    // The audio path's health follows the spectrum's, once a second.
    const std::optional<QString> audio = audioStatusLine();
    m_audioStatus = audio.value_or(QString());
    if (audio)
        m_log.status(*audio);
    emit audioStatusChanged();
}

void RtsaController::noteSpectraSkipped(bool discarded)
{
    // Overlapped blocks ask more of the CPU than the stream does: what it cannot keep up with is
    // said where the spectrum's figures are, never dropped silently. A report that comes in after
    // the run stopped says nothing of the next one.
    const int overlap = spectrumOverlap();
    const QString warning = discarded && overlap > 0 && running()
                                ? QStringLiteral("Overlap %1 %: the CPU cannot keep up, spectra skipped").arg(overlap)
                                : QString();
    if (warning == m_spectraSkipped)
        return;
    m_spectraSkipped = warning;
    emit spectraSkippedChanged();
}

void RtsaController::showRxStatus()
{
    emit rxStatusChanged();
    emit ringUsagePctChanged();
}

void RtsaController::noteAutoAdjustment(const QString& line)
{
    m_autoAdjustment = line;
    emit autoAdjustmentChanged();
}

void RtsaController::noteError(const QString& line)
{
    // A failure may come from the device worker's start; the property lives in this thread.
    QMetaObject::invokeMethod(
        this,
        [this, line] {
            if (line == m_lastError)
                return;
            m_lastError = line;
            emit lastErrorChanged();
        },
        Qt::AutoConnection);
}

int RtsaController::rxTimeouts() const
{
    return countForQml(m_session->rxStatus().timeouts);
}

int RtsaController::rxFftDrops() const
{
    return countForQml(m_session->rxStatus().fftDrops);
}

int RtsaController::rxDemodOverflows() const
{
    return countForQml(m_session->rxStatus().demodOverflows);
}

int RtsaController::spectrumBlocksPerSec() const
{
    return countForQml(m_session->spectrumStatus().blocksProcessed);
}

int RtsaController::spectrumDroppedFrames() const
{
    return countForQml(m_session->spectrumStatus().droppedFrames);
}

int RtsaController::spectrumDiscardedBlocks() const
{
    return countForQml(m_session->spectrumStatus().discardedBlocks);
}

double RtsaController::audioBusFillPct() const
{
    return m_demod.audioBus().fill(m_demod.leftSlot()) * 100.0;
}

int RtsaController::audioUnderruns() const
{
    return countForQml(m_audio.underrunCount.load());
}

int RtsaController::audioOverruns() const
{
    return countForQml(m_audio.overrunCount.load());
}
