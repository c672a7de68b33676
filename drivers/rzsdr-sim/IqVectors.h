#pragma once

#include "SineTable.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

// Four lanes at a time: tones synthesised into planar float buffers, and float samples merged
// into the converter's interleaved 16-bit I/Q pairs, rounded and clipped as the converter would.
namespace iqvectors {

// Full scale of the converter's 16-bit samples.
constexpr float kFullScale = 32767.0f;

using Float4 = float __attribute__((vector_size(16)));

inline Float4 load4(const float* p)
{
    Float4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store4(float* p, Float4 v)
{
    std::memcpy(p, &v, sizeof v);
}

using Int4 = int32_t __attribute__((vector_size(16)));

// Converter counts to clipped, rounded 16-bit values: offset into positive numbers so that the
// truncating conversion rounds to nearest.
inline Int4 roundToInt(Float4 v)
{
    return __builtin_convertvector(v + 32768.5f, Int4) - 32768;
}

inline Int4 roundClip(Float4 v)
{
    v = v < -32768.0f ? Float4{} - 32768.0f : v;
    v = v > 32767.0f ? Float4{} + 32767.0f : v;
    return roundToInt(v);
}

// Four I/Q pairs as the converter delivers them: each 32-bit lane holds I in its low and Q in
// its high 16 bits (little-endian).
inline Int4 pack(Int4 i, Int4 q)
{
    return (i & 0xFFFF) | (q << 16);
}

// Four I/Q pairs with four samples of planar full-scale units added.
inline Int4 merge(Int4 pairs, const float* re, const float* im)
{
    const Float4 i = __builtin_convertvector((pairs << 16) >> 16, Float4) + load4(re) * kFullScale;
    const Float4 q = __builtin_convertvector(pairs >> 16, Float4) + load4(im) * kFullScale;
    return pack(roundClip(i), roundClip(q));
}

// The same for sums known to stay within the converter's range: in whole numbers, unclipped.
inline Int4 mergeWithin(Int4 pairs, const float* re, const float* im)
{
    return pack(((pairs << 16) >> 16) + roundToInt(load4(re) * kFullScale),
                (pairs >> 16) + roundToInt(load4(im) * kFullScale));
}

// Writes samples [begin, end) of `from` to `iq` with the work buffers merged in.
template <class Merge>
void mergeInto(const uint8_t* from, uint8_t* iq, const float* re, const float* im, std::size_t begin, std::size_t end,
               Merge merge)
{
    std::size_t i = begin;
    for (; i + 4 <= end; i += 4) {
        Int4 pairs;
        std::memcpy(&pairs, from + 4 * i, sizeof pairs);
        pairs = merge(pairs, re + i, im + i);
        std::memcpy(iq + 4 * i, &pairs, sizeof pairs);
    }
    if (i < end) {
        Int4 pairs{};
        std::memcpy(&pairs, from + 4 * i, 4 * (end - i));
        pairs = merge(pairs, re + i, im + i);
        std::memcpy(iq + 4 * i, &pairs, 4 * (end - i));
    }
}

// Adds amplitude * exp(j(phase + n * increment)) for n in [0, count), or writes it with
// `Accumulate` false: a constant tone, rotated four lanes at a time.
template <bool Accumulate>
void tone(float* re, float* im, std::size_t count, uint32_t& phase, uint32_t increment, float amplitude)
{
    const SineTable& table = SineTable::instance();
    float c, s, cw, sw, c4, s4;
    table.sincos(phase, c, s);
    table.sincos(increment, cw, sw);
    table.sincos(increment * 4u, c4, s4);
    float r0[4], i0[4];
    r0[0] = amplitude * c;
    i0[0] = amplitude * s;
    for (int k = 1; k < 4; ++k) {
        r0[k] = r0[k - 1] * cw - i0[k - 1] * sw;
        i0[k] = r0[k - 1] * sw + i0[k - 1] * cw;
    }
    Float4 lr = load4(r0);
    Float4 li = load4(i0);
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        store4(re + i, Accumulate ? load4(re + i) + lr : lr);
        store4(im + i, Accumulate ? load4(im + i) + li : li);
        const Float4 r = lr * c4 - li * s4;
        li = lr * s4 + li * c4;
        lr = r;
    }
    for (int k = 0; i < count; ++i, ++k) {
        re[i] = Accumulate ? re[i] + lr[k] : lr[k];
        im[i] = Accumulate ? im[i] + li[k] : li[k];
    }
    phase += increment * static_cast<uint32_t>(count);
}

} // namespace iqvectors
