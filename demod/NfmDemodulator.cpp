#include "demod/NfmDemodulator.h"

#include "demod/SimdKernels.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kPilotHz = 19000.0;
// Two resonators of this quality at 19 kHz keep programme audio (up to 15 kHz) and the
// lower difference sideband (from 23 kHz) some 30 dB below the pilot at the loop's arms.
constexpr double kPilotBandQ = 20.0;

// Symmetric, unity gain at DC; passes the whole multiplex band at the demodulator rates.
constexpr std::array<float, 32> kStereoFirHalf = {
    -0.003383509f, 0.004416933f, -0.002540544f, -0.001531086f, 0.005363747f, -0.006200103f, 0.002859809f,
    0.003120598f,  -0.008058107f, 0.00831063f,  -0.0028325f,   -0.005624255f, 0.01173553f,  -0.01082957f,
    0.002232178f,  0.009542567f,  -0.01694187f, 0.0139839f,    -0.0006433703f, -0.01597191f, 0.02501346f,
    -0.0184443f,   -0.002946988f, 0.02804651f,  -0.04022996f,  0.02670469f,  0.01236233f,  -0.06007897f,
    0.08670889f,   -0.05765402f,  -0.07191569f, 0.585425f};

constexpr std::array<float, NfmDemodulator::kStereoFirTaps> stereoFirTaps()
{
    std::array<float, NfmDemodulator::kStereoFirTaps> taps{};
    for (size_t t = 0; t < kStereoFirHalf.size(); ++t)
        taps[t] = taps[taps.size() - 1 - t] = kStereoFirHalf[t];
    return taps;
}
constexpr std::array<float, NfmDemodulator::kStereoFirTaps> kStereoFir = stereoFirTaps();

bool firstMonoCall = true;

} // namespace

void NfmDemodulator::StereoFir::run(const float* in, size_t n, float* out)
{
    constexpr size_t kHistory = kStereoFirTaps - 1;
    std::copy_n(in, n, line.begin() + kHistory);
    // Output k sees inputs k-63 .. k, oldest first; the taps are symmetric, so their
    // order does not matter.
    for (size_t k = 0; k < n; ++k)
        out[k] = dotProduct(kStereoFir.data(), line.data() + k, kStereoFirTaps);
    std::copy_n(line.begin() + static_cast<std::ptrdiff_t>(n), kHistory, line.begin());
}

void NfmDemodulator::StereoFir::clear()
{
    line.fill(0.0f);
}

NfmDemodulator::NfmDemodulator(const NfmConfig& config)
    : m_config(config)
{
}

void NfmDemodulator::setSampleRate(double rateHz)
{
    std::printf("[DEBUG NfmDemodulator::setSampleRate] Called with sampleRateHz=%.0f\n", rateHz);
    if (rateHz <= 0.0) {
        std::printf("[ERROR NfmDemodulator::setSampleRate] Invalid sample rate <= 0!\n");
        return;
    }
    m_sampleRate = rateHz;
    std::printf("[DEBUG NfmDemodulator::setSampleRate] m_sampleRate set to %.0f, calling updateCoefficients()\n", rateHz);
    updateCoefficients();
}

