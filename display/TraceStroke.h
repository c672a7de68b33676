#pragma once

#include "display/SpectrumLayout.h"

#include <cstddef>
#include <utility>
#include <vector>

// Outline of a polyline stroked with a pen of the given width, as triangles (x, y pairs, three
// per triangle) in the points' coordinates. Each segment is one rectangle, two triangles,
// carrying square caps at both ends: the caps of neighbouring segments cover the outer
// wedge of every corner, so the outline holds what square caps and bevel joins would, plus
// at most half a pen width past each corner. A software rasteriser pays per triangle, and a
// strip with explicit joins needs twice as many. Zero-length segments are skipped. Fills
// `triangles` in place, reusing its storage.
void buildStrokeTriangles(const std::vector<TracePoint>& points, float penWidth, std::vector<float>& triangles);

// Rows first...last of one pixel column; empty when first > last.
struct RowRun {
    int first = 0;
    int last = -1;
};

// Scratch of coverColumns, reused from one call to the next.
struct ColumnCover {
    std::vector<RowRun> runs;                     // per column, the run grown from its first triangle
    std::vector<std::pair<int, RowRun>> detached; // runs with a gap to their column's run
};

// The pixels the triangles cover (those whose centre lies inside one) in columns 0...width-1,
// as triangles of axis-aligned rectangles on pixel edges: one per column and run of rows,
// neighbouring columns with the same run joined. A trace's segments are narrower than a pixel
// when it has more points than the view has columns and overlap their neighbours several times
// over, and a software rasteriser pays for every triangle and every pixel it is given.
void coverColumns(const std::vector<float>& triangles, int width, ColumnCover& cover, std::vector<float>& rectangles);

// Outline of the grid over the spectrum area as triangles, in the same coordinates: each line a
// rectangle one pixel wide, centred on it and reaching half a pixel past both ends, which is what
// an aliased one-pixel pen with square caps covers. Fills `triangles` in place.
void buildGridTriangles(const SpectrumLayout& layout, std::vector<float>& triangles);
