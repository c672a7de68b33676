#include "demod/AudioBus.h"

#include <gtest/gtest.h>

#include <atomic>
#include <numeric>
#include <thread>
#include <vector>

namespace {

std::vector<float> ramp(size_t n, float start = 1.0f)
{
    std::vector<float> x(n);
    std::iota(x.begin(), x.end(), start);
    return x;
}

struct TwoSlotBus {
    AudioBus bus{2400};
    size_t left = bus.addSlot();
    size_t right = bus.addSlot();
};

} // namespace

TEST(AudioBus, SlotsAreIndexedInCreationOrder)
{
    TwoSlotBus b;
    EXPECT_EQ(b.left, 0u);
    EXPECT_EQ(b.right, 1u);
    EXPECT_EQ(b.bus.fill(0), 0.0);
}

TEST(AudioBus, OverflowDropsTheOldestAudio)
{
    TwoSlotBus b;
    const auto first = ramp(2000);
    const auto second = ramp(1000, 10000.0f);
    EXPECT_EQ(b.bus.write(b.left, first.data(), first.size()), 2000u);
    EXPECT_EQ(b.bus.write(b.left, second.data(), second.size()), 1000u);
    EXPECT_EQ(b.bus.fill(b.left), 1.0);
    std::vector<float> out(2400);
    EXPECT_EQ(b.bus.read(b.left, out.data(), out.size()), 2400u);
    EXPECT_EQ(out[0], 601.0f); // 600 old samples were dropped
    EXPECT_EQ(out[1399], 2000.0f);
    EXPECT_EQ(out[1400], 10000.0f);
    EXPECT_EQ(out[2399], 10999.0f);
}

TEST(AudioBus, ABlockLongerThanTheSlotKeepsItsFirstPart)
{
    TwoSlotBus b;
    const auto big = ramp(3000);
    EXPECT_EQ(b.bus.write(b.right, big.data(), big.size()), 2400u);
    EXPECT_EQ(b.bus.fill(b.right), 1.0);
    std::vector<float> out(2400);
    b.bus.read(b.right, out.data(), out.size());
    EXPECT_EQ(out.front(), 1.0f);
    EXPECT_EQ(out.back(), 2400.0f);
}

TEST(AudioBus, UnderrunPlaysSilenceAndKeepsTheReaderOnItsTimeline)
{
    TwoSlotBus b;
    std::vector<float> out(512, 5.0f);
    EXPECT_EQ(b.bus.read(b.left, out.data(), out.size()), 0u);
    for (float v : out)
        EXPECT_EQ(v, 0.0f);
    const auto data = ramp(600);
    b.bus.write(b.left, data.data(), data.size());
    EXPECT_NEAR(b.bus.fill(b.left), 88.0 / 2400.0, 1e-12); // the first 512 are never played
    EXPECT_EQ(b.bus.read(b.left, out.data(), 100), 88u);
    EXPECT_EQ(out[0], 513.0f);
    EXPECT_EQ(out[87], 600.0f);
    EXPECT_EQ(out[88], 0.0f);
}

TEST(AudioBus, FillClearAndUnknownSlots)
{
    TwoSlotBus b;
    const auto data = ramp(1200);
    b.bus.write(b.left, data.data(), data.size());
    b.bus.write(b.right, data.data(), 100);
    std::vector<float> out(600, 3.0f);
    b.bus.read(b.left, out.data(), out.size());
    EXPECT_DOUBLE_EQ(b.bus.fill(b.left), 0.25);

    EXPECT_EQ(b.bus.read(5, out.data(), out.size()), 0u);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(b.bus.write(5, data.data(), 10), 0u);
    EXPECT_EQ(b.bus.fill(5), 0.0);
    EXPECT_EQ(b.bus.write(b.left, nullptr, 10), 0u);

    b.bus.clear();
    EXPECT_EQ(b.bus.fill(b.left), 0.0);
    EXPECT_EQ(b.bus.fill(b.right), 0.0);
    std::fill(out.begin(), out.end(), 3.0f);
    EXPECT_EQ(b.bus.read(b.left, out.data(), 10), 0u);
    EXPECT_EQ(out[0], 0.0f);

    AudioBus empty(0);
    const size_t slot = empty.addSlot();
    EXPECT_EQ(empty.write(slot, data.data(), 10), 0u);
    EXPECT_EQ(empty.fill(slot), 0.0);
}

