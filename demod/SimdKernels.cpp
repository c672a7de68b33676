#include "demod/SimdKernels.h"

#include "demod/FastAtan2.h"

#include <algorithm>
#include <climits>
#include <cstring>

// Eight-lane accumulators in GCC vector types: two SSE registers on the baseline, one
// AVX register with fused multiply-adds on x86-64-v3. Loads go through memcpy since
// the delay-line windows are not aligned.
using v8sf = float __attribute__((vector_size(32)));

// Loads and sums through references: a function taking or returning an AVX vector by value
// would change the calling convention between the baseline and the AVX2 builds.
#define RTSA_LOAD8(v, p) std::memcpy(&(v), (p), sizeof(v))

using v8si = int32_t __attribute__((vector_size(32)));
using v8hi = int16_t __attribute__((vector_size(16)));

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

// Eight values to full-scale int16: clipped to [-1, 1], times 32767, truncated toward zero.
[[gnu::always_inline]] inline void quantise8(const v8sf& v, int16_t* out)
{
    const v8sf one = v8sf{} + 1.0f;
    v8sf x = v < one ? v : one;
    x = x > -one ? x : -one;
    const v8hi q = __builtin_convertvector(__builtin_convertvector(x * 32767.0f, v8si), v8hi);
    std::memcpy(out, &q, sizeof q);
}

} // namespace

RTSA_SIMD_CLONES void
decimateBlock(const float* taps, int tapCount, const float* lineI, const float* lineQ, int32_t start, int32_t stride,
              size_t outputs, std::complex<float>* out)
{
    for (size_t j = 0; j < outputs; ++j) {
        const float* xi = lineI + start + static_cast<ptrdiff_t>(j) * stride;
        const float* xq = lineQ + start + static_cast<ptrdiff_t>(j) * stride;
        // Two accumulators per component hide the latency of the multiply-adds.
        v8sf accI = {}, accI2 = {};
        v8sf accQ = {}, accQ2 = {};
        for (int i = 0; i < tapCount; i += 16) {
            v8sf h, h2, a, a2, b, b2;
            RTSA_LOAD8(h, taps + i);
            RTSA_LOAD8(h2, taps + i + 8);
            RTSA_LOAD8(a, xi + i);
            RTSA_LOAD8(a2, xi + i + 8);
            RTSA_LOAD8(b, xq + i);
            RTSA_LOAD8(b2, xq + i + 8);
            accI += h * a;
            accI2 += h2 * a2;
            accQ += h * b;
            accQ2 += h2 * b2;
        }
        out[j] = {sum8(accI + accI2), sum8(accQ + accQ2)};
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
    for (; k + 8 <= n; k += 8) {
        v8sf v;
        RTSA_LOAD8(v, in + k);
        quantise8(v, out + k);
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
        [out](const v8sf& mixed, size_t at) { quantise8(mixed, out + at); });
}
