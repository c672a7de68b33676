#include "demod/IqDecimator.h"

#include "demod/SimdKernels.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kModeTolerance = 500000.0;
constexpr double kReconfigureStep = 100000.0;

bool near(double rate, double nominal)
{
    return std::abs(rate - nominal) <= kModeTolerance;
}

} // namespace

IqDecimator::IqDecimator(double targetOutputHz, DemodDiagnostics& diagnostics)
    : m_targetOutputHz(targetOutputHz)
    , m_diag(diagnostics)
{
    m_diag.print("[IqDecimator] Created: target output=%.0f Hz\n", targetOutputHz);
}

void IqDecimator::useCic(int32_t r, int32_t n, double outputRateHz)
{
    m_cicI = std::make_unique<CicDecimator>(r, n, m_diag);
    m_cicQ = std::make_unique<CicDecimator>(r, n, m_diag);
    m_r = r;
    m_outputRateHz = outputRateHz;
}

void IqDecimator::bypass(double inputRateHz)
{
    m_cicI.reset();
    m_cicQ.reset();
    m_r = 1;
    m_outputRateHz = inputRateHz;
}

void IqDecimator::configure(double inputRateHz)
{
    m_inputRateHz = inputRateHz;
    if (near(inputRateHz, 30e6)) {
        useCic(6, 4, inputRateHz / 6.0);
        m_diag.print("[IqDecimator] 30MHz mode: R=%d, N=%d -> %.2f MHz\n", 6, 4, m_outputRateHz / 1e6);
    } else if (near(inputRateHz, 20e6)) {
        useCic(4, 3, inputRateHz * 0.25);
        m_diag.print("[IqDecimator] 20MHz mode: R=%d, N=%d -> %.2f MHz\n", 4, 3, m_outputRateHz / 1e6);
    } else if (near(inputRateHz, 10e6)) {
        useCic(2, 2, inputRateHz * 0.5);
        m_diag.print("[IqDecimator] 10MHz mode: R=%d, N=%d -> %.2f MHz\n", 2, 2, m_outputRateHz / 1e6);
    } else if (near(inputRateHz, 5e6)) {
        bypass(inputRateHz);
        m_diag.print("[IqDecimator] 5MHz mode: BYPASS (no CIC)\n");
    } else if (near(inputRateHz, 2e6)) {
        bypass(inputRateHz);
        m_diag.print("[IqDecimator] 2MHz mode: FULL BYPASS\n");
    } else {
        bypass(inputRateHz);
        m_diag.print("[IqDecimator] Unknown rate %.2f MHz: BYPASS\n", inputRateHz / 1e6);
    }
}

bool IqDecimator::decimatesAt(double inputRateHz)
{
    if (inputRateHz > 0.0 && std::abs(m_inputRateHz - inputRateHz) > kReconfigureStep)
        configure(inputRateHz);
    return m_r > 1 && m_cicI && m_cicQ;
}

size_t IqDecimator::process(const std::complex<float>* in, size_t count, double inputRateHz,
                            std::complex<float>* out, size_t outCapacity)
{
    if (!in || !out || count == 0 || outCapacity == 0 || inputRateHz <= 0.0)
        return 0;
    if (!decimatesAt(inputRateHz)) {
        const size_t n = std::min(count, outCapacity);
        if (out != in)
            std::copy(in, in + n, out);
        reportIfChanged(count, inputRateHz, n);
        return n;
    }

    // Chunks small enough for the stack, put to int16 for the CIC and its outputs interleaved.
    constexpr size_t kChunk = 2048;
    int16_t ints[2 * kChunk];
    float decI[kChunk];
    float decQ[kChunk];
    size_t produced = 0;
    for (size_t pos = 0; pos < count;) {
        const size_t n = std::min(kChunk, count - pos);
        toInt16FullScale(reinterpret_cast<const float*>(in + pos), ints, 2 * n);
        size_t used = 0;
        const size_t got = CicDecimator::processPair(*m_cicI, *m_cicQ, ints, n, decI, decQ,
                                                     std::min(kChunk, outCapacity - produced), used);
        for (size_t k = 0; k < got; ++k)
            out[produced + k] = {decI[k], decQ[k]};
        produced += got;
        pos += n;
        if (used < n || produced == outCapacity)
            break;
    }
    reportIfChanged(count, inputRateHz, produced);
    return produced;
}

size_t IqDecimator::processQuantised(const int16_t* iq, size_t pairs, double inputRateHz, float* outI, float* outQ,
                                     size_t outCapacity)
{
    if (!iq || !outI || !outQ || pairs == 0 || outCapacity == 0 || !decimatesAt(inputRateHz))
        return 0;
    size_t used = 0;
    const size_t produced = CicDecimator::processPair(*m_cicI, *m_cicQ, iq, pairs, outI, outQ, outCapacity, used);
    reportIfChanged(pairs, inputRateHz, produced);
    return produced;
}

void IqDecimator::reportIfChanged(size_t count, double inputRateHz, size_t produced)
{
    if (!m_diag.decimatorConfigChanged(inputRateHz, m_outputRateHz, m_r))
        return;
    m_diag.print("[IqDecimator] in=%zu @ %.0fMHz -> out=%zu @ %.0fMHz (R=%d, DC=%s)\n", count, inputRateHz / 1e6,
                produced, m_outputRateHz / 1e6, m_r, "OFF");
}

void IqDecimator::reset()
{
    if (m_cicI)
        m_cicI->reset();
    if (m_cicQ)
        m_cicQ->reset();
    m_r = 1;
    m_inputRateHz = 0.0;
    m_outputRateHz = 0.0;
}
