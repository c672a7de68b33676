#pragma once

#include "demod/SimdKernels.h"

#include <algorithm>
#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

// Complex FIR decimator with real taps: an output for the first input after a reset and for
// every factor-th input after it, each the full convolution ending at that input. Only the
// outputs are computed, Taps multiply-adds per output and component.
//
// I and Q are kept apart, each in one line of the last Taps - 1 samples followed by room for a
// chunk of new ones, so that every output is one contiguous dot product. A block is taken a
// chunk at a time: its inputs are stored, then all of its outputs computed in one pass. The
// inputs may come as complex samples or as two real signals (I and Q) held apart.
template <int Taps>
class FirDecimator {
    static_assert(Taps % 16 == 0, "taps must split into 16-tap blocks");

public:
    static constexpr int kTaps = Taps;

    // factor divides Taps; prototype: the Taps coefficients in natural order.
    FirDecimator(int factor, const std::vector<double>& prototype) { design(factor, prototype); }

    // Takes a new factor and new taps, and starts from silence.
    void design(int factor, const std::vector<double>& prototype)
    {
        m_factor = factor;
        const int phaseTaps = Taps / factor;
        for (int t = 0; t < Taps; ++t) {
            const auto h = static_cast<float>(prototype[static_cast<size_t>(t)]);
            // Polyphase order: phase p holds h[factor * j + p].
            m_coeffs[static_cast<size_t>(phaseTaps * (t % factor) + t / factor)] = h;
            // Reversed, so that it lines up with a line read oldest first.
            m_dotTaps[static_cast<size_t>(Taps - 1 - t)] = h;
        }
        reset();
    }

    int factor() const { return m_factor; }

    // Feeds one sample; the first sample after a reset and every factor-th after it yield an
    // output.
    bool push(std::complex<float> x, std::complex<float>& out)
    {
        if (m_length == kLineCapacity)
            keepHistoryOnly();
        const bool due = m_phase == 0;
        m_lineI[static_cast<size_t>(m_length)] = x.real();
        m_lineQ[static_cast<size_t>(m_length)] = x.imag();
        if (due)
            decimateBlock(m_dotTaps.data(), Taps, m_lineI.data(), m_lineQ.data(), m_length - (Taps - 1), m_factor, 1,
                          &out);
        ++m_length;
        m_phase = m_phase + 1 == m_factor ? 0 : m_phase + 1;
        return due;
    }

    // Returns the number of outputs; stops before an input whose output would not fit.
    size_t process(const std::complex<float>* in, size_t count, std::complex<float>* out, size_t outCapacity)
    {
        if (!in)
            return 0;
        return run(count, out, outCapacity, [in](size_t k, size_t n, float* lineI, float* lineQ) {
            for (size_t i = 0; i < n; ++i) {
                lineI[i] = in[k + i].real();
                lineQ[i] = in[k + i].imag();
            }
        });
    }

    // The same for I and Q held apart; without inQ, Q is 0.
    size_t process(const float* inI, const float* inQ, size_t count, std::complex<float>* out, size_t outCapacity)
    {
        if (!inI)
            return 0;
        return run(count, out, outCapacity, [inI, inQ](size_t k, size_t n, float* lineI, float* lineQ) {
            std::copy_n(inI + k, n, lineI);
            if (inQ)
                std::copy_n(inQ + k, n, lineQ);
            else
                std::fill_n(lineQ, n, 0.0f);
        });
    }

    void reset()
    {
        m_lineI.fill(0.0f);
        m_lineQ.fill(0.0f);
        m_length = Taps - 1;
        m_phase = 0;
    }

    // The taps in polyphase order: entry (Taps / factor) * p + j holds h[factor * j + p].
    const std::array<float, Taps>& coefficients() const { return m_coeffs; }

private:
    static constexpr int kChunk = 1024;
    static constexpr int kLineCapacity = Taps - 1 + kChunk;

    // The block loop of process(): store(k, n, lineI, lineQ) puts inputs k .. k+n-1 into the lines.
    template <typename Store>
    size_t run(size_t count, std::complex<float>* out, size_t outCapacity, Store store)
    {
        if (!out || count == 0 || outCapacity == 0)
            return 0;
        const auto factor = static_cast<size_t>(m_factor);
        size_t produced = 0;
        size_t k = 0;
        while (k < count) {
            keepHistoryOnly();
            size_t n = std::min(count - k, static_cast<size_t>(kChunk));
            // The first input of the chunk that yields an output, and how many do.
            const size_t first = (factor - static_cast<size_t>(m_phase)) % factor;
            size_t due = first < n ? (n - 1 - first) / factor + 1 : 0;
            const bool full = produced + due > outCapacity;
            if (full) {
                due = outCapacity - produced;
                n = first + due * factor;
            }
            store(k, n, m_lineI.data() + m_length, m_lineQ.data() + m_length);
            decimateBlock(m_dotTaps.data(), Taps, m_lineI.data(), m_lineQ.data(),
                          m_length + static_cast<int32_t>(first) - (Taps - 1), m_factor, due, out + produced);
            m_length += static_cast<int32_t>(n);
            m_phase = static_cast<int32_t>((static_cast<size_t>(m_phase) + n) % factor);
            produced += due;
            k += n;
            if (full)
                break;
        }
        return produced;
    }

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

    int32_t m_factor = 1;
    std::array<float, Taps> m_coeffs{};
    std::array<float, Taps> m_dotTaps{};
    std::array<float, kLineCapacity> m_lineI{};
    std::array<float, kLineCapacity> m_lineQ{};
    int32_t m_length = Taps - 1;
    int32_t m_phase = 0;
};

// 160 taps, decimation by 5: 5 MHz to 1 MHz in the channel.
class PreFirDecimator : public FirDecimator<160> {
public:
    PreFirDecimator();
};

// 32 taps, decimation by 2: 2 MHz to 1 MHz in the channel, for a signal as wide as a broadcast
// station at the receiver's smallest rate.
class HalfBandDecimator : public FirDecimator<32> {
public:
    HalfBandDecimator();
};

// 128 taps, decimation by 2: down to the demodulator rate.
class PolyFirDecimator : public FirDecimator<128> {
public:
    PolyFirDecimator();
};
