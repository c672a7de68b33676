// Palette colours, the waterfall colour table and density pixels.
#include "display/Palettes.h"

#include <gtest/gtest.h>

namespace {

::testing::AssertionResult colourIs(QRgb actual, int r, int g, int b, int tolerance = 0)
{
    if (std::abs(qRed(actual) - r) <= tolerance && std::abs(qGreen(actual) - g) <= tolerance &&
        std::abs(qBlue(actual) - b) <= tolerance && qAlpha(actual) == 255)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << qRed(actual) << ", " << qGreen(actual) << ", "
                                         << qBlue(actual) << ", alpha " << qAlpha(actual) << ")";
}

} // namespace

TEST(DensityPalette, ClassicStops)
{
    EXPECT_TRUE(colourIs(densityPaletteColour(0, 0.0f), 20, 36, 120));
    EXPECT_TRUE(colourIs(densityPaletteColour(0, 0.25f), 30, 78, 170));
    EXPECT_TRUE(colourIs(densityPaletteColour(0, 0.5f), 40, 120, 220));
    EXPECT_TRUE(colourIs(densityPaletteColour(0, 0.75f), 140, 80, 130));
    EXPECT_TRUE(colourIs(densityPaletteColour(0, 1.0f), 240, 40, 40));
    EXPECT_TRUE(colourIs(densityPaletteColour(0, -3.0f), 20, 36, 120));
    EXPECT_TRUE(colourIs(densityPaletteColour(0, 7.0f), 240, 40, 40));
}

TEST(DensityPalette, RainbowHue)
{
    // Hue 0.72 of the circle (259.2 degrees) at 0, red at 1, hue 0.36 (129.6 degrees) half way.
    EXPECT_TRUE(colourIs(densityPaletteColour(1, 0.0f), 82, 0, 255, 1));
    EXPECT_TRUE(colourIs(densityPaletteColour(1, 0.5f), 0, 255, 41, 1));
    EXPECT_TRUE(colourIs(densityPaletteColour(1, 1.0f), 255, 0, 0));
}

TEST(DensityPalette, AmberStops)
{
    EXPECT_TRUE(colourIs(densityPaletteColour(2, 0.0f), 20, 10, 0));
    EXPECT_TRUE(colourIs(densityPaletteColour(2, 0.55f), 120, 72, 0));
    EXPECT_TRUE(colourIs(densityPaletteColour(2, 1.0f), 255, 210, 110));
    EXPECT_TRUE(colourIs(densityPaletteColour(2, 0.275f), 70, 41, 0, 1));
    EXPECT_TRUE(colourIs(densityPaletteColour(2, 0.775f), 187, 141, 55, 1));
}

TEST(WaterfallPalette, InfernoStops)
{
    EXPECT_TRUE(colourIs(waterfallPaletteColour(1, 0.0f), 0, 0, 4));
    EXPECT_TRUE(colourIs(waterfallPaletteColour(1, 0.0625f), 15, 6, 38));
    EXPECT_TRUE(colourIs(waterfallPaletteColour(1, 0.5f), 186, 54, 85));
    EXPECT_TRUE(colourIs(waterfallPaletteColour(1, 1.0f), 252, 255, 164));
    EXPECT_TRUE(colourIs(waterfallPaletteColour(1, 2.0f), 252, 255, 164));
}

TEST(WaterfallPalette, TurboPolynomials)
{
    // Evaluated independently in double precision.
    EXPECT_TRUE(colourIs(waterfallPaletteColour(0, 0.0f), 34, 23, 27, 1));
    EXPECT_TRUE(colourIs(waterfallPaletteColour(0, 0.25f), 37, 189, 255, 1));
    EXPECT_TRUE(colourIs(waterfallPaletteColour(0, 0.5f), 150, 251, 255, 1));
    EXPECT_TRUE(colourIs(waterfallPaletteColour(0, 0.75f), 255, 128, 255, 1));
    EXPECT_TRUE(colourIs(waterfallPaletteColour(0, 1.0f), 144, 12, 255, 1));
    // Anything but 1 is this palette.
    EXPECT_EQ(waterfallPaletteColour(5, 0.5f), waterfallPaletteColour(0, 0.5f));
    EXPECT_EQ(waterfallPaletteColour(0, -1.0f), waterfallPaletteColour(0, 0.0f));
}

TEST(WaterfallColourTable, RemapsBytesIntoTheColourRange)
{
    const QList<QRgb> full = buildWaterfallColourTable(1, -120.0f, 0.0f, -120.0f, 0.0f);
    ASSERT_EQ(full.size(), 256);
    EXPECT_EQ(full[0], waterfallPaletteColour(1, 0.0f));
    EXPECT_EQ(full[255], waterfallPaletteColour(1, 1.0f));

    // Colour range -60...0: everything at -60 dB or below gets the bottom colour.
    const QList<QRgb> upper = buildWaterfallColourTable(1, -120.0f, 0.0f, -60.0f, 0.0f);
    for (int i = 0; i <= 127; ++i)
        EXPECT_EQ(upper[i], waterfallPaletteColour(1, 0.0f)) << i;
    EXPECT_NE(upper[129], waterfallPaletteColour(1, 0.0f));
    EXPECT_EQ(upper[255], waterfallPaletteColour(1, 1.0f));

    // A colour span under 1 dB is widened to 1 dB: only three bytes fall inside it.
    const QList<QRgb> narrow = buildWaterfallColourTable(1, -120.0f, 0.0f, -60.0f, -59.9f);
    EXPECT_EQ(narrow[127], waterfallPaletteColour(1, 0.0f));
    const QRgb quarter = waterfallPaletteColour(1, 0.2353f);
    const QRgb threeQuarters = waterfallPaletteColour(1, 0.7059f);
    EXPECT_TRUE(colourIs(narrow[128], qRed(quarter), qGreen(quarter), qBlue(quarter), 1));
    EXPECT_TRUE(colourIs(narrow[129], qRed(threeQuarters), qGreen(threeQuarters), qBlue(threeQuarters), 1));
    EXPECT_EQ(narrow[130], waterfallPaletteColour(1, 1.0f));
}

TEST(DensityPixel, TransparentEmptyCellsAndClampedAlpha)
{
    EXPECT_EQ(densityPixel(0, 0), 0u);
    EXPECT_EQ(densityPixel(0, 2), 0u);

    const QRgb faint = densityPixel(1, 0);
    EXPECT_EQ(qAlpha(faint), 18);
    EXPECT_EQ(faint & 0xFFFFFFu, densityPaletteColour(0, 0.013270847f) & 0xFFFFFFu);

    // Full strength: colour stored unscaled by its alpha of 235.
    const QRgb full = densityPixel(255, 0);
    EXPECT_EQ(qAlpha(full), 235);
    EXPECT_EQ(qRed(full), 240);
    EXPECT_EQ(qGreen(full), 40);
    EXPECT_EQ(qBlue(full), 40);
}