void NfmDemodulator::updateCoefficients()
{
    const double fs = m_sampleRate;
    std::printf("[DEBUG NfmDemodulator::updateCoefficients] Called, m_sampleRate=%.0f\n", fs);
    if (fs <= 0.0) {
        std::printf("[ERROR NfmDemodulator::updateCoefficients] m_sampleRate <= 0, returning!\n");
        return;
    }
    m_deemphAlpha = std::exp(-1.0 / (m_config.deemphasisUs * 1e-6 * fs));
    m_dcBlockAlpha = std::exp(-kTwoPi * 20.0 / fs);
    m_discrScale = static_cast<float>(fs / (kTwoPi * m_config.deviationHz));

    m_diffLpCoef = std::exp(-kTwoPi * 53000.0 / fs);
    m_diffHpCoef = std::exp(-kTwoPi * 23000.0 / fs);
    // The two one-pole difference-band filters leave only Re(H) of the subcarrier's
    // level at 38 kHz (about 0.6 at 500 kHz); the gain restores it so that the sum and
    // difference matrix cancels the other side.
    const std::complex<double> z1 = std::polar(1.0, -kTwoPi * 2.0 * kPilotHz / fs);
    const std::complex<double> hp = m_diffHpCoef * (1.0 - z1) / (1.0 - m_diffHpCoef * z1);
    const std::complex<double> lp = (1.0 - m_diffLpCoef) / (1.0 - m_diffLpCoef * z1);
    const double recovered = (hp * lp).real();
    m_diffGain = recovered > 0.0 ? 1.0 / recovered : 1.0;

    m_pilotNominal = kTwoPi * kPilotHz / fs;
    m_armCoef = std::exp(-kTwoPi * 2000.0 / fs);
    m_loopKp = 0.05;
    m_loopKi = 0.001;
    const double w0 = std::min(m_pilotNominal, std::numbers::pi * 0.99);
    const double alpha = std::sin(w0) / (2.0 * kPilotBandQ);
    m_bpB0 = alpha / (1.0 + alpha);
    m_bpA1 = -2.0 * std::cos(w0) / (1.0 + alpha);
    m_bpA2 = (1.0 - alpha) / (1.0 + alpha);
    m_pilotPhase = 0.0;
    m_pilotFreq = m_pilotNominal;

    std::printf("[DEBUG NfmDemodulator] Fs=%.0f Hz, deviation=%.0f Hz, deemphasis=%.1f us\n", fs, m_config.deviationHz,
                m_config.deemphasisUs);
    std::printf("[DEBUG NfmDemodulator] m_discrScale=%.6f, m_deemphAlpha=%.6f, m_dcBlockAlpha=%.6f\n", m_discrScale,
                m_deemphAlpha, m_dcBlockAlpha);
    if (!std::isfinite(m_discrScale))
        std::printf("[ERROR NfmDemodulator] m_discrScale is NaN or Inf!\n");
    if (!std::isfinite(m_deemphAlpha))
        std::printf("[ERROR NfmDemodulator] m_deemphAlpha is NaN or Inf!\n");
    if (!std::isfinite(m_dcBlockAlpha))
        std::printf("[ERROR NfmDemodulator] m_dcBlockAlpha is NaN or Inf!\n");
}

void NfmDemodulator::reset()
{
    m_prevI = m_prevQ = 0.0f;
    m_deemphMono = m_deemphRight = 0.0f;
    m_dcMonoOut = m_dcMonoIn = m_dcLeftOut = m_dcLeftIn = m_dcRightOut = m_dcRightIn = 0.0f;
    m_diffLp = m_diffHpOut = m_diffHpIn = 0.0f;
    m_sumFir.clear();
    m_diffFir.clear();
    // Restarting at the nominal pilot step lets the loop lock again after a retune; from
    // a step of 0 the pilot would fall far outside the arms' pass band.
    m_pilotPhase = 0.0;
    m_pilotFreq = m_pilotNominal;
    m_armI = m_armQ = 0.0f;
    m_pilotError = 0.0f;
    m_bpState = {};
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
    std::printf("[DEBUG NfmDemodulator] Input IQ: I_avg=%.6f, Q_avg=%.6f, I_peak=%.6f, Q_peak=%.6f\n", sumI / n, sumQ / n,
                peakI, peakQ);
}

size_t NfmDemodulator::process(const std::complex<float>* in, size_t count, float* out, size_t outCapacity)
{
    if (!in || !out || count == 0 || outCapacity < count || m_sampleRate <= 0.0)
        return 0;
    if (firstMonoCall) {
        firstMonoCall = false;
        reportFirstInput(in, count);
    }
    const double deemph = 1.0 - m_deemphAlpha;
    for (size_t k = 0; k < count; ++k) {
        const float d = discriminate(in[k]);
        m_deemphMono = static_cast<float>(m_deemphMono + (d - m_deemphMono) * deemph);
        const auto y = static_cast<float>((m_deemphMono + m_dcMonoOut - m_dcMonoIn) * m_dcBlockAlpha);
        m_dcMonoIn = m_deemphMono;
        m_dcMonoOut = y;
        out[k] = y;
    }
    return count;
}

