#pragma once

#include "demod/DemodDiagnostics.h"

#include <array>
#include <cstddef>
#include <cstdint>

// Integer cascaded integrator-comb decimator (differential delay 1). Integrators wrap
// in two's complement (kept as unsigned 32-bit values, where wrapping is defined); the
// comb differences stay exact as long as the output itself fits: |y| <= 32768 * R^N must
// stay within int32, so R^N is held to at most 2^16 (at 30 MS/s R^N = 6^4 = 1296, outputs
// within 2^25.4). Lanes of 32 bits convert to floating point in vectors, 64-bit ones do not.
class CicDecimator {
public:
    static constexpr int kMaxStages = 4;
    // The largest DC gain R^N whose outputs fit in int32.
    static constexpr double kMaxDcGain = 65536.0;

    CicDecimator(int32_t r, int32_t n, DemodDiagnostics& diagnostics = DemodDiagnostics::standardOutput());

    // Feeds one input; returns true and sets out (full-scale int16 in gives +-1.0)
    // on every R-th call.
    bool push(int16_t x, float& out)
    {
        auto v = static_cast<uint32_t>(static_cast<int32_t>(x));
        for (int i = 0; i < m_n; ++i) {
            m_integrators[i] += v;
            v = m_integrators[i];
        }
        if (++m_phase < m_r)
            return false;
        m_phase = 0;
        for (int j = 0; j < m_n; ++j) {
            const uint32_t t = m_combs[j];
            m_combs[j] = v;
            v -= t;
        }
        out = static_cast<float>(static_cast<double>(static_cast<int32_t>(v)) * m_scale);
        return true;
    }

    // Block form of push for the I and Q decimators of one stream (same R, N and phase),
    // fed from `pairs` interleaved int16 (I, Q) values; both advance together. Writes at
    // most outCapacity outputs per component and returns their number; sets consumed to
    // the pairs taken: processing stops after the pair of the last output there was room
    // for, so that the next call carries on from there.
    static size_t processPair(CicDecimator& cicI, CicDecimator& cicQ, const int16_t* iq, size_t pairs, float* outI,
                              float* outQ, size_t outCapacity, size_t& consumed);

    void reset();

    int32_t r() const { return m_r; }
    int32_t n() const { return m_n; }
    double dcGain() const { return m_dcGain; }
    double scale() const { return m_scale; }

private:
    // R = 0 takes R from the decimator.
    template <int N, int R>
    [[gnu::always_inline]] static size_t runPair(CicDecimator& cicI, CicDecimator& cicQ, const int16_t* iq, size_t pairs, float* outI,
                          float* outQ, size_t outCapacity, size_t& consumed);

    int32_t m_r;
    int32_t m_n;
    double m_dcGain;
    double m_scale;
    int32_t m_phase = 0;
    std::array<uint32_t, kMaxStages> m_integrators{};
    std::array<uint32_t, kMaxStages> m_combs{};
};
