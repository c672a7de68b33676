#pragma once

#include "engine/PeakReadout.h"
#include "engine/SpectrumFrame.h"
#include "engine/SpectrumStatus.h"

#include <vector>

// Everything the spectrum thread hands back: frames and traces to their consumers, and its
// status. Calls come from the spectrum thread; implementations pass results on without
// blocking it.
class SpectrumSink {
public:
    virtual ~SpectrumSink() = default;

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
    // Once a second.
    virtual void statusReport(const SpectrumStatus& status) = 0;
};
