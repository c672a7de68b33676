#pragma once

#include "demod/SimdKernels.h"

#include <algorithm>
#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

// Complex FIR decimator with real taps in polyphase form: the input is split into one
// delay line per phase, and a dot product runs only when an output is due, so the
// cost is Taps multiply-adds per output and component.
//
// Each line holds its last kPhaseTaps samples followed by room for a chunk of new
// ones. A block is taken a chunk at a time: first every input of the chunk is stored,
// then every output of the chunk is computed, so the dot products never read samples
// that were stored just before.
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
        reset();
    }

    // Feeds one sample; the first sample after a reset and every Factor-th after it
    // yield an output.
    bool push(std::complex<float> x, std::complex<float>& out)
    {
        if (m_length[static_cast<size_t>(lineFor(m_phase))] == kLineCapacity)
            keepHistoryOnly();
        const bool due = store(x);
        if (due) {
            std::array<int32_t, Factor> starts;
            windowStarts(starts.data());
            out = polyphaseDot(m_dotTaps.data(), m_lineI.data(), m_lineQ.data(), starts.data(), Factor, kPhaseTaps,
                               kLineCapacity);
        }
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
            // Each line takes at most one sample per period, so a chunk of this many
            // inputs fits behind the history.
            const size_t chunkEnd = std::min(count, k + static_cast<size_t>(kChunkOutputs) * Factor);
            size_t due = 0;
            bool full = false;
            for (; k < chunkEnd; ++k) {
                if (m_phase == 0 && produced + due == outCapacity) {
                    full = true;
                    break;
                }
                if (store(in[k]))
                    windowStarts(m_starts.data() + Factor * due++);
            }
            for (size_t j = 0; j < due; ++j)
                out[produced + j] = polyphaseDot(m_dotTaps.data(), m_lineI.data(), m_lineQ.data(),
                                                 m_starts.data() + Factor * j, Factor, kPhaseTaps, kLineCapacity);
            produced += due;
            if (full)
                break;
        }
        return produced;
    }

    void reset()
    {
        m_lineI.fill(0.0f);
        m_lineQ.fill(0.0f);
        m_length.fill(kPhaseTaps);
        m_phase = 0;
    }

    // The taps in polyphase order: entry kPhaseTaps * p + j holds h[Factor * j + p].
    const std::array<float, Taps>& coefficients() const { return m_coeffs; }

private:
    static constexpr int kChunkOutputs = 256;
    static constexpr int kLineCapacity = kPhaseTaps + kChunkOutputs;

    // The input at phase q belongs to line (Factor - q) mod Factor: line p then holds
    // the samples p inputs before each output.
    static int lineFor(int phase) { return (Factor - phase) % Factor; }

    // Stores x in its line and advances the phase; true when an output is due with it.
    bool store(std::complex<float> x)
    {
        const int inPhase = m_phase;
        const auto line = static_cast<size_t>(lineFor(inPhase));
        const size_t at = line * kLineCapacity + static_cast<size_t>(m_length[line]++);
        m_lineI[at] = x.real();
        m_lineQ[at] = x.imag();
        m_phase = inPhase + 1 > Factor - 1 ? 0 : inPhase + 1;
        return inPhase == 0;
    }

    // Oldest-first start of each line's latest kPhaseTaps samples.
    void windowStarts(int32_t* starts) const
    {
        for (size_t p = 0; p < Factor; ++p)
            starts[p] = m_length[p] - kPhaseTaps;
    }

    // Moves each line's latest kPhaseTaps samples to its front.
    void keepHistoryOnly()
    {
        for (size_t p = 0; p < Factor; ++p) {
            const size_t base = p * kLineCapacity;
            const auto from = static_cast<size_t>(m_length[p] - kPhaseTaps);
            if (from == 0)
                continue;
            std::copy_n(m_lineI.begin() + static_cast<std::ptrdiff_t>(base + from), kPhaseTaps,
                        m_lineI.begin() + static_cast<std::ptrdiff_t>(base));
            std::copy_n(m_lineQ.begin() + static_cast<std::ptrdiff_t>(base + from), kPhaseTaps,
                        m_lineQ.begin() + static_cast<std::ptrdiff_t>(base));
            m_length[p] = kPhaseTaps;
        }
    }

    std::array<float, Taps> m_coeffs{};
    // Per phase, reversed so that they line up with a delay line read oldest first.
    std::array<float, Taps> m_dotTaps{};
    std::array<float, Factor * kLineCapacity> m_lineI{};
    std::array<float, Factor * kLineCapacity> m_lineQ{};
    std::array<int32_t, Factor> m_length{};
    int32_t m_phase = 0;
    // Window starts of the outputs due in the current chunk.
    std::array<int32_t, Factor * kChunkOutputs> m_starts{};
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
