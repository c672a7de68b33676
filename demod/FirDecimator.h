#pragma once

#include "demod/SimdKernels.h"

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

// Complex FIR decimator with real taps in polyphase form: the input is split into one
// delay line per phase, and a dot product runs only when an output is due, so the
// cost is Taps multiply-adds per output and component.
template <int Taps, int Factor>
class PolyphaseFirDecimator {
    static_assert(Taps % Factor == 0 && (Taps / Factor) % 16 == 0, "phases must split into 16-tap blocks");

public:
    static constexpr int kTaps = Taps;
    static constexpr int kFactor = Factor;
    static constexpr int kPhaseTaps = Taps / Factor;

    // prototype: the Taps coefficients in natural order.
    explicit PolyphaseFirDecimator(const std::vector<double>& prototype)
    {
        for (int p = 0; p < Factor; ++p) {
            for (int j = 0; j < kPhaseTaps; ++j) {
                const auto h = static_cast<float>(prototype[static_cast<size_t>(Factor * j + p)]);
                m_coeffs[static_cast<size_t>(kPhaseTaps * p + j)] = h;
                m_dotTaps[static_cast<size_t>(kPhaseTaps * p + kPhaseTaps - 1 - j)] = h;
            }
        }
    }

    // Feeds one sample; the first sample after a reset and every Factor-th after it
    // yield an output.
    bool push(std::complex<float> x, std::complex<float>& out)
    {
        const int inPhase = m_phase;
        const int line = (Factor - inPhase) % Factor;
        int32_t& w = m_writeIndex[static_cast<size_t>(line)];
        const size_t at = static_cast<size_t>(2 * kPhaseTaps * line + w);
        m_delayI[at] = m_delayI[at + kPhaseTaps] = x.real();
        m_delayQ[at] = m_delayQ[at + kPhaseTaps] = x.imag();
        w = w + 1 == kPhaseTaps ? 0 : w + 1;
        m_phase = inPhase + 1 > Factor - 1 ? 0 : inPhase + 1;
        if (inPhase != 0)
            return false;
        out = output();
        return true;
    }

    // Returns the number of outputs; stops before an input whose output would not fit.
    size_t process(const std::complex<float>* in, size_t count, std::complex<float>* out, size_t outCapacity)
    {
        if (!in || !out || count == 0 || outCapacity == 0)
            return 0;
        size_t produced = 0;
        for (size_t k = 0; k < count; ++k) {
            if (m_phase == 0 && produced == outCapacity)
                break;
            if (push(in[k], out[produced]))
                ++produced;
        }
        return produced;
    }

    void reset()
    {
        m_delayI.fill(0.0f);
        m_delayQ.fill(0.0f);
        m_writeIndex.fill(0);
        m_phase = 0;
    }

    // The taps in polyphase order: entry kPhaseTaps * p + j holds h[Factor * j + p].
    const std::array<float, Taps>& coefficients() const { return m_coeffs; }

private:
    std::complex<float> output() const
    {
        // Oldest first: each phase's latest kPhaseTaps samples start at its write index.
        return polyphaseDot(m_dotTaps.data(), m_delayI.data(), m_delayQ.data(), m_writeIndex.data(), Factor, kPhaseTaps,
                            2 * kPhaseTaps);
    }

    std::array<float, Taps> m_coeffs{};
    // Per phase, reversed so that they line up with a delay line read oldest first.
    std::array<float, Taps> m_dotTaps{};
    // One line per phase, each kPhaseTaps long and stored twice over so that its
    // latest kPhaseTaps samples are always contiguous.
    std::array<float, 2 * Taps> m_delayI{};
    std::array<float, 2 * Taps> m_delayQ{};
    std::array<int32_t, Factor> m_writeIndex{};
    int32_t m_phase = 0;
};

// 160 taps, decimation by 5: 5 MHz to 1 MHz in the channel.
class PreFirDecimator : public PolyphaseFirDecimator<160, 5> {
public:
    PreFirDecimator();
};

// 128 taps, decimation by 2: down to the demodulator rate.
class PolyFirDecimator : public PolyphaseFirDecimator<128, 2> {
public:
    PolyFirDecimator();
};
