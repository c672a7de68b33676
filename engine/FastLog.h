#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Decibels of linear power without a libm call per bin. Accurate to about 1e-5 dB, far
// inside the display's resolution, and written so the loops below vectorise.
namespace fastlog {

// 10 * log10(p) for a positive, normal p. Callers clamp to a floor first, so zero,
// negative and denormal inputs never reach it.
inline float powerToDb(float p)
{
    uint32_t bits;
    std::memcpy(&bits, &p, sizeof bits);
    // Split p into 2^e * m with m in [sqrt(1/2), sqrt(2)): the series below converges fastest there.
    const uint32_t shifted = bits - 0x3f3504f3u;
    const int32_t exponent = static_cast<int32_t>(shifted) >> 23;
    const uint32_t mantissaBits = (shifted & 0x007fffffu) + 0x3f3504f3u;
    float m;
    std::memcpy(&m, &mantissaBits, sizeof m);
    // ln(m) = 2 atanh(s), s = (m - 1) / (m + 1), |s| < 0.172.
    const float s = (m - 1.0f) / (m + 1.0f);
    const float s2 = s * s;
    const float series = 1.0f + s2 * (1.0f / 3.0f + s2 * (1.0f / 5.0f + s2 * (1.0f / 7.0f + s2 * (1.0f / 9.0f))));
    const float lnM = 2.0f * s * series;
    constexpr float kDbPerOctave = 3.0102999566f;   // 10 log10(2)
    constexpr float kDbPerNeper = 4.3429448190f;    // 10 / ln(10)
    return static_cast<float>(exponent) * kDbPerOctave + lnM * kDbPerNeper;
}

// The same over an array; db may alias power.
void powerToDb(const float* power, float* db, std::size_t n);

} // namespace fastlog
