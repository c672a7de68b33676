#pragma once

#include "demod/CicDecimator.h"
#include "demod/DemodDiagnostics.h"

#include <complex>
#include <cstddef>
#include <cstdint>
#include <memory>

// First decimation stage: picks a CIC decimation by the receiver's sample rate
// (30, 20, 10 MHz down to 5 MHz; 5 and 2 MHz and unknown rates pass through).
// Reconfigures itself when the input rate moves. It leaves DC alone: at its input the
// wanted station is at 0 Hz, and the receiver's own DC is taken out before the mixer.
class IqDecimator {
public:
    explicit IqDecimator(double targetOutputHz, DemodDiagnostics& diagnostics = DemodDiagnostics::standardOutput());

    // in and out may be the same buffer. Returns the number of outputs; 0 on bad
    // arguments. Stops consuming input once outCapacity outputs are written.
    size_t process(const std::complex<float>* in, size_t count, double inputRateHz, std::complex<float>* out,
                   size_t outCapacity);
    // The same for input already mixed and put to full-scale int16 pairs (see
    // toInt16FullScale), valid only while decimatesAt(inputRateHz): returns 0 otherwise. The
    // outputs' I and Q go to outI and outQ, kept apart as the filters after it hold them.
    size_t processQuantised(const int16_t* iq, size_t pairs, double inputRateHz, float* outI, float* outQ,
                            size_t outCapacity);
    // Configures for inputRateHz if needed; true when that rate goes through the CIC (false in
    // the bypass modes).
    bool decimatesAt(double inputRateHz);
    void reset();

    double targetOutputHz() const { return m_targetOutputHz; }
    double inputRateHz() const { return m_inputRateHz; }
    double outputRateHz() const { return m_outputRateHz; }
    int32_t decimation() const { return m_r; }

private:
    void configure(double inputRateHz);
    void useCic(int32_t r, int32_t n, double outputRateHz);
    void bypass(double inputRateHz);
    void reportIfChanged(size_t count, double inputRateHz, size_t produced);


    double m_targetOutputHz;
    double m_inputRateHz = 0.0;
    double m_outputRateHz = 0.0;
    int32_t m_r = 1;
    std::unique_ptr<CicDecimator> m_cicI;
    std::unique_ptr<CicDecimator> m_cicQ;
    DemodDiagnostics& m_diag;
};
