#include "display/DensityTexture.h"

#include "display/Palettes.h"

#include <cstring>

bool DensityTexture::follow(const DensityImage& density, int palette)
{
    if (!m_texture.create() || density.width > m_texture.maxSize() || density.height > m_texture.maxSize())
        return false;
    const std::vector<uint8_t>& bytes = *density.bytes;
    // The colours go up with the pixels: a new palette takes the whole picture again.
    if (palette != m_palette) {
        m_texture.setColourTable(densityColourTable(palette));
        m_palette = palette;
        m_shown.reset();
    }
    if (density.bytes != m_shown) {
        if (m_shown == nullptr || density.width != m_width || density.height != m_height) {
            m_width = density.width;
            m_height = density.height;
            m_texture.allocate(m_width, m_height);
            m_texture.uploadRows(0, m_height, bytes.data(), m_width, m_width);
        } else {
            uploadChangedRows(*m_shown, bytes);
        }
        coverNonZeroCells(bytes.data(), m_width, m_height, kDensityPartBlock, m_visibleParts);
        m_shown = density.bytes;
    }
    return true;
}

void DensityTexture::reset()
{
    m_shown.reset();
    m_visibleParts.clear();
}

// Each run of consecutive changed rows goes up in one call; the empty sky above the trace and
// the levels below the noise usually stay as they were.
void DensityTexture::uploadChangedRows(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after)
{
    const auto rowBytes = static_cast<std::size_t>(m_width);
    const auto changed = [&](int row) {
        const std::size_t offset = static_cast<std::size_t>(row) * rowBytes;
        return std::memcmp(before.data() + offset, after.data() + offset, rowBytes) != 0;
    };
    for (int row = 0; row < m_height;) {
        if (!changed(row)) {
            ++row;
            continue;
        }
        const int first = row;
        while (row < m_height && changed(row))
            ++row;
        m_texture.uploadRows(first, row - first, after.data() + static_cast<std::size_t>(first) * rowBytes, m_width,
                             m_width);
    }
}

void DensityTexture::draw(std::span<const DensityPlace> places, int width, int height)
{
    if (m_shown == nullptr || width < 1 || height < 1)
        return;
    // Texture row r holds level r, so the picture's top row (the highest level) is the last.
    const auto columns = static_cast<float>(m_width);
    const auto rows = static_cast<float>(m_height);
    m_rects.clear();
    for (const DensityPlace& place : places) {
        const CellRect& cells = place.cells;
        m_rects.push_back({static_cast<float>(2.0 * place.left / width - 1.0),
                           framebufferNdcY(static_cast<float>(place.top), height),
                           static_cast<float>(2.0 * place.right / width - 1.0),
                           framebufferNdcY(static_cast<float>(place.bottom), height),
                           static_cast<float>(cells.x) / columns, (rows - static_cast<float>(cells.y)) / rows,
                           static_cast<float>(cells.x + cells.width) / columns,
                           (rows - static_cast<float>(cells.y + cells.height)) / rows});
    }
    m_texture.draw(m_rects, TexturedRects::Blend::Premultiplied);
}
