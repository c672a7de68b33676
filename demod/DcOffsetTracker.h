#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>

// The receiver's own DC offset, estimated from its raw IQ so that it can be taken out at the
// receiver's centre frequency, before the mixer moves the wanted station to 0 Hz (a DC blocker
// after the mixer would notch the carrier of an exactly tuned station instead). The estimate is
// a one-pole average of block means with a time constant of 0.1 s, whatever the block sizes:
// a notch about 1.6 Hz wide at the centre.
class DcOffsetTracker {
public:
    static constexpr double kTimeConstantSeconds = 0.1;

    // Takes in one block of `pairs` interleaved int16 (I, Q) pairs received at sampleRateHz.
    void update(const int16_t* iq, size_t pairs, double sampleRateHz);
    void reset() { m_offset = {}; }

    // Full scale 32768 as 1.0, as the mixer reads the samples.
    std::complex<float> offset() const
    {
        return {static_cast<float>(m_offset.real()), static_cast<float>(m_offset.imag())};
    }

private:
    std::complex<double> m_offset;
};
