#pragma once

#include "demod/DemodDiagnostics.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Integer cascaded integrator-comb decimator (differential delay 1), computed in its
// non-recursive form: every R-th input yields the dot product of the last N(R-1)+1 inputs
// with the integer taps of (1 + z^-1 + ... + z^-(R-1))^N, exactly what integrators and combs
// give, without their wrapping state. Outputs stay exact in int32 as long as
// |y| <= 32768 * R^N fits, so R^N is held to at most 2^16 (at 30 MS/s R^N = 6^4 = 1296); the
// taps then stay below 2^15. The block path takes I and Q together from interleaved pairs,
// sixteen int16 products per instruction.
class CicDecimator {
public:
    static constexpr int kMaxStages = 4;
    // The largest DC gain R^N whose outputs fit in int32.
    static constexpr double kMaxDcGain = 65536.0;

    CicDecimator(int32_t r, int32_t n, DemodDiagnostics& diagnostics = DemodDiagnostics::standardOutput());

    // Feeds one input; returns true and sets out (full-scale int16 in gives +-1.0)
    // on every R-th call.
    bool push(int16_t x, float& out);

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
    // Window of one output: the taps' length rounded up to whole blocks of eight inputs.
    size_t window() const { return m_history.size() + 1; }
    // Tap for window position w (0 the oldest input, window() - 1 the newest).
    int32_t tap(size_t w) const { return m_taps[4 * (w / 2) + w % 2]; }

    int32_t m_r;
    int32_t m_n;
    double m_dcGain;
    double m_scale;
    int32_t m_phase = 0;
    // The window's taps in the block kernel's layout (see cicPairs), oldest input first.
    std::vector<int16_t> m_taps;
    // The last window() - 1 inputs, oldest first.
    std::vector<int16_t> m_history;
    // Interleaved pairs: the history of both decimators followed by the start of a block.
    std::vector<int16_t> m_seam;
};
