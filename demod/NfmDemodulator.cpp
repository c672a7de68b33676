#include "demod/NfmDemodulator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kDcCornerHz = 20.0;

} // namespace

NfmDemodulator::NfmDemodulator(const NfmConfig& config, DemodDiagnostics& diagnostics)
    : m_config(config)
    , m_diag(diagnostics)
{
}

void NfmDemodulator::setSampleRate(double rateHz)
{
    m_diag.print("[DEBUG NfmDemodulator::setSampleRate] Called with sampleRateHz=%.0f\n", rateHz);
    if (rateHz <= 0.0) {
        m_diag.print("[ERROR NfmDemodulator::setSampleRate] Invalid sample rate <= 0!\n");
        return;
    }
    m_sampleRate = rateHz;
    m_diag.print("[DEBUG NfmDemodulator::setSampleRate] m_sampleRate set to %.0f, calling updateCoefficients()\n",
                 rateHz);
    updateCoefficients();
}

void NfmDemodulator::updateCoefficients()
{
    const double fs = m_sampleRate;
    m_diag.print("[DEBUG NfmDemodulator::updateCoefficients] Called, m_sampleRate=%.0f\n", fs);
    if (fs <= 0.0) {
        m_diag.print("[ERROR NfmDemodulator::updateCoefficients] m_sampleRate <= 0, returning!\n");
        return;
    }
    m_deemphAlpha = std::exp(-1.0 / (m_config.deemphasisUs * 1e-6 * fs));
    m_dcBlockAlpha = std::exp(-2.0 * std::numbers::pi * kDcCornerHz / fs);
    m_discrScale = static_cast<float>(fs / (2.0 * std::numbers::pi * m_config.deviationHz));

    m_discriminator.setScale(m_discrScale);
    m_deemphLeft.setPole(m_deemphAlpha);
    m_deemphRight.setPole(m_deemphAlpha);
    for (OnePoleHighPass* dc : {&m_dcMono, &m_dcLeft, &m_dcRight})
        dc->setPole(static_cast<float>(m_dcBlockAlpha));
    m_stereo.configure(fs);

    m_diag.print("[DEBUG NfmDemodulator] Fs=%.0f Hz, deviation=%.0f Hz, deemphasis=%.1f us\n", fs, m_config.deviationHz,
                 m_config.deemphasisUs);
    m_diag.print("[DEBUG NfmDemodulator] m_discrScale=%.6f, m_deemphAlpha=%.6f, m_dcBlockAlpha=%.6f\n", m_discrScale,
                 m_deemphAlpha, m_dcBlockAlpha);
    if (!std::isfinite(m_discrScale))
        m_diag.print("[ERROR NfmDemodulator] m_discrScale is NaN or Inf!\n");
    if (!std::isfinite(m_deemphAlpha))
        m_diag.print("[ERROR NfmDemodulator] m_deemphAlpha is NaN or Inf!\n");
    if (!std::isfinite(m_dcBlockAlpha))
        m_diag.print("[ERROR NfmDemodulator] m_dcBlockAlpha is NaN or Inf!\n");
}

void NfmDemodulator::reset()
{
    m_discriminator.reset();
    m_deemphLeft.reset();
    m_deemphRight.reset();
    m_dcMono.reset();
    m_dcLeft.reset();
    m_dcRight.reset();
    m_stereo.reset();
}

void NfmDemodulator::reportFirstInput(const std::complex<float>* in, size_t count)
{
    const size_t n = std::min<size_t>(count, 100);
    double sumI = 0.0, sumQ = 0.0, peakI = 0.0, peakQ = 0.0;
    for (size_t k = 0; k < n; ++k) {
        sumI += in[k].real();
        sumQ += in[k].imag();
        peakI = std::max(peakI, static_cast<double>(std::abs(in[k].real())));
        peakQ = std::max(peakQ, static_cast<double>(std::abs(in[k].imag())));
    }
    m_diag.print("[DEBUG NfmDemodulator] Input IQ: I_avg=%.6f, Q_avg=%.6f, I_peak=%.6f, Q_peak=%.6f\n",
                 sumI / static_cast<double>(n), sumQ / static_cast<double>(n), peakI, peakQ);
}

size_t NfmDemodulator::process(const std::complex<float>* in, size_t count, float* out, size_t outCapacity)
{
    if (!in || !out || count == 0 || outCapacity < count || m_sampleRate <= 0.0)
        return 0;
    if (m_diag.claimFirstMonoReport())
        reportFirstInput(in, count);
    m_discriminator.process(in, count, out);
    m_deemphLeft.process(out, count);
    m_dcMono.process(out, count);
    return count;
}

size_t NfmDemodulator::processStereo(const std::complex<float>* in, size_t count, float* left, float* right,
                                     size_t capacity)
{
    if (!in || !left || !right || count == 0 || capacity < count || m_sampleRate <= 0.0)
        return 0;
    for (size_t done = 0; done < count; done += kChunk) {
        const size_t n = std::min(kChunk, count - done);
        m_discriminator.process(in + done, n, m_mpx.data());
        m_stereo.process(m_mpx.data(), n, left + done, right + done);
    }
    m_deemphLeft.process(left, count);
    m_dcLeft.process(left, count);
    m_deemphRight.process(right, count);
    m_dcRight.process(right, count);
    return count;
}
