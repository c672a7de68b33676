#include "display/WaterfallTexture.h"

#include <algorithm>
#include <cstring>

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
    if (resized || change.colourTableChanged)
        takeColourTable(image.colorTable());
    if (resized) {
        m_width = image.width();
        m_textureWidth = std::min(m_width, m_texture.maxSize());
        m_lines = image.height();
        m_texture.allocate(m_textureWidth, m_lines);
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

void WaterfallTexture::takeColourTable(const QList<QRgb>& table)
{
    const bool bgra = m_texture.pixelOrder() == ColourTexture::PixelOrder::Bgra;
    for (std::size_t i = 0; i < m_colours.size(); ++i) {
        const QRgb c = i < static_cast<std::size_t>(table.size()) ? table[static_cast<qsizetype>(i)] : 0;
        const std::array<uint8_t, 4> bytes{
            static_cast<uint8_t>(bgra ? qBlue(c) : qRed(c)), static_cast<uint8_t>(qGreen(c)),
            static_cast<uint8_t>(bgra ? qRed(c) : qBlue(c)), static_cast<uint8_t>(qAlpha(c))};
        std::memcpy(&m_colours[i], bytes.data(), bytes.size());
    }
}

void WaterfallTexture::uploadRows(const QImage& image, int first, int count)
{
    const auto width = static_cast<std::size_t>(m_textureWidth);
    m_pixels.resize(width * static_cast<std::size_t>(count));
    for (int r = 0; r < count; ++r) {
        const uchar* bytes = image.constScanLine(first + r);
        uint32_t* pixels = m_pixels.data() + static_cast<std::size_t>(r) * width;
        if (m_textureWidth == m_width) {
            for (std::size_t x = 0; x < width; ++x)
                pixels[x] = m_colours[bytes[x]];
        } else {
            for (int x = 0; x < m_textureWidth; ++x)
                pixels[x] = m_colours[bytes[static_cast<int64_t>(x) * m_width / m_textureWidth]];
        }
    }
    m_texture.uploadRows(first, count, m_pixels.data());
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
