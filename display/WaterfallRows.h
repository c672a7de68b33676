#pragma once

#include <cstdint>

// Which ring rows must be copied into the cached waterfall image: rows
// (first + i) mod lines for i = 0 ... count - 1.
struct RowCopyPlan {
    int first = 0;
    int count = 0;
};

// The row written next, as announced by a block; out-of-range values start at row 0.
int clampWriteRow(int writeRow, int lines);

// lastRow < 0 means the image holds nothing yet. When the write row has not moved but the ring
// has seen new lines (a one-line ring), the newest row is copied; when the totals show a whole
// turn of the ring or more, every row is.
RowCopyPlan planRowCopy(bool imageRecreated, int lastRow, uint64_t lastTotal, int writeRow, uint64_t totalLines,
                        int lines);

// Height in pixels of the strip's bottom part, which shows ring rows writeRow ... lines - 1
// (the older ones); the top part shows rows 0 ... writeRow - 1 with the newest at its top edge.
int waterfallOlderPartHeight(int stripHeight, int lines, int writeRow);

// Level of a waterfall byte in the block's scale, placed in the user's colour range:
// 0 at colourMinDb, 1 at colourMaxDb, clamped. Both spans are at least 1 dB.
float waterfallColourInput(int byteValue, float blockMinDb, float blockMaxDb, float colourMinDb, float colourMaxDb);
