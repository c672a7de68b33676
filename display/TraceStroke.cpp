#include "display/TraceStroke.h"

#include <cmath>

namespace {

void emit(std::vector<float>& triangles, float x, float y)
{
    triangles.push_back(x);
    triangles.push_back(y);
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
        emit(triangles, x0 + nx, y0 + ny);
        emit(triangles, x0 - nx, y0 - ny);
        emit(triangles, x1 + nx, y1 + ny);
        emit(triangles, x1 + nx, y1 + ny);
        emit(triangles, x0 - nx, y0 - ny);
        emit(triangles, x1 - nx, y1 - ny);
    }
}
