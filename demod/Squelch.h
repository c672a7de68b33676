#pragma once

#include "demod/DemodParams.h"

#include <complex>
#include <cstddef>

// Mutes audio while no signal is present: tracks a noise floor, opens on a
// signal-to-floor ratio or an absolute level, closes with hysteresis after a hang
// time, and smooths the resulting gain with attack and release time constants.
class Squelch {
public:
    // One block of k baseband samples lasting blockSeconds (0 when the rate is unknown);
    // returns the gain for the block's audio, in [0, 1].
    float step(const std::complex<float>* samples, size_t k, double blockSeconds, const DemodParams& params);

    // Closed and uninitialised: the next block measures a fresh floor.
    void clear();
    // Open with unity gain, as while the squelch is switched off.
    void setOpen();

    bool isOpen() const { return m_open; }
    bool initialised() const { return m_initialised; }
    float gain() const { return m_gain; }
    double hangRemaining() const { return m_hangRemaining; }
    double noiseFloor() const { return m_noiseFloor; }

private:
    bool m_open = false;
    bool m_initialised = false;
    float m_gain = 0.0f;
    double m_hangRemaining = 0.0;
    double m_noiseFloor = 0.0;
};
