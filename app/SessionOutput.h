#pragma once

#include "app/RtsaController.h"
#include "platform/LatestHandoff.h"

// Where the acquisition session's threads hand their results: the newest frame to the display
// item by queued call (a window that falls behind skips frames rather than queueing them), marker levels to the marker model, lines as logMessage, and status to the
// controller's own thread, where it becomes properties and lines.
class RtsaController::SessionOutput : public AcquisitionOutput {
public:
    explicit SessionOutput(RtsaController& controller) : m_controller(controller) {}

    bool displayAlive() override;
    void tracePublished(const std::vector<float>& trace, const PeakReadout::Values& peak, double centerHz) override;
    void deliverFrame(SpectrumFrame&& frame) override;
    void statusReport(const SpectrumStatus& status) override;
    void rxLine(const std::string& line) override;
    void rxStatus(const RxStatus& status) override;
    void overloadTriggered(const std::string& trigger) override;

private:
    RtsaController& m_controller;
    LatestHandoff<SpectrumFrame> m_frames;
};
