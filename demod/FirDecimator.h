#pragma once

#include "demod/SimdKernels.h"

#include <algorithm>
#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

// Complex FIR decimator with real taps: an output for the first input after a reset and for
// every Factor-th input after it, each the full convolution ending at that input. Only the
// outputs are computed, Taps multiply-adds per output and component.
//
// I and Q are kept apart, each in one line of the last Taps - 1 samples followed by room for a
// chunk of new ones, so that every output is one contiguous dot product. A block is taken a
// chunk at a time: its inputs are stored, then all of its outputs computed in one pass.
template <int Taps, int Factor>
class FirDecimator {
    static_assert(Taps % Factor == 0 && Taps % 16 == 0, "taps must split into phases and into 16-tap blocks");

public:
    static constexpr int kTaps = Taps;
    static constexpr int kFactor = Factor;
    static constexpr int kPhaseTaps = Taps / Factor;

    // prototype: the Taps coefficients in natural order.
    explicit FirDecimator(const std::vector<double>& prototype)
    {
        for (int t = 0; t < Taps; ++t) {
            const auto h = static_cast<float>(prototype[static_cast<size_t>(t)]);
            // Polyphase order: phase p holds h[Factor * j + p].
            m_coeffs[static_cast<size_t>(kPhaseTaps * (t % Factor) + t / Factor)] = h;
            // Reversed, so that it lines up with a line read oldest first.
            m_dotTaps[static_cast<size_t>(Taps - 1 - t)] = h;
        }
        reset();
    }

    // Feeds one sample; the first sample after a reset and every Factor-th after it yield an
    // output.
    bool push(std::complex<float> x, std::complex<float>& out)
    {
        if (m_length == kLineCapacity)
            keepHistoryOnly();
        const bool due = m_phase == 0;
        m_lineI[static_cast<size_t>(m_length)] = x.real();
        m_lineQ[static_cast<size_t>(m_length)] = x.imag();
        if (due)
            decimateBlock(m_dotTaps.data(), Taps, m_lineI.data(), m_lineQ.data(), m_length - (Taps - 1), Factor, 1, &out);
        ++m_length;
        m_phase = m_phase + 1 == Factor ? 0 : m_phase + 1;
        return due;
    }

    // Returns the number of outputs; stops before an input whose output would not fit.
    size_t process(const std::complex<float>* in, size_t count, std::complex<float>* out, size_t outCapacity)
    {
        if (!in || !out || count == 0 || outCapacity == 0)
            return 0;
        size_t produced = 0;
        size_t k = 0;
        while (k < count) {
            keepHistoryOnly();
            size_t n = std::min(count - k, static_cast<size_t>(kChunk));
            // The first input of the chunk that yields an output, and how many do.
            const auto first = static_cast<size_t>((Factor - m_phase) % Factor);
            size_t due = first < n ? (n - 1 - first) / Factor + 1 : 0;
            const bool full = produced + due > outCapacity;
            if (full) {
                due = outCapacity - produced;
                n = first + due * Factor;
            }
            float* lineI = m_lineI.data() + m_length;
            float* lineQ = m_lineQ.data() + m_length;
            for (size_t i = 0; i < n; ++i) {
                lineI[i] = in[k + i].real();
                lineQ[i] = in[k + i].imag();
            }
            decimateBlock(m_dotTaps.data(), Taps, m_lineI.data(), m_lineQ.data(),
                          m_length + static_cast<int32_t>(first) - (Taps - 1), Factor, due, out + produced);
            m_length += static_cast<int32_t>(n);
            m_phase = static_cast<int32_t>((static_cast<size_t>(m_phase) + n) % Factor);
            produced += due;
            k += n;
            if (full)
                break;
        }
        return produced;
    }

    void reset()
    {
        m_lineI.fill(0.0f);
        m_lineQ.fill(0.0f);
        m_length = Taps - 1;
        m_phase = 0;
    }

    // The taps in polyphase order: entry kPhaseTaps * p + j holds h[Factor * j + p].
    const std::array<float, Taps>& coefficients() const { return m_coeffs; }

private:
    static constexpr int kChunk = 1024;
    static constexpr int kLineCapacity = Taps - 1 + kChunk;

    // Moves each line's latest Taps - 1 samples to its front.
    void keepHistoryOnly()
    {
        const int32_t from = m_length - (Taps - 1);
        if (from == 0)
            return;
        std::copy_n(m_lineI.begin() + from, Taps - 1, m_lineI.begin());
        std::copy_n(m_lineQ.begin() + from, Taps - 1, m_lineQ.begin());
        m_length = Taps - 1;
    }

    std::array<float, Taps> m_coeffs{};
    std::array<float, Taps> m_dotTaps{};
    std::array<float, kLineCapacity> m_lineI{};
    std::array<float, kLineCapacity> m_lineQ{};
    int32_t m_length = Taps - 1;
    int32_t m_phase = 0;
};

// 160 taps, decimation by 5: 5 MHz to 1 MHz in the channel.
class PreFirDecimator : public FirDecimator<160, 5> {
public:
    PreFirDecimator();
};

// 128 taps, decimation by 2: down to the demodulator rate.
class PolyFirDecimator : public FirDecimator<128, 2> {
public:
    PolyFirDecimator();
};
