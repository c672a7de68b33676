#pragma once

#include "engine/AlignedFloats.h"
#include "engine/Detector.h"

#include <vector>

// Smooths the detected trace with a first-order low-pass whose bandwidth is the video
// bandwidth. Max and min traces are smoothed in dB, the others in linear power.
class VideoFilter {
public:
    // Per-frame weight for a video bandwidth at a frame rate (1/60 s when the rate is 1 or less).
    static float alphaFor(double vbwHz, double fps);

    // vbwHz <= 0 passes the detector output through and drops the power state.
    void process(Detector& detector, int mode, double vbwHz, float alpha);

    const std::vector<float>& trace() const { return m_trace; }

private:
    std::vector<float> m_trace;
    AlignedFloats m_power;
};
