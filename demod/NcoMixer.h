#pragma once

#include "demod/SimdKernels.h"

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>

// Moves a chosen frequency of an int16 IQ stream to 0 Hz with a rotating phasor.
// The phasor keeps running across blocks and across step changes, so a retune
// never jumps in phase; it is renormalised every 16384 samples.
class NcoMixer {
public:
    static constexpr uint64_t kRenormInterval = 16384;

    // Follows the channel's tuning: recomputes the step only when the input rate, the
    // centre or the wanted frequency moved by more than 1 Hz since the last change.
    // Returns true when the step was recomputed.
    bool tune(double inputRateHz, double centerHz, double demodFreqHz);
    // Sets the rotation per sample to offsetHz at sampleRateHz; the phase carries on.
    void setFrequency(double offsetHz, double sampleRateHz);
    // Returns to phase 0 with no rotation and no DC offset and forgets the last tuning.
    void reset();

    double offsetHz() const { return m_offsetHz; }

    // The receiver's DC offset (full scale 1.0), taken from every sample before it is mixed.
    void setDcOffset(std::complex<float> dc) { m_dc = dc; }

    // iq holds `pairs` interleaved (I, Q) int16 values; out receives `pairs` samples, each
    // with full scale 32768 mapped to 1.0, less the DC offset, multiplied by e^(-j*phase).
    void process(const int16_t* iq, size_t pairs, std::complex<float>* out);
    // The same, each mixed sample then put back to full-scale int16 pairs (clipped to +-1,
    // times 32767, truncated), in one pass: the CIC decimator's input.
    void processToInt16(const int16_t* iq, size_t pairs, int16_t* out);

    std::complex<float> phasor() const { return {m_cos, m_sin}; }

private:
    static constexpr size_t kLanes = kMixChunk;

    void renormaliseIfDue();
    // Mixes with the chunk kernel while whole chunks remain, the rest sample by sample; each
    // mixed sample goes to store(n, re, im) in the tail.
    template <typename Chunks, typename Store>
    void run(const int16_t* iq, size_t pairs, Chunks chunks, Store store);

    std::complex<float> m_dc;
    float m_cos = 1.0f;
    float m_sin = 0.0f;
    float m_stepCos = 1.0f;
    float m_stepSin = 0.0f;
    // Step raised to the powers 0 .. kLanes-1 (each twice, for I and Q) and kLanes: lets a
    // chunk of samples be mixed independently of each other from one phasor, which vectorises.
    std::array<float, 2 * kLanes> m_powCos{};
    std::array<float, 2 * kLanes> m_powSin{};
    float m_chunkCos = 1.0f;
    float m_chunkSin = 0.0f;
    uint64_t m_counter = 0;
    double m_lastRateHz = 0.0;
    double m_lastCenterHz = 0.0;
    double m_lastDemodHz = 0.0;
    double m_offsetHz = 0.0;
};
