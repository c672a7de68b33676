#include "acquisition/DemodRing.h"

#include "acquisition/RingCopy.h"

#include <algorithm>

DemodRing::DemodRing(std::size_t capacityBytes)
    : m_capacity(capacityBytes), m_buffer(std::make_unique<uint8_t[]>(capacityBytes))
{
}

std::size_t DemodRing::write(const uint8_t* src, std::size_t length)
{
    if (src == nullptr || length == 0 || m_capacity == 0)
        return 0;
    const auto pass = m_gate.enterWriter();
    if (!pass)
        return 0;
    const uint64_t w = m_writeCount.load(std::memory_order_acquire);
    const uint64_t r = m_readCount.load(std::memory_order_acquire);
    const std::size_t freeBytes = m_capacity - used(w, r) - 1;
    if (length > freeBytes) {
        m_overflowCount.fetch_add(1, std::memory_order_relaxed);
        m_droppedBytes.fetch_add(length, std::memory_order_relaxed);
        return 0;
    }
    copyIntoRing(m_buffer.get(), m_capacity, w % m_capacity, src, length);
    m_writeCount.store(w + length, std::memory_order_release);
    m_totalWritten.fetch_add(length, std::memory_order_relaxed);
    return length;
}

std::size_t DemodRing::read(uint8_t* dst, std::size_t length)
{
    return dst != nullptr ? consume(dst, length) : 0;
}

std::size_t DemodRing::discard(std::size_t length)
{
    return consume(nullptr, length);
}

std::size_t DemodRing::consume(uint8_t* dst, std::size_t length)
{
    if (length == 0 || m_capacity == 0)
        return 0;
    const auto pass = m_gate.enterReader();
    if (!pass)
        return 0;
    const uint64_t w = m_writeCount.load(std::memory_order_acquire);
    const uint64_t r = m_readCount.load(std::memory_order_acquire);
    const std::size_t m = std::min(length, used(w, r));
    if (m == 0)
        return 0;
    if (dst != nullptr)
        copyOutOfRing(m_buffer.get(), m_capacity, r % m_capacity, dst, m);
    m_readCount.store(r + m, std::memory_order_release);
    m_totalRead.fetch_add(m, std::memory_order_relaxed);
    return m;
}

std::size_t DemodRing::available() const
{
    // The read side first: the write count only grows, so it cannot fall behind it.
    const uint64_t r = m_readCount.load(std::memory_order_acquire);
    return used(m_writeCount.load(std::memory_order_acquire), r);
}

double DemodRing::fillRatio() const
{
    if (m_capacity == 0)
        return 0.0;
    return static_cast<double>(available()) / static_cast<double>(m_capacity);
}

void DemodRing::reset()
{
    m_gate.reset([this] {
        m_writeCount.store(0, std::memory_order_relaxed);
        m_readCount.store(0, std::memory_order_relaxed);
    });
}
