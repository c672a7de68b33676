#include "display/TraceStroke.h"

#include <cmath>

namespace {

struct Direction {
    float dx;
    float dy;
};

void emit(std::vector<float>& strip, float x, float y)
{
    strip.push_back(x);
    strip.push_back(y);
}

} // namespace

void buildStrokeStrip(const std::vector<TracePoint>& points, float penWidth, std::vector<float>& strip)
{
    strip.clear();
    const float half = penWidth * 0.5f;
    bool started = false;
    TracePoint from{};
    Direction last{};
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (i == 0) {
            from = points[0];
            continue;
        }
        const TracePoint to = points[i];
        const float length = std::hypot(to.x - from.x, to.y - from.y);
        if (!(length > 0.0f))
            continue;
        const Direction d{(to.x - from.x) / length, (to.y - from.y) / length};
        const float nx = -d.dy * half;
        const float ny = d.dx * half;
        // Square cap: the first segment starts half a pen width before its point.
        const float sx = started ? from.x : from.x - d.dx * half;
        const float sy = started ? from.y : from.y - d.dy * half;
        emit(strip, sx + nx, sy + ny);
        emit(strip, sx - nx, sy - ny);
        emit(strip, to.x + nx, to.y + ny);
        emit(strip, to.x - nx, to.y - ny);
        started = true;
        last = d;
        from = to;
    }
    if (!started)
        return;
    // Square cap at the end: stretch the last pair along the last direction.
    const std::size_t n = strip.size();
    for (std::size_t k = n - 4; k < n; k += 2) {
        strip[k] += last.dx * half;
        strip[k + 1] += last.dy * half;
    }
}
