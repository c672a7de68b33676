#include "engine/DensityMap.h"

#include "engine/VectorClones.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace {

uint8_t intensityByteExact(float density, double gamma, double densityMax)
{
    const double x = static_cast<double>(density) / std::max(1.0, densityMax);
    const double y = std::pow(std::min(x, 1.0), gamma);
    const double scaled = std::trunc(y * 255.0);
    if (!(scaled > 0.0))
        return 0;
    return scaled >= 255.0 ? 255 : static_cast<uint8_t>(scaled);
}

// Peak and sum of each column of `width` bins, column by column as the general loop adds them,
// but a bin offset at a time across all columns, so that the loops vectorise.
template <std::size_t Width>
inline void reduceColumnsOf(const float* __restrict trace, std::size_t width, float floorDb,
                            float* __restrict peaks, float* __restrict sums, std::size_t columns)
{
    const std::size_t w = Width > 0 ? Width : width;
    for (std::size_t j = 0; j < columns; ++j) {
        peaks[j] = floorDb;
        sums[j] = 0.0f;
    }
    for (std::size_t offset = 0; offset < w; ++offset) {
        for (std::size_t j = 0; j < columns; ++j) {
            const float v = trace[j * w + offset];
            peaks[j] = v > peaks[j] ? v : peaks[j];
            sums[j] += v;
        }
    }
}

// The same for columns that all hold `width` bins; the usual widths get loops of their own.
RTSA_VECTOR_CLONES void reduceEvenColumns(const float* __restrict trace, std::size_t width, float floorDb,
                                          float* __restrict peaks, float* __restrict sums, std::size_t columns)
{
    switch (width) {
    case 1:
        return reduceColumnsOf<1>(trace, width, floorDb, peaks, sums, columns);
    case 2:
        return reduceColumnsOf<2>(trace, width, floorDb, peaks, sums, columns);
    case 4:
        return reduceColumnsOf<4>(trace, width, floorDb, peaks, sums, columns);
    case 8:
        return reduceColumnsOf<8>(trace, width, floorDb, peaks, sums, columns);
    default:
        return reduceColumnsOf<0>(trace, width, floorDb, peaks, sums, columns);
    }
}

// Row and smear width per column, from its peak and mean (the mean weighs 28 %). Written
// branch-free and in float (a row is a fraction of a dB, far above float's resolution) so that
// it vectorises eight columns at a time; NaN levels land on row 0. The smear is one row per
// 6 dB the peak stands over the mean, at most three: compared rather than divided, which would
// keep the loop at the divider's pace.
RTSA_VECTOR_CLONES void scoreColumns(const float* __restrict peaks, const float* __restrict sums,
                                     const float* __restrict inverseCounts, int32_t* __restrict levels,
                                     int32_t* __restrict smears, std::size_t columns, float minDb,
                                     float levelsPerDb, float topRow)
{
    // Every column holds at least one bin (columns <= trace length).
    for (std::size_t j = 0; j < columns; ++j) {
        const float peak = peaks[j];
        const float avg = sums[j] * inverseCounts[j];
        float position = (0.28f * avg + 0.72f * peak - minDb) * levelsPerDb + 0.5f;
        position = position > 0.0f ? position : 0.0f;
        position = position < topRow ? position : topRow;
        levels[j] = static_cast<int32_t>(position);
        const float over = peak - avg;
        smears[j] = static_cast<int32_t>(over >= 6.0f) + static_cast<int32_t>(over >= 12.0f) +
                    static_cast<int32_t>(over >= 18.0f);
    }
}

// Whether any of the n values is at least the threshold (NaN is not).
RTSA_VECTOR_CLONES bool anyAtLeast(const float* __restrict values, std::size_t n, float threshold)
{
    int found = 0;
    for (std::size_t i = 0; i < n; ++i)
        found |= static_cast<int>(values[i] >= threshold);
    return found != 0;
}

// density := density * decay + hits, hits := 0, in one pass over the cells.
RTSA_VECTOR_CLONES void decayAndAdd(float* __restrict density, float* __restrict hits, double decay, std::size_t cells)
{
    for (std::size_t i = 0; i < cells; ++i) {
        density[i] = static_cast<float>(static_cast<double>(density[i]) * decay) + hits[i];
        hits[i] = 0.0f;
    }
}

} // namespace

