#pragma once

#include "demod/FirDecimator.h"

#include <cstddef>

// The programme band of demodulated audio: flat to 15 kHz (within 0.01 dB), and the 19 kHz
// stereo pilot, the 38 kHz subcarrier and everything else from 18.8 kHz up at least 90 dB down,
// taken down to 100 kHz or a little more on the way. That holds at demodulator rates up to
// 500 kHz; above, the transition band widens in proportion. One linear-phase filter for both
// channels, so that left and right, and the sum and difference they are made of, keep the same
// gain and delay (0.72 ms at 500 kHz).
class ProgrammeFilter {
public:
    static constexpr int kTaps = 720;

    ProgrammeFilter();

    // Designs the filter for audio at inputRateHz and starts from silence.
    void configure(double inputRateHz);
    void reset() { m_fir.reset(); }

    // Filters count samples of left, and of right unless it is null, in place; returns the
    // number of samples at the output rate, now at the front of each.
    size_t process(float* left, float* right, size_t count);

    int factor() const { return m_fir.factor(); }
    double outputRateHz() const { return m_outputRateHz; }

private:
    FirDecimator<kTaps> m_fir;
    double m_outputRateHz = 0.0;
};
