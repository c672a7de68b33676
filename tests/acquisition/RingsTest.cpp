#include "acquisition/DemodRing.h"
#include "acquisition/FftRing.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <numeric>
#include <thread>
#include <vector>

namespace {

std::vector<uint8_t> iota(std::size_t n, uint8_t first = 0)
{
    std::vector<uint8_t> v(n);
    std::iota(v.begin(), v.end(), first);
    return v;
}

// The byte at stream position k; a 251-periodic pattern so that misplaced or repeated
// chunks of any power-of-two size show up.
uint8_t streamByte(uint64_t k)
{
    return static_cast<uint8_t>((k * 7 + k / 251) % 251);
}

} // namespace

TEST(FftRing, KeepsOneByteFreeAndWritesWhatFits)
{
    FftRing ring(16);
    const auto data = iota(32);
    EXPECT_EQ(ring.write(data.data(), 15), 15u);
    EXPECT_EQ(ring.available(), 15u);
    EXPECT_EQ(ring.write(data.data(), 1), 0u);

    uint8_t out[16] = {};
    EXPECT_EQ(ring.read(out, 9), 9u);
    // 6 bytes stored, 9 free: a 10-byte block loses its last byte.
    EXPECT_EQ(ring.write(data.data(), 10), 9u);
    EXPECT_EQ(ring.available(), 15u);
}

TEST(FftRing, PartialWriteIntoSixFreeBytes)
{
    FftRing ring(11);
    const auto data = iota(10);
    ASSERT_EQ(ring.write(data.data(), 4), 4u); // 10 usable, 6 left
    EXPECT_EQ(ring.write(data.data(), 10), 6u);
    uint8_t out[10];
    ASSERT_EQ(ring.read(out, 10), 10u);
    EXPECT_EQ(std::memcmp(out, data.data(), 4), 0);
    EXPECT_EQ(std::memcmp(out + 4, data.data(), 6), 0);
}

TEST(FftRing, WrapAroundReadsBackInOrderAndEmptyReadsNothing)
{
    FftRing ring(10);
    uint8_t out[10];
    EXPECT_EQ(ring.read(out, 10), 0u);
    const auto first = iota(7);
    ASSERT_EQ(ring.write(first.data(), 7), 7u);
    ASSERT_EQ(ring.read(out, 7), 7u);
    const auto second = iota(8, 100); // crosses the end of the buffer
    ASSERT_EQ(ring.write(second.data(), 8), 8u);
    EXPECT_EQ(ring.available(), 8u);
    ASSERT_EQ(ring.read(out, 10), 8u);
    EXPECT_EQ(std::memcmp(out, second.data(), 8), 0);
    EXPECT_EQ(ring.read(out, 10), 0u);
}

// The spectrum thread windows blocks where they lie: a block across the buffer's end comes in
// two pieces in stream order, and looking leaves it in until it is consumed.
TEST(FftRing, PeekShowsTheOldestBytesInPlaceAcrossTheEndAndConsumeTakesThemOut)
{
    FftRing ring(12);
    std::vector<uint8_t> seen;
    const auto look = [&](std::size_t length) {
        seen.clear();
        return ring.peek(length, [&](const uint8_t* first, std::size_t firstLength, const uint8_t* second,
                                     std::size_t secondLength) {
            seen.assign(first, first + firstLength);
            seen.insert(seen.end(), second, second + secondLength);
        });
    };
    const auto data = iota(8);
    ASSERT_EQ(ring.write(data.data(), 8), 8u);
    EXPECT_FALSE(look(9));
    EXPECT_TRUE(seen.empty());
    ASSERT_TRUE(look(8));
    EXPECT_EQ(seen, data);
    EXPECT_EQ(ring.available(), 8u);

    EXPECT_EQ(ring.consume(6), 6u);
    const auto more = iota(8, 100);
    ASSERT_EQ(ring.write(more.data(), 8), 8u);
    ASSERT_TRUE(look(10));
    EXPECT_EQ(seen, (std::vector<uint8_t>{6, 7, 100, 101, 102, 103, 104, 105, 106, 107}));
    EXPECT_EQ(ring.consume(4), 4u);
    ASSERT_TRUE(look(6));
    EXPECT_EQ(seen, (std::vector<uint8_t>{102, 103, 104, 105, 106, 107}));
    EXPECT_EQ(ring.consume(100), 6u);
    EXPECT_FALSE(look(1));
}

TEST(FftRing, ResetEmptiesTheRing)
{
    FftRing ring(64);
    const auto data = iota(40);
    ring.write(data.data(), 40);
    ring.reset();
    EXPECT_EQ(ring.available(), 0u);
    uint8_t out[8];
    EXPECT_EQ(ring.read(out, 8), 0u);
    const auto more = iota(63);
    EXPECT_EQ(ring.write(more.data(), 63), 63u);
}

