#pragma once

#include <array>
#include <cstddef>

// Screen geometry of the spectrum display: x to the right, y downward from the top edge.
// The spectrum area is the top spectrumHeight rows, the waterfall strip the bottom
// waterfallHeight rows.
struct SpectrumLayout {
    int width = 0;
    int height = 0;
    int spectrumHeight = 1;
    int waterfallHeight = 0;
};

SpectrumLayout computeLayout(int width, int height, bool waterfallEnabled, double waterfallHeightRatio);

// Grid of ten columns and six rows over the spectrum area.
std::array<int, 9> verticalGridLines(int width);
std::array<int, 5> horizontalGridLines(int spectrumHeight);

// Where a level sits on the trace scale: 0 at minDb, 1 at maxDb, clamped. A scale narrower
// than 0.1 dB (or inverted) is treated as 0.1 dB wide so the division stays finite.
float traceLevelFraction(float levelDb, float minDb, float maxDb);

struct TracePoint {
    float x;
    float y;
};

// Point i of an n-point trace spread over the full width of the spectrum area.
TracePoint tracePoint(std::size_t i, std::size_t n, float levelDb, float minDb, float maxDb, int width,
                      int spectrumHeight);

// Vertical position of a screen row in the framebuffer's normalized device coordinates. The
// scene graph shows the framebuffer bottom row first, so the screen's top edge is at -1.
float framebufferNdcY(float screenY, int height);
