// The spectrum thread's body and its ties to Qt: frames to the display item by queued call,
// status lines and the frame rate as signals, settings read from the controller's members.
#include "app/RtsaController.h"

#include "display/SpectrumItem.h"
#include "engine/SpectrumLoop.h"
#include "platform/ThreadName.h"

class RtsaController::SpectrumThreadSink : public SpectrumSink {
public:
    explicit SpectrumThreadSink(RtsaController& controller) : m_controller(controller) {}

    SpectrumSettings settings() override
    {
        SpectrumSettings s;
        s.fftSize = m_controller.fftSize();
        s.centerHz = static_cast<double>(m_controller.m_receiver.centerHz.load());
        s.sampleRateHz = static_cast<double>(m_controller.m_receiver.sampleRateHz.load());
        s.windowType = m_controller.windowType();
        s.detectorMode = m_controller.detectorMode();
        s.detectorWindow = m_controller.detectorWindow();
        s.vbwHz = m_controller.vbwHz();
        s.fps = m_controller.fps();
        s.maxFps = m_controller.maxFps();
        s.density.enabled = m_controller.densityEnabled();
        s.density.widthBins = static_cast<uint64_t>(m_controller.densityWidthBins());
        s.density.levels = m_controller.densityLevels();
        s.density.minDb = m_controller.densityMinDb();
        s.density.maxDb = m_controller.densityMaxDb();
        s.density.tau = m_controller.densityTau();
        s.density.hitGain = m_controller.densityHitGain();
        s.density.gamma = m_controller.densityGamma();
        s.density.densityMax = m_controller.densityMax();
        s.density.fps = m_controller.densityFps();
        s.peakLineWindowSec = m_controller.peakLineWindowSec();
        s.waterfallEnabled = m_controller.waterfallEnabled();
        s.waterfallLines = m_controller.waterfallLines();
        s.waterfallFps = m_controller.waterfallFps();
        s.waterfallPaletteId = m_controller.waterfallPaletteId();
        return s;
    }

    void storeVbwAlpha(float alpha) override { m_controller.m_spectrumSettings.vbwAlpha = alpha; }

    bool displayAlive() override { return !m_controller.guardedSpectrumItem().isNull(); }

    // Markers are read off the trace here, outside the model's lock; only the result goes to
    // the model's thread.
    void tracePublished(const std::vector<float>& trace, const PeakReadout::Values& peak, double centerHz) override
    {
        MarkerModel& model = m_controller.m_markerModel;
        model.postFrameUpdate(markerFrameUpdate(model.snapshot(), trace, peak, centerHz));
    }

    void deliverFrame(SpectrumFrame&& frame) override
    {
        // The guard is taken now; an item destroyed before delivery simply misses the frame.
        // The call is queued on the controller, which lives in the item's (GUI) thread and,
        // unlike the item, outlives this thread.
        QMetaObject::invokeMethod(
            &m_controller,
            [item = m_controller.guardedSpectrumItem(), frame = std::move(frame)]() mutable {
                if (item)
                    item->setFrame(std::move(frame));
            },
            Qt::QueuedConnection);
    }

    void statusLine(const std::string& line) override { emit m_controller.logMessage(QString::fromStdString(line)); }

    // The audio path's health follows the spectrum thread's own lines, once per status period.
    void statusPeriodEnded() override
    {
        if (const std::optional<QString> audio = m_controller.audioStatusLine())
            emit m_controller.logMessage(*audio);
    }

    void fpsMeasured(double fps) override
    {
        m_controller.m_spectrumSettings.fps = fps;
        emit m_controller.fpsChanged();
    }

private:
    RtsaController& m_controller;
};

void RtsaController::runSpectrumThread()
{
    nameCurrentThread("rtsa-spectrum");
    SpectrumThreadSink sink(*this);
    SpectrumProcessor processor(m_spectrum, sink, m_run.fftRingLostBytes, static_cast<std::size_t>(m_run.fftFrameBytes));
    const std::size_t catchUpAbove = SpectrumLoop::catchUpThresholdBytes(
        processor.blockBytes(), m_run.fftRing->capacity(), static_cast<double>(m_receiver.sampleRateHz.load()));
    SpectrumLoop(processor, m_run.fftRing.get(), m_rxRunning, catchUpAbove).run();
}
