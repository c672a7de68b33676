#include "engine/WaterfallBuffer.h"

#include <gtest/gtest.h>

#include <deque>
#include <limits>
#include <random>
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
    buffer.publish(block, 400, 1);
    EXPECT_EQ(block.width, 2);
    EXPECT_EQ(block.writeRow, 0);
    EXPECT_EQ(block.totalLines, 400u);
    EXPECT_EQ(block.paletteId, 1);
    ASSERT_EQ(block.bytes->size(), 800u);
    EXPECT_EQ((*block.bytes)[2 * 399], WaterfallBuffer::levelByte(-120.0f + 399 % 120));

    buffer.addLine({-60.0f, -60.0f}, 400);
    buffer.publish(block, 400, 0);
    EXPECT_EQ(block.writeRow, 1);
    EXPECT_EQ((*block.bytes)[0], 127);

    // One line: every row overwrites row 0, and the ring is rebuilt for the new count.
    buffer.addLine({0.0f, 0.0f}, 1);
    buffer.addLine({-60.0f, 0.0f}, 1);
    buffer.publish(block, 1, 0);
    EXPECT_EQ(block.writeRow, 0);
    EXPECT_EQ(block.totalLines, 403u);
    EXPECT_EQ(*block.bytes, (std::vector<uint8_t>{127, 255}));

    // A new trace length clears every row.
    buffer.addLine({-60.0f, -60.0f, -60.0f}, 3);
    buffer.publish(block, 3, 0);
    EXPECT_EQ(*block.bytes, (std::vector<uint8_t>{127, 127, 127, 0, 0, 0, 0, 0, 0}));
    buffer.addLine({}, 3);
    buffer.addLine({-60.0f}, 0);
    buffer.publish(block, 3, 0);
    EXPECT_EQ(block.totalLines, 404u);
}

// The ring as the display must see it: every published picture equals a plain copy of the ring
// at its publication and never changes afterwards, while pictures are recycled and refreshed
// with only the rows that changed.
TEST(WaterfallBuffer, PublishedPicturesAreSnapshotsThatNeverChange)
{
    WaterfallBuffer buffer;
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> level(-130.0f, 5.0f);
    std::vector<uint8_t> reference;
    int width = 4;
    int lines = 6;
    int writeRow = 0;
    std::deque<std::pair<WaterfallBlock, std::vector<uint8_t>>> held;

    for (int round = 0; round < 400; ++round) {
        if (round % 97 == 96) {
            width = 3 + round % 5;
            lines = 2 + round % 7;
        }
        const int added = static_cast<int>(rng() % 9); // sometimes more than a whole turn
        for (int i = 0; i < added; ++i) {
            std::vector<float> trace(static_cast<std::size_t>(width));
            for (float& v : trace)
                v = level(rng);
            if (reference.size() != static_cast<std::size_t>(width * lines)) {
                reference.assign(static_cast<std::size_t>(width * lines), 0);
                writeRow = 0;
            }
            for (int j = 0; j < width; ++j)
                reference[static_cast<std::size_t>(writeRow * width + j)] = WaterfallBuffer::levelByte(trace[j]);
            writeRow = (writeRow + 1) % lines;
            buffer.addLine(trace, lines);
        }
        WaterfallBlock block;
        buffer.publish(block, lines, 0);
        ASSERT_EQ(*block.bytes, reference) << "round " << round;
        ASSERT_EQ(block.writeRow, writeRow);
        held.emplace_back(block, reference);
        // The display lets go of pictures in an irregular order.
        if (held.size() > 3 || rng() % 2 == 0) {
            const auto victim = held.begin() + static_cast<std::ptrdiff_t>(rng() % held.size());
            held.erase(victim);
        }
        for (const auto& [kept, expected] : held)
            ASSERT_EQ(*kept.bytes, expected) << "a held picture changed in round " << round;
    }
}