TEST(FftRing, CapacityRuleForAnAcquisitionRun)
{
    EXPECT_EQ(FftRing::capacityFor(4096, 2048 * 4, 2e6), 4'194'304u);
    // Large transfers win over the 4 MiB floor.
    EXPECT_EQ(FftRing::capacityFor(65536, 2048 * 4, 2e6), 65536u * 256);
    // A frame that does not divide the capacity: 16 frames, trimmed to whole frames.
    EXPECT_EQ(FftRing::capacityFor(4096, 3000 * 4, 2e6), 4'188'000u);
    // Huge frames: at least 16 of them.
    EXPECT_EQ(FftRing::capacityFor(4096, 1'000'000, 2e6), 16'000'000u);
    EXPECT_EQ(FftRing::capacityFor(4096, 0, 0.0), 4'194'304u);
    // High rates: half a second of signal in whole frames (60 MB at 30 MS/s, where 4 MiB would
    // be 35 ms).
    EXPECT_EQ(FftRing::capacityFor(4096, 4096 * 4, 30e6), 59'998'208u);
    EXPECT_EQ(FftRing::capacityFor(4096, 0, 20e6), 40'000'000u);
}

TEST(DemodRing, RefusesABlockThatDoesNotFitWholeAndCountsIt)
{
    DemodRing ring(16);
    const auto data = iota(16);
    ASSERT_EQ(ring.write(data.data(), 10), 10u);
    EXPECT_EQ(ring.write(data.data(), 6), 0u);
    EXPECT_EQ(ring.overflowCount(), 1u);
    EXPECT_EQ(ring.droppedBytes(), 6u);
    EXPECT_EQ(ring.available(), 10u);
    EXPECT_EQ(ring.totalWritten(), 10u);
    uint8_t out[16];
    ASSERT_EQ(ring.read(out, 16), 10u);
    EXPECT_EQ(std::memcmp(out, data.data(), 10), 0);
    EXPECT_EQ(ring.totalRead(), 10u);
    EXPECT_DOUBLE_EQ(ring.fillRatio(), 0.0);
}

TEST(DemodRing, WrapAroundNullAndZeroLengthAndReset)
{
    DemodRing ring(10);
    uint8_t out[10];
    const auto data = iota(9, 50);
    EXPECT_EQ(ring.write(nullptr, 4), 0u);
    EXPECT_EQ(ring.write(data.data(), 0), 0u);
    EXPECT_EQ(ring.read(nullptr, 4), 0u);
    EXPECT_EQ(ring.read(out, 0), 0u);
    EXPECT_EQ(ring.overflowCount(), 0u);
    EXPECT_EQ(ring.totalWritten(), 0u);

    ASSERT_EQ(ring.write(data.data(), 6), 6u);
    ASSERT_EQ(ring.read(out, 6), 6u);
    ASSERT_EQ(ring.write(data.data(), 9), 9u); // wraps
    EXPECT_DOUBLE_EQ(ring.fillRatio(), 0.9);
    ASSERT_EQ(ring.read(out, 10), 9u);
    EXPECT_EQ(std::memcmp(out, data.data(), 9), 0);

    ASSERT_EQ(ring.write(data.data(), 5), 5u);
    ring.reset();
    EXPECT_EQ(ring.available(), 0u);
    EXPECT_EQ(ring.totalWritten(), 20u);
    EXPECT_EQ(ring.totalRead(), 15u);
}

TEST(DemodRing, ZeroCapacityAcceptsNothing)
{
    DemodRing ring(0);
    const auto data = iota(4);
    uint8_t out[4];
    EXPECT_EQ(ring.write(data.data(), 4), 0u);
    EXPECT_EQ(ring.read(out, 4), 0u);
    EXPECT_DOUBLE_EQ(ring.fillRatio(), 0.0);
}

TEST(DemodRing, DiscardDropsTheOldestBytesAndReadingGoesOnAfterThem)
{
    DemodRing ring(16);
    const auto data = iota(12);
    ASSERT_EQ(ring.write(data.data(), 12), 12u);
    uint8_t out[12];
    ASSERT_EQ(ring.read(out, 8), 8u);
    ASSERT_EQ(ring.write(data.data(), 8), 8u); // wraps
    EXPECT_EQ(ring.discard(6), 6u);
    EXPECT_EQ(ring.available(), 6u);
    ASSERT_EQ(ring.read(out, 12), 6u);
    EXPECT_EQ(out[0], data[2]);
    EXPECT_EQ(out[5], data[7]);
    EXPECT_EQ(ring.discard(4), 0u);
    EXPECT_EQ(ring.read(nullptr, 4), 0u);
}

