#pragma once

#include "demod/DemodDiagnostics.h"

#include <cstdint>

// Derives the resampling ratio from the rate at which demodulator samples actually
// arrive, measured over one-second windows by the caller's clock, so that receiver and
// audio clock offsets are absorbed within +-5 % of the nominal ratio.
class RateControl {
public:
    explicit RateControl(DemodDiagnostics& diagnostics = DemodDiagnostics::standardOutput());

    // One block of blockSamples demodulator inputs at the nominal rate demodRateHz,
    // arriving at nowSeconds; returns the ratio to resample it with.
    double update(double demodRateHz, uint64_t blockSamples, double nowSeconds);
    void reset();

    double smoothedRatio() const { return m_smoothedRatio; }
    double measuredRateHz() const { return m_measuredRateHz; }

private:
    DemodDiagnostics& m_diag;
    double m_smoothedRatio = 1.0;
    double m_measuredRateHz = 0.0;
    uint64_t m_count = 0;
    double m_windowStart = 0.0;
    bool m_initialised = false;
};
