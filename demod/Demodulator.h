#pragma once

#include <complex>
#include <cstddef>

// A demodulator turns complex baseband at its sample rate into audio samples.
class Demodulator {
public:
    virtual ~Demodulator() = default;
    // Returns the number of samples written to out (count, or 0 when it cannot run).
    virtual size_t process(const std::complex<float>* in, size_t count, float* out, size_t outCapacity) = 0;
    virtual void reset() = 0;
    virtual void setSampleRate(double rateHz) = 0;
};
