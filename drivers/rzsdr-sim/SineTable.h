#pragma once

#include <cstdint>

// Cosine and sine of a 32-bit phase (a full turn is 2^32), from a table with linear
// interpolation: accurate to about 1e-9, far below what 16-bit samples can show.
class SineTable {
public:
    static const SineTable& instance();

    void sincos(uint32_t phase, float& c, float& s) const
    {
        c = lookup(phase);
        s = lookup(phase - kQuarterTurn);
    }
    float sin(uint32_t phase) const { return lookup(phase - kQuarterTurn); }

private:
    static constexpr int kBits = 14;
    static constexpr uint32_t kSize = 1u << kBits;
    static constexpr uint32_t kQuarterTurn = 1u << 30;

    SineTable();

    float lookup(uint32_t phase) const
    {
        const uint32_t index = phase >> (32 - kBits);
        const float frac = static_cast<float>(phase & ((1u << (32 - kBits)) - 1)) * (1.0f / (1u << (32 - kBits)));
        return m_cos[index] + (m_cos[index + 1] - m_cos[index]) * frac;
    }

    float m_cos[kSize + 1];
};

// Phase increment per sample for a frequency, as a fraction of the sample rate (wraps).
inline uint32_t phaseIncrement(double cyclesPerSample)
{
    const double turns = cyclesPerSample - static_cast<double>(static_cast<int64_t>(cyclesPerSample));
    return static_cast<uint32_t>(static_cast<int64_t>(turns * 4294967296.0));
}
