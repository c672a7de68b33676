#include "engine/Detector.h"

#include "engine/FastLog.h"
#include "engine/SpectrumSettingTable.h"
#include "engine/VectorClones.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cmath>

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

// One spectrum into the running power sums, in one pass: each bin is sanitised into its history
// row, the row's old value leaves the sum (rounding never drives it negative), the new one
// joins it, and the mean over `fill` rows goes out.
RTSA_VECTOR_CLONES void averageRow(double* __restrict sums, float* __restrict row, const float* __restrict power,
                                   float* __restrict out, double scale, std::size_t n)
{
    // Retiring a zero is exact, so the row is always subtracted: before the window is full it
    // still holds the zeros of the restart.
    // The mean is floored after its rounding to float, which gives the same float as flooring
    // first: the floor is a float.
    for (std::size_t k = 0; k < n; ++k) {
        double s = sums[k] - static_cast<double>(row[k]);
        s = s >= 0.0 ? s : 0.0;
        const float p = sanitised(power[k]);
        row[k] = p;
        s += static_cast<double>(p);
        sums[k] = s;
        const auto mean = static_cast<float>(scale * s);
        out[k] = mean > Detector::kFloorPower ? mean : Detector::kFloorPower;
    }
}

// out := elementwise max (or min) of a and b; out may be a or b.
RTSA_VECTOR_CLONES void maxOf(float* out, const float* a, const float* b, std::size_t n)
{
    for (std::size_t k = 0; k < n; ++k)
        out[k] = std::max(a[k], b[k]);
}

RTSA_VECTOR_CLONES void minOf(float* out, const float* a, const float* b, std::size_t n)
{
    for (std::size_t k = 0; k < n; ++k)
        out[k] = std::min(a[k], b[k]);
}

} // namespace

void Detector::process(const float* power, std::size_t bins, int mode, int window)
{
    const std::size_t n = static_cast<std::size_t>(std::max(1, window));
    m_dbStale = true;
    m_reset = bins != m_bins || mode != m_mode || static_cast<int>(n) != m_window;
    if (m_reset) {
        m_outPower.assign(bins, 0.0f);
        m_sums.assign(bins, 0.0);
        m_history.assign(n * bins, 0.0f);
        m_prefix.assign(bins, 0.0f);
        m_suffix.clear();
        m_writeRow = 0;
        m_fill = 0;
        m_bins = bins;
        m_mode = mode;
        m_window = static_cast<int>(n);
    }
    m_outPower.resize(bins);
    float* out = m_outPower.data();
    const auto detector = static_cast<DetectorMode>(mode);
    if (detector == DetectorMode::Sample) {
        sanitiseInto(out, power, bins);
        return;
    }

    float* row = m_history.data() + m_writeRow * bins;
    if (m_fill < n)
        ++m_fill;
    if (detector == DetectorMode::Max || detector == DetectorMode::Min) {
        sanitiseInto(row, power, bins);
        extremeOverWindow(detector == DetectorMode::Max ? maxOf : minOf, row, bins, n);
    } else {
        averageRow(m_sums.data(), row, power, out, 1.0 / static_cast<double>(m_fill), bins);
    }
    m_writeRow = (m_writeRow + 1) % n;
}

// The extreme over the last n rows without scanning them all: the history is cut into chunks
// of n rows (one pass of the ring). The window ending at row w of the current chunk is rows
// 0..w of this chunk plus rows w+1..n-1 of the previous one, so a running prefix extreme of
// this chunk and the suffix extremes of the previous chunk (built once per chunk) give it in
// one pass. Max and min are exact, so the result equals the full scan.
void Detector::extremeOverWindow(void (*extreme)(float*, const float*, const float*, std::size_t),
                                 const float* row, std::size_t bins, std::size_t n)
{
    float* prefix = m_prefix.data();
    if (m_writeRow == 0)
        std::copy(row, row + bins, prefix);
    else
        extreme(prefix, prefix, row, bins);

    float* out = m_outPower.data();
    if (m_writeRow + 1 == n || m_suffix.empty())
        std::copy(prefix, prefix + bins, out);
    else
        extreme(out, m_suffix.data() + (m_writeRow + 1) * bins, prefix, bins);

    if (m_writeRow + 1 == n) {
        m_suffix.resize(n * bins);
        float* suffix = m_suffix.data();
        const float* history = m_history.data();
        std::copy(history + (n - 1) * bins, history + n * bins, suffix + (n - 1) * bins);
        for (std::size_t r = n - 1; r-- > 0;)
            extreme(suffix + r * bins, history + r * bins, suffix + (r + 1) * bins, bins);
    }
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
