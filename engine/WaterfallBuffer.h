#pragma once

#include "engine/PicturePool.h"
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
    // The ring as a frame carries it, shared with whoever shows it: `lines` is what the user
    // asked for, which may briefly differ from the rows held (the renderer checks).
    void publish(WaterfallBlock& out, int lines, int paletteId);

    static uint8_t levelByte(float db);

private:
    // A published copy of the ring, and which state of the ring it shows.
    struct Picture {
        std::vector<uint8_t> bytes;
        uint64_t generation = 0;
        uint64_t totalLines = 0;
    };
    void refresh(Picture& picture) const;

    mutable std::mutex m_mutex;
    std::vector<uint8_t> m_bytes;
    std::size_t m_width = 0;
    int32_t m_writeRow = 0;
    uint64_t m_totalLines = 0;
    // Counts the ring's restarts (a new width or line count); row r then holds line
    // m_totalLinesAtRestart + r, + lines, ...
    uint64_t m_generation = 1;
    uint64_t m_totalLinesAtRestart = 0;
    PicturePool<Picture> m_pictures;
};
