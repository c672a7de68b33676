// The cached waterfall and density images: what is copied, recoloured or kept between frames.
#include "display/DensityPicture.h"
#include "tests/display/EditPicture.h"
#include "display/Palettes.h"
#include "display/WaterfallImage.h"

#include <gtest/gtest.h>

namespace {

constexpr int kWidth = 4;
constexpr int kLines = 8;

// Ring rows filled with their own index plus `base`.
WaterfallBlock ring(uint8_t base)
{
    WaterfallBlock block;
    block.width = kWidth;
    block.lines = kLines;
    block.writeRow = 0;
    block.totalLines = kLines;
    std::vector<uint8_t>& bytes = editPicture(block.bytes);
    for (int r = 0; r < kLines; ++r)
        bytes.insert(bytes.end(), kWidth, static_cast<uint8_t>(base + r));
    return block;
}

void setRow(WaterfallBlock& block, int row, uint8_t value)
{
    std::fill_n(editPicture(block.bytes).begin() + row * block.width, block.width, value);
}

int pixelOfRow(const WaterfallImage& image, int row)
{
    return image.image().pixelIndex(kWidth - 1, row);
}

} // namespace

TEST(WaterfallImage, FirstBlockCopiesEveryRowAndBuildsTheTable)
{
    WaterfallImage image;
    WaterfallBlock block = ring(10);
    block.writeRow = 3;
    const WaterfallChange change = image.update(block, -120.0f, 0.0f);
    EXPECT_TRUE(change.usable);
    EXPECT_TRUE(change.recreated);
    EXPECT_TRUE(change.colourTableChanged);
    EXPECT_EQ(image.image().format(), QImage::Format_Indexed8);
    EXPECT_EQ(image.image().colorCount(), 256);
    EXPECT_EQ(image.writeRow(), 3);
    for (int r = 0; r < kLines; ++r)
        EXPECT_EQ(pixelOfRow(image, r), 10 + r);
    EXPECT_EQ(image.image().color(255), waterfallPaletteColour(0, 1.0f));
}

TEST(WaterfallImage, CopiesOnlyTheNewRows)
{
    WaterfallImage image;
    WaterfallBlock block = ring(10);
    block.writeRow = 5;
    image.update(block, -120.0f, 0.0f);

    // Row 5 is the new line; row 2 changed behind the ring's back and must not be copied.
    setRow(block, 5, 200);
    setRow(block, 2, 201);
    block.writeRow = 6;
    block.totalLines += 1;
    WaterfallChange change = image.update(block, -120.0f, 0.0f);
    EXPECT_FALSE(change.recreated);
    EXPECT_FALSE(change.colourTableChanged);
    EXPECT_EQ(change.rows.count, 1);
    EXPECT_EQ(pixelOfRow(image, 5), 200);
    EXPECT_EQ(pixelOfRow(image, 2), 12);

    // Three lines across the end of the ring: rows 6, 7 and 0.
    for (int r : {6, 7, 0})
        setRow(block, r, static_cast<uint8_t>(100 + r));
    setRow(block, 1, 250);
    block.writeRow = 1;
    block.totalLines += 3;
    change = image.update(block, -120.0f, 0.0f);
    EXPECT_EQ(change.rows.count, 3);
    EXPECT_EQ(pixelOfRow(image, 6), 106);
    EXPECT_EQ(pixelOfRow(image, 7), 107);
    EXPECT_EQ(pixelOfRow(image, 0), 100);
    EXPECT_EQ(pixelOfRow(image, 1), 11);

    // The same frame again copies nothing.
    setRow(block, 0, 9);
    EXPECT_EQ(image.update(block, -120.0f, 0.0f).rows.count, 0);
    EXPECT_EQ(pixelOfRow(image, 0), 100);
}

TEST(WaterfallImage, AClearEmptiesItAtOnceAndKeepsOnlyNewerLines)
{
    WaterfallImage image;
    WaterfallBlock block = ring(10);
    block.writeRow = 5;
    image.update(block, -120.0f, 0.0f, 0);

    // Cleared with nothing new in the ring (acquisition stopped): empty at once, and the copy
    // elsewhere must take it whole.
    WaterfallChange change = image.update(block, -120.0f, 0.0f, 1);
    EXPECT_TRUE(change.recreated);
    EXPECT_EQ(change.rows.count, 0);
    for (int r = 0; r < kLines; ++r)
        EXPECT_EQ(pixelOfRow(image, r), 0) << "row " << r;

    // The next line is the only one back; the ring's older rows stay out.
    setRow(block, 5, 77);
    block.writeRow = 6;
    block.totalLines += 1;
    change = image.update(block, -120.0f, 0.0f, 1);
    EXPECT_FALSE(change.recreated);
    EXPECT_EQ(pixelOfRow(image, 5), 77);
    EXPECT_EQ(pixelOfRow(image, 4), 0);

    // A full ring (1200 lines is no different from 8) clears just the same.
    image.update(block, -120.0f, 0.0f, 2);
    EXPECT_EQ(pixelOfRow(image, 5), 0);
}

