#pragma once

#include "demod/DemodDiagnostics.h"

#include <cstddef>
#include <cstdint>

struct SRC_STATE_tag;

// Asynchronous resampler with a variable ratio (output rate / input rate), converting with the
// fastest band-limited sinc of the sample-rate library. One channel, or two interleaved (left,
// right) that share the work of interpolating the filter: in a stereo pair that costs little
// more than one channel where two resamplers would cost twice as much.
class AsrcResampler {
public:
    explicit AsrcResampler(double outputRateHz, DemodDiagnostics& diagnostics = DemodDiagnostics::standardOutput(),
                           int channels = 1);
    ~AsrcResampler();
    AsrcResampler(const AsrcResampler&) = delete;
    AsrcResampler& operator=(const AsrcResampler&) = delete;

    void reset();
    // Returns the number of outputs; consumed (if given) receives the inputs used. Counts are
    // frames: one sample per channel. Input that is not consumed is the caller's to keep or lose.
    size_t process(const float* in, size_t inCount, float* out, size_t outCapacity, double ratio,
                   size_t* consumed = nullptr);

    bool valid() const { return m_state != nullptr; }
    double lastRatio() const { return m_lastRatio; }
    double outputRateHz() const { return m_outputRateHz; }
    int channels() const { return m_channels; }

private:
    double m_outputRateHz;
    DemodDiagnostics& m_diag;
    int m_channels;
    SRC_STATE_tag* m_state = nullptr;
    double m_lastRatio = 0.0;
};
