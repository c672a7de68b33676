#include "display/SpectrumLayout.h"

#include <algorithm>

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

std::array<int, 5> horizontalGridLines(int spectrumHeight)
{
    std::array<int, 5> ys{};
    for (int k = 1; k <= 5; ++k)
        ys[k - 1] = spectrumHeight * k / 6;
    return ys;
}

float traceLevelFraction(float levelDb, float minDb, float maxDb)
{
    const float c = (levelDb - minDb) / std::max(maxDb - minDb, 0.1f);
    return std::clamp(c, 0.0f, 1.0f);
}

TracePoint tracePoint(std::size_t i, std::size_t n, float levelDb, float minDb, float maxDb, int width,
                      int spectrumHeight)
{
    const float denominator = static_cast<float>(std::max<std::size_t>(1, n - 1));
    const float c = traceLevelFraction(levelDb, minDb, maxDb);
    return {static_cast<float>(width) * static_cast<float>(i) / denominator,
            static_cast<float>(spectrumHeight) * (1.0f - c)};
}

float framebufferNdcY(float screenY, int height)
{
    return 2.0f * screenY / static_cast<float>(std::max(1, height)) - 1.0f;
}