TEST(WaterfallImage, OneLineRingFollowsTheTotal)
{
    WaterfallImage image;
    WaterfallBlock block;
    block.width = kWidth;
    block.lines = 1;
    block.totalLines = 1;
    editPicture(block.bytes).assign(kWidth, 5);
    image.update(block, -120.0f, 0.0f);

    editPicture(block.bytes).assign(kWidth, 6);
    block.totalLines = 2;
    image.update(block, -120.0f, 0.0f);
    EXPECT_EQ(pixelOfRow(image, 0), 6);

    editPicture(block.bytes).assign(kWidth, 7); // same total: not a new line
    image.update(block, -120.0f, 0.0f);
    EXPECT_EQ(pixelOfRow(image, 0), 6);
}

TEST(WaterfallImage, PaletteAndRangeChangesRecolourTheTableOnly)
{
    WaterfallImage image;
    WaterfallBlock block = ring(10);
    image.update(block, -120.0f, 0.0f);

    block.paletteId = 1;
    WaterfallChange change = image.update(block, -120.0f, 0.0f);
    EXPECT_TRUE(change.colourTableChanged);
    EXPECT_FALSE(change.recreated);
    EXPECT_EQ(change.rows.count, 0);
    EXPECT_EQ(image.image().color(0), waterfallPaletteColour(1, 0.0f));
    EXPECT_EQ(pixelOfRow(image, 4), 14);

    change = image.update(block, -60.0f, 0.0f);
    EXPECT_TRUE(change.colourTableChanged);
    EXPECT_EQ(image.image().color(127), waterfallPaletteColour(1, 0.0f));

    EXPECT_FALSE(image.update(block, -60.0f, 0.0f).colourTableChanged);
}

TEST(WaterfallImage, UnusableBlocksKeepTheImage)
{
    WaterfallImage image;
    WaterfallBlock block = ring(10);
    image.update(block, -120.0f, 0.0f);

    // Announces more lines than its bytes hold (a lines change not yet applied to the ring).
    WaterfallBlock longer = block;
    longer.lines = kLines + 1;
    EXPECT_FALSE(image.update(longer, -120.0f, 0.0f).usable);
    EXPECT_EQ(image.image().height(), kLines);
    EXPECT_FALSE(image.update(WaterfallBlock{}, -120.0f, 0.0f).usable);

    // A different size recreates the image; an out-of-range write row reads as 0.
    WaterfallBlock wider = block;
    wider.width = 2;
    wider.writeRow = 99;
    const WaterfallChange change = image.update(wider, -120.0f, 0.0f);
    EXPECT_TRUE(change.recreated);
    EXPECT_EQ(change.rows.count, 8);
    EXPECT_EQ(image.image().width(), 2);
    EXPECT_EQ(image.writeRow(), 0);
}

TEST(DensityPicture, HighestLevelOnTopAndEmptyCellsTransparent)
{
    DensityImage density;
    density.width = 32;
    density.height = 16;
    editPicture(density.bytes).assign(32 * 16, 0);
    editPicture(density.bytes)[15 * 32 + 0] = 255; // highest level, first column
    editPicture(density.bytes)[0 * 32 + 31] = 1;   // lowest level, last column

    DensityPicture picture;
    ASSERT_TRUE(picture.update(density, 0));
    const QImage& image = picture.image();
    EXPECT_EQ(image.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(image.pixel(0, 0), densityPixel(255, 0));
    EXPECT_EQ(image.pixel(31, 15), densityPixel(1, 0));
    EXPECT_EQ(image.pixel(5, 5), 0u);
    ASSERT_EQ(picture.visibleParts().size(), 1u); // both corners in one band of blocks
    EXPECT_EQ(picture.visibleParts()[0].width, 32);
}

TEST(DensityPicture, RebuiltOnlyWhenSampledBytesSizeOrPaletteChange)
{
    DensityImage density;
    density.width = 32;
    density.height = 16;
    editPicture(density.bytes).assign(32 * 16, 0); // 512 bytes: every 8th sampled
    DensityPicture picture;
    picture.update(density, 0);

    editPicture(density.bytes)[3] = 200; // not sampled: the cached picture stays
    picture.update(density, 0);
    EXPECT_EQ(picture.image().pixel(3, 15), 0u);

    editPicture(density.bytes)[8] = 200; // sampled
    picture.update(density, 0);
    EXPECT_EQ(picture.image().pixel(3, 15), densityPixel(200, 0));
    EXPECT_EQ(picture.image().pixel(8, 15), densityPixel(200, 0));

    picture.update(density, 2);
    EXPECT_EQ(picture.image().pixel(8, 15), densityPixel(200, 2));

    editPicture(density.bytes).resize(10); // fewer bytes than announced
    EXPECT_FALSE(picture.update(density, 2));
    EXPECT_TRUE(picture.image().isNull());
    EXPECT_TRUE(picture.visibleParts().empty());
}
