#pragma once

#include <cmath>
#include <complex>
#include <cstddef>

// Phase-difference FM discriminator: the phase step from the previous sample to this one,
// scaled so that a frequency offset equal to the peak deviation gives 1.0.
class FmDiscriminator {
public:
    void setScale(float scale) { m_scale = scale; }
    float scale() const { return m_scale; }

    float step(std::complex<float> x)
    {
        // x times the conjugate of the previous sample.
        const float re = m_prevI * x.real() + m_prevQ * x.imag();
        const float im = m_prevI * x.imag() - m_prevQ * x.real();
        m_prevI = x.real();
        m_prevQ = x.imag();
        if (re == 0.0f && im == 0.0f)
            return 0.0f;
        return std::atan2(im, re) * m_scale;
    }

    void process(const std::complex<float>* in, size_t count, float* out)
    {
        for (size_t n = 0; n < count; ++n)
            out[n] = step(in[n]);
    }

    // Forgets the previous sample; the scale stays.
    void reset() { m_prevI = m_prevQ = 0.0f; }

private:
    float m_prevI = 0.0f;
    float m_prevQ = 0.0f;
    float m_scale = 1.0f;
};
