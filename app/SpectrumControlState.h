#pragma once

#include <atomic>
#include <cstdint>

// The controller's spectrum, density and waterfall settings with their defaults: written by the
// GUI thread's setters, read back by the properties and by a restart on the device worker, and
// handed to the spectrum thread as one record whenever one changes; the resolution target with
// its FFT size bounds only the GUI thread uses.
struct SpectrumControlState {
    std::atomic<int> fftSize{2048};
    std::atomic<int> windowType{0};
    std::atomic<float> vbwAlpha{0.2f};
    std::atomic<double> vbwHz{0.0};
    double rbwTargetHz = 0.0;
    std::atomic<double> maxFps{30.0};
    std::atomic<int> detectorMode{3};
    std::atomic<int> detectorWindow{20};
    std::atomic<bool> densityEnabled{false};
    std::atomic<int> densityLevels{512};
    std::atomic<int> densityWidthBins{1024};
    std::atomic<double> densityFps{12.0};
    std::atomic<double> densityTau{0.5};
    std::atomic<double> densityHitGain{1.0};
    std::atomic<double> densityGamma{0.6};
    std::atomic<double> densityMax{20.0};
    std::atomic<double> densityMinDb{-120.0};
    std::atomic<double> densityMaxDb{0.0};
    std::atomic<double> peakLineWindowSec{0.0};
    std::atomic<bool> waterfallEnabled{false};
    std::atomic<int> waterfallLines{400};
    std::atomic<double> waterfallFps{30.0};
    std::atomic<int> waterfallPaletteId{0};
    uint64_t minFftSize = 512;
    uint64_t maxFftSize = 8192;
};
