#pragma once

#include "engine/SpectrumFrame.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

// Ring of trace rows as bytes (-120 dB -> 0, 0 dB -> 255), newest row at writeRow - 1.
// Its contents and counters outlive acquisition runs and survive the waterfall being off.
class WaterfallBuffer {
public:
    // Appends one row for the trace. A change of trace length or of the line count clears the
    // ring and restarts at row 0; nothing happens for lines <= 0 or an empty trace.
    void addLine(const std::vector<float>& trace, int lines);
    // The frame's copy: `lines` is what the user asked for, which may briefly differ from the
    // rows held (the renderer checks).
    void copyTo(WaterfallBlock& out, int lines, int paletteId) const;

    static uint8_t levelByte(float db);

private:
    mutable std::mutex m_mutex;
    std::vector<uint8_t> m_bytes;
    std::size_t m_width = 0;
    int32_t m_writeRow = 0;
    uint64_t m_totalLines = 0;
};
