#pragma once

#include "engine/SpectrumFrame.h"

#include <QImage>

#include <cmath>
#include <cstdint>
#include <limits>

// The waterfall ring as an 8-bit indexed image whose colour table maps bytes to colours: new
// lines cost one scanline copy each, and a palette or range change recolours the 256 table
// entries, never the image.
class WaterfallImage {
public:
    // Brings the image up to date with the block. Returns false (and keeps the image) when the
    // block holds no usable ring: no width or lines, or fewer bytes than it announces.
    bool update(const WaterfallBlock& block, float colourMinDb, float colourMaxDb);

    const QImage& image() const { return m_image; }
    // The ring row written next, as of the last successful update.
    int writeRow() const { return m_lastRow; }

private:
    void rebuildColourTable(const WaterfallBlock& block, bool recreated, float colourMinDb, float colourMaxDb);

    static constexpr float kUnset = std::numeric_limits<float>::quiet_NaN();

    QImage m_image;
    int m_palette = -1;
    int m_lastRow = -1;
    uint64_t m_lastTotal = 0;
    float m_frameMinDb = kUnset;
    float m_frameMaxDb = kUnset;
    float m_colourMinDb = kUnset;
    float m_colourMaxDb = kUnset;
};
