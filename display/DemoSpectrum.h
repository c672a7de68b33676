#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

// A synthetic spectrum for when no receiver data flows: a noisy floor between -95 and -89 dB
// with notches of 20 dB at 35 % and 35 dB at 72 % of the span, and a +-2 dB ripple whose
// phase the caller advances from one trace to the next. Values are limited to the scale
// minDb...maxDb; a value that is not a number ends at minDb.
template <typename Random64>
void fillDemoTrace(float* trace, std::size_t n, float phase, float minDb, float maxDb, Random64&& random64)
{
    for (std::size_t i = 0; i < n; ++i) {
        // n = 1 gives 0/0: that single value is not a number and ends at minDb.
        const float c = static_cast<float>(i) / static_cast<float>(n - 1);
        const double u = static_cast<double>(random64() >> 11) * 0x1.0p-53;
        const float noise = static_cast<float>(u * 6.0) - 95.0f;
        const float d1 = c - 0.35f;
        const float d2 = c - 0.72f;
        float v = noise - 20.0f * std::exp(-280.0f * d1 * d1) - 35.0f * std::exp(-420.0f * d2 * d2) +
                  2.0f * std::sin(6.0f * c + phase);
        v = v > maxDb ? maxDb : v;
        trace[i] = v >= minDb ? v : minDb;
    }
}

// The ripple drifts by 0.15 rad per demo trace.
inline float advanceDemoPhase(float phase)
{
    phase += 0.15f;
    return phase > 6.28318f ? phase - 6.28318f : phase;
}
