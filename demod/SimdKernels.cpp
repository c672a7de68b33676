#include "demod/SimdKernels.h"

#include "demod/FastAtan2.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include <immintrin.h>

// Eight-lane accumulators in GCC vector types: two SSE registers on the baseline, one
// AVX register with fused multiply-adds on x86-64-v3. Loads go through memcpy since
// the delay-line windows are not aligned.
using v8sf = float __attribute__((vector_size(32)));

// Loads and sums through references: a function taking or returning an AVX vector by value
// would change the calling convention between the baseline and the AVX2 builds.
#define RTSA_LOAD8(v, p) std::memcpy(&(v), (p), sizeof(v))

using v8si = int32_t __attribute__((vector_size(32)));
using v16si = int32_t __attribute__((vector_size(64)));
using v16hi = int16_t __attribute__((vector_size(32)));

namespace {

float sum8(const v8sf& v)
{
    return ((v[0] + v[4]) + (v[1] + v[5])) + ((v[2] + v[6]) + (v[3] + v[7]));
}

// Eight int16 values sign-extended to int32, spelled element by element: GCC makes that one
// widening load, where it splits a vector conversion of the same values into halves.
[[gnu::always_inline]] inline void widen8(const int16_t* p, v8si& out)
{
    out = v8si{p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]};
}

// Sixteen values, a's then b's, to full-scale int16: clipped to [-1, 1], times 32767, truncated
// toward zero. Sixteen at a time narrow with one pack and one permutation.
[[gnu::always_inline]] inline void quantise16(const v8sf& a, const v8sf& b, int16_t* out)
{
    const v8sf one = v8sf{} + 1.0f;
    v8sf x = a < one ? a : one;
    v8sf y = b < one ? b : one;
    x = x > -one ? x : -one;
    y = y > -one ? y : -one;
    const v16si both = __builtin_shufflevector(__builtin_convertvector(x * 32767.0f, v8si),
                                               __builtin_convertvector(y * 32767.0f, v8si), 0, 1, 2, 3, 4, 5, 6, 7, 8,
                                               9, 10, 11, 12, 13, 14, 15);
    const v16hi q = __builtin_convertvector(both, v16hi);
    std::memcpy(out, &q, sizeof q);
}

} // namespace

namespace {

// Accumulates Outputs outputs of decimateBlock, the j-th from lineI / lineQ + j * stride, one
// accumulator each per component, eight taps a step: every tap load serves all of them.
template <size_t Outputs>
[[gnu::always_inline]] inline void accumulate(const float* taps, int tapCount, const float* lineI,
                                              const float* lineQ, ptrdiff_t stride, v8sf (&accI)[Outputs],
                                              v8sf (&accQ)[Outputs])
{
    for (size_t k = 0; k < Outputs; ++k)
        accI[k] = accQ[k] = v8sf{};
    for (int i = 0; i < tapCount; i += 8) {
        v8sf h;
        RTSA_LOAD8(h, taps + i);
        for (size_t k = 0; k < Outputs; ++k) {
            v8sf a, b;
            RTSA_LOAD8(a, lineI + static_cast<ptrdiff_t>(k) * stride + i);
            RTSA_LOAD8(b, lineQ + static_cast<ptrdiff_t>(k) * stride + i);
            accI[k] += h * a;
            accQ[k] += h * b;
        }
    }
}

// Of two vectors, the sums of their lanes 0 and 1 and of 2 and 3 in the lower half, of x's
// then y's; the same of lanes 4 to 7 in the upper half.
[[gnu::always_inline]] inline void pairSums(const v8sf& x, const v8sf& y, v8sf& out)
{
    out = __builtin_shuffle(x, y, v8si{0, 2, 8, 10, 4, 6, 12, 14})
          + __builtin_shuffle(x, y, v8si{1, 3, 9, 11, 5, 7, 13, 15});
}

// x's lanes 0-3 plus 4-7 in the lower half, y's in the upper.
[[gnu::always_inline]] inline void halfSums(const v8sf& x, const v8sf& y, v8sf& out)
{
    out = __builtin_shuffle(x, y, v8si{0, 1, 2, 3, 8, 9, 10, 11})
          + __builtin_shuffle(x, y, v8si{4, 5, 6, 7, 12, 13, 14, 15});
}

} // namespace

