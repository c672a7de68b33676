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
