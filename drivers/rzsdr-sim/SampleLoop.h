#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// A stretch of 16-bit I/Q samples that plays over and over: written once on its first pass, then
// only read. The storage is kept across restarts and grows only when a longer loop needs it.
class SampleLoop {
public:
    // Starts an empty loop of `samples` samples at its beginning.
    void restart(std::size_t samples);

    std::size_t length() const { return m_length; }
    std::size_t position() const { return m_position; }
    // Whether the samples from the current position on are already written.
    bool held() const { return m_held; }
    // Samples from the current position to the end of the loop.
    std::size_t untilEnd() const { return m_length - m_position; }
    // The current position as 4-byte interleaved I/Q.
    uint8_t* here() { return reinterpret_cast<uint8_t*>(m_samples.get() + m_position); }
    // Moves on by at most untilEnd() samples; the first wrap completes the loop.
    void advance(std::size_t samples);

private:
    std::unique_ptr<uint32_t[]> m_samples;
    std::size_t m_capacity = 0;
    std::size_t m_length = 0;
    std::size_t m_position = 0;
    bool m_held = false;
};
