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
    }
    uint8_t* row = m_bytes.data() + static_cast<std::size_t>(m_writeRow) * w;
    for (std::size_t j = 0; j < w; ++j)
        row[j] = levelByte(trace[j]);
    m_writeRow = (m_writeRow + 1) % lines;
    ++m_totalLines;
}

void WaterfallBuffer::copyTo(WaterfallBlock& out, int lines, int paletteId) const
{
    std::lock_guard lock(m_mutex);
    out.width = static_cast<int32_t>(m_width);
    out.lines = lines;
    out.writeRow = m_writeRow;
    out.totalLines = m_totalLines;
    out.minDb = -120.0f;
    out.maxDb = 0.0f;
    out.bytes = m_bytes;
    out.paletteId = paletteId;
}
