#pragma once

#include "acquisition/FftRing.h"
#include "engine/SpectrumProcessor.h"

#include <atomic>

// Feeds the processor from the FFT ring: polls every millisecond, and after a burst throws
// old blocks away (counted by the processor) so that the display stays at most four blocks
// behind the input.
class SpectrumLoop {
public:
    SpectrumLoop(SpectrumProcessor& processor, FftRing* ring, const std::atomic<bool>& running);

    // Iterates until running is false (returns at once when it already is).
    void run();
    // One pass: true when a block was processed, false after a 1 ms wait for data.
    bool iterate();

private:
    SpectrumProcessor& m_processor;
    FftRing* m_ring;
    const std::atomic<bool>& m_running;
};
