#include "demod/CicDecimator.h"

#include "demod/SimdKernels.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

int32_t clampedStages(int32_t n)
{
    return std::clamp(n, 1, CicDecimator::kMaxStages);
}

// The largest R whose R^N stays within the DC gain the int32 outputs allow.
int32_t largestDecimation(int32_t n)
{
    return static_cast<int32_t>(std::floor(std::pow(CicDecimator::kMaxDcGain, 1.0 / n) + 1e-9));
}

// The taps of (1 + z^-1 + ... + z^-(r-1))^n, newest input first.
std::vector<int32_t> boxcarPower(int32_t r, int32_t n)
{
    std::vector<int32_t> h{1};
    for (int32_t stage = 0; stage < n; ++stage) {
        std::vector<int32_t> next(h.size() + static_cast<size_t>(r) - 1, 0);
        for (size_t k = 0; k < h.size(); ++k)
            for (size_t d = 0; d < static_cast<size_t>(r); ++d)
                next[k + d] += h[k];
        h = std::move(next);
    }
    return h;
}

} // namespace

CicDecimator::CicDecimator(int32_t r, int32_t n, DemodDiagnostics& diagnostics)
    : m_r(std::clamp(r, 1, largestDecimation(clampedStages(n))))
    , m_n(clampedStages(n))
    , m_dcGain(std::pow(static_cast<double>(m_r), m_n))
    , m_scale(1.0 / (m_dcGain * 32768.0))
{
    const std::vector<int32_t> h = boxcarPower(m_r, m_n);
    const size_t window = (h.size() + 7) / 8 * 8;
    // Oldest input first, the window's surplus positions at the old end with tap 0; each two
    // positions' taps twice over, as the block kernel reads them.
    m_taps.assign(2 * window, 0);
    for (size_t k = 0; k < h.size(); ++k) {
        const size_t w = window - 1 - k;
        m_taps[4 * (w / 2) + w % 2] = m_taps[4 * (w / 2) + w % 2 + 2] = static_cast<int16_t>(h[k]);
    }
    m_history.assign(window - 1, 0);
    m_seam.assign(4 * (window - 1), 0);
    diagnostics.print("[CIC] Created: R=%d, M=%d, N=%d\n", m_r, 1, m_n);
    diagnostics.print("[CIC] DC_gain=%.0f, scale=%.12e\n", m_dcGain, m_scale);
    diagnostics.print("[CIC] Bit growth: %.1f bits (int64 has 63 bits headroom)\n",
                      m_n * std::log2(static_cast<double>(m_r)));
}

void CicDecimator::reset()
{
    std::fill(m_history.begin(), m_history.end(), 0);
    m_phase = 0;
}

bool CicDecimator::push(int16_t x, float& out)
{
    const bool due = ++m_phase == m_r;
    if (due) {
        m_phase = 0;
        const size_t last = m_history.size();
        int32_t sum = tap(last) * x;
        for (size_t w = 0; w < last; ++w)
            sum += tap(w) * m_history[w];
        out = static_cast<float>(static_cast<double>(sum) * m_scale);
    }
    std::copy(m_history.begin() + 1, m_history.end(), m_history.begin());
    m_history.back() = x;
    return due;
}

size_t CicDecimator::processPair(CicDecimator& cicI, CicDecimator& cicQ, const int16_t* iq, size_t pairs,
                                 float* outI, float* outQ, size_t outCapacity, size_t& consumed)
{
    consumed = 0;
    const auto r = static_cast<size_t>(cicI.m_r);
    // The input that completes the next output.
    const size_t first = r - 1 - static_cast<size_t>(cicI.m_phase);
    const size_t due = first < pairs ? (pairs - 1 - first) / r + 1 : 0;
    const size_t outputs = std::min(due, outCapacity);
    if (outCapacity == 0)
        return 0;
    consumed = outputs == outCapacity ? first + (outputs - 1) * r + 1 : pairs;

    // Windows reaching back before the block read from the seam: the history of both, then
    // the block's first pairs; in its pair index, a window starts where its output's input is.
    const size_t history = cicI.m_history.size();
    const size_t window = history + 1;
    const size_t head = std::min(history, consumed);
    int16_t* seam = cicI.m_seam.data();
    for (size_t w = 0; w < history; ++w) {
        seam[2 * w] = cicI.m_history[w];
        seam[2 * w + 1] = cicQ.m_history[w];
    }
    std::copy_n(iq, 2 * head, seam + 2 * history);
    const size_t fromSeam = first < history ? std::min(outputs, (history - 1 - first) / r + 1) : 0;
    cicPairs(seam + 2 * first, cicI.m_taps.data(), window, r, fromSeam, cicI.m_scale, outI, outQ);
    if (outputs > fromSeam)
        cicPairs(iq + 2 * (first + fromSeam * r - history), cicI.m_taps.data(), window, r, outputs - fromSeam,
                 cicI.m_scale, outI + fromSeam, outQ + fromSeam);

    // The last `history` pairs taken become the history.
    const int16_t* last = consumed <= history ? seam + 2 * consumed : iq + 2 * (consumed - history);
    for (size_t w = 0; w < history; ++w) {
        cicI.m_history[w] = last[2 * w];
        cicQ.m_history[w] = last[2 * w + 1];
    }
    cicI.m_phase = cicQ.m_phase = static_cast<int32_t>((static_cast<size_t>(cicI.m_phase) + consumed) % r);
    return outputs;
}