// Two threads push a long stream through a ring in odd-sized chunks; every accepted byte must
// arrive exactly once and in order.
template <typename Ring>
void streamThrough(Ring& ring, uint64_t totalBytes)
{
    std::thread producer([&] {
        std::vector<uint8_t> chunk(70'001);
        uint64_t sent = 0;
        std::size_t size = 1;
        while (sent < totalBytes) {
            size = (size * 31 + 17) % chunk.size() + 1;
            const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(size, totalBytes - sent));
            for (std::size_t i = 0; i < n; ++i)
                chunk[i] = streamByte(sent + i);
            const std::size_t accepted = ring.write(chunk.data(), n);
            sent += accepted;
            if (accepted == 0)
                std::this_thread::yield();
        }
    });

    std::vector<uint8_t> chunk(50'003);
    uint64_t received = 0;
    uint64_t mismatches = 0;
    std::size_t size = 3;
    while (received < totalBytes) {
        size = (size * 17 + 5) % chunk.size() + 1;
        const std::size_t got = ring.read(chunk.data(), size);
        for (std::size_t i = 0; i < got; ++i)
            mismatches += chunk[i] != streamByte(received + i);
        received += got;
        if (got == 0)
            std::this_thread::yield();
    }
    producer.join();
    EXPECT_EQ(received, totalBytes);
    EXPECT_EQ(mismatches, 0u);
    EXPECT_EQ(ring.available(), 0u);
}

TEST(RingStress, FftRingCarriesEveryByteOnceInOrder)
{
    FftRing ring(1 << 20);
    streamThrough(ring, 300ull << 20);
}

TEST(RingStress, DemodRingCarriesEveryAcceptedByteOnceInOrder)
{
    DemodRing ring(1 << 20);
    streamThrough(ring, 300ull << 20);
    EXPECT_EQ(ring.totalRead(), 300ull << 20);
    EXPECT_EQ(ring.totalWritten(), 300ull << 20);
}

namespace {

// 8-byte records: a sequence number and its complement, so a torn or stale record is visible.
uint64_t record(uint32_t seq)
{
    return (static_cast<uint64_t>(~seq) << 32) | seq;
}

struct RecordReader {
    uint32_t last = 0;
    bool any = false;
    uint64_t records = 0;
    uint64_t torn = 0;
    uint64_t backwards = 0;

    template <typename Ring>
    void drain(Ring& ring)
    {
        uint64_t value = 0;
        if (ring.available() < sizeof value)
            return;
        const std::size_t got = ring.read(reinterpret_cast<uint8_t*>(&value), sizeof value);
        if (got == 0)
            return; // a reset emptied the ring in between
        ASSERT_EQ(got, sizeof value);
        const auto seq = static_cast<uint32_t>(value);
        torn += value != record(seq);
        backwards += any && seq <= last;
        last = seq;
        any = true;
        ++records;
    }
};

} // namespace

TEST(RingReset, FftRingResetByItsProducerWhileTheConsumerReads)
{
    FftRing ring(4096);
    std::atomic<uint64_t> consumed{0};
    std::atomic<bool> done{false};
    std::thread producer([&] {
        uint32_t seq = 0;
        for (uint64_t i = 0; consumed.load() < 20'000; ++i) {
            const uint64_t value = record(seq);
            // Whole records only: this ring would keep the head of one that does not fit.
            const bool fits = ring.capacity() - ring.available() - 1 >= sizeof value;
            if (fits && ring.write(reinterpret_cast<const uint8_t*>(&value), sizeof value) == sizeof value)
                ++seq;
            if (i % 997 == 0)
                ring.reset();
        }
        done = true;
    });
    RecordReader reader;
    while (!done.load()) {
        reader.drain(ring);
        consumed = reader.records;
    }
    producer.join();
    EXPECT_EQ(reader.torn, 0u);
    EXPECT_EQ(reader.backwards, 0u);
}

TEST(RingReset, DemodRingResetFromAThirdThreadWhileBothSidesRun)
{
    DemodRing ring(4096);
    std::atomic<uint64_t> consumed{0};
    std::atomic<bool> done{false};
    std::thread producer([&] {
        uint32_t seq = 0;
        while (!done.load()) {
            const uint64_t value = record(seq);
            if (ring.write(reinterpret_cast<const uint8_t*>(&value), sizeof value) == sizeof value)
                ++seq;
        }
    });
    std::thread resetter([&] {
        for (int resets = 0; resets < 2000 || consumed.load() < 20'000; ++resets) {
            ring.reset();
            std::this_thread::yield();
        }
        done = true;
    });
    RecordReader reader;
    while (!done.load()) {
        reader.drain(ring);
        consumed = reader.records;
    }
    resetter.join();
    producer.join();
    EXPECT_EQ(reader.torn, 0u);
    EXPECT_EQ(reader.backwards, 0u);
}
