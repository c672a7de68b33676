#include "engine/FftAnalyzer.h"

#include "engine/FastLog.h"
#include "engine/FftWindow.h"
#include "engine/LevelMeter.h"
#include "engine/PairedLanes.h"
#include "engine/SpectrumSettingTable.h"
#include "engine/VectorClones.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Windows a run of samples into the transform's input and sums their I^2 + Q^2 on the way, so
// that the block level needs no pass of its own over the block.
RTSA_VECTOR_CLONES uint64_t applyWindow(const int16_t* __restrict raw, const float* __restrict window,
                                        float* __restrict input, std::size_t samples)
{
    SquareSum squares;
    for (std::size_t i = 0; i < 2 * samples; ++i) {
        input[i] = static_cast<float>(raw[i]) * window[i];
        squares.add(raw[i]);
    }
    return squares.total();
}

inline float flooredPower(float re, float im, float scale)
{
    return (re * re + im * im) * scale + 1e-24f;
}

// |X|^2 * scale + 1e-24 for a run of complex bins: the floor keeps every level finite, and
// without a square root the loop runs at the pace of its loads.
RTSA_VECTOR_CLONES void flooredPower(const float* __restrict spectrum, float scale, float* __restrict dst, std::size_t bins)
{
    std::size_t k = 0;
    for (; k + 8 <= bins; k += 8) {
        pairedlanes::Floats re;
        pairedlanes::Floats im;
        pairedlanes::split(spectrum + 2 * k, re, im);
        pairedlanes::store(dst + k, (re * re + im * im) * scale + 1e-24f);
    }
    for (; k < bins; ++k)
        dst[k] = flooredPower(spectrum[2 * k], spectrum[2 * k + 1], scale);
}

} // namespace

FftAnalyzer::FftAnalyzer()
{
    buildWindow();
    allocate(m_size);
}

FftAnalyzer::~FftAnalyzer() = default;

void FftAnalyzer::allocate(std::size_t n)
{
    // The old plan refers to the old buffers: it goes before they do.
    m_plan.reset();
    if (n > m_capacity) {
        m_input.reset(fftwf_alloc_complex(n));
        m_output.reset(fftwf_alloc_complex(n));
        m_capacity = n;
    }
    std::memset(m_input.get(), 0, n * sizeof(fftwf_complex));
    std::memset(m_output.get(), 0, n * sizeof(fftwf_complex));
    m_plan.reset(fftwf_plan_dft_1d(static_cast<int>(n), m_input.get(), m_output.get(), FFTW_FORWARD, 0));
}

void FftAnalyzer::setSize(std::size_t n)
{
    if (n == 0)
        return;
    m_size = n;
    buildWindow();
    allocate(n);
}

void FftAnalyzer::setWindowType(int type)
{
    if (type == m_windowType)
        return;
    m_windowType = type;
    buildWindow();
}

void FftAnalyzer::buildWindow()
{
    ++m_windowBuilds;
    m_window.resize(m_size);
    m_interleavedWindow.assign(2 * m_size, 0.0f);
    float* interleaved = m_interleavedWindow.data();
    float sum = 0.0f;
    for (std::size_t i = 0; i < m_size; ++i) {
        const float w = fftWindowValue(m_windowType, i, m_size);
        m_window[i] = w;
        interleaved[2 * i] = w;
        interleaved[2 * i + 1] = w;
        sum += w;
    }
    m_windowSum = sum;
}

bool FftAnalyzer::transformToPower(const IqBlockView& block, std::vector<float>& out)
{
    m_sumOfSquares = 0;
    if (block.first == nullptr || block.size() == 0)
        return false;
    const std::size_t n = m_size;
    out.resize(n);
    if (m_window.size() != n)
        buildWindow();

    // The first N samples are windowed, the pieces one after the other; the rest only count
    // towards the block level.
    float* input = reinterpret_cast<float*>(m_input.get());
    const float* window = m_interleavedWindow.data();
    std::size_t windowed = 0;
    const auto addPiece = [&](const IqSample* samples, std::size_t count) {
        const std::size_t m = std::min(count, n - windowed);
        // IqSample is two packed int16 values, so the piece is read as one interleaved array.
        const auto* raw = reinterpret_cast<const int16_t*>(samples);
        const std::size_t at = 2 * windowed;
        m_sumOfSquares += SquareSum::overRuns(m, [&](std::size_t start, std::size_t length) {
            return applyWindow(raw + 2 * start, window + at + 2 * start, input + at + 2 * start, length);
        });
        m_sumOfSquares += sumOfSquares(samples + m, count - m);
        windowed += m;
    };
    addPiece(block.first, block.firstCount);
    if (block.second != nullptr)
        addPiece(block.second, block.secondCount);
    std::fill(input + 2 * windowed, input + 2 * n, 0.0f);

    fftwf_execute(m_plan.get());

    const float divisor = m_windowSum > 0.0f ? m_windowSum : static_cast<float>(windowed);
    const float amplitudeScale = 1.0f / (divisor * 32768.0f);
    const float scale = amplitudeScale * amplitudeScale;
    const float* spectrum = reinterpret_cast<const float*>(m_output.get());
    float* dst = out.data();
    // fft-shift: output bin k lands at (k + N - N/2) mod N, done as two straight runs.
    const std::size_t half = n / 2;
    flooredPower(spectrum + 2 * half, scale, dst, n - half);
    flooredPower(spectrum, scale, dst + (n - half), half);
    return true;
}

uint64_t FftAnalyzer::processPower(const IqSample* samples, std::size_t count, std::vector<float>& out)
{
    return processPower(IqBlockView{samples, count, nullptr, 0}, out);
}

uint64_t FftAnalyzer::processPower(const IqBlockView& block, std::vector<float>& out)
{
    transformToPower(block, out);
    return m_sumOfSquares;
}

void FftAnalyzer::process(const IqSample* samples, std::size_t count, std::vector<float>& out)
{
    if (transformToPower(IqBlockView{samples, count, nullptr, 0}, out))
        fastlog::powerToDb(out.data(), out.data(), out.size());
}

double FftAnalyzer::enbwBins(int windowType)
{
    switch (static_cast<WindowType>(windowType)) {
    case WindowType::Hann:
        return 1.5;
    case WindowType::Hamming:
        return 1.36;
    case WindowType::Blackman:
        return 1.73;
    default:
        return 1.0;
    }
}

double FftAnalyzer::rbwHz(double sampleRateHz, std::size_t n, int windowType)
{
    if (n == 0)
        return 0.0;
    return sampleRateHz / static_cast<double>(n) * enbwBins(windowType);
}
