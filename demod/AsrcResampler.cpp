#include "demod/AsrcResampler.h"

#include "demod/FirDesign.h"
#include "demod/SimdKernels.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double kRatioPushStep = 0.0001;
constexpr double kRatioMessageStep = 0.001;
constexpr double kMinRatio = 1.0 / 256.0;
constexpr double kMaxRatio = 256.0;
constexpr double kStopDb = 100.0;
// A move of the ratio by more than this fraction of the one the filter was designed for
// redesigns it; within it, the band edges stay where they were.
constexpr double kRedesignStep = 0.01;

// Taps per branch for a transition band `width` wide (fraction of the input rate), by Kaiser's
// estimate, rounded up to the kernel's multiple of 8.
int tapsFor(double width)
{
    const double estimate = (kStopDb - 7.95) / (2.285 * 2.0 * 3.141592653589793 * width) + 1.0;
    const int taps = (static_cast<int>(std::ceil(estimate)) + 7) / 8 * 8;
    return std::clamp(taps, 8, AsrcResampler::kMaxTaps);
}

} // namespace

AsrcResampler::AsrcResampler(double outputRateHz, DemodDiagnostics& diagnostics, int channels)
    : m_outputRateHz(outputRateHz)
    , m_diag(diagnostics)
    , m_channels(std::clamp(channels, 1, 2))
    , m_branches(static_cast<size_t>(kPhases) * kMaxTaps)
    , m_slopes(static_cast<size_t>(kPhases) * kMaxTaps)
{
    for (std::vector<float>& line : m_lines)
        line.assign(kLineFrames, 0.0f);
    m_diag.print("[AsrcResampler] Created with a %d-branch polyphase windowed sinc\n", kPhases);
}

void AsrcResampler::reset()
{
    m_fill = 0;
    m_time = 0.0;
    m_lastRatio = 0.0;
}

// The low-pass for a ratio, in fractions of the input rate: cut-off at the lower Nyquist
// frequency n, pass band to 2n/3, stop band from 4n/3, every branch scaled to unity gain at DC.
void AsrcResampler::design(double ratio)
{
    const double nyquist = 0.5 * std::min(ratio, 1.0);
    m_taps = tapsFor(2.0 * nyquist / 3.0);
    const double cutoff = nyquist;
    const double beta = kaiserBeta(kStopDb);
    const double half = m_taps / 2.0;
    // Branch p is centred p / kPhases of a frame after the middle of its taps' span.
    const auto branch = [&](int p, float* out) {
        double sum = 0.0;
        for (int i = 0; i < m_taps; ++i) {
            const double x = i - (half - 1.0) - static_cast<double>(p) / kPhases;
            const double h = kaiserSinc(x, cutoff, half, beta);
            out[i] = static_cast<float>(h);
            sum += h;
        }
        for (int i = 0; i < m_taps; ++i)
            out[i] = static_cast<float>(out[i] / sum);
    };
    for (int p = 0; p < kPhases; ++p)
        branch(p, m_branches.data() + static_cast<size_t>(p) * kMaxTaps);
    // The step from the last branch leads to the first one shifted by a frame.
    float next[kMaxTaps];
    for (int p = 0; p < kPhases; ++p) {
        const float* h = m_branches.data() + static_cast<size_t>(p) * kMaxTaps;
        float* slope = m_slopes.data() + static_cast<size_t>(p) * kMaxTaps;
        if (p + 1 < kPhases) {
            const float* h1 = h + kMaxTaps;
            for (int i = 0; i < m_taps; ++i)
                slope[i] = h1[i] - h[i];
        } else {
            branch(kPhases, next);
            for (int i = 0; i < m_taps; ++i)
                slope[i] = next[i] - h[i];
        }
    }
    m_designRatio = ratio;
}

// Drops the frames no further output needs, so that input can follow them.
void AsrcResampler::compact()
{
    const auto first = std::min(static_cast<size_t>(m_time), m_fill);
    for (int c = 0; c < m_channels; ++c) {
        float* line = m_lines[static_cast<size_t>(c)].data();
        std::memmove(line, line + first, (m_fill - first) * sizeof(float));
    }
    m_fill -= first;
    m_time -= static_cast<double>(first);
}

// Takes up to kAppendFrames interleaved frames into the delay lines; returns how many.
size_t AsrcResampler::append(const float* in, size_t frames)
{
    if (m_fill + kAppendFrames > kLineFrames)
        compact();
    const size_t n = std::min({frames, kAppendFrames, kLineFrames - m_fill});
    float* left = m_lines[0].data() + m_fill;
    if (m_channels == 1) {
        std::copy_n(in, n, left);
    } else {
        float* right = m_lines[1].data() + m_fill;
        for (size_t k = 0; k < n; ++k) {
            left[k] = in[2 * k];
            right[k] = in[2 * k + 1];
        }
    }
    m_fill += n;
    return n;
}

size_t AsrcResampler::process(const float* in, size_t inCount, float* out, size_t outCapacity, double ratio,
                              size_t* consumed)
{
    if (consumed)
        *consumed = 0;
    if (!in || !out || inCount == 0 || outCapacity == 0 || !(ratio > 0.0))
        return 0;
    ratio = std::clamp(ratio, kMinRatio, kMaxRatio);

    const double moved = std::abs(m_lastRatio - ratio);
    if (moved > kRatioPushStep) {
        if (moved > kRatioMessageStep && m_diag.claimRatioMessage())
            m_diag.print("[AsrcResampler] Ratio changed: %.6f -> %.6f (inputRate=%.0fHz -> 48kHz)\n", m_lastRatio, ratio,
                         m_outputRateHz / ratio);
        m_lastRatio = ratio;
    }
    if (m_taps == 0 || std::abs(ratio / m_designRatio - 1.0) > kRedesignStep)
        design(ratio);

    // Every call runs at the ratio it is given, however small the change: the bus's fill
    // control trims it by less than the step that counts as a change above.
    const double step = 1.0 / ratio;
    const auto taps = static_cast<size_t>(m_taps);
    const float* right = m_channels == 2 ? m_lines[1].data() : nullptr;
    size_t used = 0;
    size_t generated = 0;
    while (generated < outCapacity) {
        const auto first = static_cast<size_t>(m_time);
        if (first + taps > m_fill) {
            if (used == inCount)
                break;
            used += append(in + used * static_cast<size_t>(m_channels), inCount - used);
            continue;
        }
        const double position = (m_time - static_cast<double>(first)) * kPhases;
        const auto p = std::min(static_cast<int>(position), kPhases - 1);
        const auto frac = static_cast<float>(position - p);
        const size_t row = static_cast<size_t>(p) * kMaxTaps;
        interpolatedTaps(m_branches.data() + row, m_slopes.data() + row, frac, m_taps, m_lines[0].data() + first,
                         right ? right + first : nullptr, out + generated * static_cast<size_t>(m_channels));
        m_time += step;
        ++generated;
    }
    if (consumed)
        *consumed = used;
    m_diag.countResamplerCall(inCount, used, generated, outCapacity, ratio);
    return generated;
}
