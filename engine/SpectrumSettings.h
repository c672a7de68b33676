#pragma once

#include "engine/DensityMap.h"

#include <cstdint>

// The user's settings as the spectrum thread sees them: published whole when one changes and
// taken over at the thread's next block. What the thread derives (the measured frame rate, the
// video filter's weight) is not here but in its status.
struct SpectrumSettings {
    int fftSize = 2048;
    double centerHz = 1e9;
    double sampleRateHz = 20e6;
    int windowType = 0;
    int detectorMode = 3;
    int detectorWindow = 20;
    double vbwHz = 0.0;
    double maxFps = 30.0;
    DensitySettings density;
    double peakLineWindowSec = 0.0;
    bool waterfallEnabled = false;
    int waterfallLines = 400;
    double waterfallFps = 30.0;
    int waterfallPaletteId = 0;
};
