#pragma once

#include "display/DisplaySettingTable.h"

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

// Grid of ten columns and one row per level division over the spectrum area.
std::array<int, 9> verticalGridLines(int width);
std::array<int, display_settings::kLevelDivisions - 1> horizontalGridLines(int spectrumHeight);

// Where a level sits on the trace scale: 0 at minDb, 1 at maxDb, clamped. A scale narrower
// than 0.1 dB (or inverted) is treated as 0.1 dB wide so the division stays finite.
float traceLevelFraction(float levelDb, float minDb, float maxDb);

// The part of the captured band the view shows (the display zoom), as fractions of the band:
// 0 to 1 is all of it.
struct ViewWindow {
    double start = 0.0;
    double stop = 1.0;
};

// The window moved, narrowed or widened only as far as it must to lie inside the band and be
// at least minWidth wide (minWidth itself limited to the band).
ViewWindow clampViewWindow(double start, double stop, double minWidth);

// Screen x of a place in the band, given as a fraction of it, in a view `width` pixels wide.
float viewX(double fraction, const ViewWindow& view, int width);

// The points of an n-point trace the view needs: those inside it and one beyond each edge,
// so that the lines to the edges are drawn too.
struct IndexRange {
    std::size_t first = 0;
    std::size_t last = 0;
};
IndexRange visibleTraceRange(std::size_t n, const ViewWindow& view);

struct TracePoint {
    float x;
    float y;
};

// Point i of an n-point trace spread over the band, the view's part of it over the full width
// of the spectrum area.
TracePoint tracePoint(std::size_t i, std::size_t n, float levelDb, float minDb, float maxDb, int width,
                      int spectrumHeight, const ViewWindow& view = {});

// Vertical position of a screen row, counted down from the top edge of an area `height` rows
// high, in normalized device coordinates over that area: the window's framebuffer runs
// bottom-up, so the top edge is at +1.
float framebufferNdcY(float screenY, int height);
