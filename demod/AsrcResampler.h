#pragma once

#include "demod/DemodDiagnostics.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// Asynchronous resampler with a variable ratio (output rate / input rate): a Kaiser-windowed
// sinc low-pass held as kPhases polyphase branches, each output's coefficients interpolated
// between the two branches around its instant. One channel, or two interleaved (left, right)
// that share the coefficients: in a stereo pair that costs little more than one channel.
//
// The low-pass passes two thirds of the lower of the two Nyquist frequencies (16 kHz at 48 kHz
// out) and is 100 dB down from four thirds of it (32 kHz), so what folds lands above the pass
// band. It is designed for the ratio it first sees and again when the ratio moves more than a
// percent away; all buffers are sized at construction.
class AsrcResampler {
public:
    static constexpr int kPhases = 128;
    // The longest filter, reached at ratios below about 0.15; lower ones get a wider transition.
    static constexpr int kMaxTaps = 128;

    explicit AsrcResampler(double outputRateHz, DemodDiagnostics& diagnostics = DemodDiagnostics::standardOutput(),
                           int channels = 1);

    void reset();
    // Returns the number of outputs; consumed (if given) receives the inputs used. Counts are
    // frames: one sample per channel. Input that is not consumed is the caller's to keep or lose;
    // consumed input not yet needed for an output waits inside for the next call.
    size_t process(const float* in, size_t inCount, float* out, size_t outCapacity, double ratio,
                   size_t* consumed = nullptr);

    double lastRatio() const { return m_lastRatio; }
    double outputRateHz() const { return m_outputRateHz; }
    int channels() const { return m_channels; }

private:
    // Frames taken in at a time, and so the longest shift of the delay lines.
    static constexpr size_t kAppendFrames = 512;
    static constexpr size_t kLineFrames = kMaxTaps + 2 * kAppendFrames;

    void design(double ratio);
    void compact();
    size_t append(const float* in, size_t frames);

    double m_outputRateHz;
    DemodDiagnostics& m_diag;
    int m_channels;
    double m_lastRatio = 0.0;
    double m_designRatio = 0.0;
    int m_taps = 0;
    // Branch p's taps at p * kMaxTaps, and its step to branch p + 1 in m_slopes.
    std::vector<float> m_branches;
    std::vector<float> m_slopes;
    std::array<std::vector<float>, 2> m_lines;
    size_t m_fill = 0;
    // The next output's instant, in frames from the start of the lines: it is taken from frames
    // floor(m_time) ... floor(m_time) + taps - 1, centred between the middle two.
    double m_time = 0.0;
};
