// A recording read as a receiver: the file's samples at any position, the transport (seek,
// loop, pause, speed), captures at other frequencies, and waiting for room in the analysis.
#include "acquisition/IqSample.h"
#include "playback/PlaybackDevice.h"
#include "tests/playback/PlaybackFiles.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

constexpr uint32_t kRate = 2'000'000;
constexpr std::size_t kBlock = PlaybackDevice::kSamplesPerTransfer;

// Time that moves only when the device sleeps.
class TestClock : public PlaybackClock {
public:
    explicit TestClock(int64_t& now) : m_now(now) {}
    int64_t nowNs() override { return m_now; }
    void sleepFor(int64_t ns) override { m_now += ns; }

private:
    int64_t& m_now;
};

struct Player {
    explicit Player(std::size_t pairs, std::vector<RecordingCapture> captures = {{0, 100'000'000, {}}})
        : file(countingPairs(pairs))
    {
        const std::string path = folder.file("scene.cs16");
        writeFile(path, file);
        RecordingInfo info = rawCs16Recording(path, kRate, 0);
        info.captures = std::move(captures);
        device.load(std::make_unique<RecordingFile>(std::move(info)));
        device.open();
        device.setSpeed(PlaybackDevice::kSpeedMax);
    }
    // One block, or nothing when the device delivered nothing.
    std::vector<int16_t> read()
    {
        std::vector<int16_t> block(2 * kBlock);
        if (!device.readSamples(reinterpret_cast<uint8_t*>(block.data()), kBlock * kIqSampleBytes))
            return {};
        return block;
    }
    // The file's pairs from `first` on, wrapping at its end.
    std::vector<int16_t> expected(uint64_t first, std::size_t pairs) const
    {
        const std::size_t length = file.size() / 2;
        std::vector<int16_t> iq;
        for (std::size_t n = 0; n < pairs; ++n) {
            const std::size_t at = (first + n) % length;
            iq.push_back(file[2 * at]);
            iq.push_back(file[2 * at + 1]);
        }
        return iq;
    }

    TempFolder folder;
    std::vector<int16_t> file;
    int64_t now = 0;
    PlaybackDevice device{std::make_unique<TestClock>(now)};
};

TEST(RecordingFile, ReadsRawPairsFromAnyPositionAcrossItsChunks)
{
    // More than one chunk, so that refills and a seek back into an earlier chunk are read.
    const std::size_t pairs = RecordingFile::kChunkBytes / 4 + 5000;
    TempFolder folder;
    const std::vector<int16_t> iq = countingPairs(pairs);
    writeFile(folder.file("a.cs16"), iq);
    RecordingFile file(rawCs16Recording(folder.file("a.cs16"), kRate, 433'920'000));
    EXPECT_EQ(file.lengthSamples(), pairs);

    std::vector<int16_t> out(2 * pairs);
    ASSERT_EQ(file.read(out.data(), pairs), pairs);
    EXPECT_EQ(out, iq);

    for (const uint64_t at : {uint64_t{12345}, uint64_t{pairs - 3000}, uint64_t{7}}) {
        file.seek(at);
        std::vector<int16_t> part(2 * 4000);
        const std::size_t got = file.read(part.data(), 4000);
        // Near the end only what is left.
        EXPECT_EQ(got, std::min<uint64_t>(4000, pairs - at));
        part.resize(2 * got);
        EXPECT_EQ(part, std::vector<int16_t>(iq.begin() + 2 * at, iq.begin() + 2 * (at + got))) << at;
    }
    file.seek(pairs + 100);
    EXPECT_EQ(file.position(), pairs);
    EXPECT_EQ(file.read(out.data(), 10), 0u);
}

