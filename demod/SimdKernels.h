#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>

// The sample kernels of the demodulation stages, built for the baseline and for AVX2/FMA
// processors and picked at load time.

// Marks a function to be built in both versions. ThreadSanitizer builds get the baseline only:
// the loader runs the version picker before the sanitizer's runtime is up, and the picker,
// instrumented, crashes.
#if defined(__SANITIZE_THREAD__)
#define RTSA_SIMD_CLONES
#else
#define RTSA_SIMD_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#endif

// Outputs of a decimating FIR with real taps over complex samples held as separate I and Q
// lines: out[j] = sum over i < tapCount of taps[i] * line[start + j * stride + i], for the I and
// the Q line together, j < outputs. tapCount is a multiple of 16.
void decimateBlock(const float* taps, int tapCount, const float* lineI, const float* lineQ, int32_t start,
                   int32_t stride, size_t outputs, std::complex<float>* out);

// out[k] = sum over i < tapCount of taps[i] * line[k + i], k < outputs. tapCount is a multiple
// of 8.
void filterBlock(const float* taps, int tapCount, const float* line, size_t outputs, float* out);

// out[k] = in[k] clipped to [-1, 1], times 32767, truncated toward zero.
void toInt16FullScale(const float* in, int16_t* out, size_t n);

// The phase steps of an FM discriminator, scaled: out[k] = atan2(im, re) * scale, where
// re + j im = in[k] times the conjugate of in[k - 1] (of prev for k = 0); 0 where both are 0.
void discriminate(const std::complex<float>* in, size_t count, std::complex<float> prev, float scale, float* out);

// Sums of the I and of the Q values of `pairs` interleaved int16 (I, Q) pairs.
void sumPairs(const int16_t* iq, size_t pairs, int64_t& sumI, int64_t& sumQ);

// The outputs of a decimating integer FIR over interleaved int16 (I, Q) pairs, I and Q together:
// output j takes the `window` pairs from pair j * stride on, dot products of their I and of
// their Q values with the taps, each sum (which must fit int32) scaled as
// float(double(sum) * scale) into outI[j] and outQ[j]. window is a multiple of 8; taps holds
// 2 * window values: for each two window positions (2u, 2u + 1), their taps g twice over,
// g[2u], g[2u + 1], g[2u], g[2u + 1], so that one multiply-add of pairs serves I and Q alike.
void cicPairs(const int16_t* iq, const int16_t* taps, size_t window, size_t stride, size_t outputs, double scale,
              float* outI, float* outQ);

// Samples per chunk of mixChunks.
constexpr size_t kMixChunk = 16;

// Mixes `chunks` chunks of kMixChunk interleaved int16 (I, Q) pairs (full scale 32768 as 1.0),
// less the receiver's DC offset (dcI, dcQ), with the phasor (phaseCos, phaseSin) advanced by
// step^k within a chunk and by step^kMixChunk (chunkCos, chunkSin) from chunk to chunk:
// out = x * conj(phasor), interleaved. powCos2 and powSin2 hold the real and imaginary parts of
// step^0 .. step^(kMixChunk-1), each twice in a row (for I and for Q). Updates the phasor.
void mixChunks(const int16_t* iq, size_t chunks, float* out, float dcI, float dcQ, const float* powCos2,
               const float* powSin2, float chunkCos, float chunkSin, float& phaseCos, float& phaseSin);
// The same, with every mixed value then put to full-scale int16 as toInt16FullScale does.
void mixChunksToInt16(const int16_t* iq, size_t chunks, int16_t* out, float dcI, float dcQ, const float* powCos2,
                      const float* powSin2, float chunkCos, float chunkSin, float& phaseCos, float& phaseSin);

// One value to full-scale int16: clipped to [-1, 1], times 32767, truncated toward zero.
inline int16_t quantise(float v)
{
    v = v < 1.0f ? v : 1.0f;
    v = v > -1.0f ? v : -1.0f;
    return static_cast<int16_t>(static_cast<int32_t>(v * 32767.0f));
}
