#pragma once

#include <algorithm>
#include <cstddef>

// Applies the channel's audio gain and keeps the result within full scale.
inline void applyGainAndClip(float* samples, size_t count, float gain)
{
    for (size_t n = 0; n < count; ++n)
        samples[n] = std::clamp(samples[n] * gain, -1.0f, 1.0f);
}

inline void applyGain(float* samples, size_t count, float gain)
{
    for (size_t n = 0; n < count; ++n)
        samples[n] *= gain;
}
