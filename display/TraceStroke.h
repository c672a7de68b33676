#pragma once

#include "display/SpectrumLayout.h"

#include <cstddef>
#include <vector>

// Outline of a polyline stroked with a pen of the given width, square caps and bevel joins, as a
// triangle strip of (x, y) pairs in the points' coordinates. Each segment is a quad; a joint
// repeats its point with the next segment's normal, which fills the bevel on the outer side.
// Zero-length segments are skipped. Fills `strip` in place, reusing its storage; it is left
// empty when fewer than two distinct points remain.
void buildStrokeStrip(const std::vector<TracePoint>& points, float penWidth, std::vector<float>& strip);
