#pragma once

#include "demod/FastAtan2.h"
#include "demod/SimdKernels.h"

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
        return fastAtan2(im, re) * m_scale;
    }

    void process(const std::complex<float>* in, size_t count, float* out)
    {
        if (count == 0)
            return;
        discriminate(in, count, {m_prevI, m_prevQ}, m_scale, out);
        m_prevI = in[count - 1].real();
        m_prevQ = in[count - 1].imag();
    }

    // Forgets the previous sample; the scale stays.
    void reset() { m_prevI = m_prevQ = 0.0f; }

private:
    float m_prevI = 0.0f;
    float m_prevQ = 0.0f;
    float m_scale = 1.0f;
};
