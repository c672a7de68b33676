#pragma once

#include <cstdint>
#include <cstring>

// Eight pairs of neighbouring floats (a bin's real and imaginary parts, the two bins of a
// column) taken apart for the per-pair loops. Left to itself the compiler separates the firsts
// and seconds across the halves of a 256-bit vector with four cross-lane permutes per eight
// pairs. Taken apart within each half instead, the pairs come out in the order 0 1 4 5 2 3 6 7,
// and one permute per result puts them right: the arithmetic between is the same.
namespace pairedlanes {

using Floats = float __attribute__((vector_size(32)));

// The firsts and seconds of the 8 pairs at pairs[0..15], each in the order 0 1 4 5 2 3 6 7.
inline void split(const float* pairs, Floats& firsts, Floats& seconds)
{
    using Lanes = int32_t __attribute__((vector_size(32)));
    Floats low;
    Floats high;
    std::memcpy(&low, pairs, sizeof low);
    std::memcpy(&high, pairs + 8, sizeof high);
    firsts = __builtin_shuffle(low, high, Lanes{0, 2, 8, 10, 4, 6, 12, 14});
    seconds = __builtin_shuffle(low, high, Lanes{1, 3, 9, 11, 5, 7, 13, 15});
}

// Eight per-pair results of split's order stored in pair order at dst[0..7].
inline void store(float* dst, const Floats& results)
{
    using Lanes = int32_t __attribute__((vector_size(32)));
    const Floats ordered = __builtin_shuffle(results, Lanes{0, 1, 4, 5, 2, 3, 6, 7});
    std::memcpy(dst, &ordered, sizeof ordered);
}

} // namespace pairedlanes
