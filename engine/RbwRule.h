#pragma once

#include <cstdint>

// Turns a resolution-bandwidth target into an FFT size: the power of two nearest to the
// size that gives the target with the window's noise bandwidth, within [minFft, maxFft].
struct RbwChoice {
    double targetHz = 0.0;    // the target after clamping to the finest achievable resolution
    bool clamped = false;     // the request was finer than maxFft allows
    double finestHz = 0.0;    // the finest resolution, valid when clamped
    uint64_t fftSize = 0;     // 0 when no size follows from the target
};

RbwChoice chooseFftSizeForRbw(double targetHz, double sampleRateHz, int windowType, uint64_t minFft,
                              uint64_t maxFft);
