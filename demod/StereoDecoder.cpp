#include "demod/StereoDecoder.h"

#include "demod/SimdKernels.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace {

constexpr double kDiffLowEdgeHz = 23000.0;
constexpr double kDiffHighEdgeHz = 53000.0;
constexpr double kSubcarrierHz = 38000.0;

// Symmetric, unity gain at DC; passes the whole multiplex band at the demodulator rates.
constexpr std::array<float, 32> kFirHalf = {
    -0.003383509f, 0.004416933f, -0.002540544f, -0.001531086f, 0.005363747f, -0.006200103f, 0.002859809f,
    0.003120598f,  -0.008058107f, 0.00831063f,  -0.0028325f,   -0.005624255f, 0.01173553f,  -0.01082957f,
    0.002232178f,  0.009542567f,  -0.01694187f, 0.0139839f,    -0.0006433703f, -0.01597191f, 0.02501346f,
    -0.0184443f,   -0.002946988f, 0.02804651f,  -0.04022996f,  0.02670469f,  0.01236233f,  -0.06007897f,
    0.08670889f,   -0.05765402f,  -0.07191569f, 0.585425f};

constexpr std::array<float, StereoDecoder::kFirTaps> firTaps()
{
    std::array<float, StereoDecoder::kFirTaps> taps{};
    for (size_t t = 0; t < kFirHalf.size(); ++t)
        taps[t] = taps[taps.size() - 1 - t] = kFirHalf[t];
    return taps;
}
constexpr std::array<float, StereoDecoder::kFirTaps> kFir = firTaps();

} // namespace

void StereoDecoder::Fir::run(const float* in, size_t n, float* out)
{
    constexpr size_t kHistory = kFirTaps - 1;
    std::copy_n(in, n, line.begin() + kHistory);
    // Output k sees inputs k-63 .. k, oldest first; the taps are symmetric, so their order
    // does not matter.
    filterBlock(kFir.data(), kFirTaps, line.data(), n, out);
    std::copy_n(line.begin() + static_cast<std::ptrdiff_t>(n), kHistory, line.begin());
}

void StereoDecoder::configure(double sampleRateHz)
{
    const double lowPole = std::exp(-2.0 * std::numbers::pi * kDiffHighEdgeHz / sampleRateHz);
    const double highPole = std::exp(-2.0 * std::numbers::pi * kDiffLowEdgeHz / sampleRateHz);
    m_diffLowPass.setPole(lowPole);
    m_diffHighPass.setPole(static_cast<float>(highPole));
    // The two one-pole difference-band filters leave only Re(H) of the subcarrier's level at
    // 38 kHz (about 0.6 at 500 kHz); the gain restores it so that the sum and difference
    // matrix cancels the other side.
    const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * kSubcarrierHz / sampleRateHz);
    const std::complex<double> hp = highPole * (1.0 - z1) / (1.0 - highPole * z1);
    const std::complex<double> lp = (1.0 - lowPole) / (1.0 - lowPole * z1);
    const double recovered = (hp * lp).real();
    m_diffGain = static_cast<float>(recovered > 0.0 ? 1.0 / recovered : 1.0);
    m_pilot.configure(sampleRateHz);
}

void StereoDecoder::reset()
{
    m_pilot.reset();
    m_diffHighPass.reset();
    m_diffLowPass.reset();
    m_sumFir.clear();
    m_diffFir.clear();
}

void StereoDecoder::process(const float* mpx, size_t count, float* left, float* right)
{
    for (size_t done = 0; done < count; done += kChunk) {
        const size_t n = std::min(kChunk, count - done);
        processChunk(mpx + done, n, left + done, right + done);
    }
}

void StereoDecoder::processChunk(const float* mpx, size_t n, float* left, float* right)
{
    // The pilot loop and the difference band run sample by sample, on copies that stores into
    // the chunk buffers cannot force through memory; the FIRs then run over the chunk.
    PilotLoop pilot = m_pilot;
    OnePoleHighPass highPass = m_diffHighPass;
    OnePoleLowPass lowPass = m_diffLowPass;
    const float gain = 2.0f * m_diffGain;
    for (size_t k = 0; k < n; ++k) {
        const float reference = pilot.step(mpx[k]);
        m_diffIn[k] = reference * gain * lowPass.step(highPass.step(mpx[k]));
    }
    m_pilot = pilot;
    m_diffHighPass = highPass;
    m_diffLowPass = lowPass;
    m_sumFir.run(mpx, n, m_sum.data());
    m_diffFir.run(m_diffIn.data(), n, m_diff.data());
    for (size_t k = 0; k < n; ++k) {
        left[k] = (m_sum[k] + m_diff[k]) * 0.5f;
        right[k] = (m_sum[k] - m_diff[k]) * 0.5f;
    }
}
