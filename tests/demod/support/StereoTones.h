#pragma once

#include <cstddef>
#include <vector>

// The measurement tones of a broadcast test programme (left 1 kHz, right 3 kHz, 19 kHz pilot)
// measured in decoded audio, window by window, so that a rare dropped block spoils only its own
// window. Each tone is found where it lies: audio resampled by a ratio off nominal has every
// tone off by the same factor.

// 50 ms at 48 kHz.
inline constexpr std::size_t kToneWindow = 2400;

std::vector<float> toneWindow(const std::vector<float>& x, std::size_t from, std::size_t length = kToneWindow);
double median(std::vector<double> values);

// Medians over the windows that hold audio (a window of nothing but zeros, audio that never
// arrived, has nothing to measure); 0 everywhere without one.
struct StereoFigures {
    double separationDb;  // the weaker of the two directions
    double leftToRightDb; // the 1 kHz tone in the left channel over what of it reaches the right
    double rightToLeftDb; // the 3 kHz tone in the right channel over what of it reaches the left
    double thdnDb;        // THD+N of the worse channel, its crosstalk tone and the pilot left out
    double pilotDbfs;     // the pilot in the channel where it is louder
    double leftLevel;     // the 1 kHz tone in the left channel
    double rightLevel;    // the 3 kHz tone in the right channel
    std::size_t windows;  // how many windows held audio
};

StereoFigures stereoFigures(const std::vector<float>& left, const std::vector<float>& right,
                            std::size_t window = kToneWindow);

// Mono: both tones in the one channel.
struct MonoFigures {
    double thdnDb;    // THD+N of the two tones, the pilot left out
    double pilotDbfs;
    double leftLevel; // the 1 kHz tone
    double rightLevel; // the 3 kHz tone
    std::size_t windows;
};

MonoFigures monoFigures(const std::vector<float>& mono, std::size_t window = kToneWindow);
