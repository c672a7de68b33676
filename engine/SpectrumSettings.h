#pragma once

#include "engine/DensityMap.h"

#include <cstdint>

// The user's settings as the spectrum thread sees them: one plain copy per block, so a change
// takes effect at the next block.
struct SpectrumSettings {
    int fftSize = 2048;
    double centerHz = 1e9;
    double sampleRateHz = 20e6;
    int windowType = 0;
    int detectorMode = 3;
    int detectorWindow = 20;
    double vbwHz = 0.0;
    double fps = 0.0;
    double maxFps = 30.0;
    DensitySettings density;
    double peakLineWindowSec = 0.0;
    bool waterfallEnabled = false;
    int waterfallLines = 400;
    double waterfallFps = 30.0;
    int waterfallPaletteId = 0;
};
