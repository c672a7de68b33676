#pragma once

#include "settings/SettingRange.h"

#include <limits>

// The demodulation, audio filter and squelch settings: what the channel starts with and the
// range and step their controls offer. The channel takes any value; the stages keep theirs sane.
namespace demod_settings {

inline constexpr SettingRange<double> demodFreqHz{146520000.0, 0.0, std::numeric_limits<double>::infinity(), 0.0};
inline constexpr SettingRange<double> fmDeviationHz{150000.0, 2500.0, 300000.0, 0.0};
// The two deviations a broadcast stereo multiplex is sent with, and how close counts.
inline constexpr double kStereoDeviationsHz[] = {150000.0, 300000.0};
inline constexpr double kDeviationToleranceHz = 1.0;
inline constexpr SettingRange<double> audioHpfHz{20.0, 10.0, 300.0, 0.0};
inline constexpr SettingRange<double> audioLpfHz{20000.0, 2500.0, 20000.0, 0.0};
inline constexpr SettingRange<double> audioGain{2.0, 0.5, 5.0, 0.1};

inline constexpr SettingRange<double> squelchOpenDb{3.0, 0.0, 20.0, 0.5};
inline constexpr SettingRange<double> squelchCloseDb{1.0, 0.0, 15.0, 0.5};
inline constexpr SettingRange<double> squelchAttackMs{4.0, 1.0, 50.0, 1.0};
inline constexpr SettingRange<double> squelchReleaseMs{50.0, 50.0, 1000.0, 10.0};
inline constexpr SettingRange<double> squelchHangMs{10.0, 0.0, 500.0, 10.0};
inline constexpr SettingRange<double> squelchNoiseAlpha{0.001, 0.001, 0.05, 0.001};
inline constexpr SettingRange<double> squelchMinFloorDb{-87.0, -90.0, -30.0, 1.0};

} // namespace demod_settings
