#include "display/WaterfallTexture.h"

#include <algorithm>

bool WaterfallTexture::follow(const QImage& image, const WaterfallChange& change)
{
    if (!change.usable || !m_texture.create())
        return false;
    if (image.height() > m_texture.maxSize())
        return false;

    if (change.recreated || image.width() != m_width || image.height() != m_lines) {
        uploadAll(image);
    } else {
        for (int i = 0; i < change.rows.count; ++i)
            uploadRow(image, (change.rows.first + i) % m_lines);
    }
    if (change.colourTableChanged || change.recreated) {
        const QList<QRgb> table = image.colorTable();
        m_texture.uploadColourTable(table);
    }
    return true;
}

void WaterfallTexture::uploadAll(const QImage& image)
{
    m_width = image.width();
    m_textureWidth = std::min(m_width, m_texture.maxSize());
    m_lines = image.height();
    m_thinnedRow.resize(m_textureWidth < m_width ? static_cast<std::size_t>(m_textureWidth) : 0);
    m_texture.allocate(m_textureWidth, m_lines);
    if (m_thinnedRow.empty() && image.bytesPerLine() == m_width) {
        m_texture.uploadRows(0, m_lines, image.constBits());
        return;
    }
    for (int row = 0; row < m_lines; ++row)
        uploadRow(image, row);
}

void WaterfallTexture::uploadRow(const QImage& image, int row)
{
    const uchar* bytes = image.constScanLine(row);
    if (!m_thinnedRow.empty()) {
        for (int x = 0; x < m_textureWidth; ++x)
            m_thinnedRow[static_cast<std::size_t>(x)] =
                bytes[static_cast<int64_t>(x) * m_width / m_textureWidth];
        bytes = m_thinnedRow.data();
    }
    m_texture.uploadRows(row, 1, bytes);
}

void WaterfallTexture::drawRows(int firstRow, int rowCount, float yFirst, float yEnd, float uStart, float uStop)
{
    if (rowCount < 1 || m_lines < 1)
        return;
    const float v0 = static_cast<float>(firstRow) / static_cast<float>(m_lines);
    const float v1 = static_cast<float>(firstRow + rowCount) / static_cast<float>(m_lines);
    const TexturedRect rect{-1.0f, yFirst, 1.0f, yEnd, uStart, v0, uStop, v1};
    m_texture.draw({&rect, 1}, PaletteTexture::Blend::Off);
}
