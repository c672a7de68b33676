#include "engine/DensityMap.h"

#include "engine/DensityKernels.h"

#include <algorithm>
#include <bit>
#include <cmath>

using densitykernels::anyAtLeast;
using densitykernels::centreRowSpans;
using densitykernels::decayAndAdd;
using densitykernels::kMaxSmear;
using densitykernels::kSmearShift;
using densitykernels::reduceEvenColumns;
using densitykernels::reduceEvenPowerColumns;
using densitykernels::reduceUnevenColumns;
using densitykernels::reduceUnevenPowerColumns;
using densitykernels::scoreColumns;

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
    // Scored traces not yet added in count with the gain they were scored under.
    if (!changed && s.hitGain != m_settings.hitGain)
        flushLocked();
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
    m_pendingTraces = 0;
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
    accumulateOf(trace, nowNs, Bins::Db);
}

void DensityMap::accumulateSpectrum(const std::vector<float>& power, int64_t nowNs)
{
    accumulateOf(power, nowNs, Bins::Power);
}

void DensityMap::accumulateOf(const std::vector<float>& bins, int64_t nowNs, Bins kind)
{
    std::lock_guard lock(m_mutex);
    const DensitySettings& s = m_settings;
    const int levels = s.levels;
    if (!s.enabled || bins.empty() || levels <= 0 || s.minDb >= s.maxDb)
        return;
    const std::size_t c = std::min<std::size_t>(bins.size(), s.widthBins);
    if (c == 0)
        return;
    const std::size_t cells = static_cast<std::size_t>(levels) * c;
    if (c != m_columns || m_density.size() != cells) {
        m_columns = c;
        m_density.assign(cells, 0.0f);
        m_hitStride = c + kHitPadding;
        m_hits.assign(static_cast<std::size_t>(levels) * m_hitStride, 0.0f);
        m_events.assign(kTraceBatch * c, 0);
        m_cells.assign(kTraceBatch * c, 0);
        m_pendingTraces = 0;
        const std::size_t tiles = (c + kTileColumns - 1) / kTileColumns;
        // Every tile starts with no rows.
        m_tileLowRow.assign(tiles, static_cast<uint16_t>(levels));
        m_tileHighRow.assign(tiles, 0);
        m_batchLowRow.resize(c);
        m_batchHighRow.resize(c);
        m_picture.reset();
        m_emitted = false;
    }
    mapColumns(bins.size());

    const float floorDb = static_cast<float>(s.minDb);
    const float* b = bins.data();
    const bool even = bins.size() % c == 0;
    if (kind == Bins::Power) {
        if (even)
            reduceEvenPowerColumns(b, bins.size() / c, m_colPeak.data(), m_colSum.data(), c);
        else
            reduceUnevenPowerColumns(b, m_columnStart.data(), m_colPeak.data(), m_colSum.data(), c);
    } else if (even) {
        reduceEvenColumns(b, bins.size() / c, floorDb, m_colPeak.data(), m_colSum.data(), c);
    } else {
        reduceUnevenColumns(b, m_columnStart.data(), floorDb, m_colPeak.data(), m_colSum.data(), c);
    }
    scoreColumns(m_colPeak.data(), m_colSum.data(), m_colInverseCount.data(), m_events.data() + m_pendingTraces * c,
                 m_cells.data() + m_pendingTraces * c, static_cast<uint32_t>(m_hitStride), c,
                 floorDb, static_cast<float>((levels - 1) / (s.maxDb - s.minDb)), static_cast<float>(levels - 1));
    if (++m_pendingTraces == kTraceBatch)
        flushLocked();

    if (!m_emitted || static_cast<double>(nowNs - m_lastEmit) / 1e9 >= 1.0 / std::max(s.fps, 1.0))
        emitLocked(nowNs);
}

