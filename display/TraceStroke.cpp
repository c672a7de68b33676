#include "display/TraceStroke.h"

#include <cmath>

namespace {

void emit(std::vector<float>& triangles, float x, float y)
{
    triangles.push_back(x);
    triangles.push_back(y);
}

// Quadrilateral a-b-d-c as two triangles, a and d being opposite corners.
void emitQuad(std::vector<float>& triangles, float ax, float ay, float bx, float by, float cx, float cy, float dx,
              float dy)
{
    emit(triangles, ax, ay);
    emit(triangles, bx, by);
    emit(triangles, cx, cy);
    emit(triangles, cx, cy);
    emit(triangles, bx, by);
    emit(triangles, dx, dy);
}

void emitRectangle(std::vector<float>& triangles, float left, float top, float right, float bottom)
{
    emitQuad(triangles, left, top, left, bottom, right, top, right, bottom);
}

} // namespace

void buildStrokeTriangles(const std::vector<TracePoint>& points, float penWidth, std::vector<float>& triangles)
{
    triangles.clear();
    const float half = penWidth * 0.5f;
    for (std::size_t i = 1; i < points.size(); ++i) {
        const TracePoint& from = points[i - 1];
        const TracePoint& to = points[i];
        const float length = std::hypot(to.x - from.x, to.y - from.y);
        if (!(length > 0.0f))
            continue;
        // Along the segment (a) and across it (n), each half a pen width long.
        const float ax = (to.x - from.x) / length * half;
        const float ay = (to.y - from.y) / length * half;
        const float nx = -ay;
        const float ny = ax;
        const float x0 = from.x - ax;
        const float y0 = from.y - ay;
        const float x1 = to.x + ax;
        const float y1 = to.y + ay;
        emitQuad(triangles, x0 + nx, y0 + ny, x0 - nx, y0 - ny, x1 + nx, y1 + ny, x1 - nx, y1 - ny);
    }
}

void buildGridTriangles(const SpectrumLayout& layout, std::vector<float>& triangles)
{
    triangles.clear();
    const float width = static_cast<float>(layout.width);
    const float height = static_cast<float>(layout.spectrumHeight);
    for (const int x : verticalGridLines(layout.width)) {
        const float fx = static_cast<float>(x);
        emitRectangle(triangles, fx - 0.5f, -0.5f, fx + 0.5f, height + 0.5f);
    }
    for (const int y : horizontalGridLines(layout.spectrumHeight)) {
        const float fy = static_cast<float>(y);
        emitRectangle(triangles, -0.5f, fy - 0.5f, width + 0.5f, fy + 0.5f);
    }
}
