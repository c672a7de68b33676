#pragma once

#include "engine/DensityMap.h"
#include "engine/SpectrumSettingTable.h"

#include <cstdint>

// The user's settings as the spectrum thread sees them: one plain copy per block, so a change
// takes effect at the next block.
struct SpectrumSettings {
    int fftSize = static_cast<int>(spectrum_settings::fftSize.initial);
    double centerHz = 1e9;
    double sampleRateHz = 20e6;
    int windowType = spectrum_settings::windowType.initial;
    int detectorMode = spectrum_settings::detectorMode.initial;
    int detectorWindow = spectrum_settings::detectorWindow.initial;
    double vbwHz = spectrum_settings::vbwHz.initial;
    double fps = 0.0;
    double maxFps = spectrum_settings::maxFps.initial;
    DensitySettings density;
    double peakLineWindowSec = spectrum_settings::peakLineWindowSec.initial;
    bool waterfallEnabled = false;
    int waterfallLines = spectrum_settings::waterfallLines.initial;
    double waterfallFps = spectrum_settings::waterfallFps.initial;
    int waterfallPaletteId = spectrum_settings::waterfallPaletteId.initial;
};