namespace {

// A producer thread writes the numbers 1, 2, 3, ... in blocks of 160 while the calling
// thread reads blocks of 128 and hands each real sample to check. When paced, the
// producer waits for room and the reader for data, so nothing is dropped.
template <typename Check>
size_t runProducerConsumer(bool paced, Check check)
{
    AudioBus bus(2400);
    const size_t slot = bus.addSlot();
    constexpr int kBlocks = 3000;
    std::atomic<bool> done{false};
    std::thread producer([&] {
        std::vector<float> block(160);
        float next = 1.0f;
        for (int b = 0; b < kBlocks; ++b) {
            while (paced && bus.fill(slot) > (2400.0 - 160.0) / 2400.0)
                std::this_thread::yield();
            for (float& v : block)
                v = next++;
            bus.write(slot, block.data(), block.size());
        }
        done.store(true);
    });
    std::vector<float> out(128);
    size_t seen = 0;
    while (!done.load() || bus.fill(slot) > 0.0) {
        if (bus.fill(slot) * 2400.0 < static_cast<double>(out.size()) && !done.load()) {
            std::this_thread::yield();
            continue;
        }
        const size_t got = bus.read(slot, out.data(), out.size());
        for (size_t k = 0; k < got; ++k)
            check(out[k]);
        seen += got;
    }
    producer.join();
    return seen;
}

} // namespace

TEST(AudioBus, ConcurrentReaderGetsEverySampleInOrderWhenPaced)
{
    float last = 0.0f;
    bool consecutive = true;
    const size_t seen = runProducerConsumer(true, [&](float v) {
        consecutive = consecutive && v == last + 1.0f;
        last = v;
    });
    EXPECT_TRUE(consecutive);
    EXPECT_EQ(seen, 3000u * 160u);
}

// Dropping old audio races with the reader by design; that may reorder or skip what
// plays, but every sample played must be one that was written.
TEST(AudioBus, ConcurrentOverflowPlaysOnlyWrittenSamples)
{
    bool valid = true;
    const size_t seen = runProducerConsumer(false, [&](float v) {
        valid = valid && v >= 1.0f && v <= 3000.0f * 160.0f && v == static_cast<float>(static_cast<int>(v));
    });
    EXPECT_TRUE(valid);
    EXPECT_GT(seen, 0u);
}

TEST(AudioBus, AnUnderrunMovesEveryWriterPastTheReaderInStep)
{
    TwoSlotBus b;
    const auto data = ramp(100);
    b.bus.write(b.left, data.data(), data.size());
    b.bus.write(b.right, data.data(), data.size());
    EXPECT_FALSE(b.bus.realignAfterUnderrun(b.left, 300)); // nothing played short yet
    EXPECT_EQ(b.bus.lastRequest(b.left), 0u);

    std::vector<float> out(612);
    EXPECT_EQ(b.bus.read(b.left, out.data(), out.size()), 100u); // 512 short
    EXPECT_EQ(b.bus.read(b.right, out.data(), out.size()), 100u);
    EXPECT_EQ(b.bus.lastRequest(b.left), 612u);
    ASSERT_TRUE(b.bus.realignAfterUnderrun(b.left, 300));
    EXPECT_NEAR(b.bus.fill(b.left), 300.0 / 2400.0, 1e-12);
    EXPECT_NEAR(b.bus.fill(b.right), 300.0 / 2400.0, 1e-12);

    // What is written now plays after the lead of silence, at the same place in both slots.
    const auto next = ramp(50, 1000.0f);
    b.bus.write(b.left, next.data(), next.size());
    b.bus.write(b.right, next.data(), next.size());
    for (size_t slot : {b.left, b.right}) {
        std::vector<float> played(350, 7.0f);
        EXPECT_EQ(b.bus.read(slot, played.data(), played.size()), 350u);
        EXPECT_EQ(played[0], 0.0f);
        EXPECT_EQ(played[299], 0.0f);
        EXPECT_EQ(played[300], 1000.0f);
        EXPECT_EQ(played[349], 1049.0f);
    }
    b.bus.clear();
    EXPECT_EQ(b.bus.lastRequest(b.left), 0u);
    EXPECT_FALSE(b.bus.realignAfterUnderrun(7, 300));
}

// A reader that keeps running short while the producer realigns and writes both slots:
// whatever plays, the two slots never slip against each other. The producer holds back
// while the bus is half full, as the channel's throttle does.
TEST(AudioBus, RealigningRacingTheReaderKeepsTheSlotsInStep)
{
    TwoSlotBus b;
    std::atomic<bool> done{false};
    std::thread producer([&] {
        std::vector<float> block(96);
        float next = 1.0f;
        for (int k = 0; k < 20000; ++k) {
            for (float& v : block)
                v = next++;
            while (b.bus.fill(b.left) > 0.5)
                std::this_thread::yield();
            b.bus.realignAfterUnderrun(b.left, 200);
            b.bus.write(b.left, block.data(), block.size());
            b.bus.write(b.right, block.data(), block.size());
            if (k % 8 == 0)
                std::this_thread::yield();
        }
        done.store(true);
    });
    std::vector<float> left(256), right(256);
    bool inStep = true;
    size_t compared = 0;
    while (!done.load()) {
        b.bus.read(b.left, left.data(), left.size());
        b.bus.read(b.right, right.data(), right.size());
        for (size_t k = 0; k < left.size(); ++k) {
            if (left[k] != 0.0f && right[k] != 0.0f) {
                inStep = inStep && left[k] == right[k];
                ++compared;
            }
        }
    }
    producer.join();
    EXPECT_TRUE(inStep);
    EXPECT_GT(compared, 0u);
}
