#pragma once

#include "engine/SpectrumSettingTable.h"

#include <atomic>
#include <cstdint>

// The controller's spectrum, density and waterfall settings, starting from their table: written
// by the GUI thread's setters, read back by the properties and by a restart on the device worker,
// and handed to the spectrum thread as one record whenever one changes; the resolution target
// only the GUI thread uses.
struct SpectrumControlState {
    std::atomic<int> fftSize{static_cast<int>(spectrum_settings::fftSize.initial)};
    std::atomic<int> windowType{spectrum_settings::windowType.initial};
    std::atomic<float> vbwAlpha{static_cast<float>(spectrum_settings::vbwAlpha.initial)};
    std::atomic<double> vbwHz{spectrum_settings::vbwHz.initial};
    double rbwTargetHz = 0.0;
    std::atomic<double> maxFps{spectrum_settings::maxFps.initial};
    std::atomic<int> detectorMode{spectrum_settings::detectorMode.initial};
    std::atomic<int> detectorWindow{spectrum_settings::detectorWindow.initial};
    std::atomic<int> overlapPercent{spectrum_settings::overlapPercent.initial};
    std::atomic<int> densitySource{spectrum_settings::densitySource.initial};
    std::atomic<bool> densityEnabled{false};
    std::atomic<int> densityLevels{spectrum_settings::densityLevels.initial};
    std::atomic<int> densityWidthBins{spectrum_settings::densityWidthBins.initial};
    std::atomic<double> densityFps{spectrum_settings::densityFps.initial};
    std::atomic<double> densityTau{spectrum_settings::densityTau.initial};
    std::atomic<double> densityHitGain{spectrum_settings::densityHitGain.initial};
    std::atomic<double> densityGamma{spectrum_settings::densityGamma.initial};
    std::atomic<double> densityMax{spectrum_settings::densityMax.initial};
    std::atomic<double> densityMinDb{spectrum_settings::densityMinDb.initial};
    std::atomic<double> densityMaxDb{spectrum_settings::densityMaxDb.initial};
    std::atomic<double> peakLineWindowSec{spectrum_settings::peakLineWindowSec.initial};
    std::atomic<bool> waterfallEnabled{false};
    std::atomic<int> waterfallLines{spectrum_settings::waterfallLines.initial};
    std::atomic<double> waterfallFps{spectrum_settings::waterfallFps.initial};
    std::atomic<int> waterfallPaletteId{spectrum_settings::waterfallPaletteId.initial};
};
