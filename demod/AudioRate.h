#pragma once

// The rate of all audio from the resamplers on: the audio bus, the filters and the output.
constexpr double kAudioRateHz = 48000.0;
