#pragma once

#include "engine/PicturePool.h"
#include "engine/SpectrumFrame.h"
#include "engine/SpectrumSettingTable.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

// The ten values that shape the persistence picture, in the order configure takes them; the map
// starts with what the analyser starts with.
struct DensitySettings {
    bool enabled = false;
    uint64_t widthBins = static_cast<uint64_t>(spectrum_settings::densityWidthBins.initial);
    int levels = spectrum_settings::densityLevels.initial;
    double minDb = spectrum_settings::densityMinDb.initial;
    double maxDb = spectrum_settings::densityMaxDb.initial;
    double tau = spectrum_settings::densityTau.initial;
    double hitGain = spectrum_settings::densityHitGain.initial;
    double gamma = spectrum_settings::densityGamma.initial;
    double densityMax = spectrum_settings::densityMax.initial;
    double fps = spectrum_settings::densityFps.initial;
};

// Persistence histogram: how often the trace passes through each (column, level) cell,
// decaying with time constant tau, turned into intensity bytes at most fps times a second.
// Cell (level l, column j) sits at l * columns + j in the density and the picture, and at
// l * (columns + padding) + j in the hits since the last picture: a trace seldom jumps far from
// column to column, so the hits of one trace fall on a few runs of neighbouring cells.
class DensityMap {
public:
    // Once per block with the current settings. Disabled, or a new geometry or dB range, resets.
    void configure(DensitySettings settings);
    // Scores the trace's columns (levels in dB); makes a picture on the first call and then at
    // the picture rate.
    void accumulate(const std::vector<float>& trace, int64_t nowNs);
    // The same for one block's spectrum as linear power (positive values), converted per column
    // rather than per bin.
    void accumulateSpectrum(const std::vector<float>& power, int64_t nowNs);
    // The last picture, or an empty one (0 x 0) while disabled or before the first picture.
    DensityImage currentImage() const;
    void clear();

private:
    enum class Bins { Db, Power };
    void accumulateOf(const std::vector<float>& bins, int64_t nowNs, Bins kind);
    void resetLocked();
    void flushLocked();
    void widenTiles(std::size_t traces);
    // Decays and paints one row of the map, its tiles outside their rows cleared.
    void emitRow(std::size_t row, double decay, uint8_t* image);
    void emitLocked(int64_t nowNs);
    void mapColumns(std::size_t traceLength);
    void updateByteThresholds();
    // Intensity bytes of `cells` densities.
    void paint(const float* density, uint8_t* image, std::size_t cells) const;
    uint8_t intensityByte(float density) const;

    mutable std::mutex m_mutex;
    DensitySettings m_settings;
    std::size_t m_columns = 0;
    bool m_emitted = false;
    int64_t m_lastEmit = 0;
    std::vector<float> m_density;
    // Rows of the hits are m_hitStride apart: with the padding, the cells of one column in
    // neighbouring rows do not share their place in a 4 KiB page, which would make the
    // processor hold each load of a smeared hit until the store before it has gone.
    static constexpr std::size_t kHitPadding = 80;
    std::size_t m_hitStride = 0;
    std::vector<float> m_hits;
    PicturePool<std::vector<uint8_t>> m_pictures;
    PictureBytes m_picture;

    // Trace bins [m_columnStart[j], m_columnStart[j + 1]) form column j.
    std::vector<std::size_t> m_columnStart;
    std::vector<float> m_colPeak;
    std::vector<float> m_colSum;
    std::vector<float> m_colInverseCount;
    // The scores (row and smear) of up to kTraceBatch traces, trace t at t * columns, not yet
    // added into the hits, and beside them each score's row as an offset into the hits, so
    // that a hit without smear is one indexed addition.
    static constexpr std::size_t kTraceBatch = 32;
    std::vector<uint16_t> m_events;
    std::vector<uint32_t> m_cells;
    std::size_t m_pendingTraces = 0;
    // The map in tiles of kTileColumns columns: rows m_tileLowRow[k] ..= m_tileHighRow[k] of
    // tile k take in every hit since the map was last cleared, and outside them its density and
    // hits are all zero, so a picture decays and paints only those rows and clears the rest. A
    // trace covers a few neighbouring rows in most columns, few of the map's rows.
    static constexpr std::size_t kTileColumns = 64;
    std::vector<uint16_t> m_tileLowRow;
    std::vector<uint16_t> m_tileHighRow;
    // The lowest and highest centre row per column of the traces being added.
    std::vector<uint16_t> m_batchLowRow;
    std::vector<uint16_t> m_batchHighRow;
    std::size_t m_mappedTraceLength = 0;
    std::size_t m_mappedColumns = 0;

    // m_byteThreshold[b - 1] is the smallest density whose intensity byte is b or more: the
    // picture needs a table search per cell instead of a pow call. Rebuilt when gamma or
    // densityMax change.
    std::array<float, 255> m_byteThreshold{};
    double m_thresholdGamma = -1.0;
    double m_thresholdMax = -1.0;
};
