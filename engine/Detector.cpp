#include "engine/Detector.h"

#include "engine/FastLog.h"
#include "engine/VectorClones.h"

#include <algorithm>
#include <cmath>

namespace {

inline float sanitised(float p)
{
    // Written so that NaN fails the test: NaN, infinities and p <= 0 all become the floor.
    return (p > 0.0f && p <= 3.4028235e38f) ? p : Detector::kFloorPower;
}

RTSA_VECTOR_CLONES void sanitiseInto(float* dst, const float* power, std::size_t n)
{
    for (std::size_t k = 0; k < n; ++k)
        dst[k] = sanitised(power[k]);
}

// Takes the row about to be overwritten out of the sums; rounding never drives them negative.
RTSA_VECTOR_CLONES void retireRow(double* sums, const float* row, std::size_t n)
{
    for (std::size_t k = 0; k < n; ++k) {
        const double s = sums[k] - static_cast<double>(row[k]);
        sums[k] = s >= 0.0 ? s : 0.0;
    }
}

RTSA_VECTOR_CLONES void addRow(double* sums, const float* row, std::size_t n)
{
    for (std::size_t k = 0; k < n; ++k)
        sums[k] += static_cast<double>(row[k]);
}

RTSA_VECTOR_CLONES void maxInto(float* out, const float* row, std::size_t n)
{
    for (std::size_t k = 0; k < n; ++k)
        out[k] = std::max(out[k], row[k]);
}

RTSA_VECTOR_CLONES void minInto(float* out, const float* row, std::size_t n)
{
    for (std::size_t k = 0; k < n; ++k)
        out[k] = std::min(out[k], row[k]);
}

RTSA_VECTOR_CLONES void meanOf(float* out, const double* sums, double scale, std::size_t n)
{
    for (std::size_t k = 0; k < n; ++k)
        out[k] = static_cast<float>(std::max(static_cast<double>(Detector::kFloorPower), scale * sums[k]));
}

} // namespace

void Detector::invalidate()
{
    m_bins = 0;
    m_mode = -1;
    m_window = 0;
}

void Detector::process(const float* power, std::size_t bins, int mode, int window)
{
    const std::size_t n = static_cast<std::size_t>(std::max(1, window));
    m_dbStale = true;
    m_reset = bins != m_bins || mode != m_mode || static_cast<int>(n) != m_window;
    if (m_reset) {
        m_outPower.assign(bins, 0.0f);
        m_sums.assign(bins, 0.0);
        m_history.assign(n * bins, 0.0f);
        m_writeRow = 0;
        m_fill = 0;
        m_bins = bins;
        m_mode = mode;
        m_window = static_cast<int>(n);
    }
    m_outPower.resize(bins);
    float* out = m_outPower.data();
    if (mode == 0) {
        sanitiseInto(out, power, bins);
        return;
    }

    const bool averaging = mode != 1 && mode != 2;
    double* sums = m_sums.data();
    float* row = m_history.data() + m_writeRow * bins;
    if (m_fill < n) {
        ++m_fill;
    } else if (averaging) {
        retireRow(sums, row, bins);
    }
    sanitiseInto(row, power, bins);
    if (averaging)
        addRow(sums, row, bins);

    if (mode == 1 || mode == 2) {
        std::copy(m_history.begin(), m_history.begin() + static_cast<std::ptrdiff_t>(bins), out);
        for (std::size_t r = 1; r < m_fill; ++r) {
            const float* h = m_history.data() + r * bins;
            if (mode == 1)
                maxInto(out, h, bins);
            else
                minInto(out, h, bins);
        }
    } else {
        meanOf(out, sums, 1.0 / static_cast<double>(m_fill), bins);
    }
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
