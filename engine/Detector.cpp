#include "engine/Detector.h"

#include "engine/FastLog.h"
#include "engine/SpectrumSettingTable.h"
#include "engine/VectorClones.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cmath>
#include <limits>

namespace {

inline float sanitised(float p)
{
    // NaN, infinities and p <= 0 all become the floor. Positive finite floats are exactly the bit
    // patterns 1 ... 0x7f7fffff; a mask rather than a branch, so that the loops vectorise.
    const auto bits = std::bit_cast<uint32_t>(p);
    const uint32_t keep = 0u - static_cast<uint32_t>(bits - 1u < 0x7f7fffffu);
    return std::bit_cast<float>((bits & keep) | (std::bit_cast<uint32_t>(Detector::kFloorPower) & ~keep));
}

RTSA_VECTOR_CLONES void sanitiseInto(float* dst, const float* power, std::size_t n)
{
    for (std::size_t k = 0; k < n; ++k)
        dst[k] = sanitised(power[k]);
}

// How the rows of a window combine into the output. Each has an identity for the bins it
// meets: sanitised bins are positive and finite.
struct MaxOfRows {
    static constexpr float kIdentity = 0.0f;
    static float combine(float a, float b) { return std::max(a, b); }
    static float finish(float v, float) { return v; }
};

struct MinOfRows {
    static constexpr float kIdentity = std::numeric_limits<float>::infinity();
    static float combine(float a, float b) { return std::min(a, b); }
    static float finish(float v, float) { return v; }
};

// Sums, finished as the mean: scale * sum, floored after its rounding to float, which gives the
// same float as flooring first: the floor is a float.
struct MeanOfRows {
    static constexpr float kIdentity = 0.0f;
    static float combine(float a, float b) { return a + b; }
    static float finish(float v, float scale)
    {
        const float mean = scale * v;
        return mean > Detector::kFloorPower ? mean : Detector::kFloorPower;
    }
};

// One spectrum in one pass: each bin is sanitised into its history row and joins the running
// prefix of the chunk, and the prefix combined with the previous chunk's suffix goes out.
template <typename Rows>
inline void stepOf(const float* __restrict power, float* __restrict row, float* __restrict prefix,
                   const float* __restrict suffix, float* __restrict out, float scale, std::size_t bins)
{
    for (std::size_t k = 0; k < bins; ++k) {
        const float p = sanitised(power[k]);
        row[k] = p;
        const float running = Rows::combine(prefix[k], p);
        prefix[k] = running;
        out[k] = Rows::finish(Rows::combine(suffix[k], running), scale);
    }
}

// Once a chunk is complete its rows turn into its suffixes in place: row r := row r combined
// with row r + 1, for r = rows - 1 down to 0.
template <typename Rows>
inline void suffixesOf(float* history, std::size_t rows, std::size_t bins)
{
    for (std::size_t r = rows; r-- > 0;) {
        float* __restrict row = history + r * bins;
        const float* __restrict next = row + bins;
        for (std::size_t k = 0; k < bins; ++k)
            row[k] = Rows::combine(row[k], next[k]);
    }
}

float identityOf(DetectorMode mode)
{
    switch (mode) {
    case DetectorMode::Max:
        return MaxOfRows::kIdentity;
    case DetectorMode::Min:
        return MinOfRows::kIdentity;
    default:
        return MeanOfRows::kIdentity;
    }
}

RTSA_VECTOR_CLONES void step(DetectorMode mode, const float* power, float* row, float* prefix, const float* suffix,
                             float* out, float scale, std::size_t bins)
{
    switch (mode) {
    case DetectorMode::Max:
        return stepOf<MaxOfRows>(power, row, prefix, suffix, out, scale, bins);
    case DetectorMode::Min:
        return stepOf<MinOfRows>(power, row, prefix, suffix, out, scale, bins);
    default:
        return stepOf<MeanOfRows>(power, row, prefix, suffix, out, scale, bins);
    }
}

RTSA_VECTOR_CLONES void buildSuffixes(DetectorMode mode, float* history, std::size_t rows, std::size_t bins)
{
    switch (mode) {
    case DetectorMode::Max:
        return suffixesOf<MaxOfRows>(history, rows, bins);
    case DetectorMode::Min:
        return suffixesOf<MinOfRows>(history, rows, bins);
    default:
        return suffixesOf<MeanOfRows>(history, rows, bins);
    }
}

} // namespace

void Detector::process(const float* power, std::size_t bins, int mode, int window)
{
    const std::size_t n = static_cast<std::size_t>(std::max(1, window));
    const auto detector = static_cast<DetectorMode>(mode);
    m_dbStale = true;
    m_reset = bins != m_bins || mode != m_mode || static_cast<int>(n) != m_window;
    if (m_reset) {
        m_outPower.assign(bins, 0.0f);
        // Until the first chunk is complete, and always in row n, the suffix adds nothing.
        m_history.assign((n + 1) * bins, identityOf(detector));
        m_prefix.assign(bins, 0.0f);
        m_writeRow = 0;
        m_fill = 0;
        m_bins = bins;
        m_mode = mode;
        m_window = static_cast<int>(n);
    }
    m_outPower.resize(bins);
    float* out = m_outPower.data();
    if (detector == DetectorMode::Sample) {
        sanitiseInto(out, power, bins);
        return;
    }

    // The max, min or mean over the last n rows without scanning them all: the history is cut
    // into chunks of n rows (one pass of the ring). The window ending at row w of the current
    // chunk is rows 0..w of this chunk plus rows w+1..n-1 of the previous one, so a running
    // prefix of this chunk and the suffixes of the previous chunk (built once per chunk) give it
    // in one pass. Max and min are exact, so the result equals the full scan. A sum adds only
    // positive terms and never takes a row back out: n - 1 roundings of sums of positive floats
    // and two for the mean, a relative error below (n + 1) * 2^-24 (6e-5, or 3e-4 dB, at the
    // largest window) whatever levels the window saw before, so a bin that falls from a strong
    // signal to the floor reads the floor once the signal has left the window.
    if (m_fill < n)
        ++m_fill;
    float* prefix = m_prefix.data();
    if (m_writeRow == 0)
        std::fill(prefix, prefix + bins, identityOf(detector));
    float* row = m_history.data() + m_writeRow * bins;
    step(detector, power, row, prefix, row + bins, out,
         static_cast<float>(1.0 / static_cast<double>(m_fill)), bins);
    if (m_writeRow + 1 == n)
        buildSuffixes(detector, m_history.data(), n, bins);
    m_writeRow = (m_writeRow + 1) % n;
}

const std::vector<float>& Detector::outputDb()
{
    if (m_dbStale) {
        m_outDb.resize(m_outPower.size());
        fastlog::powerToDb(m_outPower.data(), m_outDb.data(), m_outPower.size());
        m_dbStale = false;
    }
    return m_outDb;
}