size_t NfmDemodulator::processStereo(const std::complex<float>* in, size_t count, float* left, float* right,
                                     size_t capacity)
{
    if (!in || !left || !right || count == 0 || capacity < count || m_sampleRate <= 0.0)
        return 0;
    const double deemph = 1.0 - m_deemphAlpha;
    const double arm = 1.0 - m_armCoef;
    const double lpGain = 1.0 - m_diffLpCoef;
    float cosTheta = std::cos(static_cast<float>(m_pilotPhase));
    float sinTheta = std::sin(static_cast<float>(m_pilotPhase));
    for (size_t done = 0; done < count; done += kStereoChunk) {
        const size_t n = std::min(kStereoChunk, count - done);
        // The pilot loop runs sample by sample; the two FIRs then run over the chunk.
        for (size_t k = 0; k < n; ++k) {
            const float d = discriminate(in[done + k]);
            m_mpx[k] = d;

            double pilot = d;
            for (auto& w : m_bpState) {
                const double v = pilot - m_bpA1 * w[0] - m_bpA2 * w[1];
                pilot = m_bpB0 * (v - w[1]);
                w[1] = w[0];
                w[0] = v;
            }
            // The loop's cosine locks onto the pilot of this very sample. A broadcast
            // subcarrier crosses zero rising together with the pilot's sine, so its
            // in-phase reference is -sin(2 theta) at this sample's phase; the phase
            // already advanced for the next sample would lead it by two pilot steps.
            const float reference = -2.0f * sinTheta * cosTheta;
            m_armI = static_cast<float>(cosTheta * pilot * arm + m_armI * m_armCoef);
            m_armQ = static_cast<float>(sinTheta * pilot * arm + m_armQ * m_armCoef);
            const float err = std::atan2(m_armQ, m_armI);
            m_pilotError = err;
            m_pilotFreq -= m_loopKi * err;
            double theta = m_pilotPhase + m_pilotFreq - m_loopKp * err;
            if (theta >= 2.0 * std::numbers::pi)
                theta -= 2.0 * std::numbers::pi;
            else if (theta < 0.0)
                theta += 2.0 * std::numbers::pi;
            m_pilotPhase = theta;
            cosTheta = std::cos(static_cast<float>(theta));
            sinTheta = std::sin(static_cast<float>(theta));

            const auto hp = static_cast<float>((d + m_diffHpOut - m_diffHpIn) * m_diffHpCoef);
            m_diffHpIn = d;
            m_diffHpOut = hp;
            m_diffLp = static_cast<float>(lpGain * hp + m_diffLpCoef * m_diffLp);
            m_diffIn[k] = static_cast<float>(reference * 2.0f * m_diffLp * m_diffGain);
        }
        m_sumFir.run(m_mpx.data(), n, m_sum.data());
        m_diffFir.run(m_diffIn.data(), n, m_diff.data());

        for (size_t k = 0; k < n; ++k) {
            const float sum = m_sum[k];
            const float diff = m_diff[k];
            m_deemphMono = static_cast<float>(m_deemphMono + ((sum + diff) * 0.5f - m_deemphMono) * deemph);
            m_deemphRight = static_cast<float>(m_deemphRight + ((sum - diff) * 0.5f - m_deemphRight) * deemph);
            const auto l = static_cast<float>((m_deemphMono + m_dcLeftOut - m_dcLeftIn) * m_dcBlockAlpha);
            m_dcLeftIn = m_deemphMono;
            m_dcLeftOut = l;
            const auto r = static_cast<float>((m_deemphRight + m_dcRightOut - m_dcRightIn) * m_dcBlockAlpha);
            m_dcRightIn = m_deemphRight;
            m_dcRightOut = r;
            left[done + k] = l;
            right[done + k] = r;
        }
    }
    return count;
}
