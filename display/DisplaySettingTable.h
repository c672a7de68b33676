#pragma once

#include "settings/SettingRange.h"

#include <limits>

// The density display's colour map.
enum class DensityPalette : int { Classic, Rainbow, Amber };

// The look of the spectrum display: what it starts with and the range its controls offer.
namespace display_settings {

inline constexpr float kUnbounded = std::numeric_limits<float>::infinity();

// The trace's scale as the user sets it: the level at the top (reference level) and the
// height of each of the level divisions the grid draws.
inline constexpr int kLevelDivisions = 6;
inline constexpr SettingRange<float> refLevelDb{0.0f, -120.0f, 30.0f, 1.0f};
inline constexpr SettingRange<float> dbPerDiv{20.0f, 1.0f, 20.0f, 0.0f};
// The scale itself is not clamped.
inline constexpr SettingRange<float> minDb{refLevelDb.initial - kLevelDivisions * dbPerDiv.initial, -kUnbounded,
                                           kUnbounded, 0.0f};
inline constexpr SettingRange<float> maxDb{refLevelDb.initial, -kUnbounded, kUnbounded, 0.0f};
inline constexpr SettingRange<float> waterfallMinDb{-120.0f, -140.0f, -20.0f, 1.0f};
inline constexpr SettingRange<float> waterfallMaxDb{0.0f, -80.0f, 20.0f, 1.0f};
// The waterfall's colour scale keeps at least this much between its bottom and its top.
inline constexpr float kWaterfallMinSpanDb = 1.0f;
// The share of the view's height the waterfall takes when it is on.
inline constexpr SettingRange<double> waterfallHeightRatio{0.3, 0.1, 0.7, 0.0};
inline constexpr SettingRange<int> densityPalette{static_cast<int>(DensityPalette::Classic),
                                                  static_cast<int>(DensityPalette::Classic),
                                                  static_cast<int>(DensityPalette::Amber), 0};

// The display zoom shows at least this many FFT bins across the view.
inline constexpr int kMinViewBins = 32;
// Steps of the demodulator's frequency from the keyboard and the wheel: a broadcast channel,
// and a fine step with a modifier held.
inline constexpr double kTuneStepHz = 100e3;
inline constexpr double kFineTuneStepHz = 1e3;

} // namespace display_settings
