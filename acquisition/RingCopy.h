#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Copies into and out of a circular byte buffer in at most two contiguous pieces.
inline void copyIntoRing(uint8_t* ring, std::size_t capacity, std::size_t offset, const uint8_t* src, std::size_t n)
{
    const std::size_t first = std::min(n, capacity - offset);
    std::memcpy(ring + offset, src, first);
    std::memcpy(ring, src + first, n - first);
}

inline void copyOutOfRing(const uint8_t* ring, std::size_t capacity, std::size_t offset, uint8_t* dst, std::size_t n)
{
    const std::size_t first = std::min(n, capacity - offset);
    std::memcpy(dst, ring + offset, first);
    std::memcpy(dst + first, ring, n - first);
}
