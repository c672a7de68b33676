#pragma once

#include "acquisition/FftRing.h"
#include "engine/SpectrumProcessor.h"

#include <atomic>
#include <cstddef>

// Feeds the processor from the FFT ring: polls every millisecond, and when it has fallen far
// behind throws old blocks away (counted by the processor) down to four blocks of backlog, so
// that the display shows what is being received rather than what was.
class SpectrumLoop {
public:
    // The backlog above which blocks are thrown away. Eight blocks at least; otherwise the
    // smaller of three quarters of the ring and 50 ms of signal. A fixed eight blocks is about a
    // millisecond at 30 MS/s with small FFTs: one poll interval and one receiver transfer reach
    // it, and blocks would be thrown away while the thread keeps up with room to spare. At high
    // rates the ring itself bounds the delay (35 ms at 30 MS/s), and on a busy desktop the RX
    // or the spectrum thread is held up for 20 ms now and then; the last quarter of the ring is
    // room for the reads that arrive while the spectrum thread catches up.
    static std::size_t catchUpThresholdBytes(std::size_t blockBytes, std::size_t ringCapacity, double sampleRateHz);

    // Without a threshold, eight blocks.
    SpectrumLoop(SpectrumProcessor& processor, FftRing* ring, const std::atomic<bool>& running,
                 std::size_t catchUpAboveBytes = 0);

    // Iterates until running is false (returns at once when it already is).
    void run();
    // One pass: true when a block was processed, false after a 1 ms wait for data.
    bool iterate();

private:
    SpectrumProcessor& m_processor;
    FftRing* m_ring;
    const std::atomic<bool>& m_running;
    std::size_t m_catchUpAboveBytes;
};