void DensityMap::configure(DensitySettings s)
{
    std::lock_guard lock(m_mutex);
    s.tau = std::max(s.tau, 0.05);
    s.hitGain = std::max(s.hitGain, 0.1);
    s.gamma = std::clamp(s.gamma, 0.1, 2.0);
    s.densityMax = std::max(s.densityMax, 1.0);
    s.fps = std::clamp(s.fps, 1.0, 60.0);
    s.widthBins = std::max<uint64_t>(s.widthBins, 64);
    s.levels = std::clamp(s.levels, 16, 1024);
    const bool changed = s.enabled != m_settings.enabled || s.widthBins != m_settings.widthBins ||
                         s.levels != m_settings.levels || std::abs(s.minDb - m_settings.minDb) > 1e-6 ||
                         std::abs(s.maxDb - m_settings.maxDb) > 1e-6;
    m_settings = s;
    if (!s.enabled || changed)
        resetLocked();
}

void DensityMap::clear()
{
    std::lock_guard lock(m_mutex);
    resetLocked();
}

void DensityMap::resetLocked()
{
    m_columns = 0;
    m_emitted = false;
    m_density.clear();
    m_hits.clear();
    m_picture.reset();
}

void DensityMap::mapColumns(std::size_t traceLength)
{
    if (traceLength == m_mappedTraceLength && m_columns == m_mappedColumns)
        return;
    const std::size_t c = m_columns;
    m_columnStart.assign(c + 1, traceLength);
    m_colPeak.resize(c);
    m_colSum.resize(c);
    m_colInverseCount.resize(c);
    m_colLevel.resize(c);
    m_colSmear.resize(c);
    // Bin i belongs to column min(C - 1, C * i / |T|); the columns are contiguous runs of bins.
    for (std::size_t i = traceLength; i-- > 0;) {
        const std::size_t j = std::min<std::size_t>(c - 1, static_cast<std::size_t>((uint64_t{c} * i) / traceLength));
        m_columnStart[j] = i;
    }
    // A column without bins (not possible while C <= |T|) starts where the next one does.
    for (std::size_t j = c; j-- > 0;) {
        m_columnStart[j] = std::min(m_columnStart[j], m_columnStart[j + 1]);
        m_colInverseCount[j] = 1.0f / static_cast<float>(m_columnStart[j + 1] - m_columnStart[j]);
    }
    m_mappedTraceLength = traceLength;
    m_mappedColumns = c;
}

void DensityMap::accumulate(const std::vector<float>& trace, int64_t nowNs)
{
    std::lock_guard lock(m_mutex);
    const DensitySettings& s = m_settings;
    const int levels = s.levels;
    if (!s.enabled || trace.empty() || levels <= 0 || s.minDb >= s.maxDb)
        return;
    const std::size_t c = std::min<std::size_t>(trace.size(), s.widthBins);
    if (c == 0)
        return;
    const std::size_t cells = static_cast<std::size_t>(levels) * c;
    if (c != m_columns || m_density.size() != cells) {
        m_columns = c;
        m_density.assign(cells, 0.0f);
        m_hitStride = c + kHitPadding;
        m_hits.assign(static_cast<std::size_t>(levels) * m_hitStride, 0.0f);
        m_picture.reset();
        m_emitted = false;
    }
    mapColumns(trace.size());

    const float floorDb = static_cast<float>(s.minDb);
    const float* t = trace.data();
    if (trace.size() % c == 0) {
        reduceEvenColumns(t, trace.size() / c, floorDb, m_colPeak.data(), m_colSum.data(), c);
    } else {
        for (std::size_t j = 0; j < c; ++j) {
            float peak = floorDb;
            float sum = 0.0f;
            for (std::size_t i = m_columnStart[j]; i < m_columnStart[j + 1]; ++i) {
                if (t[i] > peak)
                    peak = t[i];
                sum += t[i];
            }
            m_colPeak[j] = peak;
            m_colSum[j] = sum;
        }
    }
    scoreColumns(m_colPeak.data(), m_colSum.data(), m_colInverseCount.data(), m_colLevel.data(), m_colSmear.data(), c,
                 floorDb, static_cast<float>((levels - 1) / (s.maxDb - s.minDb)), static_cast<float>(levels - 1));

    const float gain = static_cast<float>(s.hitGain);
    float above[4];
    float below[4];
    for (int k = 1; k <= 3; ++k) {
        above[k] = static_cast<float>(0.22 / k * s.hitGain);
        below[k] = above[k] * 0.6f;
    }
    // The hits of all columns first, then the smears of those that have one: columns share no
    // cells, so each cell still adds in the same order, and the first loop has no branch.
    float* hits = m_hits.data();
    const std::size_t stride = m_hitStride;
    const int32_t* level = m_colLevel.data();
    for (std::size_t j = 0; j < c; ++j)
        hits[static_cast<std::size_t>(level[j]) * stride + j] += gain;
    const int32_t* smear = m_colSmear.data();
    for (std::size_t j = 0; j < c; ++j) {
        for (int k = 1; k <= smear[j]; ++k) {
            hits[static_cast<std::size_t>(std::min(level[j] + k, levels - 1)) * stride + j] += above[k];
            hits[static_cast<std::size_t>(std::max(level[j] - k, 0)) * stride + j] += below[k];
        }
    }

    if (!m_emitted || static_cast<double>(nowNs - m_lastEmit) / 1e9 >= 1.0 / std::max(s.fps, 1.0))
        emitLocked(nowNs);
}

