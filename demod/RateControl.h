#pragma once

#include "demod/DemodDiagnostics.h"

#include <cstdint>

// Derives the resampling ratio from the rate at which demodulator samples actually
// arrive, measured over one-second windows by the caller's clock, so that a receiver
// clock offset from the host's is absorbed.
//
// The first window after a start holds the backlog the chain catches up on and is not a
// measurement; a window further from nominal than any clock can be (a stall, samples lost
// upstream) is not one either. Both are reported and leave the ratio alone, and a
// measurement moves the ratio by a bounded step, so the pitch never jumps audibly.
class RateControl {
public:
    // How far from nominal a ratio may be taken at all.
    static constexpr double kTargetRange = 0.05;
    // The largest clock offset taken for real: ten times what a receiver's crystal is off.
    static constexpr double kPlausibleOffset = 0.002;
    // The largest change of the ratio per window, relative to nominal.
    static constexpr double kMaxStep = 0.0004;

    explicit RateControl(DemodDiagnostics& diagnostics = DemodDiagnostics::standardOutput());

    // One block of blockSamples demodulator inputs at the nominal rate demodRateHz,
    // arriving at nowSeconds; returns the ratio to resample it with.
    double update(double demodRateHz, uint64_t blockSamples, double nowSeconds);
    void reset();

    double smoothedRatio() const { return m_smoothedRatio; }
    double measuredRateHz() const { return m_measuredRateHz; }

private:
    void measure(double demodRateHz, double elapsedSeconds);

    DemodDiagnostics& m_diag;
    double m_smoothedRatio = 1.0;
    double m_measuredRateHz = 0.0;
    uint64_t m_count = 0;
    double m_windowStart = 0.0;
    bool m_initialised = false;
    bool m_warmedUp = false;
};
