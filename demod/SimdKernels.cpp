#include "demod/SimdKernels.h"

#include <cstring>

// Eight-lane accumulators in GCC vector types: two SSE registers on the baseline, one
// AVX register with fused multiply-adds on x86-64-v3. Loads go through memcpy since
// the delay-line windows are not aligned.
using v8sf = float __attribute__((vector_size(32)));

__attribute__((target_clones("arch=x86-64-v3", "default"))) std::complex<float>
polyphaseDot(const float* taps, const float* lineI, const float* lineQ, const int32_t* starts, int phases, int phaseTaps,
             int lineStride)
{
    // Two accumulators per component hide the latency of the multiply-adds.
    v8sf accI = {}, accI2 = {};
    v8sf accQ = {}, accQ2 = {};
    for (int p = 0; p < phases; ++p) {
        const float* t = taps + p * phaseTaps;
        const float* xi = lineI + p * lineStride + starts[p];
        const float* xq = lineQ + p * lineStride + starts[p];
        for (int i = 0; i < phaseTaps; i += 16) {
            v8sf h, h2, a, a2, b, b2;
            std::memcpy(&h, t + i, sizeof h);
            std::memcpy(&h2, t + i + 8, sizeof h2);
            std::memcpy(&a, xi + i, sizeof a);
            std::memcpy(&a2, xi + i + 8, sizeof a2);
            std::memcpy(&b, xq + i, sizeof b);
            std::memcpy(&b2, xq + i + 8, sizeof b2);
            accI += h * a;
            accI2 += h2 * a2;
            accQ += h * b;
            accQ2 += h2 * b2;
        }
    }
    accI += accI2;
    accQ += accQ2;
    const float sumI = ((accI[0] + accI[4]) + (accI[1] + accI[5])) + ((accI[2] + accI[6]) + (accI[3] + accI[7]));
    const float sumQ = ((accQ[0] + accQ[4]) + (accQ[1] + accQ[5])) + ((accQ[2] + accQ[6]) + (accQ[3] + accQ[7]));
    return {sumI, sumQ};
}

__attribute__((target_clones("arch=x86-64-v3", "default"))) float dotProduct(const float* a, const float* b, int n)
{
    v8sf acc = {}, acc2 = {};
    for (int i = 0; i < n; i += 16) {
        v8sf x, x2, y, y2;
        std::memcpy(&x, a + i, sizeof x);
        std::memcpy(&x2, a + i + 8, sizeof x2);
        std::memcpy(&y, b + i, sizeof y);
        std::memcpy(&y2, b + i + 8, sizeof y2);
        acc += x * y;
        acc2 += x2 * y2;
    }
    acc += acc2;
    return ((acc[0] + acc[4]) + (acc[1] + acc[5])) + ((acc[2] + acc[6]) + (acc[3] + acc[7]));
}

__attribute__((target_clones("arch=x86-64-v3", "default"))) void toInt16FullScale(const float* in, int16_t* out,
                                                                                   size_t n)
{
    // Explicit vector operations: the compiler does not vectorise float-to-int
    // conversion by itself while floating-point traps are honoured.
    using v4sf = float __attribute__((vector_size(16)));
    using v4si = int32_t __attribute__((vector_size(16)));
    using v4hi = int16_t __attribute__((vector_size(8)));
    const v4sf one = {1.0f, 1.0f, 1.0f, 1.0f};
    const v4sf scale = {32767.0f, 32767.0f, 32767.0f, 32767.0f};
    size_t k = 0;
    for (; k + 4 <= n; k += 4) {
        v4sf v;
        std::memcpy(&v, in + k, sizeof v);
        v = v < one ? v : one;
        v = v > -one ? v : -one;
        const v4hi h = __builtin_convertvector(__builtin_convertvector(v * scale, v4si), v4hi);
        std::memcpy(out + k, &h, sizeof h);
    }
    for (; k < n; ++k) {
        float v = in[k];
        v = v < 1.0f ? v : 1.0f;
        v = v > -1.0f ? v : -1.0f;
        out[k] = static_cast<int16_t>(static_cast<int32_t>(v * 32767.0f));
    }
}

__attribute__((target_clones("arch=x86-64-v3", "default"))) void
mixChunks(const int16_t* iq, size_t chunks, float* out, const float* powCos, const float* powSin, float chunkCos,
          float chunkSin, float& phaseCos, float& phaseSin)
{
    constexpr float kScale = 1.0f / 32768.0f;
    float pc = phaseCos;
    float ps = phaseSin;
    for (size_t chunk = 0; chunk < chunks; ++chunk) {
        const int16_t* src = iq + 2 * kMixChunk * chunk;
        float* o = out + 2 * kMixChunk * chunk;
        for (size_t k = 0; k < kMixChunk; ++k) {
            const float c = pc * powCos[k] - ps * powSin[k];
            const float s = pc * powSin[k] + ps * powCos[k];
            const float i = static_cast<float>(src[2 * k]) * kScale;
            const float q = static_cast<float>(src[2 * k + 1]) * kScale;
            o[2 * k] = i * c + q * s;
            o[2 * k + 1] = q * c - i * s;
        }
        const float c = pc * chunkCos - ps * chunkSin;
        ps = pc * chunkSin + ps * chunkCos;
        pc = c;
    }
    phaseCos = pc;
    phaseSin = ps;
}
