#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

// Where the recorded sample stream breaks: from sample `fileSample` of the data file on, a new
// segment, after `lostBefore` samples that never reached the file; with a new tuning when
// `retuned` (centre in Hz, start time in microseconds since 1970 UTC).
struct SpoolMark {
    uint64_t fileSample = 0;
    uint64_t lostBefore = 0;
    bool retuned = false;
    uint64_t centerHz = 0;
    int64_t utcMicros = 0;
};

// The recorder's buffer between the RX thread and the disk: IQ bytes and the marks that break
// their stream, one producer and one consumer, without locks. The producer takes a block whole
// or not at all, so the file never holds part of a block, and counts what it could not take as
// lost; the next block taken opens a segment that states the loss. All memory is taken (and
// touched) by the constructor, so the producer never waits for the system.
class IqSpool {
public:
    IqSpool(std::size_t capacityBytes, std::size_t sampleBytes, std::size_t markCapacity);

    // Producer. A block that does not fit whole (or finds no room for the mark of a loss before
    // it) is counted as lost.
    void push(const uint8_t* data, std::size_t bytes);
    // Producer: samples lost before the next block, which will open a segment saying so.
    void noteLost(uint64_t samples) { m_pendingLost += samples; }
    // Producer: a new tuning from the next block on. False when the marks are full.
    bool pushRetune(uint64_t centerHz, int64_t utcMicros);

    // Consumer: the bytes it may read next without wrapping, at most up to the next mark.
    std::span<const uint8_t> readable() const;
    // Consumer: the next mark, once every byte before it has been released.
    const SpoolMark* markDue() const;
    void release(std::size_t bytes);
    void popMark();
    // Consumer: bytes taken and not yet released; marks not yet popped.
    uint64_t fill() const;
    bool marksPending() const;
    bool empty() const { return fill() == 0 && !marksPending(); }

    // Any thread.
    std::size_t capacity() const { return m_capacity; }
    uint64_t droppedSamples() const { return m_dropped.load(std::memory_order_relaxed); }
    uint64_t highestFillBytes() const { return m_highestFill.load(std::memory_order_relaxed); }

private:
    bool pushMark(const SpoolMark& mark);

    const std::size_t m_capacity;
    const std::size_t m_sampleBytes;
    const std::size_t m_markCapacity;
    std::unique_ptr<uint8_t[]> m_bytes;
    std::unique_ptr<SpoolMark[]> m_marks;

    // Positions only grow: written - read is the fill, position % capacity the place.
    std::atomic<uint64_t> m_written{0};
    std::atomic<uint64_t> m_read{0};
    std::atomic<uint64_t> m_marksWritten{0};
    std::atomic<uint64_t> m_marksRead{0};

    // Producer only.
    uint64_t m_pendingLost = 0;
    std::atomic<uint64_t> m_dropped{0};
    std::atomic<uint64_t> m_highestFill{0};
};
