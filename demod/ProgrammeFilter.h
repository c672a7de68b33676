#pragma once

#include "demod/FirDecimator.h"

#include <cstddef>

// The programme band of demodulated audio: flat to 15 kHz (within 0.001 dB), and the 19 kHz
// stereo pilot, the 38 kHz subcarrier and everything else from 18.8 kHz up at least 90 dB down,
// taken down to 100 kHz on the way from the demodulator's 500 or 200 kHz (from another rate, to
// the rate the first stage's factors allow, where the edge widens in proportion). The same
// linear-phase filters for both channels, so that left and right, and the sum and difference
// they are made of, keep the same gain and delay (0.87 ms at 500 kHz). Two stages: a short one
// takes the audio down (flat to 30 kHz at 500 kHz, at least 100 dB down where anything would
// fold below that), a long one at the lower rate gives the band its edge.
class ProgrammeFilter {
public:
    static constexpr int kDecimatorTaps = 80;
    static constexpr int kBandTaps = 160;

    ProgrammeFilter();

    // Designs both stages for audio at inputRateHz and starts from silence.
    void configure(double inputRateHz);
    void reset();

    // Filters count samples of left, and of right unless it is null, in place; returns the
    // number of samples at the output rate, now at the front of each.
    size_t process(float* left, float* right, size_t count);

    int factor() const { return m_decimator.factor(); }
    double outputRateHz() const { return m_outputRateHz; }

private:
    FirDecimator<kDecimatorTaps> m_decimator;
    FirDecimator<kBandTaps> m_band;
    double m_outputRateHz = 0.0;
};
