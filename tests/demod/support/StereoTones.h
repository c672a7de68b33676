#pragma once

#include <cstddef>
#include <vector>

// The simulated receiver's measurement tones (left 1 kHz, right 3 kHz) measured in decoded
// audio, window by window, so that a rare dropped block spoils only its own window.

// 50 ms at 48 kHz.
inline constexpr std::size_t kToneWindow = 2400;

std::vector<float> toneWindow(const std::vector<float>& x, std::size_t from, std::size_t length = kToneWindow);
double median(std::vector<double> values);

struct StereoFigures {
    double separationDb; // the weaker of the two channels' separations
    double leftLevel;    // the 1 kHz tone in the left channel
    double rightLevel;   // the 3 kHz tone in the right channel
    std::size_t windows; // how many windows held audio
};

// Medians over consecutive windows of the given length that hold audio in both channels (a
// window of nothing but zeros, audio that never arrived, has no separation to speak of); 0
// everywhere without one.
StereoFigures stereoFigures(const std::vector<float>& left, const std::vector<float>& right,
                            std::size_t window = kToneWindow);
