#pragma once

#include "markers/PeakSearch.h"
#include "settings/SettingRange.h"

#include <limits>

// How many adjacent channels each side and how many peaks a table lists at most: the results
// are fixed-size records that travel between threads without allocating.
inline constexpr int kMaxAdjacentPairs = 3;
inline constexpr int kMaxPeaks = 50;

enum class PeakOrder : int { Level, Frequency };

// The measurements' settings: what the analyser starts with and the limits the controller
// clamps to.
namespace measure_settings {

inline constexpr double kUnbounded = std::numeric_limits<double>::infinity();

inline constexpr SettingRange<double> channelBandwidthHz{200e3, 1.0, 1e9, 0.0};
inline constexpr SettingRange<double> obwPercent{99.0, 1.0, 99.99, 0.1};
inline constexpr SettingRange<double> xDb{26.0, 0.1, 120.0, 0.5};
inline constexpr SettingRange<double> acpMainBandwidthHz{200e3, 1.0, 1e9, 0.0};
inline constexpr SettingRange<double> acpAdjacentBandwidthHz{200e3, 1.0, 1e9, 0.0};
inline constexpr SettingRange<double> acpSpacingHz{200e3, 1.0, 1e9, 0.0};
inline constexpr SettingRange<int> acpPairs{1, 0, kMaxAdjacentPairs, 1};
inline constexpr SettingRange<int> noiseBinsEachSide{5, 0, 100, 1};
inline constexpr SettingRange<int> peakCount{10, 1, kMaxPeaks, 1};
inline constexpr SettingRange<double> peakExcursionDb{kPeakExcursionDb, 0.0, 60.0, 0.5};
inline constexpr SettingRange<double> peakThresholdDb{-120.0, -200.0, 100.0, 1.0};
inline constexpr SettingRange<int> peakOrder{static_cast<int>(PeakOrder::Level), static_cast<int>(PeakOrder::Level),
                                             static_cast<int>(PeakOrder::Frequency), 0};
// dBFS plus the offset is dBm at the antenna; 0 reads dBFS.
inline constexpr SettingRange<double> referenceOffsetDb{0.0, -200.0, 200.0, 0.1};

} // namespace measure_settings
