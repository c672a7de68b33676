#pragma once

#include "engine/PeakReadout.h"
#include "engine/SpectrumFrame.h"
#include "engine/SpectrumSettings.h"

#include <string>
#include <vector>

// Everything the spectrum thread needs from its owner, and everything it hands back. Calls
// come from the spectrum thread; implementations pass results on without blocking it.
class SpectrumSink {
public:
    virtual ~SpectrumSink() = default;

    virtual SpectrumSettings settings() = 0;
    // The video filter's weight as derived from the video bandwidth, stored back silently.
    virtual void storeVbwAlpha(float alpha) = 0;
    // Frames are built only while somebody can show them.
    virtual bool displayAlive() = 0;
    // At each publication, after the peak readout: where marker amplitudes follow the trace.
    virtual void tracePublished(const std::vector<float>& trace, const PeakReadout::Values& peak, double centerHz)
    {
        (void)trace;
        (void)peak;
        (void)centerHz;
    }
    virtual void deliverFrame(SpectrumFrame&& frame) = 0;
    virtual void statusLine(const std::string& line) = 0;
    // After the once-a-second status lines: where reports of other paths follow them.
    virtual void statusPeriodEnded() {}
    virtual void fpsMeasured(double fps) = 0;
};
