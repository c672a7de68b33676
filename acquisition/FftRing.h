#pragma once

#include "acquisition/RingResetGate.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

// IQ bytes from the RX thread to the spectrum thread. Single producer, single consumer,
// wrapping indexes with one byte always left free. A write keeps whatever fits.
class FftRing {
public:
    explicit FftRing(std::size_t capacityBytes);

    std::size_t write(const uint8_t* src, std::size_t length);
    std::size_t read(uint8_t* dst, std::size_t length);
    // Hands use(first, firstLength, second, secondLength) the oldest `length` bytes where they
    // lie, in at most two pieces, and leaves them in: the spectrum thread windows overlapping
    // blocks in place, each sample copied out of the ring by no one. The producer never writes
    // over bytes not yet consumed, and a reset waits until use returns. False, without a call,
    // while fewer are there.
    template <typename Use>
    bool peek(std::size_t length, Use&& use);
    // Takes out the oldest `length` bytes unread, or all there are; returns how many.
    std::size_t consume(std::size_t length);
    std::size_t available() const;
    // What a write would keep now; only grows until the producer writes again.
    std::size_t space() const;
    std::size_t capacity() const { return m_capacity; }

    // Empties the ring. Safe from the producer while the consumer keeps reading.
    void reset();

    // The capacity for an acquisition run: 256 transfers and at least 4 MiB, whole FFT frames
    // (4 at least, 16 where 4 MiB holds fewer), and about half a second of signal at the run's
    // rate. 4 MiB is 35 ms at 30 MS/s, less than a busy two-core desktop holds the
    // spectrum thread off now and then; the half second rides that out without a lost block.
    static std::size_t capacityFor(uint64_t samplesPerTransfer, uint64_t fftFrameBytes, double sampleRateHz);
    static constexpr double kShortestSpanSeconds = 0.5;

private:
    // Under the reader's pass: hands use(offset, count) the oldest min(length, available) bytes
    // and then takes them out; returns the count, 0 while a reset is under way.
    template <typename Use>
    std::size_t takeOldest(std::size_t length, Use&& use);
    std::size_t used(uint64_t w, uint64_t r) const { return w >= r ? w - r : m_capacity - r + w; }

    const std::size_t m_capacity;
    std::unique_ptr<uint8_t[]> m_buffer;
    std::atomic<uint64_t> m_writeIndex{0};
    std::atomic<uint64_t> m_readIndex{0};
    RingResetGate m_gate;
};

template <typename Use>
bool FftRing::peek(std::size_t length, Use&& use)
{
    if (m_capacity == 0 || length == 0)
        return false;
    const auto pass = m_gate.enterReader();
    if (!pass)
        return false;
    const uint64_t w = m_writeIndex.load(std::memory_order_acquire);
    const uint64_t r = m_readIndex.load(std::memory_order_relaxed);
    if (used(w, r) < length)
        return false;
    const std::size_t first = std::min<std::size_t>(length, m_capacity - r);
    use(m_buffer.get() + r, first, m_buffer.get(), length - first);
    return true;
}
