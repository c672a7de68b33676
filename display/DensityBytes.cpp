#include "display/DensityBytes.h"

#include <algorithm>
#include <cmath>

uint64_t densitySampleHash(const uint8_t* bytes, std::size_t length)
{
    uint64_t hash = 0x14650fb0739d0383ULL;
    const std::size_t step = std::max<std::size_t>(1, length / 64);
    for (std::size_t i = 0; i < length; i += step)
        hash = (hash ^ bytes[i]) * 0x100000001b3ULL;
    return hash;
}

int densityAlpha(uint8_t t)
{
    const float a = std::pow(static_cast<float>(t) / 255.0f, 1.35f) * 255.0f;
    return static_cast<int>(std::max(std::min(a, 235.0f), 18.0f));
}

float densityColourInput(uint8_t t)
{
    return std::pow(static_cast<float>(t) / 255.0f, 0.78f);
}
