#pragma once

#include <cstddef>

// The FFT window's value at sample i of n for a window type (1 for an unknown type): the one
// formula the analyser windows with and the intercept time is worked out from.
float fftWindowValue(int type, std::size_t i, std::size_t n);
