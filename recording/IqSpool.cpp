#include "recording/IqSpool.h"

#include <algorithm>
#include <cstring>

IqSpool::IqSpool(std::size_t capacityBytes, std::size_t sampleBytes, std::size_t markCapacity)
    : m_capacity(capacityBytes - capacityBytes % sampleBytes),
      m_sampleBytes(sampleBytes),
      m_markCapacity(markCapacity),
      m_bytes(std::make_unique_for_overwrite<uint8_t[]>(m_capacity)),
      m_marks(std::make_unique<SpoolMark[]>(markCapacity))
{
    // Touched now, so that the RX thread's first pass does not fault every page in.
    std::memset(m_bytes.get(), 0, m_capacity);
}

bool IqSpool::pushMark(const SpoolMark& mark)
{
    const uint64_t written = m_marksWritten.load(std::memory_order_relaxed);
    if (written - m_marksRead.load(std::memory_order_acquire) >= m_markCapacity)
        return false;
    m_marks[written % m_markCapacity] = mark;
    m_marksWritten.store(written + 1, std::memory_order_release);
    return true;
}

bool IqSpool::pushRetune(uint64_t centerHz, int64_t utcMicros)
{
    const uint64_t written = m_written.load(std::memory_order_relaxed);
    if (!pushMark({written / m_sampleBytes, m_pendingLost, true, centerHz, utcMicros}))
        return false;
    m_pendingLost = 0;
    return true;
}

void IqSpool::push(const uint8_t* data, std::size_t bytes)
{
    const uint64_t written = m_written.load(std::memory_order_relaxed);
    const uint64_t fill = written - m_read.load(std::memory_order_acquire);
    const bool fits = bytes <= m_capacity - fill;
    if (!fits || (m_pendingLost != 0 && !pushMark({written / m_sampleBytes, m_pendingLost, false, 0, 0}))) {
        const uint64_t samples = bytes / m_sampleBytes;
        m_pendingLost += samples;
        m_dropped.store(m_dropped.load(std::memory_order_relaxed) + samples, std::memory_order_relaxed);
        return;
    }
    m_pendingLost = 0;
    const std::size_t at = written % m_capacity;
    const std::size_t first = std::min(bytes, m_capacity - at);
    std::memcpy(m_bytes.get() + at, data, first);
    std::memcpy(m_bytes.get(), data + first, bytes - first);
    m_written.store(written + bytes, std::memory_order_release);
    if (fill + bytes > m_highestFill.load(std::memory_order_relaxed))
        m_highestFill.store(fill + bytes, std::memory_order_relaxed);
}

const SpoolMark* IqSpool::markDue() const
{
    const uint64_t marksRead = m_marksRead.load(std::memory_order_relaxed);
    if (marksRead == m_marksWritten.load(std::memory_order_acquire))
        return nullptr;
    const SpoolMark& mark = m_marks[marksRead % m_markCapacity];
    return mark.fileSample * m_sampleBytes == m_read.load(std::memory_order_relaxed) ? &mark : nullptr;
}

std::span<const uint8_t> IqSpool::readable() const
{
    const uint64_t read = m_read.load(std::memory_order_relaxed);
    // The bytes are looked at before the marks: a mark is published before the bytes after it,
    // so every mark within the bytes seen is seen too.
    uint64_t end = m_written.load(std::memory_order_acquire);
    const uint64_t marksRead = m_marksRead.load(std::memory_order_relaxed);
    if (marksRead != m_marksWritten.load(std::memory_order_acquire))
        end = std::min<uint64_t>(end, m_marks[marksRead % m_markCapacity].fileSample * m_sampleBytes);
    const std::size_t at = read % m_capacity;
    const std::size_t length = std::min<uint64_t>(end - read, m_capacity - at);
    return {m_bytes.get() + at, length};
}

void IqSpool::release(std::size_t bytes)
{
    m_read.store(m_read.load(std::memory_order_relaxed) + bytes, std::memory_order_release);
}

void IqSpool::popMark()
{
    m_marksRead.store(m_marksRead.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

uint64_t IqSpool::fill() const
{
    return m_written.load(std::memory_order_acquire) - m_read.load(std::memory_order_relaxed);
}

bool IqSpool::marksPending() const
{
    return m_marksRead.load(std::memory_order_relaxed) != m_marksWritten.load(std::memory_order_acquire);
}
