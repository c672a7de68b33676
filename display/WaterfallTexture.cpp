#include "display/WaterfallTexture.h"

#include <algorithm>

namespace {

// Rows coloured and uploaded per call when the whole ring goes up.
constexpr int kRowsPerUpload = 64;

} // namespace

bool WaterfallTexture::follow(const QImage& image, const WaterfallChange& change)
{
    if (!change.usable || !m_texture.create())
        return false;
    if (image.height() > m_texture.maxSize())
        return false;

    const bool resized = change.recreated || image.width() != m_width || image.height() != m_lines;
    if (resized || change.colourTableChanged) {
        const QList<QRgb> table = image.colorTable();
        m_texture.setColourTable(table);
    }
    if (resized) {
        m_width = image.width();
        m_lines = image.height();
        m_texture.allocate(std::min(m_width, m_texture.maxSize()), m_lines);
    }
    if (resized || change.colourTableChanged) {
        for (int row = 0; row < m_lines; row += kRowsPerUpload)
            uploadRows(image, row, std::min(kRowsPerUpload, m_lines - row));
        return true;
    }
    for (int i = 0; i < change.rows.count; ++i)
        uploadRows(image, (change.rows.first + i) % m_lines, 1);
    return true;
}

void WaterfallTexture::uploadRows(const QImage& image, int first, int count)
{
    m_texture.uploadRows(first, count, image.constScanLine(first), image.bytesPerLine(), m_width);
}

void WaterfallTexture::drawRows(int firstRow, int rowCount, float yFirst, float yEnd, float uStart, float uStop)
{
    if (rowCount < 1 || m_lines < 1)
        return;
    const float v0 = static_cast<float>(firstRow) / static_cast<float>(m_lines);
    const float v1 = static_cast<float>(firstRow + rowCount) / static_cast<float>(m_lines);
    const TexturedRect rect{-1.0f, yFirst, 1.0f, yEnd, uStart, v0, uStop, v1};
    m_texture.draw({&rect, 1}, TexturedRects::Blend::Off);
}
