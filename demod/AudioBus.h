#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

// One single-producer, single-consumer ring of 48 kHz float audio. Positions are
// running sample counts; a sample numbered k lives at k mod capacity.
class AudioBusSlot {
public:
    explicit AudioBusSlot(uint64_t capacity);

    size_t write(const float* samples, size_t count);
    size_t read(float* out, size_t count);
    uint64_t available() const;
    // Samples the reader has played as silence beyond what was written (after an underrun).
    uint64_t deficit() const;
    // Producer side: moves the writer ahead by n samples of silence.
    void skipAhead(uint64_t n);
    // Samples the consumer asked for in its latest read (0 before the first).
    uint64_t lastRequest() const { return m_lastRequest.load(std::memory_order_relaxed); }
    void clear();

private:
    uint64_t m_capacity;
    // Relaxed atomics: a clear, or the producer dropping old audio, may touch samples
    // the consumer is copying; that only changes which samples play, never the memory.
    std::unique_ptr<std::atomic<float>[]> m_storage;
    std::atomic<uint64_t> m_writePos{0};
    std::atomic<uint64_t> m_readPos{0};
    std::atomic<uint64_t> m_lastRequest{0};
};

// The hand-over from the demodulation thread to the audio callback: one slot per
// audio channel. A full slot drops its oldest audio; an empty one plays silence.
class AudioBus {
public:
    explicit AudioBus(uint64_t capacity);

    size_t addSlot();
    // Returns the number of samples stored (all of them, unless one block exceeds the capacity).
    size_t write(size_t slot, const float* samples, size_t count);
    // Always fills count samples (zeros where nothing was available); returns the real ones.
    size_t read(size_t slot, float* out, size_t count);
    double fill(size_t slot) const;
    // Samples the slot's reader has played as silence beyond what was written (after an underrun).
    uint64_t deficit(size_t slot) const;
    void clear();

    // Producer side, before a block is written to every slot alike: when the reader of
    // leadSlot has run ahead of its writer (an underrun), moves every slot's writer past the
    // reader by `lead` samples of silence, by the same amount in each slot so that the slots
    // stay in step. Without it the audio written next would fall on samples already played
    // as silence and be skipped, and a producer at the consumer's rate would never catch up.
    // Returns whether it moved the writers.
    bool realignAfterUnderrun(size_t leadSlot, uint64_t lead);
    // Samples the consumer asked for in its latest read of the slot (0 before the first).
    uint64_t lastRequest(size_t slot) const;

    uint64_t capacity() const { return m_capacity; }

private:
    AudioBusSlot* find(size_t slot) const;

    uint64_t m_capacity;
    mutable std::mutex m_mutex;
    std::vector<std::unique_ptr<AudioBusSlot>> m_slots;
};
