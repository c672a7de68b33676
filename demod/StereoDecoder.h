#pragma once

#include "demod/OnePoleFilters.h"
#include "demod/PilotLoop.h"

#include <array>
#include <cstddef>

// Splits a broadcast stereo multiplex (1.0 at full deviation) into left and right: the sum
// from the baseband, the difference from the 38 kHz subcarrier, demodulated against the
// pilot loop's reference and restored to the sum's level, both through the same 64-tap FIR.
// The sides come out before de-emphasis.
class StereoDecoder {
public:
    static constexpr int kFirTaps = 64;

    // Derives the difference-band coefficients and configures the pilot loop.
    void configure(double sampleRateHz);
    // Clears every state; the coefficients stay.
    void reset();

    // left = (sum + diff) / 2 and right = (sum - diff) / 2 for count samples.
    void process(const float* mpx, size_t count, float* left, float* right);

    const PilotLoop& pilot() const { return m_pilot; }
    // Gain that restores the difference signal lost in the difference-band filters.
    double diffGain() const { return m_diffGain; }

private:
    // The FIR a chunk at a time: the chunk's inputs are stored behind the last 63 samples
    // before any output is computed.
    static constexpr size_t kChunk = 256;
    struct Fir {
        std::array<float, kFirTaps - 1 + kChunk> line{};
        void run(const float* in, size_t n, float* out);
        void clear() { line.fill(0.0f); }
    };

    void processChunk(const float* mpx, size_t n, float* left, float* right);

    PilotLoop m_pilot;
    OnePoleHighPass m_diffHighPass;
    OnePoleLowPass m_diffLowPass;
    float m_diffGain = 1.0f;
    Fir m_sumFir;
    Fir m_diffFir;
    // Per chunk: the difference before its FIR, and the two FIR outputs.
    std::array<float, kChunk> m_diffIn{};
    std::array<float, kChunk> m_sum{};
    std::array<float, kChunk> m_diff{};
};
