#pragma once

#include "display/DensityBytes.h"
#include "engine/SpectrumFrame.h"

#include <QImage>

#include <array>
#include <cstdint>
#include <vector>

// The coloured density picture (premultiplied ARGB32, highest level in the top row), rebuilt
// only when the picture's sampled hash, its size or the palette changes.
class DensityPicture {
public:
    // Returns false and drops the picture when the density holds no usable picture.
    bool update(const DensityImage& density, int palette);
    void reset();

    const QImage& image() const { return m_image; }
    // Parts of the image that hold visible cells; the rest is fully transparent.
    const std::vector<CellRect>& visibleParts() const { return m_visibleParts; }

private:
    void buildPixelTable(int palette);

    std::array<QRgb, 256> m_pixelTable{};
    int m_pixelTablePalette = -1;
    QImage m_image;
    std::vector<CellRect> m_visibleParts;
    int32_t m_width = 0;
    int32_t m_height = 0;
    uint64_t m_hash = 0;
    int32_t m_palette = -1;
};
