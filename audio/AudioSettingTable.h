#pragma once

#include "settings/SettingRange.h"

// The audio output's settings: what it starts with and the limits the controller keeps them in.
namespace audio_settings {

// Frames per driver buffer; a driver offers its own sizes within these.
inline constexpr SettingRange<int> bufferFrames{256, 64, 4096, 0};

} // namespace audio_settings
