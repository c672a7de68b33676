#pragma once

#include "demod/PilotLoop.h"

#include <cstddef>

// Splits a broadcast stereo multiplex (1.0 at full deviation) into left and right: the sum is
// the multiplex itself, the difference the multiplex times twice the 38 kHz subcarrier's
// reference from the pilot loop, which brings the difference sidebands down to the audio band.
// Both sides still carry all else (the pilot, the other signal's sidebands, their images)
// until the programme filter after the demodulator takes out everything above 15 kHz; as the
// sum and the difference meet no filter before it, they keep the same gain and delay. The
// sides come out before de-emphasis.
class StereoDecoder {
public:
    // Configures the pilot loop and the difference gain.
    void configure(double sampleRateHz);
    void reset() { m_pilot.reset(); }

    // left = (sum + diff) / 2 and right = (sum - diff) / 2 for count samples.
    void process(const float* mpx, size_t count, float* left, float* right);

    const PilotLoop& pilot() const { return m_pilot; }
    // Gain that restores the subcarrier's level to the sum's (see configure()).
    float diffGain() const { return m_diffGain; }

private:
    PilotLoop m_pilot;
    float m_diffGain = 1.0f;
};
