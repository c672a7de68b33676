#pragma once

#include "display/WaterfallRows.h"
#include "engine/SpectrumFrame.h"

#include <QImage>

#include <cmath>
#include <cstdint>
#include <limits>

// What an update changed in the waterfall image, so that a copy elsewhere (a texture) can
// follow with the same rows.
struct WaterfallChange {
    bool usable = false;
    bool recreated = false;
    bool colourTableChanged = false;
    RowCopyPlan rows;
};

// The waterfall ring as an 8-bit indexed image whose colour table maps bytes to colours: new
// lines cost one scanline copy each, and a palette or range change recolours the 256 table
// entries, never the image.
class WaterfallImage {
public:
    // Brings the image up to date with the block. Not usable (and the image kept) when the block
    // holds no ring: no width or lines, or fewer bytes than it announces. A new `clears` count
    // empties the image, which then takes only lines newer than those it held.
    WaterfallChange update(const WaterfallBlock& block, float colourMinDb, float colourMaxDb, uint64_t clears = 0);

    const QImage& image() const { return m_image; }
    // The ring row written next, as of the last successful update.
    int writeRow() const { return m_lastRow; }

private:
    bool rebuildColourTable(const WaterfallBlock& block, bool recreated, float colourMinDb, float colourMaxDb);

    static constexpr float kUnset = std::numeric_limits<float>::quiet_NaN();

    QImage m_image;
    int m_palette = -1;
    int m_lastRow = -1;
    uint64_t m_lastTotal = 0;
    uint64_t m_clears = 0;
    float m_frameMinDb = kUnset;
    float m_frameMaxDb = kUnset;
    float m_colourMinDb = kUnset;
    float m_colourMaxDb = kUnset;
};
