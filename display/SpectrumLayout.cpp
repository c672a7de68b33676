#include "display/SpectrumLayout.h"

#include <algorithm>
#include <cmath>

SpectrumLayout computeLayout(int width, int height, bool waterfallEnabled, double waterfallHeightRatio)
{
    SpectrumLayout layout;
    layout.width = width;
    layout.height = height;
    layout.waterfallHeight = waterfallEnabled ? static_cast<int>(height * waterfallHeightRatio) : 0;
    layout.spectrumHeight = std::max(1, height - layout.waterfallHeight);
    return layout;
}

std::array<int, 9> verticalGridLines(int width)
{
    std::array<int, 9> xs{};
    for (int k = 1; k <= 9; ++k)
        xs[k - 1] = width * k / 10;
    return xs;
}

std::array<int, display_settings::kLevelDivisions - 1> horizontalGridLines(int spectrumHeight)
{
    constexpr int divisions = display_settings::kLevelDivisions;
    std::array<int, divisions - 1> ys{};
    for (int k = 1; k < divisions; ++k)
        ys[k - 1] = spectrumHeight * k / divisions;
    return ys;
}

float traceLevelFraction(float levelDb, float minDb, float maxDb)
{
    const float c = (levelDb - minDb) / std::max(maxDb - minDb, 0.1f);
    return std::clamp(c, 0.0f, 1.0f);
}

ViewWindow clampViewWindow(double start, double stop, double minWidth)
{
    const double wanted = std::isfinite(stop - start) ? stop - start : 1.0;
    const double width = std::clamp(wanted, std::clamp(minWidth, 0.0, 1.0), 1.0);
    const double middle = std::isfinite(start + stop) ? (start + stop) / 2.0 : 0.5;
    const double first = std::clamp(middle - width / 2.0, 0.0, 1.0 - width);
    return {first, first + width};
}

float viewX(double fraction, const ViewWindow& view, int width)
{
    return static_cast<float>(width * (fraction - view.start) / std::max(view.stop - view.start, 1e-9));
}

IndexRange visibleTraceRange(std::size_t n, const ViewWindow& view)
{
    if (n == 0)
        return {};
    const double last = static_cast<double>(n - 1);
    const auto first = static_cast<std::size_t>(std::max(0.0, std::floor(view.start * last)));
    const auto end = static_cast<std::size_t>(std::min(last, std::ceil(view.stop * last)));
    return {std::min(first, n - 1), std::max(end, std::min(first, n - 1))};
}

TracePoint tracePoint(std::size_t i, std::size_t n, float levelDb, float minDb, float maxDb, int width,
                      int spectrumHeight, const ViewWindow& view)
{
    const double denominator = static_cast<double>(std::max<std::size_t>(1, n - 1));
    const float c = traceLevelFraction(levelDb, minDb, maxDb);
    return {viewX(static_cast<double>(i) / denominator, view, width), static_cast<float>(spectrumHeight) * (1.0f - c)};
}

float framebufferNdcY(float screenY, int height)
{
    return 1.0f - 2.0f * screenY / static_cast<float>(std::max(1, height));
}