TEST(RecordingFile, RefusesWhatItCannotPlayWithAReason)
{
    TempFolder folder;
    const auto refusal = [](RecordingInfo info) {
        try {
            RecordingFile file(std::move(info));
        } catch (const std::runtime_error& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    EXPECT_NE(refusal(rawCs16Recording(folder.file("missing.cs16"), kRate, 1)).find("cannot open"), std::string::npos);
    writeFile(folder.file("a.cs16"), countingPairs(100));
    EXPECT_NE(refusal(rawCs16Recording(folder.file("a.cs16"), 40'000'000, 1)).find("2 to 30 MS/s"), std::string::npos);
    EXPECT_NE(refusal(rawCs16Recording(folder.file("a.cs16"), 250'000, 1)).find("2 to 30 MS/s"), std::string::npos);
    RecordingInfo beyond = rawCs16Recording(folder.file("a.cs16"), kRate, 1);
    beyond.captures.push_back({500, 2, {}});
    EXPECT_NE(refusal(beyond).find("fewer samples"), std::string::npos);
    writeFile(folder.file("empty.cs16"), std::vector<int16_t>{});
    EXPECT_FALSE(refusal(rawCs16Recording(folder.file("empty.cs16"), kRate, 1)).empty());
}

TEST(PlaybackDevice, DeliversTheFileInOrderAndLandsOnTheSampleSoughtTo)
{
    Player p(10 * kBlock + 777);
    ASSERT_TRUE(p.device.startStreaming());
    // Paused at first: nothing, after a brief wait as a receiver's timeout.
    EXPECT_TRUE(p.read().empty());
    EXPECT_EQ(p.now, PlaybackDevice::kIdleWaitNs);
    p.device.play();
    EXPECT_EQ(p.read(), p.expected(0, kBlock));
    EXPECT_EQ(p.read(), p.expected(kBlock, kBlock));

    for (const uint64_t at : {uint64_t{12345}, uint64_t{3}, uint64_t{9 * kBlock + 700}}) {
        p.device.seek(at);
        EXPECT_EQ(p.device.status().positionSamples, at);
        EXPECT_EQ(p.read(), p.expected(at, kBlock)) << at;
    }
    EXPECT_EQ(p.device.status().deliveredSamples, 5 * kBlock);
}

TEST(PlaybackDevice, StopsAtTheEndOrLoopsWithoutLosingOrRepeatingASample)
{
    const std::size_t length = 3 * kBlock + 1000;
    Player p(length);
    p.device.startStreaming();
    p.device.play();
    for (int i = 0; i < 3; ++i)
        ASSERT_FALSE(p.read().empty());
    // The last 1000 samples do not fill a block.
    EXPECT_TRUE(p.read().empty());
    EXPECT_TRUE(p.device.status().atEnd);
    EXPECT_TRUE(p.read().empty());

    // Play at the end starts over; with loop the end runs straight into the start.
    p.device.setLoop(true);
    p.device.play();
    EXPECT_FALSE(p.device.status().atEnd);
    for (std::size_t first = 0; first < 3 * length; first += kBlock)
        ASSERT_EQ(p.read(), p.expected(first, kBlock)) << first;
    EXPECT_EQ(p.device.takeLoss().samples, 1000u);
}

TEST(PlaybackDevice, ACaptureAtAnotherFrequencyHoldsUntilTheRunIsRetunedThere)
{
    // The second capture starts inside the third block; the third is at the same frequency and
    // is read straight through.
    const uint64_t boundary = 2 * kBlock + 500;
    const uint64_t sameFrequency = 4 * kBlock + 10;
    Player p(8 * kBlock, {{0, 100'000'000, 1'000'000}, {boundary, 105'000'000, 2'000'000}, {sameFrequency, 105'000'000, {}}});
    EXPECT_EQ(p.device.actualCenterFrequency(), 100'000'000u);
    p.device.startStreaming();
    p.device.play();
    EXPECT_EQ(p.read(), p.expected(0, kBlock));
    EXPECT_EQ(p.read(), p.expected(kBlock, kBlock));
    // The 500 samples before the new capture cannot make a block: counted lost, not mixed in.
    EXPECT_TRUE(p.read().empty());
    EXPECT_EQ(p.device.takeLoss().samples, 500u);
    PlaybackStatus status = p.device.status();
    EXPECT_TRUE(status.retuneNeeded);
    EXPECT_EQ(status.positionSamples, boundary);
    EXPECT_EQ(status.centerHz, 105'000'000u);
    EXPECT_EQ(status.captureUtcMicroseconds, 2'000'000);
    EXPECT_EQ(p.device.actualCenterFrequency(), 105'000'000u);
    EXPECT_TRUE(p.read().empty());

    // The controller's retune: stop, apply, start.
    p.device.stopStreaming();
    p.device.startStreaming();
    EXPECT_FALSE(p.device.status().retuneNeeded);
    for (uint64_t first = boundary; first < boundary + 4 * kBlock; first += kBlock)
        ASSERT_EQ(p.read(), p.expected(first, kBlock)) << first;

    // A seek back into the first capture needs the first frequency again.
    p.device.seek(100);
    EXPECT_TRUE(p.device.status().retuneNeeded);
    EXPECT_TRUE(p.read().empty());
    p.device.startStreaming();
    EXPECT_EQ(p.read(), p.expected(100, kBlock));
}

TEST(PlaybackDevice, PacedSpeedsDeliverTheirShareOfSamplesPerClockSecond)
{
    for (const double speed : {0.5, 1.0, 4.0}) {
        Player p(200 * kBlock);
        p.device.setSpeed(speed);
        p.device.startStreaming();
        p.device.play();
        const int64_t start = p.now;
        const int blocks = 100;
        for (int i = 0; i < blocks; ++i)
            ASSERT_FALSE(p.read().empty());
        const double seconds = static_cast<double>(p.now - start) * 1e-9;
        const double perSecond = blocks * static_cast<double>(kBlock) / seconds;
        EXPECT_NEAR(perSecond, kRate * speed, kRate * speed * 1e-3) << speed;
    }
}

TEST(PlaybackDevice, AtTheFastestSpeedWaitsForRoomInsteadOfDroppingOrRacing)
{
    Player p(10 * kBlock);
    int refusals = 3;
    std::size_t asked = 0;
    p.device.setRoomProbe([&](std::size_t bytes) {
        asked = bytes;
        return refusals-- <= 0;
    });
    p.device.startStreaming();
    p.device.play();
    EXPECT_EQ(p.read(), p.expected(0, kBlock));
    EXPECT_EQ(asked, kBlock * kIqSampleBytes);
    EXPECT_EQ(p.now, 3 * PlaybackDevice::kRoomWaitNs);
    // With room at once, no time passes at all.
    EXPECT_EQ(p.read(), p.expected(kBlock, kBlock));
    EXPECT_EQ(p.now, 3 * PlaybackDevice::kRoomWaitNs);

    // Paused meanwhile, the wait ends without a block.
    refusals = 1'000'000;
    p.device.pause();
    EXPECT_TRUE(p.read().empty());
    EXPECT_EQ(p.device.status().positionSamples, 2 * kBlock);
}

} // namespace
