#pragma once

#include "demod/DemodParams.h"
#include "demod/RunningAverage.h"

#include <complex>
#include <cstddef>

// Mutes audio while no signal is present: estimates the noise, opens on a
// signal-to-noise ratio or an absolute level, closes with hysteresis after a hang
// time, and smooths the resulting gain with attack and release time constants.
//
// The noise is told apart from the signal by the envelope, not by the power: an FM
// carrier has a constant envelope while complex Gaussian noise has |z|^2 exponentially
// distributed, so the second and fourth moments of the envelope split the power into
// carrier S and noise N (S^2 = 2 M2^2 - M4, N = M2 - S). A steady station therefore
// never becomes the noise floor, whatever its level.
class Squelch {
public:
    // Samples the moments are averaged over (about 16 ms at 500 kHz).
    static constexpr double kMomentSamples = 8192.0;
    // Samples needed before the noise estimate is trusted; until then only the level opens.
    static constexpr double kSettleSamples = 4096.0;
    // Samples the power compared with the floor and the level is averaged over, so that
    // a short block of noise cannot open the squelch.
    static constexpr double kPowerSamples = 1024.0;

    // One block of k baseband samples lasting blockSeconds (0 when the rate is unknown);
    // returns the gain for the block's audio, in [0, 1].
    float step(const std::complex<float>* samples, size_t k, double blockSeconds, const DemodParams& params);

    // Closed and uninitialised: the next blocks measure a fresh floor.
    void clear();
    // Open with unity gain, as while the squelch is switched off.
    void setOpen();

    bool isOpen() const { return m_open; }
    bool initialised() const { return m_initialised; }
    float gain() const { return m_gain; }
    double hangRemaining() const { return m_hangRemaining; }
    // Linear power relative to full scale; 0 until the estimate has settled.
    double noiseFloor() const { return m_noiseFloor; }
    // The noise part of the recent power, from the envelope moments.
    double noiseEstimate() const;

private:
    void accumulate(const std::complex<float>* samples, size_t k);
    void decide(double power, double blockSeconds, const DemodParams& params);
    void smoothGain(double blockSeconds, const DemodParams& params);

    bool m_open = false;
    bool m_initialised = false;
    float m_gain = 0.0f;
    double m_hangRemaining = 0.0;
    double m_noiseFloor = 0.0;
    RunningAverage m_m2{kMomentSamples};
    RunningAverage m_m4{kMomentSamples};
    RunningAverage m_power{kPowerSamples};
};
