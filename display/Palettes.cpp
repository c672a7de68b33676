#include "display/Palettes.h"

#include "display/DensityBytes.h"
#include "display/DisplaySettingTable.h"
#include "display/WaterfallRows.h"
#include "engine/SpectrumSettingTable.h"

#include <QColor>

#include <algorithm>
#include <array>

namespace {

struct Stop {
    float r;
    float g;
    float b;
};

QRgb interpolate(const Stop& a, const Stop& b, float t)
{
    return qRgb(static_cast<int>(a.r + (b.r - a.r) * t), static_cast<int>(a.g + (b.g - a.g) * t),
                static_cast<int>(a.b + (b.b - a.b) * t));
}

QRgb twoSegmentPalette(const Stop& low, const Stop& mid, const Stop& high, float split, float v)
{
    if (v < split)
        return interpolate(low, mid, v / split);
    return interpolate(mid, high, (v - split) / (1.0f - split));
}

constexpr std::array<Stop, 9> kInferno{{{0, 0, 4},
                                        {31, 12, 72},
                                        {85, 15, 109},
                                        {136, 34, 106},
                                        {186, 54, 85},
                                        {227, 89, 51},
                                        {249, 140, 10},
                                        {252, 195, 30},
                                        {252, 255, 164}}};

QRgb inferno(float v)
{
    const float x = 8.0f * v;
    const int k = std::clamp(static_cast<int>(x), 0, 7);
    return interpolate(kInferno[k], kInferno[k + 1], x - static_cast<float>(k));
}

float polynomial(float v, float c0, float c1, float c2, float c3, float c4, float c5)
{
    const float v2 = v * v;
    const float v3 = v2 * v;
    const float v4 = v3 * v;
    const float v5 = v4 * v;
    return std::clamp(c0 + c1 * v + c2 * v2 + c3 * v3 + c4 * v4 + c5 * v5, 0.0f, 1.0f);
}

QRgb turbo(float v)
{
    const float r = polynomial(v, 0.13572139f, 4.6153927f, -42.660324f, 132.13109f, -152.9424f, 59.28638f);
    const float g = polynomial(v, 0.09140261f, 2.1941884f, 4.8429666f, -14.185034f, 4.2772985f, 2.829566f);
    const float b = polynomial(v, 0.1066733f, 12.641946f, -38.71233f, 47.513912f, -18.00806f, 1.3823668f);
    return QColor::fromRgbF(r, g, b, 1.0f).rgba();
}

} // namespace

QRgb densityPaletteColour(int palette, float v)
{
    v = std::clamp(v, 0.0f, 1.0f);
    switch (static_cast<DensityPalette>(palette)) {
    case DensityPalette::Rainbow:
        return QColor::fromHsvF((1.0f - v) * 0.72f, 1.0f, 1.0f, 1.0f).rgba();
    case DensityPalette::Amber:
        return twoSegmentPalette({20, 10, 0}, {120, 72, 0}, {255, 210, 110}, 0.55f, v);
    case DensityPalette::Classic:
        break;
    }
    // Classic, and whatever palette number is not known.
    return twoSegmentPalette({20, 36, 120}, {40, 120, 220}, {240, 40, 40}, 0.5f, v);
}

QRgb waterfallPaletteColour(int palette, float v)
{
    v = std::clamp(v, 0.0f, 1.0f);
    return static_cast<WaterfallPalette>(palette) == WaterfallPalette::Inferno ? inferno(v) : turbo(v);
}

QList<QRgb> buildWaterfallColourTable(int palette, float blockMinDb, float blockMaxDb, float colourMinDb,
                                      float colourMaxDb)
{
    QList<QRgb> table(256);
    for (int i = 0; i < 256; ++i)
        table[i] = waterfallPaletteColour(
            palette, waterfallColourInput(i, blockMinDb, blockMaxDb, colourMinDb, colourMaxDb));
    return table;
}

QRgb densityPixel(uint8_t t, int palette)
{
    if (t == 0)
        return 0;
    const QRgb colour = densityPaletteColour(palette, densityColourInput(t));
    return (static_cast<QRgb>(densityAlpha(t)) << 24) | (colour & 0x00FFFFFFu);
}

std::array<QRgb, 256> densityColourTable(int palette)
{
    std::array<QRgb, 256> table{};
    for (int t = 0; t < 256; ++t)
        table[static_cast<std::size_t>(t)] = densityPixel(static_cast<uint8_t>(t), palette);
    return table;
}
