#include "display/DensityPicture.h"

#include "display/Palettes.h"

bool DensityPicture::update(const DensityImage& density, int palette)
{
    const int32_t c = density.width;
    const int32_t h = density.height;
    if (!holdsDensityPicture(density)) {
        reset();
        return false;
    }

    const std::vector<uint8_t>& bytes = *density.bytes;
    const uint64_t hash = densitySampleHash(bytes.data(), bytes.size());
    if (m_image.width() == c && m_image.height() == h &&
        m_image.format() == QImage::Format_ARGB32_Premultiplied && m_width == c && m_height == h &&
        m_palette == palette && m_hash == hash)
        return true;

    if (m_image.width() != c || m_image.height() != h || m_image.format() != QImage::Format_ARGB32_Premultiplied)
        m_image = QImage(c, h, QImage::Format_ARGB32_Premultiplied);
    buildPixelTable(palette);
    for (int32_t m = 0; m < h; ++m) {
        const uint8_t* source = bytes.data() + static_cast<std::size_t>(m) * c;
        auto* target = reinterpret_cast<QRgb*>(m_image.scanLine(h - 1 - m));
        for (int32_t i = 0; i < c; ++i)
            target[i] = m_pixelTable[source[i]];
    }
    coverNonZeroCells(bytes.data(), c, h, kDensityPartBlock, m_visibleParts);
    m_width = c;
    m_height = h;
    m_palette = palette;
    m_hash = hash;
    return true;
}

void DensityPicture::reset()
{
    m_image = QImage();
    m_visibleParts.clear();
    m_width = 0;
    m_height = 0;
    m_hash = 0;
}

void DensityPicture::buildPixelTable(int palette)
{
    if (palette == m_pixelTablePalette)
        return;
    m_pixelTable = densityColourTable(palette);
    m_pixelTablePalette = palette;
}
