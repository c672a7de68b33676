#include "engine/WaterfallBuffer.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

TEST(WaterfallBuffer, LevelsMapToBytesOverMinus120To0)
{
    EXPECT_EQ(WaterfallBuffer::levelByte(3.0f), 255);
    EXPECT_EQ(WaterfallBuffer::levelByte(0.0f), 255);
    EXPECT_EQ(WaterfallBuffer::levelByte(-60.0f), 127);
    EXPECT_EQ(WaterfallBuffer::levelByte(-120.0f), 0);
    EXPECT_EQ(WaterfallBuffer::levelByte(-200.0f), 0);
    EXPECT_EQ(WaterfallBuffer::levelByte(std::numeric_limits<float>::quiet_NaN()), 0);
}

TEST(WaterfallBuffer, RingWrapsAndResetsOnGeometryChanges)
{
    WaterfallBuffer buffer;
    WaterfallBlock block;
    for (int row = 0; row < 400; ++row)
        buffer.addLine({static_cast<float>(-120 + row % 120), 0.0f}, 400);
    buffer.copyTo(block, 400, 1);
    EXPECT_EQ(block.width, 2);
    EXPECT_EQ(block.writeRow, 0);
    EXPECT_EQ(block.totalLines, 400u);
    EXPECT_EQ(block.paletteId, 1);
    ASSERT_EQ(block.bytes.size(), 800u);
    EXPECT_EQ(block.bytes[2 * 399], WaterfallBuffer::levelByte(-120.0f + 399 % 120));

    buffer.addLine({-60.0f, -60.0f}, 400);
    buffer.copyTo(block, 400, 0);
    EXPECT_EQ(block.writeRow, 1);
    EXPECT_EQ(block.bytes[0], 127);

    // One line: every row overwrites row 0, and the ring is rebuilt for the new count.
    buffer.addLine({0.0f, 0.0f}, 1);
    buffer.addLine({-60.0f, 0.0f}, 1);
    buffer.copyTo(block, 1, 0);
    EXPECT_EQ(block.writeRow, 0);
    EXPECT_EQ(block.totalLines, 403u);
    EXPECT_EQ(block.bytes, (std::vector<uint8_t>{127, 255}));

    // A new trace length clears every row.
    buffer.addLine({-60.0f, -60.0f, -60.0f}, 3);
    buffer.copyTo(block, 3, 0);
    EXPECT_EQ(block.bytes, (std::vector<uint8_t>{127, 127, 127, 0, 0, 0, 0, 0, 0}));
    buffer.addLine({}, 3);
    buffer.addLine({-60.0f}, 0);
    buffer.copyTo(block, 3, 0);
    EXPECT_EQ(block.totalLines, 404u);
}
