#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>

// Dot products of the FIR stages, built for the baseline and for AVX2/FMA processors
// and picked at load time.

// Sum over p < phases of taps[p * phaseTaps + i] * line[p * lineStride + starts[p] + i],
// i < phaseTaps (a multiple of 16), for the I and the Q line together.
std::complex<float> polyphaseDot(const float* taps, const float* lineI, const float* lineQ, const int32_t* starts,
                                 int phases, int phaseTaps, int lineStride);

// Sum of a[i] * b[i] for i < n (a multiple of 16).
float dotProduct(const float* a, const float* b, int n);

// out[k] = in[k] clipped to [-1, 1], times 32767, truncated toward zero.
void toInt16FullScale(const float* in, int16_t* out, size_t n);

// Samples per chunk of mixChunks.
constexpr size_t kMixChunk = 16;

// Mixes `chunks` chunks of kMixChunk interleaved int16 (I, Q) pairs (full scale 32768 as
// 1.0) with the phasor (phaseCos, phaseSin) advanced by step^k within a chunk (powCos,
// powSin hold step^0 .. step^(kMixChunk-1)) and by step^kMixChunk (chunkCos, chunkSin)
// from chunk to chunk: out = x * conj(phasor), interleaved. Updates the phasor.
void mixChunks(const int16_t* iq, size_t chunks, float* out, const float* powCos, const float* powSin, float chunkCos,
               float chunkSin, float& phaseCos, float& phaseSin);
