#pragma once

#include "acquisition/RingResetGate.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

// IQ bytes from the RX thread to the demodulation channel. Single producer, single consumer,
// free-running counters. A block that does not fit is refused whole and counted.
class DemodRing {
public:
    static constexpr std::size_t kDefaultCapacity = 8u * 1024 * 1024;

    explicit DemodRing(std::size_t capacityBytes = kDefaultCapacity);

    std::size_t write(const uint8_t* src, std::size_t length);
    std::size_t read(uint8_t* dst, std::size_t length);
    // Consumer side: drops up to `length` of the oldest bytes unread; returns how many.
    std::size_t discard(std::size_t length);
    std::size_t available() const;
    std::size_t capacity() const { return m_capacity; }
    double fillRatio() const;

    // Empties the ring (the statistics keep counting). Safe from a third thread while the
    // producer and the consumer keep running.
    void reset();

    uint64_t totalWritten() const { return m_totalWritten.load(std::memory_order_relaxed); }
    uint64_t totalRead() const { return m_totalRead.load(std::memory_order_relaxed); }
    uint64_t overflowCount() const { return m_overflowCount.load(std::memory_order_relaxed); }
    uint64_t droppedBytes() const { return m_droppedBytes.load(std::memory_order_relaxed); }

private:
    // Reads into dst, or drops when dst is null.
    std::size_t consume(uint8_t* dst, std::size_t length);
    std::size_t used(uint64_t w, uint64_t r) const
    {
        return static_cast<std::size_t>(w >= r ? w - r : w + m_capacity - r);
    }

    const std::size_t m_capacity;
    std::unique_ptr<uint8_t[]> m_buffer;
    std::atomic<uint64_t> m_writeCount{0};
    std::atomic<uint64_t> m_readCount{0};
    std::atomic<uint64_t> m_totalWritten{0};
    std::atomic<uint64_t> m_totalRead{0};
    std::atomic<uint64_t> m_overflowCount{0};
    std::atomic<uint64_t> m_droppedBytes{0};
    RingResetGate m_gate;
};
