#pragma once

#include <cstdint>

// What the spectrum thread reports once a second, about the period that just ended, and what it
// derives from the settings and its own pace.
struct SpectrumStatus {
    uint64_t blocksProcessed = 0;
    // Blocks' worth of IQ the RX thread could not place in the ring.
    uint64_t droppedFrames = 0;
    // Blocks thrown away unprocessed to catch up with the input: the display then shows less
    // than was received.
    uint64_t discardedBlocks = 0;
    // Frames published to the display.
    double framesPerSecond = 0.0;
    // The video filter's weight per frame, derived from the video bandwidth and the frame rate;
    // 0 while the filter is off.
    float videoFilterAlpha = 0.0f;
};