void DensityMap::emitLocked(int64_t nowNs)
{
    if (m_columns == 0 || m_settings.levels <= 0)
        return;
    const std::size_t cells = m_density.size();
    const double decay = m_emitted
        ? std::exp(-(static_cast<double>(nowNs - m_lastEmit) / 1e9) / std::max(0.001, m_settings.tau))
        : 1.0;
    const std::size_t columns = m_columns;
    for (std::size_t row = 0; row < cells / columns; ++row)
        decayAndAdd(m_density.data() + row * columns, m_hits.data() + row * m_hitStride, decay, columns);
    updateByteThresholds();
    std::shared_ptr<std::vector<uint8_t>> picture = m_pictures.acquire();
    picture->resize(cells);
    uint8_t* image = picture->data();
    const float* density = m_density.data();
    // Most of a persistence picture is empty or faded below the first byte: such runs are
    // found a vector at a time and cleared whole, and only the cells in between are looked up.
    constexpr std::size_t kRun = 64;
    const float firstByte = m_byteThreshold[0];
    for (std::size_t start = 0; start < cells; start += kRun) {
        const std::size_t n = std::min(kRun, cells - start);
        if (!anyAtLeast(density + start, n, firstByte)) {
            std::fill_n(image + start, n, uint8_t{0});
            continue;
        }
        for (std::size_t i = start; i < start + n; ++i)
            image[i] = intensityByte(density[i]);
    }
    m_picture = std::move(picture);
    m_lastEmit = nowNs;
    m_emitted = true;
}

void DensityMap::updateByteThresholds()
{
    const double gamma = m_settings.gamma;
    const double densityMax = m_settings.densityMax;
    if (gamma == m_thresholdGamma && densityMax == m_thresholdMax)
        return;
    // The exact byte is non-decreasing in the density, so each threshold is found by bisection
    // over the ordered bit patterns of non-negative floats.
    constexpr uint32_t kMaxBits = 0x7f7fffffu;
    for (int b = 1; b <= 255; ++b) {
        uint32_t lo = 0;
        uint32_t hi = kMaxBits;
        while (lo < hi) {
            const uint32_t mid = lo + (hi - lo) / 2;
            if (intensityByteExact(std::bit_cast<float>(mid), gamma, densityMax) >= b)
                hi = mid;
            else
                lo = mid + 1;
        }
        m_byteThreshold[static_cast<std::size_t>(b - 1)] = std::bit_cast<float>(lo);
    }
    m_thresholdGamma = gamma;
    m_thresholdMax = densityMax;
}

uint8_t DensityMap::intensityByte(float density) const
{
    // Most cells of a persistence picture are empty or faded: they stop at the first test.
    if (!(density >= m_byteThreshold[0]))
        return 0;
    const auto it = std::upper_bound(m_byteThreshold.begin(), m_byteThreshold.end(), density);
    return static_cast<uint8_t>(it - m_byteThreshold.begin());
}

DensityImage DensityMap::currentImage() const
{
    std::lock_guard lock(m_mutex);
    DensityImage image;
    if (m_settings.enabled && m_columns != 0 && m_picture) {
        image.width = static_cast<int32_t>(m_columns);
        image.height = m_settings.levels;
        image.minDb = static_cast<float>(m_settings.minDb);
        image.maxDb = static_cast<float>(m_settings.maxDb);
        image.bytes = m_picture;
    }
    return image;
}
