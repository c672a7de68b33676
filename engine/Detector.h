#pragma once

#include "engine/AlignedFloats.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Per-bin statistics over the last N spectra: sample (0), max (1), min (2) or power average
// (3 and 4). Works on linear power: the history holds power, so the average never converts
// back and forth through dB, and max/min in power are max/min in dB.
class Detector {
public:
    // A non-finite or non-positive bin counts as -200 dB.
    static constexpr float kFloorPower = 1e-20f;

    // One spectrum in. A change of bin count, mode or window restarts the statistics.
    void process(const float* power, std::size_t bins, int mode, int window);

    bool wasReset() const { return m_reset; }
    const std::vector<float>& outputPower() const { return m_outPower; }
    // The output in dB, converted on first use after each block.
    const std::vector<float>& outputDb();

private:
    std::size_t m_bins = 0;
    int m_mode = -1;
    int m_window = 0;
    // Rows 0..w hold the current pass over the ring up to its last row w; rows w+1..N-1 what
    // they held in the previous pass, each turned into the max, min or sum of rows r..N-1 once
    // that pass was complete; row N is the combination's identity.
    AlignedFloats m_history;
    // The max, min or sum of rows 0..w.
    AlignedFloats m_prefix;
    std::size_t m_writeRow = 0;
    std::size_t m_fill = 0;
    bool m_reset = false;
    std::vector<float> m_outPower;
    std::vector<float> m_outDb;
    bool m_dbStale = true;
};
