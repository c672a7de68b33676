#include "display/WaterfallRows.h"

#include <algorithm>

int clampWriteRow(int writeRow, int lines)
{
    return (writeRow < 0 || writeRow >= lines) ? 0 : writeRow;
}

RowCopyPlan planRowCopy(bool imageRecreated, int lastRow, uint64_t lastTotal, int writeRow, uint64_t totalLines,
                        int lines)
{
    // A whole turn of the ring or more since the last copy: every row may be new, whatever the
    // write row says.
    const bool fullTurn = totalLines > lastTotal && totalLines - lastTotal >= static_cast<uint64_t>(lines);
    if (lastRow < 0 || imageRecreated || fullTurn)
        return {0, lines};
    if (writeRow == lastRow) {
        if (lastTotal != totalLines)
            return {(writeRow - 1 + lines) % lines, 1};
        return {writeRow, 0};
    }
    return {lastRow, (writeRow + lines - lastRow) % lines};
}

int waterfallOlderPartHeight(int stripHeight, int lines, int writeRow)
{
    return static_cast<int>(static_cast<int64_t>(stripHeight) * (lines - writeRow) / lines);
}

float waterfallColourInput(int byteValue, float blockMinDb, float blockMaxDb, float colourMinDb, float colourMaxDb)
{
    const float level =
        (static_cast<float>(byteValue) / 255.0f) * std::max(blockMaxDb - blockMinDb, 1.0f) + blockMinDb;
    const float v = (level - colourMinDb) / std::max(colourMaxDb - colourMinDb, 1.0f);
    return std::clamp(v, 0.0f, 1.0f);
}
