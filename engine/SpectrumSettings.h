#pragma once

#include "engine/DensityMap.h"
#include "engine/SpectrumSettingTable.h"

#include <cstdint>

// The user's settings as the spectrum thread sees them: published whole when one changes and
// taken over at the thread's next block. What the thread derives (the measured frame rate, the
// video filter's weight) is not here but in its status.
struct SpectrumSettings {
    int fftSize = static_cast<int>(spectrum_settings::fftSize.initial);
    double centerHz = 1e9;
    double sampleRateHz = 20e6;
    int windowType = spectrum_settings::windowType.initial;
    int detectorMode = spectrum_settings::detectorMode.initial;
    int detectorWindow = spectrum_settings::detectorWindow.initial;
    double vbwHz = spectrum_settings::vbwHz.initial;
    double maxFps = spectrum_settings::maxFps.initial;
    int overlapPercent = spectrum_settings::overlapPercent.initial;
    int densitySource = spectrum_settings::densitySource.initial;
    DensitySettings density;
    double peakLineWindowSec = spectrum_settings::peakLineWindowSec.initial;
    bool waterfallEnabled = false;
    int waterfallLines = spectrum_settings::waterfallLines.initial;
    double waterfallFps = spectrum_settings::waterfallFps.initial;
    int waterfallPaletteId = spectrum_settings::waterfallPaletteId.initial;
};
