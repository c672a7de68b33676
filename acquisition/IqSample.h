#pragma once

#include <cstddef>
#include <cstdint>

// One receiver sample as it travels through the rings: little-endian I then Q.
struct IqSample {
    int16_t i;
    int16_t q;
};
static_assert(sizeof(IqSample) == 4, "IQ samples are carried as 4-byte records");

inline constexpr std::size_t kIqSampleBytes = sizeof(IqSample);
