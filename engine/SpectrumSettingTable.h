#pragma once

#include "settings/SettingRange.h"

#include <cstddef>
#include <cstdint>
#include <limits>

// The FFT window; its number is the one the user interface and the settings carry.
enum class WindowType : int { Hann, Hamming, Blackman };

// How the detector reduces the spectra of its window to one trace.
enum class DetectorMode : int { Sample, Max, Min, Avg, Rms };

// Where the persistence display takes its spectra from: each block's own spectrum, so that a
// burst one block long shows at its level whatever the trace's detector does with it, or the
// trace as the detector and video filter leave it.
enum class DensitySource : int { EverySpectrum, DisplayTrace };

// The waterfall's colour map.
enum class WaterfallPalette : int { Turbo, Inferno };

// The spectrum, density and waterfall settings: what the analyser starts with and the limits
// the controller clamps to.
namespace spectrum_settings {

inline constexpr double kUnbounded = std::numeric_limits<double>::infinity();

// The RBW rule picks FFT sizes between min and max; a size set directly has no upper bound.
inline constexpr SettingRange<uint64_t> fftSize{2048, 512, 8192, 0};
inline constexpr SettingRange<int> windowType{static_cast<int>(WindowType::Hann), static_cast<int>(WindowType::Hann),
                                              static_cast<int>(WindowType::Blackman), 0};
inline constexpr SettingRange<double> vbwAlpha{0.2, 0.0, 1.0, 0.0};
// 0 is off.
inline constexpr SettingRange<double> vbwHz{0.0, 0.0, kUnbounded, 0.0};
// The controller starts without a target (the FFT size rules); the window asks for this one.
inline constexpr SettingRange<double> rbwTargetHz{10000.0, 0.0, kUnbounded, 0.0};
inline constexpr SettingRange<double> maxFps{30.0, 1.0, kUnbounded, 0.0};
inline constexpr SettingRange<int> detectorMode{static_cast<int>(DetectorMode::Avg),
                                                static_cast<int>(DetectorMode::Sample),
                                                static_cast<int>(DetectorMode::Rms), 0};
inline constexpr SettingRange<int> detectorWindow{20, 1, 1000, 0};
// The share of each block that the next one repeats, in percent: 0, 50 or 75. Overlapped blocks
// see a burst that straddles a block edge, which the window's fall to zero at both ends hides.
inline constexpr SettingRange<int> overlapPercent{0, 0, 75, 25};
// The nearest of the offered overlaps.
constexpr int overlapChoice(int percent)
{
    return percent >= 63 ? 75 : percent >= 25 ? 50 : 0;
}
// Samples from one block's start to the next's.
constexpr std::size_t hopSamples(std::size_t fftSize, int overlapPercent)
{
    const std::size_t repeated = fftSize * static_cast<std::size_t>(overlapChoice(overlapPercent)) / 100;
    return fftSize > repeated ? fftSize - repeated : 1;
}
// 0 holds for ever.
inline constexpr SettingRange<double> peakLineWindowSec{0.0, 0.0, 60.0, 0.0};

inline constexpr SettingRange<int> densitySource{static_cast<int>(DensitySource::EverySpectrum),
                                                 static_cast<int>(DensitySource::EverySpectrum),
                                                 static_cast<int>(DensitySource::DisplayTrace), 0};
inline constexpr SettingRange<int> densityLevels{512, 16, 1024, 0};
inline constexpr SettingRange<int> densityWidthBins{1024, 128, 2048, 0};
inline constexpr SettingRange<double> densityFps{12.0, 1.0, 60.0, 0.0};
inline constexpr SettingRange<double> densityTau{0.5, 0.05, 10.0, 0.0};
inline constexpr SettingRange<double> densityHitGain{5.0, 1.0, 10.0, 0.1};
inline constexpr SettingRange<double> densityGamma{0.6, 0.1, 2.0, 0.05};
inline constexpr SettingRange<double> densityMax{20.0, 1.0, 200.0, 1.0};
// The density's level range is not clamped.
inline constexpr SettingRange<double> densityMinDb{-120.0, -kUnbounded, kUnbounded, 0.0};
inline constexpr SettingRange<double> densityMaxDb{0.0, -kUnbounded, kUnbounded, 0.0};

inline constexpr SettingRange<int> waterfallLines{300, 1, 1200, 0};
inline constexpr SettingRange<double> waterfallFps{30.0, 1.0, 120.0, 0.0};
inline constexpr SettingRange<int> waterfallPaletteId{static_cast<int>(WaterfallPalette::Turbo),
                                                      static_cast<int>(WaterfallPalette::Turbo),
                                                      static_cast<int>(WaterfallPalette::Inferno), 0};
// How far back the waterfall reaches; with the rate it gives the line count.
inline constexpr SettingRange<double> waterfallTimeDepthSec{10.0, 0.2, 30.0, 0.0};

static_assert(waterfallLines.initial == static_cast<int>(waterfallFps.initial * waterfallTimeDepthSec.initial),
              "the waterfall starts with the lines its rate and depth ask for");

} // namespace spectrum_settings
