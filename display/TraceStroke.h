#pragma once

#include "display/SpectrumLayout.h"

#include <cstddef>
#include <vector>

// Outline of a polyline stroked with a pen of the given width, as triangles (x, y pairs, three
// per triangle) in the points' coordinates. Each segment is one rectangle, two triangles,
// carrying square caps at both ends: the caps of neighbouring segments cover the outer
// wedge of every corner, so the outline holds what square caps and bevel joins would, plus
// at most half a pen width past each corner. A software rasteriser pays per triangle, and a
// strip with explicit joins needs twice as many. Zero-length segments are skipped. Fills
// `triangles` in place, reusing its storage.
void buildStrokeTriangles(const std::vector<TracePoint>& points, float penWidth, std::vector<float>& triangles);

// Outline of the grid over the spectrum area as triangles, in the same coordinates: each line a
// rectangle one pixel wide, centred on it and reaching half a pixel past both ends, which is what
// an aliased one-pixel pen with square caps covers. Fills `triangles` in place.
void buildGridTriangles(const SpectrumLayout& layout, std::vector<float>& triangles);
