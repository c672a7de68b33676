#include "engine/WaterfallBuffer.h"

#include <algorithm>

uint8_t WaterfallBuffer::levelByte(float db)
{
    float v = (db + 120.0f) / 120.0f;
    if (v > 1.0f)
        v = 1.0f;
    v = v > 0.0f ? v : 0.0f;  // NaN included
    return static_cast<uint8_t>(v * 255.0f);
}

void WaterfallBuffer::addLine(const std::vector<float>& trace, int lines)
{
    if (lines <= 0 || trace.empty())
        return;
    const std::size_t w = trace.size();
    const std::size_t total = static_cast<std::size_t>(lines) * w;
    // Only the spectrum thread takes this lock, so converting the row in place under it costs
    // nobody a wait and saves a scratch row.
    std::lock_guard lock(m_mutex);
    if (m_width != w || m_bytes.size() != total) {
        m_width = w;
        m_bytes.assign(total, 0);
        m_writeRow = 0;
        ++m_generation;
        m_totalLinesAtRestart = m_totalLines;
    }
    uint8_t* row = m_bytes.data() + static_cast<std::size_t>(m_writeRow) * w;
    for (std::size_t j = 0; j < w; ++j)
        row[j] = levelByte(trace[j]);
    m_writeRow = (m_writeRow + 1) % lines;
    ++m_totalLines;
}

void WaterfallBuffer::publish(WaterfallBlock& out, int lines, int paletteId)
{
    std::lock_guard lock(m_mutex);
    std::shared_ptr<Picture> picture = m_pictures.acquire();
    refresh(*picture);
    out.width = static_cast<int32_t>(m_width);
    out.lines = lines;
    out.writeRow = m_writeRow;
    out.totalLines = m_totalLines;
    out.minDb = -120.0f;
    out.maxDb = 0.0f;
    out.bytes = PictureBytes(picture, &picture->bytes);
    out.paletteId = paletteId;
}

// A returned picture of this ring lacks only the lines written since it was taken; anything
// else gets the whole ring.
void WaterfallBuffer::refresh(Picture& picture) const
{
    const uint64_t missing = m_totalLines - picture.totalLines;
    const std::size_t rows = m_width == 0 ? 0 : m_bytes.size() / m_width;
    if (picture.generation == m_generation && picture.bytes.size() == m_bytes.size() && missing < rows) {
        for (uint64_t line = picture.totalLines; line < m_totalLines; ++line) {
            const std::size_t offset = static_cast<std::size_t>((line - m_totalLinesAtRestart) % rows) * m_width;
            std::copy_n(m_bytes.begin() + static_cast<std::ptrdiff_t>(offset), m_width,
                        picture.bytes.begin() + static_cast<std::ptrdiff_t>(offset));
        }
    } else {
        picture.bytes = m_bytes;
    }
    picture.generation = m_generation;
    picture.totalLines = m_totalLines;
}
