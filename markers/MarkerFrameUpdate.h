#pragma once

#include "engine/PeakReadout.h"
#include "markers/Marker.h"

#include <vector>

// What one published trace changes in the marker model: every marker as read off the trace,
// and the trace's peak and centre for the commands that move a marker there.
struct MarkerFrameUpdate {
    std::vector<Marker> markers;
    double peakFreqHz = 0.0;
    double peakValueDb = -120.0;
    double centerHz = 0.0;
};

// Reads a snapshot of the markers off a published trace (spectrum thread, no locks).
MarkerFrameUpdate markerFrameUpdate(std::vector<Marker> markers, const std::vector<float>& trace,
                                    const PeakReadout::Values& peak, double centerHz);
