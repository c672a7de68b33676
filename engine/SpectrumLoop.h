#pragma once

#include "acquisition/FftRing.h"
#include "engine/SpectrumProcessor.h"

#include <atomic>
#include <cstddef>

// Feeds the processor from the FFT ring: polls every millisecond, hands it each block where it
// lies in the ring and then moves on by the processor's hop, so that overlapping blocks cost no
// copy. When it has fallen far behind it throws old input away (the spectra it would have made
// counted by the processor) down to four blocks of backlog, so that the display shows what is
// being received rather than what was.
class SpectrumLoop {
public:
    // The backlog above which blocks are thrown away. Eight blocks at least; otherwise the
    // smaller of three quarters of the ring and a quarter second of signal. A fixed eight blocks
    // is about a millisecond at 30 MS/s with small FFTs: one poll interval and one receiver
    // transfer reach it, and blocks would be thrown away while the thread keeps up with room to
    // spare. On a busy desktop the spectrum thread is held up for tens of milliseconds now and
    // then and catches up within a few more: a quarter second of backlog is worked off rather
    // than thrown away, and only a thread that stays behind has its display cut back to the
    // present. The last quarter of the ring is room for the reads that arrive meanwhile.
    static std::size_t catchUpThresholdBytes(std::size_t blockBytes, std::size_t ringCapacity, double sampleRateHz);

    // Without a threshold, eight blocks. The ring must hold whole samples, so that its end never
    // splits one.
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
