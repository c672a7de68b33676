#pragma once

#include <cstddef>

// The two one-pole filters of the demodulation chain, in single precision. Both take a pole p
// in (0, 1) and keep one or two samples of state; process() runs in place on a local copy, so
// the recursion stays in registers however the samples alias. Each is written so that only one
// multiply-add depends on the previous output: the recursion, not the arithmetic, sets their
// speed.

// High-pass y = (x + y_prev - x_prev) * p. With p just below 1 it is the DC blocker of the
// decimator and the demodulator; with a pole further in, the low edge of the stereo
// difference band.
class OnePoleHighPass {
public:
    explicit OnePoleHighPass(float pole = 0.0f) : m_pole(pole) {}

    void setPole(float pole) { m_pole = pole; }
    float pole() const { return m_pole; }

    float step(float x)
    {
        const float y = m_pole * m_prevOut + m_pole * (x - m_prevIn);
        m_prevIn = x;
        m_prevOut = y;
        return y;
    }

    void process(float* samples, size_t count)
    {
        OnePoleHighPass f = *this;
        for (size_t n = 0; n < count; ++n)
            samples[n] = f.step(samples[n]);
        *this = f;
    }

    void reset() { m_prevIn = m_prevOut = 0.0f; }

private:
    float m_pole;
    float m_prevIn = 0.0f;
    float m_prevOut = 0.0f;
};

// Low-pass y += (x - y) * (1 - p): the de-emphasis (p = exp(-1 / (tau * Fs)) for a time
// constant tau) and the high edge of the stereo difference band.
class OnePoleLowPass {
public:
    void setPole(double pole)
    {
        m_pole = static_cast<float>(pole);
        m_gain = static_cast<float>(1.0 - pole);
    }

    float step(float x)
    {
        m_state = m_pole * m_state + m_gain * x;
        return m_state;
    }

    void process(float* samples, size_t count)
    {
        OnePoleLowPass f = *this;
        for (size_t n = 0; n < count; ++n)
            samples[n] = f.step(samples[n]);
        *this = f;
    }

    void reset() { m_state = 0.0f; }

private:
    float m_pole = 1.0f;
    float m_gain = 0.0f;
    float m_state = 0.0f;
};
