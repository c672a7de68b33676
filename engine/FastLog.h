#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Decibels of linear power without a libm call per bin. Accurate to about 4e-4 dB, far
// inside the display's resolution, and written so the loops below vectorise.
namespace fastlog {

// 10 * log10(p) for a positive, normal p. Callers clamp to a floor first, so zero,
// negative and denormal inputs never reach it.
inline float powerToDb(float p)
{
    uint32_t bits;
    std::memcpy(&bits, &p, sizeof bits);
    // Split p into 2^e * m with m in [sqrt(1/2), sqrt(2)): the closer m stays to 1, the shorter
    // the polynomial below.
    const uint32_t shifted = bits - 0x3f3504f3u;
    const int32_t exponent = static_cast<int32_t>(shifted) >> 23;
    const uint32_t mantissaBits = (shifted & 0x007fffffu) + 0x3f3504f3u;
    float m;
    std::memcpy(&m, &mantissaBits, sizeof m);
    // 10 log10(1 + x) for x = m - 1 by x times a cubic, fitted for the least worst error over
    // that range (within 3.8e-4 dB, far below any step a display resolves) while reading the
    // detector's floor, 1e-20, as exactly -200 dB; evaluated in pairs of terms: no division and
    // a short chain of dependent steps, which is what paces the vectorised loops. With no
    // constant term, m = 1 reads exactly 0 dB.
    const float x = m - 1.0f;
    const float x2 = x * x;
    const float c12 = 4.338953018e+00f + x * -2.177710772e+00f;
    const float c34 = 1.571483970e+00f + x * -1.036659360e+00f;
    const float db = x * (c12 + x2 * c34);
    constexpr float kDbPerOctave = 3.0102999566f;   // 10 log10(2)
    return static_cast<float>(exponent) * kDbPerOctave + db;
}

// The same over an array; db may alias power.
void powerToDb(const float* power, float* db, std::size_t n);

} // namespace fastlog
