#include "display/WaterfallImage.h"

#include "display/Palettes.h"
#include "display/WaterfallRows.h"

#include <cstring>

WaterfallChange WaterfallImage::update(const WaterfallBlock& block, float colourMinDb, float colourMaxDb,
                                       uint64_t clears)
{
    WaterfallChange change;
    const int w = block.width;
    const int lines = block.lines;
    if (w < 1 || lines < 1 || static_cast<int64_t>(pictureSize(block.bytes)) < static_cast<int64_t>(w) * lines)
        return change;

    const int g = clampWriteRow(block.writeRow, lines);
    bool recreated = false;
    if (m_image.width() != w || m_image.height() != lines || m_image.format() != QImage::Format_Indexed8) {
        m_image = QImage(w, lines, QImage::Format_Indexed8);
        m_image.fill(0);
        m_lastRow = -1;
        recreated = true;
    }
    bool cleared = false;
    if (clears != m_clears) {
        m_clears = clears;
        // An image that is new holds nothing to clear, and takes the ring's lines as they are.
        if (!recreated) {
            m_image.fill(0);
            cleared = true;
        }
    }

    change.usable = true;
    // A cleared image goes to a copy elsewhere whole, as a recreated one does.
    change.recreated = recreated || cleared;
    change.colourTableChanged = rebuildColourTable(block, recreated, colourMinDb, colourMaxDb);

    const RowCopyPlan plan = planRowCopy(recreated, m_lastRow, m_lastTotal, g, block.totalLines, lines);
    change.rows = plan;
    for (int i = 0; i < plan.count; ++i) {
        const int row = (plan.first + i) % lines;
        std::memcpy(m_image.scanLine(row), block.bytes->data() + static_cast<std::size_t>(row) * w,
                    static_cast<std::size_t>(w));
    }
    m_lastRow = g;
    m_lastTotal = block.totalLines;
    return change;
}

bool WaterfallImage::rebuildColourTable(const WaterfallBlock& block, bool recreated, float colourMinDb,
                                        float colourMaxDb)
{
    // Exact comparisons on purpose: the NaN start values force the first build.
    const bool same = !recreated && m_palette == block.paletteId && m_image.colorCount() == 256 &&
                      block.minDb == m_frameMinDb && block.maxDb == m_frameMaxDb && colourMinDb == m_colourMinDb &&
                      colourMaxDb == m_colourMaxDb;
    if (same)
        return false;
    m_image.setColorTable(
        buildWaterfallColourTable(block.paletteId, block.minDb, block.maxDb, colourMinDb, colourMaxDb));
    m_palette = block.paletteId;
    m_frameMinDb = block.minDb;
    m_frameMaxDb = block.maxDb;
    m_colourMinDb = colourMinDb;
    m_colourMaxDb = colourMaxDb;
    return true;
}