RTSA_SIMD_CLONES void
decimateBlock(const float* taps, int tapCount, const float* lineI, const float* lineQ, int32_t start, int32_t stride,
              size_t outputs, std::complex<float>* out)
{
    // Four outputs at a time, their eight sums across lanes taken together in a tree that adds
    // in sum8's order, so that an output comes out the same whether it is one of four or alone.
    size_t j = 0;
    for (; j + 4 <= outputs; j += 4) {
        const ptrdiff_t at = start + static_cast<ptrdiff_t>(j) * stride;
        v8sf accI[4], accQ[4];
        accumulate<4>(taps, tapCount, lineI + at, lineQ + at, stride, accI, accQ);
        v8sf half[4], pairs[2], sums;
        for (size_t k = 0; k < 4; ++k)
            halfSums(accI[k], accQ[k], half[k]);
        pairSums(half[0], half[1], pairs[0]);
        pairSums(half[2], half[3], pairs[1]);
        pairSums(pairs[0], pairs[1], sums); // I0 I1 I2 I3 | Q0 Q1 Q2 Q3
        const v8sf interleaved = __builtin_shuffle(sums, v8si{0, 4, 1, 5, 2, 6, 3, 7});
        std::memcpy(reinterpret_cast<float*>(out + j), &interleaved, sizeof interleaved);
    }
    for (; j < outputs; ++j) {
        const ptrdiff_t at = start + static_cast<ptrdiff_t>(j) * stride;
        v8sf accI[1], accQ[1];
        accumulate<1>(taps, tapCount, lineI + at, lineQ + at, stride, accI, accQ);
        out[j] = {sum8(accI[0]), sum8(accQ[0])};
    }
}

RTSA_SIMD_CLONES void filterBlock(const float* taps, int tapCount, const float* line, size_t outputs, float* out)
{
    // Eight outputs at a time, one lane each: no sums across lanes. Four accumulators over
    // alternating taps keep four multiply-add chains in flight.
    size_t k = 0;
    for (; k + 8 <= outputs; k += 8) {
        v8sf acc[4] = {};
        for (int i = 0; i < tapCount; i += 4)
            for (int a = 0; a < 4; ++a) {
                v8sf x;
                RTSA_LOAD8(x, line + k + i + a);
                acc[a] += taps[i + a] * x;
            }
        const v8sf sum = (acc[0] + acc[1]) + (acc[2] + acc[3]);
        std::memcpy(out + k, &sum, sizeof sum);
    }
    for (; k < outputs; ++k) {
        float sum = 0.0f;
        for (int i = 0; i < tapCount; ++i)
            sum += taps[i] * line[k + i];
        out[k] = sum;
    }
}

RTSA_SIMD_CLONES void toInt16FullScale(const float* in, int16_t* out, size_t n)
{
    size_t k = 0;
    for (; k + 16 <= n; k += 16) {
        v8sf a, b;
        RTSA_LOAD8(a, in + k);
        RTSA_LOAD8(b, in + k + 8);
        quantise16(a, b, out + k);
    }
    for (; k < n; ++k)
        out[k] = quantise(in[k]);
}

RTSA_SIMD_CLONES void
discriminate(const std::complex<float>* in, size_t count, std::complex<float> prev, float scale, float* out)
{
    if (count == 0)
        return;
    const float* x = reinterpret_cast<const float*>(in);
    out[0] = fastAtan2(prev.real() * x[1] - prev.imag() * x[0], prev.real() * x[0] + prev.imag() * x[1]) * scale;
    for (size_t k = 1; k < count; ++k) {
        const float i0 = x[2 * k - 2], q0 = x[2 * k - 1], i1 = x[2 * k], q1 = x[2 * k + 1];
        out[k] = fastAtan2(i0 * q1 - q0 * i1, i0 * i1 + q0 * q1) * scale;
    }
}

RTSA_SIMD_CLONES void sumPairs(const int16_t* iq, size_t pairs, int64_t& sumI, int64_t& sumQ)
{
    // Four pairs at a time into int32 lanes, emptied into the int64 sums before they could
    // overflow: 65535 additions of at most 2^15 each stay below 2^31.
    constexpr size_t kFlush = 65535;
    const size_t whole = pairs - pairs % 4;
    int64_t i = 0, q = 0;
    for (size_t k = 0; k < whole;) {
        v8si acc = {};
        const size_t end = std::min(whole, k + 4 * kFlush);
        for (; k < end; k += 4) {
            v8si wide;
            widen8(iq + 2 * k, wide);
            acc += wide;
        }
        i += static_cast<int64_t>(acc[0]) + acc[2] + acc[4] + acc[6];
        q += static_cast<int64_t>(acc[1]) + acc[3] + acc[5] + acc[7];
    }
    for (size_t k = whole; k < pairs; ++k) {
        i += iq[2 * k];
        q += iq[2 * k + 1];
    }
    sumI = i;
    sumQ = q;
}

