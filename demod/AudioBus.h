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
    void clear();

private:
    uint64_t m_capacity;
    // Relaxed atomics: a clear, or the producer dropping old audio, may touch samples
    // the consumer is copying; that only changes which samples play, never the memory.
    std::unique_ptr<std::atomic<float>[]> m_storage;
    std::atomic<uint64_t> m_writePos{0};
    std::atomic<uint64_t> m_readPos{0};
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
    void clear();

    uint64_t capacity() const { return m_capacity; }

private:
    AudioBusSlot* find(size_t slot) const;

    uint64_t m_capacity;
    mutable std::mutex m_mutex;
    std::vector<std::unique_ptr<AudioBusSlot>> m_slots;
};
