#include "display/TraceStroke.h"

#include <algorithm>
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

namespace {

// Where the vertical line at x crosses the triangle at t (x, y pairs): the lowest and highest y.
bool crossing(const float* t, float x, float& low, float& high)
{
    bool found = false;
    const auto extend = [&](float y) {
        low = found ? std::min(low, y) : y;
        high = found ? std::max(high, y) : y;
        found = true;
    };
    for (int e = 0; e < 3; ++e) {
        const float ax = t[2 * e];
        const float ay = t[2 * e + 1];
        const float bx = t[2 * ((e + 1) % 3)];
        const float by = t[2 * ((e + 1) % 3) + 1];
        if (x < std::min(ax, bx) || x > std::max(ax, bx))
            continue;
        if (ax == bx) {
            extend(ay);
            extend(by);
        } else {
            extend(ay + (x - ax) * (by - ay) / (bx - ax));
        }
    }
    return found;
}

bool touches(const RowRun& a, const RowRun& b)
{
    return a.first <= b.last + 1 && b.first <= a.last + 1;
}

} // namespace

void coverColumns(const std::vector<float>& triangles, int width, ColumnCover& cover, std::vector<float>& rectangles)
{
    rectangles.clear();
    if (width < 1)
        return;
    cover.runs.assign(static_cast<std::size_t>(width), RowRun{});
    cover.detached.clear();
    for (std::size_t k = 0; k + 5 < triangles.size(); k += 6) {
        const float* t = triangles.data() + k;
        const float left = std::min({t[0], t[2], t[4]});
        const float right = std::max({t[0], t[2], t[4]});
        // Columns whose centre lies within the triangle's extent.
        const int firstColumn = std::max(0, static_cast<int>(std::ceil(left - 0.5f)));
        const int lastColumn = std::min(width - 1, static_cast<int>(std::floor(right - 0.5f)));
        for (int column = firstColumn; column <= lastColumn; ++column) {
            float low = 0.0f;
            float high = 0.0f;
            if (!crossing(t, static_cast<float>(column) + 0.5f, low, high))
                continue;
            // The rows whose centre lies between the two crossings.
            const RowRun rows{static_cast<int>(std::ceil(low - 0.5f)), static_cast<int>(std::floor(high - 0.5f))};
            if (rows.first > rows.last)
                continue;
            RowRun& run = cover.runs[static_cast<std::size_t>(column)];
            if (run.first > run.last)
                run = rows;
            else if (touches(run, rows))
                run = {std::min(run.first, rows.first), std::max(run.last, rows.last)};
            else
                cover.detached.emplace_back(column, rows);
        }
    }
    for (int column = 0; column < width;) {
        const RowRun run = cover.runs[static_cast<std::size_t>(column)];
        int end = column + 1;
        while (end < width && cover.runs[static_cast<std::size_t>(end)].first == run.first &&
               cover.runs[static_cast<std::size_t>(end)].last == run.last)
            ++end;
        if (run.first <= run.last)
            emitRectangle(rectangles, static_cast<float>(column), static_cast<float>(run.first), static_cast<float>(end),
                          static_cast<float>(run.last + 1));
        column = end;
    }
    // A detached run may overlap others found later; drawing those pixels twice changes nothing.
    for (const auto& [column, rows] : cover.detached)
        emitRectangle(rectangles, static_cast<float>(column), static_cast<float>(rows.first),
                      static_cast<float>(column + 1), static_cast<float>(rows.last + 1));
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