namespace {

// The mixing of mixChunks, handing each eight mixed values (four samples, I and Q interleaved)
// to store(values, offset).
template <typename Store>
[[gnu::always_inline]] inline void mix(const int16_t* iq, size_t chunks, float dcI, float dcQ, const float* powCos2,
                                       const float* powSin2, float chunkCos, float chunkSin, float& phaseCos,
                                       float& phaseSin, Store store)
{
    constexpr float kScale = 1.0f / 32768.0f;
    const v8sf dc = {dcI, dcQ, dcI, dcQ, dcI, dcQ, dcI, dcQ};
    // Multiplying by conj(phasor): (i c + q s, q c - i s), that is x c + (q, -i) s.
    // The sign of every Q flipped by its sign bit, cheaper than a multiplication by -1.
    const v8si flipQ = {0, INT32_MIN, 0, INT32_MIN, 0, INT32_MIN, 0, INT32_MIN};
    float pc = phaseCos;
    float ps = phaseSin;
    for (size_t chunk = 0; chunk < chunks; ++chunk) {
        const int16_t* src = iq + 2 * kMixChunk * chunk;
        for (size_t v = 0; v < 2 * kMixChunk; v += 8) {
            v8si wide;
            widen8(src + v, wide);
            const v8sf x = __builtin_convertvector(wide, v8sf) * kScale - dc;
            v8sf c, sn;
            RTSA_LOAD8(c, powCos2 + v);
            RTSA_LOAD8(sn, powSin2 + v);
            const v8sf laneCos = pc * c - ps * sn;
            const v8sf laneSin = pc * sn + ps * c;
            const v8sf swapped = reinterpret_cast<v8sf>(
                reinterpret_cast<v8si>(__builtin_shuffle(x, v8si{1, 0, 3, 2, 5, 4, 7, 6})) ^ flipQ);
            const v8sf mixed = x * laneCos + swapped * laneSin;
            store(mixed, 2 * kMixChunk * chunk + v);
        }
        const float c = pc * chunkCos - ps * chunkSin;
        ps = pc * chunkSin + ps * chunkCos;
        pc = c;
    }
    phaseCos = pc;
    phaseSin = ps;
}

} // namespace

RTSA_SIMD_CLONES void
mixChunks(const int16_t* iq, size_t chunks, float* out, float dcI, float dcQ, const float* powCos2,
          const float* powSin2, float chunkCos, float chunkSin, float& phaseCos, float& phaseSin)
{
    mix(iq, chunks, dcI, dcQ, powCos2, powSin2, chunkCos, chunkSin, phaseCos, phaseSin,
        [out](const v8sf& mixed, size_t at) { std::memcpy(out + at, &mixed, sizeof mixed); });
}

RTSA_SIMD_CLONES void
mixChunksToInt16(const int16_t* iq, size_t chunks, int16_t* out, float dcI, float dcQ, const float* powCos2,
                 const float* powSin2, float chunkCos, float chunkSin, float& phaseCos, float& phaseSin)
{
    mix(iq, chunks, dcI, dcQ, powCos2, powSin2, chunkCos, chunkSin, phaseCos, phaseSin,
        // Each first eight values held until the next eight join them (a chunk holds four eights).
        [out, held = v8sf{}](const v8sf& mixed, size_t at) mutable {
            if (at % 16 == 0)
                held = mixed;
            else
                quantise16(held, mixed, out + at - 8);
        });
}

namespace {

// cicPairs where AVX2 is missing.
void cicPairsScalar(const int16_t* iq, const int16_t* taps, size_t window, size_t stride, size_t outputs,
                    double scale, float* outI, float* outQ)
{
    for (size_t j = 0; j < outputs; ++j) {
        const int16_t* p = iq + 2 * j * stride;
        int32_t sumI = 0;
        int32_t sumQ = 0;
        for (size_t u = 0; u < window / 2; ++u) {
            sumI += taps[4 * u] * p[4 * u] + taps[4 * u + 1] * p[4 * u + 2];
            sumQ += taps[4 * u + 2] * p[4 * u + 1] + taps[4 * u + 3] * p[4 * u + 3];
        }
        outI[j] = static_cast<float>(static_cast<double>(sumI) * scale);
        outQ[j] = static_cast<float>(static_cast<double>(sumQ) * scale);
    }
}

// One window's products for eight pairs a block: each 128-bit half of the eight pairs goes
// from I0 Q0 I1 Q1 I2 Q2 I3 Q3 to I0 I1 Q0 Q1 I2 I3 Q2 Q3, so that a multiply-add of neighbours
// gives I0 g0 + I1 g1, Q0 g0 + Q1 g1, I2 g2 + I3 g3, Q2 g2 + Q3 g3. Blocks = 0 takes `blocks`.
template <size_t Blocks>
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i windowSums(const int16_t* p, const __m256i* taps,
                                                                     size_t blocks)
{
    const __m256i order = _mm256_setr_epi8(0, 1, 4, 5, 2, 3, 6, 7, 8, 9, 12, 13, 10, 11, 14, 15, 0, 1, 4, 5, 2, 3,
                                           6, 7, 8, 9, 12, 13, 10, 11, 14, 15);
    __m256i acc = _mm256_setzero_si256();
    for (size_t b = 0; b < (Blocks > 0 ? Blocks : blocks); ++b) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 16 * b));
        acc = _mm256_add_epi32(acc, _mm256_madd_epi16(_mm256_shuffle_epi8(x, order), taps[b]));
    }
    return acc;
}

