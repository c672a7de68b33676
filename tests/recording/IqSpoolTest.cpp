#include "recording/IqSpool.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <thread>
#include <vector>

namespace {

constexpr std::size_t kSample = 4;

// Samples numbered from `first`: sample k holds k as a little-endian 32-bit word.
std::vector<uint8_t> numbered(uint32_t first, std::size_t samples)
{
    std::vector<uint8_t> bytes(samples * kSample);
    for (std::size_t i = 0; i < samples; ++i) {
        const uint32_t k = first + static_cast<uint32_t>(i);
        std::memcpy(bytes.data() + i * kSample, &k, kSample);
    }
    return bytes;
}

// Takes everything readable, as the writer would.
std::vector<uint8_t> drain(IqSpool& spool)
{
    std::vector<uint8_t> out;
    for (std::span<const uint8_t> span = spool.readable(); !span.empty(); span = spool.readable()) {
        out.insert(out.end(), span.begin(), span.end());
        spool.release(span.size());
    }
    return out;
}

} // namespace

TEST(IqSpoolTest, ConsumerGetsEverySampleInOrderAcrossManyWraps)
{
    // A producer pushing blocks of changing sizes, a consumer taking what it finds in pieces of
    // its own: what comes out is what went in, byte for byte, and nothing is dropped while the
    // producer waits for room as the test's does.
    IqSpool spool(64 * 1024 + 12, kSample, 16);
    constexpr uint32_t kSamples = 3'000'000;
    std::thread producer([&] {
        std::mt19937 random(7);
        uint32_t next = 0;
        while (next < kSamples) {
            const uint32_t samples = std::min<uint32_t>(1 + random() % 3000, kSamples - next);
            const std::vector<uint8_t> block = numbered(next, samples);
            while (spool.capacity() - spool.fill() < block.size())
                std::this_thread::yield();
            spool.push(block.data(), block.size());
            next += samples;
        }
    });
    std::vector<uint8_t> out;
    out.reserve(std::size_t{kSamples} * kSample);
    std::mt19937 random(11);
    while (out.size() < std::size_t{kSamples} * kSample) {
        const std::span<const uint8_t> span = spool.readable();
        const std::size_t take = std::min<std::size_t>(span.size(), 1 + random() % 20000);
        out.insert(out.end(), span.begin(), span.begin() + static_cast<std::ptrdiff_t>(take));
        spool.release(take);
    }
    producer.join();
    EXPECT_EQ(spool.droppedSamples(), 0u);
    EXPECT_EQ(spool.markDue(), nullptr);
    EXPECT_TRUE(out == numbered(0, kSamples));
    EXPECT_LE(spool.highestFillBytes(), spool.capacity());
}

TEST(IqSpoolTest, BlocksThatDoNotFitAreCountedAndTheNextOneStatesTheGap)
{
    IqSpool spool(10 * kSample, kSample, 4);
    const auto first = numbered(0, 8);
    spool.push(first.data(), first.size());
    const auto tooBig = numbered(8, 3);  // 3 more do not fit in the 2 left
    spool.push(tooBig.data(), tooBig.size());
    EXPECT_EQ(spool.droppedSamples(), 3u);
    EXPECT_EQ(spool.highestFillBytes(), 8 * kSample);
    EXPECT_TRUE(drain(spool) == first);
    EXPECT_EQ(spool.markDue(), nullptr);

    const auto after = numbered(11, 5);
    spool.push(after.data(), after.size());
    const SpoolMark* gap = spool.markDue();
    ASSERT_NE(gap, nullptr);
    EXPECT_EQ(gap->fileSample, 8u);
    EXPECT_EQ(gap->lostBefore, 3u);
    EXPECT_FALSE(gap->retuned);
    // Nothing after the mark is readable before the mark is taken.
    EXPECT_TRUE(spool.readable().empty());
    spool.popMark();
    EXPECT_TRUE(drain(spool) == after);
    EXPECT_TRUE(spool.empty());
}

TEST(IqSpoolTest, ReceiverLossesAndRetunesBecomeMarksAtTheirSample)
{
    IqSpool spool(1024, kSample, 2);
    const auto a = numbered(0, 10);
    spool.push(a.data(), a.size());
    spool.noteLost(100);
    spool.noteLost(5);
    const auto b = numbered(115, 10);
    spool.push(b.data(), b.size());
    spool.noteLost(7);
    ASSERT_TRUE(spool.pushRetune(101'700'000, 1234));
    // The marks are full: the next loss cannot be stated, so its block is lost with it and the
    // loss waits for room.
    spool.noteLost(1);
    const auto c = numbered(200, 10);
    spool.push(c.data(), c.size());
    EXPECT_EQ(spool.droppedSamples(), 10u);

    EXPECT_TRUE(drain(spool) == a);
    const SpoolMark* loss = spool.markDue();
    ASSERT_NE(loss, nullptr);
    EXPECT_EQ(loss->fileSample, 10u);
    EXPECT_EQ(loss->lostBefore, 105u);
    spool.popMark();
    EXPECT_TRUE(drain(spool) == b);
    const SpoolMark* retune = spool.markDue();
    ASSERT_NE(retune, nullptr);
    EXPECT_EQ(retune->fileSample, 20u);
    EXPECT_EQ(retune->lostBefore, 7u);
    EXPECT_TRUE(retune->retuned);
    EXPECT_EQ(retune->centerHz, 101'700'000u);
    EXPECT_EQ(retune->utcMicros, 1234);
    spool.popMark();
    EXPECT_TRUE(spool.empty());

    const auto d = numbered(210, 4);
    spool.push(d.data(), d.size());
    const SpoolMark* late = spool.markDue();
    ASSERT_NE(late, nullptr);
    EXPECT_EQ(late->fileSample, 20u);
    EXPECT_EQ(late->lostBefore, 11u);
}