// Adds the hits of the scored traces: the traces of a batch hit a column on neighbouring rows,
// so its cells stay in the cache from trace to trace. Each cell adds in the order of the traces
// and, within one, centre first and then the smear outward, as it would one trace at a time.
void DensityMap::flushLocked()
{
    const std::size_t traces = m_pendingTraces;
    m_pendingTraces = 0;
    const std::size_t c = m_columns;
    if (traces == 0 || c == 0)
        return;
    widenTiles(traces);
    const auto gain = static_cast<float>(m_settings.hitGain);
    float below[4];
    for (int k = 1; k <= 3; ++k)
        below[k] = static_cast<float>(0.22 / k * m_settings.hitGain);
    const std::size_t stride = m_hitStride;
    // One trace's hits on `count` neighbouring columns, whose cells start at `hits`. A smear is
    // the exception on most columns, so the loop is laid out for a centre hit alone: one
    // addition at a ready offset.
    const auto hitColumns = [&](const uint16_t* events, const uint32_t* cells, float* hits, std::size_t count) {
#pragma GCC unroll 16  // kStrip
        for (std::size_t j = 0; j < count; ++j) {
            float* column = hits + j;
            column[cells[j]] += gain;
            if (events[j] >= (1 << kSmearShift)) [[unlikely]] {
                const int level = events[j] & ((1 << kSmearShift) - 1);
                const int smear = events[j] >> kSmearShift;
                for (int k = 1; k <= smear; ++k)
                    column[static_cast<std::size_t>(std::max(level - k, 0)) * stride] += below[k];
            }
        }
    };
    // A strip of columns at a time through all traces: the strip's cells stay in the cache,
    // and neighbouring columns, unlike one column's successive traces, seldom share a cell, so
    // the additions do not wait for each other. A whole strip has a fixed count and is unrolled
    // in full (the compiler does not do it on its own): the loop's own counting and branching
    // were a third of the instructions per hit.
    constexpr std::size_t kStrip = 16;
    for (std::size_t j0 = 0; j0 < c; j0 += kStrip) {
        const std::size_t count = std::min(kStrip, c - j0);
        for (std::size_t t = 0; t < traces; ++t) {
            const uint16_t* events = m_events.data() + t * c + j0;
            const uint32_t* cells = m_cells.data() + t * c + j0;
            if (count == kStrip)
                hitColumns(events, cells, m_hits.data() + j0, kStrip);
            else
                hitColumns(events, cells, m_hits.data() + j0, count);
        }
    }
}

// Takes the rows the pending traces hit, their smear below included, into their tiles.
void DensityMap::widenTiles(std::size_t traces)
{
    const std::size_t c = m_columns;
    centreRowSpans(m_events.data(), traces, c, m_batchLowRow.data(), m_batchHighRow.data());
    for (std::size_t k = 0; k < m_tileLowRow.size(); ++k) {
        const std::size_t end = std::min(c, (k + 1) * kTileColumns);
        const std::size_t start = k * kTileColumns;
        const int low = *std::min_element(m_batchLowRow.begin() + static_cast<std::ptrdiff_t>(start),
                                          m_batchLowRow.begin() + static_cast<std::ptrdiff_t>(end));
        const int high = *std::max_element(m_batchHighRow.begin() + static_cast<std::ptrdiff_t>(start),
                                           m_batchHighRow.begin() + static_cast<std::ptrdiff_t>(end));
        m_tileLowRow[k] = static_cast<uint16_t>(std::min<int>(m_tileLowRow[k], std::max(low - kMaxSmear, 0)));
        m_tileHighRow[k] = static_cast<uint16_t>(std::max<int>(m_tileHighRow[k], high));
    }
}

void DensityMap::emitRow(std::size_t row, double decay, uint8_t* image)
{
    const std::size_t columns = m_columns;
    float* density = m_density.data() + row * columns;
    float* hits = m_hits.data() + row * m_hitStride;
    const auto holds = [&](std::size_t tile) { return m_tileLowRow[tile] <= row && row <= m_tileHighRow[tile]; };
    // Runs of neighbouring tiles alike, so that the loops below run long.
    for (std::size_t tile = 0; tile < m_tileLowRow.size();) {
        const bool live = holds(tile);
        std::size_t next = tile + 1;
        while (next < m_tileLowRow.size() && holds(next) == live)
            ++next;
        const std::size_t start = tile * kTileColumns;
        const std::size_t count = std::min(columns, next * kTileColumns) - start;
        if (live) {
            decayAndAdd(density + start, hits + start, decay, count);
            paint(density + start, image + start, count);
        } else {
            std::fill_n(image + start, count, uint8_t{0});
        }
        tile = next;
    }
}

void DensityMap::emitLocked(int64_t nowNs)
{
    if (m_columns == 0 || m_settings.levels <= 0)
        return;
    flushLocked();
    const std::size_t cells = m_density.size();
    const double decay = m_emitted
        ? std::exp(-(static_cast<double>(nowNs - m_lastEmit) / 1e9) / std::max(0.001, m_settings.tau))
        : 1.0;
    updateByteThresholds();
    std::shared_ptr<std::vector<uint8_t>> picture = m_pictures.acquire();
    picture->resize(cells);
    // A row at a time, decayed and then painted while it is still in the cache: the map is
    // larger than the cache, and a second pass would read it all again.
    const std::size_t columns = m_columns;
    for (std::size_t row = 0; row < cells / columns; ++row)
        emitRow(row, decay, picture->data() + row * columns);
    m_picture = std::move(picture);
    m_lastEmit = nowNs;
    m_emitted = true;
}

void DensityMap::paint(const float* density, uint8_t* image, std::size_t cells) const
{
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
