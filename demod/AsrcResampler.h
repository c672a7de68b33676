#pragma once

#include "demod/DemodDiagnostics.h"

#include <cstddef>
#include <cstdint>

struct SRC_STATE_tag;

// One-channel asynchronous resampler with a variable ratio (output rate / input rate),
// converting with the fastest band-limited sinc of the sample-rate library.
class AsrcResampler {
public:
    explicit AsrcResampler(double outputRateHz, DemodDiagnostics& diagnostics = DemodDiagnostics::standardOutput());
    ~AsrcResampler();
    AsrcResampler(const AsrcResampler&) = delete;
    AsrcResampler& operator=(const AsrcResampler&) = delete;

    void reset();
    // Returns the number of outputs; consumed (if given) receives the inputs used.
    // Input that is not consumed is the caller's to keep or lose.
    size_t process(const float* in, size_t inCount, float* out, size_t outCapacity, double ratio,
                   size_t* consumed = nullptr);

    bool valid() const { return m_state != nullptr; }
    double lastRatio() const { return m_lastRatio; }
    double outputRateHz() const { return m_outputRateHz; }

private:
    double m_outputRateHz;
    DemodDiagnostics& m_diag;
    SRC_STATE_tag* m_state = nullptr;
    double m_lastRatio = 0.0;
};
