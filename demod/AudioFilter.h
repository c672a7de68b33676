#pragma once

#include "demod/DemodDiagnostics.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Even-order Butterworth low-pass or high-pass: a cascade of second-order sections
// from the bilinear transform with a pre-warped cut-off, run in double precision.
class AudioFilter {
public:
    enum Type : int32_t { LowPass = 0, HighPass = 1 };

    struct Biquad {
        double b0 = 0.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
        double w1 = 0.0, w2 = 0.0;
    };

    // Throws std::invalid_argument for an order other than 2, 4, 6 or 8 (checked first)
    // and for a cut-off outside (0, sampleRateHz / 2).
    AudioFilter(Type type, double cutoffHz, double sampleRateHz, int32_t order,
                DemodDiagnostics& diagnostics = DemodDiagnostics::standardOutput());

    // Redesigns (clearing the state) when 0 < cutoffHz < sampleRateHz / 2; otherwise keeps
    // the current design and state.
    void setCutoff(double cutoffHz, double sampleRateHz);
    // in and out may be the same buffer.
    void process(const float* in, float* out, size_t count);
    void reset();

    Type type() const { return m_type; }
    double cutoffHz() const { return m_cutoffHz; }
    double sampleRateHz() const { return m_sampleRateHz; }
    int32_t order() const { return m_order; }
    const std::vector<Biquad>& sections() const { return m_sections; }

private:
    void design();

    Type m_type;
    double m_cutoffHz;
    double m_sampleRateHz;
    int32_t m_order;
    std::vector<Biquad> m_sections;
    DemodDiagnostics& m_diag;
};
