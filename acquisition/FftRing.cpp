#include "acquisition/FftRing.h"

#include "acquisition/IqSample.h"
#include "acquisition/RingCopy.h"

#include <algorithm>
#include <cmath>

FftRing::FftRing(std::size_t capacityBytes)
    : m_capacity(capacityBytes), m_buffer(std::make_unique<uint8_t[]>(capacityBytes))
{
}

std::size_t FftRing::write(const uint8_t* src, std::size_t length)
{
    if (m_capacity == 0 || src == nullptr)
        return 0;
    const auto pass = m_gate.enterWriter();
    if (!pass)
        return 0;
    const uint64_t w = m_writeIndex.load(std::memory_order_relaxed);
    const uint64_t r = m_readIndex.load(std::memory_order_acquire);
    const std::size_t freeBytes = m_capacity - used(w, r) - 1;
    const std::size_t m = std::min(length, freeBytes);
    if (m == 0)
        return 0;
    copyIntoRing(m_buffer.get(), m_capacity, w, src, m);
    m_writeIndex.store((w + m) % m_capacity, std::memory_order_release);
    return m;
}

template <typename Use>
std::size_t FftRing::takeOldest(std::size_t length, Use&& use)
{
    if (m_capacity == 0)
        return 0;
    const auto pass = m_gate.enterReader();
    if (!pass)
        return 0;
    const uint64_t w = m_writeIndex.load(std::memory_order_acquire);
    const uint64_t r = m_readIndex.load(std::memory_order_relaxed);
    const std::size_t m = std::min(length, used(w, r));
    if (m == 0)
        return 0;
    use(r, m);
    m_readIndex.store((r + m) % m_capacity, std::memory_order_release);
    return m;
}

std::size_t FftRing::read(uint8_t* dst, std::size_t length)
{
    if (dst == nullptr)
        return 0;
    return takeOldest(length, [&](uint64_t from, std::size_t m) { copyOutOfRing(m_buffer.get(), m_capacity, from, dst, m); });
}

std::size_t FftRing::consume(std::size_t length)
{
    return takeOldest(length, [](uint64_t, std::size_t) {});
}

std::size_t FftRing::available() const
{
    if (m_capacity == 0)
        return 0;
    const uint64_t r = m_readIndex.load(std::memory_order_acquire);
    return used(m_writeIndex.load(std::memory_order_acquire), r);
}

std::size_t FftRing::space() const
{
    return m_capacity == 0 ? 0 : m_capacity - available() - 1;
}

void FftRing::reset()
{
    m_gate.reset([this] {
        m_writeIndex.store(0, std::memory_order_relaxed);
        m_readIndex.store(0, std::memory_order_relaxed);
    });
}

std::size_t FftRing::capacityFor(uint64_t samplesPerTransfer, uint64_t fftFrameBytes, double sampleRateHz)
{
    uint64_t capacity = std::max<uint64_t>(samplesPerTransfer * 256, 4u * 1024 * 1024);
    capacity = std::max(capacity, 16 * fftFrameBytes);
    const double spanBytes = kShortestSpanSeconds * sampleRateHz * static_cast<double>(kIqSampleBytes);
    if (spanBytes > static_cast<double>(capacity))
        capacity = static_cast<uint64_t>(std::ceil(spanBytes));
    if (fftFrameBytes != 0)
        capacity = capacity / fftFrameBytes * fftFrameBytes;
    capacity = std::max(capacity, 4 * fftFrameBytes);
    return static_cast<std::size_t>(capacity);
}
