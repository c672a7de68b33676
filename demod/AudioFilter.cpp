#include "demod/AudioFilter.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace {

bool validCutoff(double cutoffHz, double sampleRateHz)
{
    return cutoffHz > 0.0 && cutoffHz < sampleRateHz / 2.0;
}

} // namespace

AudioFilter::AudioFilter(Type type, double cutoffHz, double sampleRateHz, int32_t order, DemodDiagnostics& diagnostics)
    : m_type(type)
    , m_cutoffHz(cutoffHz)
    , m_sampleRateHz(sampleRateHz)
    , m_order(order)
    , m_diag(diagnostics)
{
    if (order != 2 && order != 4 && order != 6 && order != 8)
        throw std::invalid_argument("AudioFilter: order must be 2, 4, 6, or 8");
    if (!validCutoff(cutoffHz, sampleRateHz))
        throw std::invalid_argument("AudioFilter: cutoffHz must be in range (0, Fs/2)");
    m_sections.resize(static_cast<size_t>(order / 2));
    design();
}

void AudioFilter::design()
{
    const double k = std::tan(std::numbers::pi * m_cutoffHz / m_sampleRateHz);
    const double k2 = k * k;
    for (size_t i = 0; i < m_sections.size(); ++i) {
        const double theta = (2.0 * static_cast<double>(i) + 1.0) * std::numbers::pi / (2.0 * m_order);
        const double c = 2.0 * k * std::cos(theta);
        const double n = 1.0 / (1.0 + c + k2);
        Biquad& s = m_sections[i];
        if (m_type == LowPass) {
            s.b0 = k2 * n;
            s.b1 = 2.0 * k2 * n;
            s.b2 = k2 * n;
        } else {
            s.b0 = n;
            s.b1 = -2.0 * n;
            s.b2 = n;
        }
        s.a1 = 2.0 * (k2 - 1.0) * n;
        s.a2 = (1.0 - c + k2) * n;
    }
    reset();
    m_diag.print("[DEBUG AudioFilter] %s: fc=%.0fHz, fs=%.0fHz, order=%d, sections=%zu\n", m_type == LowPass ? "LPF" : "HPF",
                 m_cutoffHz, m_sampleRateHz, m_order, m_sections.size());
    if (m_sections.empty())
        return;
    const Biquad& s = m_sections.front();
    m_diag.print("[DEBUG AudioFilter] First biquad: b0=%.6f, b1=%.6f, b2=%.6f, a1=%.6f, a2=%.6f\n", s.b0, s.b1, s.b2, s.a1,
                 s.a2);
    for (double v : {s.b0, s.b1, s.b2, s.a1, s.a2}) {
        if (!std::isfinite(v)) {
            m_diag.print("[ERROR AudioFilter] Filter coefficients are NaN or Inf!\n");
            break;
        }
    }
}

void AudioFilter::setCutoff(double cutoffHz, double sampleRateHz)
{
    if (!validCutoff(cutoffHz, sampleRateHz))
        return;
    m_cutoffHz = cutoffHz;
    m_sampleRateHz = sampleRateHz;
    design();
}

void AudioFilter::process(const float* in, float* out, size_t count)
{
    if (!in || !out || count == 0)
        return;
    if (m_sections.empty()) {
        std::copy(in, in + count, out);
        return;
    }
    const float* src = in;
    for (Biquad& s : m_sections) {
        double w1 = s.w1;
        double w2 = s.w2;
        for (size_t n = 0; n < count; ++n) {
            const double w = src[n] - s.a1 * w1 - s.a2 * w2;
            out[n] = static_cast<float>(s.b0 * w + s.b1 * w1 + s.b2 * w2);
            w2 = w1;
            w1 = w;
        }
        s.w1 = w1;
        s.w2 = w2;
        src = out;
    }
}

void AudioFilter::reset()
{
    for (Biquad& s : m_sections)
        s.w1 = s.w2 = 0.0;
}