// Four outputs' lanes (I, Q, I, Q | I, Q, I, Q each) summed, scaled and stored.
[[gnu::target("avx2"), gnu::always_inline]] inline void
storeFour(__m256i a, __m256i b, __m256i c, __m256i d, __m256d scale, float* outI, float* outQ)
{
    const __m256i ab = _mm256_add_epi32(_mm256_permute2x128_si256(a, b, 0x20), _mm256_permute2x128_si256(a, b, 0x31));
    const __m256i cd = _mm256_add_epi32(_mm256_permute2x128_si256(c, d, 0x20), _mm256_permute2x128_si256(c, d, 0x31));
    // (a, c | b, d) as (I, Q) pairs, then put in order.
    __m256i s = _mm256_add_epi32(_mm256_unpacklo_epi64(ab, cd), _mm256_unpackhi_epi64(ab, cd));
    s = _mm256_permute4x64_epi64(s, _MM_SHUFFLE(3, 1, 2, 0));
    const __m128 lo = _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(s)), scale));
    const __m128 hi = _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(s, 1)), scale));
    _mm_storeu_ps(outI, _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0)));
    _mm_storeu_ps(outQ, _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1)));
}

template <size_t Blocks>
[[gnu::target("avx2")]] void cicPairsAvx2(const int16_t* iq, const int16_t* taps, size_t window, size_t stride,
                                          size_t outputs, double scale, float* outI, float* outQ)
{
    constexpr size_t kHeld = Blocks > 0 ? Blocks : 1;
    const size_t blocks = window / 8;
    // The taps of a short window stay in registers; a long one is read from memory.
    __m256i held[kHeld];
    for (size_t b = 0; b < kHeld && b < blocks; ++b)
        held[b] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(taps + 16 * b));
    const __m256i* t = Blocks > 0 ? held : reinterpret_cast<const __m256i*>(taps);
    const __m256d scales = _mm256_set1_pd(scale);
    const size_t step = 2 * stride;
    size_t j = 0;
    for (; j + 4 <= outputs; j += 4) {
        const int16_t* p = iq + j * step;
        storeFour(windowSums<Blocks>(p, t, blocks), windowSums<Blocks>(p + step, t, blocks),
                  windowSums<Blocks>(p + 2 * step, t, blocks), windowSums<Blocks>(p + 3 * step, t, blocks), scales,
                  outI + j, outQ + j);
    }
    for (; j < outputs; ++j) {
        const __m256i v = windowSums<Blocks>(iq + j * step, t, blocks);
        __m128i s = _mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
        s = _mm_add_epi32(s, _mm_shuffle_epi32(s, _MM_SHUFFLE(1, 0, 3, 2)));
        outI[j] = static_cast<float>(static_cast<double>(_mm_cvtsi128_si32(s)) * scale);
        outQ[j] = static_cast<float>(static_cast<double>(_mm_extract_epi32(s, 1)) * scale);
    }
}

} // namespace

void cicPairs(const int16_t* iq, const int16_t* taps, size_t window, size_t stride, size_t outputs, double scale,
              float* outI, float* outQ)
{
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (!avx2)
        cicPairsScalar(iq, taps, window, stride, outputs, scale, outI, outQ);
    // The windows of the CIC's shapes at 30, 20 and 10 MS/s built with their length.
    else if (window == 24)
        cicPairsAvx2<3>(iq, taps, window, stride, outputs, scale, outI, outQ);
    else if (window == 16)
        cicPairsAvx2<2>(iq, taps, window, stride, outputs, scale, outI, outQ);
    else if (window == 8)
        cicPairsAvx2<1>(iq, taps, window, stride, outputs, scale, outI, outQ);
    else
        cicPairsAvx2<0>(iq, taps, window, stride, outputs, scale, outI, outQ);
}
