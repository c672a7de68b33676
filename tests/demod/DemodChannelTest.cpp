#include "acquisition/DemodRing.h"
#include "demod/BlockTimingWindow.h"
#include "demod/DemodBlockProcessor.h"
#include "demod/SingleDemodChannel.h"
#include "support/DiagnosticsCapture.h"
#include "support/FmTestSignal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr double kRate = 2e6;
constexpr size_t kBlockPairs = 4096;

// A stereo station 250 kHz above the centre, at the channel's smallest rate.
const std::vector<int16_t>& station()
{
    static const std::vector<int16_t> iq = [] {
        FmTestSignal s;
        s.sampleRateHz = kRate;
        s.carrierOffsetHz = 250e3;
        return s.generate(static_cast<size_t>(0.2 * kRate));
    }();
    return iq;
}

double stationCenterHz()
{
    return FmTestSignal::kStationHz - 250e3;
}

DemodParams listening(bool stereo = false)
{
    return FmTestSignal::receiverParams(stereo, false);
}

// Runs `blocks` blocks of the station through the processor, time stamped as they would
// arrive, starting at startNs; returns the time after the last block.
int64_t feed(DemodBlockProcessor& p, size_t blocks, int64_t startNs = 0)
{
    const std::vector<int16_t>& iq = station();
    const size_t pairs = iq.size() / 2;
    int64_t now = startNs;
    for (size_t b = 0; b < blocks; ++b) {
        const size_t at = (b * kBlockPairs) % (pairs - kBlockPairs);
        p.processIqBlock(iq.data() + 2 * at, kBlockPairs, kRate, stationCenterHz(), now);
        now += static_cast<int64_t>(kBlockPairs / kRate * 1e9);
    }
    return now;
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 5000ms)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Writes one block of the station (16384 bytes, as the receiver delivers them) into the ring.
void writeBlock(DemodRing& ring, size_t index)
{
    const std::vector<int16_t>& iq = station();
    const size_t at = (index * kBlockPairs) % (iq.size() / 2 - kBlockPairs);
    ASSERT_EQ(ring.write(reinterpret_cast<const uint8_t*>(iq.data() + 2 * at), kBlockPairs * 4), kBlockPairs * 4);
}

} // namespace

TEST(SingleDemodChannel, ReadsAtLeastHalfAKilobyteAndAtMostOneBlockOfWholePairs)
{
    EXPECT_EQ(SingleDemodChannel::readableBytes(0), 0u);
    EXPECT_EQ(SingleDemodChannel::readableBytes(511), 0u);
    EXPECT_EQ(SingleDemodChannel::readableBytes(512), 512u);
    EXPECT_EQ(SingleDemodChannel::readableBytes(1030), 1028u);
    EXPECT_EQ(SingleDemodChannel::readableBytes(20000), 16384u);
}

TEST(BlockTimingWindow, SummarisesTheLastThousandBlocks)
{
    BlockTimingWindow w;
    for (int k = 1; k <= 9; ++k)
        w.push(k);
    BlockTimingWindow::Summary s = w.summarise();
    EXPECT_DOUBLE_EQ(s.avgUs, 5.0);
    EXPECT_EQ(s.p99Us, 0.0); // too few for a percentile
    EXPECT_EQ(s.maxUs, 9.0);
    EXPECT_EQ(w.summarise().maxUs, 0.0); // the maximum restarts with each summary

    w.clear();
    for (int k = 0; k < 1500; ++k)
        w.push(k);
    s = w.summarise();
    // 500 .. 1499 are held; P99 is the element at index 990 of them.
    EXPECT_DOUBLE_EQ(s.avgUs, 999.5);
    EXPECT_EQ(s.p99Us, 1490.0);
    EXPECT_EQ(s.maxUs, 1499.0);
    EXPECT_EQ(s.blocks, 1500u);
}

TEST(DemodBlockProcessor, ReportsRatesEveryTwoSecondsOfArrival)
{
    DiagnosticsCapture diag;
    DemodBlockProcessor p(listening(), diag);
    std::vector<std::string> status;
    p.setStatusCallback([&status](const std::string& line) { status.push_back(line); });
    // 2.1 s of input in 4096-pair blocks, of which the acquisition reports every pair.
    const size_t blocks = static_cast<size_t>(2.1 * kRate / kBlockPairs);
    p.addDriverInput(blocks * kBlockPairs);
    diag.take();
    feed(p, blocks);

    // The report comes with the first block 2 s after the first: 977 block times, 978 blocks.
    const double seconds = 977 * kBlockPairs / kRate;
    const double pairsPerSecond = 978 * kBlockPairs / seconds;
    ASSERT_EQ(status.size(), 1u);
    const std::string& line = status.front();
    double cpu, drvIn, ncoIn, ncoOut, cic, preFir, polyFir, measRate, ratio, fill;
    ASSERT_EQ(std::sscanf(line.c_str(),
                          "[Demod] CPU=%lf%% | DrvIn:%lfM NcoIn:%lfM NcoOut:%lfM CIC:%lfk PreFIR:%lfk PolyFIR:%lfk | "
                          "measRate=%lfk ratio=%lf fill=%lf%%",
                          &cpu, &drvIn, &ncoIn, &ncoOut, &cic, &preFir, &polyFir, &measRate, &ratio, &fill),
              10)
        << line;
    EXPECT_GT(cpu, 0.0);
    EXPECT_NEAR(drvIn, blocks * kBlockPairs / seconds / 1e6, 0.05);
    EXPECT_NEAR(ncoIn, pairsPerSecond / 1e6, 0.05);
    EXPECT_EQ(ncoOut, ncoIn);
    // 2 MS/s passes the CIC stage; a broadcast signal loses a factor of 2 in the half-band stage
    // and 2 in the PolyFIR, and its audio a factor of 5 in the programme filter.
    EXPECT_NEAR(cic, pairsPerSecond / 1e3, 1.0);
    EXPECT_NEAR(preFir, pairsPerSecond / 2e3, 1.0);
    EXPECT_NEAR(polyFir, pairsPerSecond / 4e3, 1.0);
    EXPECT_NEAR(measRate, 100.0, 1.0);
    EXPECT_NEAR(ratio, 0.48, 0.48 * 0.01);
    EXPECT_GT(fill, 0.0);

    const std::string lines = diag.take();
    EXPECT_NE(lines.find("[DemodThread] NCO update: offset=250000 Hz, inputRate=2000000 Hz\n"), std::string::npos)
        << lines;
    const size_t realRate = lines.find("[RealRate] ");
    ASSERT_NE(realRate, std::string::npos) << lines;
    double demod, asrc;
    ASSERT_EQ(std::sscanf(lines.c_str() + realRate,
                          "[RealRate] DrvIn:%lfM NcoIn:%lfM NcoOut:%lfM CIC:%lfk PreFIR:%lfk PolyFIR:%lfk Demod:%lfk "
                          "ASRC:%lfk Hz",
                          &drvIn, &ncoIn, &ncoOut, &cic, &preFir, &polyFir, &demod, &asrc),
              8)
        << lines;
    EXPECT_NEAR(demod, pairsPerSecond / 4e3, 0.1);
    EXPECT_NEAR(asrc, 48.0, 0.5);
    unsigned long long produced, written, skipped;
    ASSERT_EQ(std::sscanf(lines.c_str() + lines.find("[WritePath] "),
                          "[WritePath] produced=%llu, written=%llu, skipped=%llu", &produced, &written, &skipped),
              3);
    EXPECT_NEAR(static_cast<double>(produced), asrc * 1e3 * seconds, 200.0);
    EXPECT_LE(written, produced);

    // Counting starts again: the next report covers only what came after.
    p.addDriverInput(0);
    feed(p, 980, static_cast<int64_t>(blocks * kBlockPairs / kRate * 1e9));
    ASSERT_EQ(status.size(), 2u);
    ASSERT_EQ(std::sscanf(status.back().c_str(), "[Demod] CPU=%lf%% | DrvIn:%lfM", &cpu, &drvIn), 2);
    EXPECT_EQ(drvIn, 0.0);
}

TEST(DemodBlockProcessor, RetunesTheNcoOnlyForMovesAboveOneHertz)
{
    DiagnosticsCapture diag;
    DemodParams params = listening();
    DemodBlockProcessor p(params, diag);
    int64_t now = feed(p, 2);
    for (auto [move, reported] : {std::pair{0.5, false}, {2.5, true}}) {
        params.demodFreqHz += move;
        p.applyParams(params);
        now = feed(p, 1, now);
        EXPECT_EQ(p.chain().counts().ncoRetuned, reported) << move;
    }
    diag.take();
    feed(p, 1, now + 3'000'000'000);
    EXPECT_NE(diag.take().find("[DemodThread] NCO update: offset=250003 Hz"), std::string::npos);
}

TEST(DemodBlockProcessor, StereoAtANarrowDeviationRunsMonoIntoTheLeftSlotOnly)
{
    DiagnosticsCapture diag;
    DemodParams params = listening(true);
    params.fmDeviationHz = 15000.0;
    DemodBlockProcessor p(params, diag);
    feed(p, 20);
    EXPECT_GT(p.bus().fill(p.leftSlot()), 0.0);
    EXPECT_EQ(p.bus().fill(p.rightSlot()), 0.0);

    params.fmDeviationHz = 150000.0;
    p.applyParams(params);
    feed(p, 20);
    EXPECT_GT(p.bus().fill(p.rightSlot()), 0.0);
}

TEST(DemodBlockProcessor, ThrottlesAFullBusUntilItDrainsAndCountsTheDroppedBlocks)
{
    DiagnosticsCapture diag;
    DemodBlockProcessor p(listening(), diag);
    AudioBus& bus = p.bus();
    // Past the resampler's start-up, every block yields audio; the slot is then emptied and
    // filled to 90 % by hand.
    feed(p, 10);
    std::vector<float> drain(static_cast<size_t>(bus.fill(p.leftSlot()) * 2400.0 + 0.5));
    bus.read(p.leftSlot(), drain.data(), drain.size());
    ASSERT_EQ(bus.fill(p.leftSlot()), 0.0);
    const std::vector<float> held(2160, 0.5f);
    bus.write(p.leftSlot(), held.data(), held.size());
    diag.take();

    feed(p, 5);
    EXPECT_TRUE(p.throttling());
    EXPECT_DOUBLE_EQ(bus.fill(p.leftSlot()), 0.9); // nothing written meanwhile

    // Drained to 70 %, 50 % and 30 %: still above the release level, the fill the bus is held
    // at for reads of 480 samples (240 + 288 samples, 22 %).
    std::vector<float> out(480);
    for (int k = 0; k < 3; ++k) {
        bus.read(p.leftSlot(), out.data(), out.size());
        feed(p, 2);
        EXPECT_TRUE(p.throttling());
    }
    // Drained to 10 %: the next block is written again, and the release tells how many were dropped.
    bus.read(p.leftSlot(), out.data(), out.size());
    feed(p, 1);
    EXPECT_FALSE(p.throttling());
    EXPECT_GT(bus.fill(p.leftSlot()), 0.1);
    EXPECT_EQ(diag.take(), "[DemodThread] Throttle released, dropped 11 blocks during throttle\n");
}

TEST(DemodBlockProcessor, DisablingEmptiesTheBusAndStopsWriting)
{
    DiagnosticsCapture diag;
    DemodBlockProcessor p(listening(), diag);
    feed(p, 10);
    ASSERT_GT(p.bus().fill(p.leftSlot()), 0.0);
    p.setEnabled(false);
    EXPECT_EQ(p.bus().fill(p.leftSlot()), 0.0);
    feed(p, 10);
    EXPECT_EQ(p.bus().fill(p.leftSlot()), 0.0);
    p.setEnabled(true);
    feed(p, 10);
    EXPECT_GT(p.bus().fill(p.leftSlot()), 0.0);
}

TEST(SingleDemodChannel, LeavesLessThanHalfAKilobyteInTheRing)
{
    DiagnosticsCapture diag;
    DemodRing ring(1 << 20);
    SingleDemodChannel channel(listening(), diag);
    channel.setIqSource(&ring, static_cast<uint32_t>(kRate), static_cast<uint64_t>(stationCenterHz()));
    const std::vector<uint8_t> bytes(512, 0);
    ring.write(bytes.data(), 511);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(ring.available(), 511u);
    ring.write(bytes.data(), 1);
    EXPECT_TRUE(waitFor([&] { return ring.available() == 0; }));
    EXPECT_TRUE(waitFor([&] { return channel.blocksProcessed() == 1; }));
    channel.setIqSource(nullptr, 0, 0);
    EXPECT_NE(diag.text().find("[SingleDemodChannel] IQ source set: ring=(nil), rate=0 Hz, center=0 Hz\n"),
              std::string::npos);
}

// After the audio ran dry, what waits in the ring would only play late: the channel restarts
// from fresh IQ instead of working through the backlog.
TEST(SingleDemodChannel, AfterAnUnderrunTheBacklogInTheRingIsDropped)
{
    DiagnosticsCapture diag;
    DemodRing ring(1 << 20);
    SingleDemodChannel channel(listening(), diag);
    channel.setIqSource(&ring, static_cast<uint32_t>(kRate), static_cast<uint64_t>(stationCenterHz()));
    for (size_t b = 0; b < 10; ++b)
        writeBlock(ring, b);
    ASSERT_TRUE(waitFor([&] { return channel.blocksProcessed() == 10; }));

    // Receiving pauses while the audio device plays the bus dry and on past it.
    channel.setIqSource(nullptr, 0, 0);
    std::vector<float> out(4800);
    channel.audioBus().read(channel.leftSlot(), out.data(), out.size());
    for (size_t b = 10; b < 40; ++b)
        writeBlock(ring, b);
    channel.setIqSource(&ring, static_cast<uint32_t>(kRate), static_cast<uint64_t>(stationCenterHz()));
    ASSERT_TRUE(waitFor([&] { return channel.blocksProcessed() >= 11; }));
    EXPECT_TRUE(waitFor([&] { return ring.available() == 0; }));
    channel.setIqSource(nullptr, 0, 0);
    EXPECT_EQ(channel.blocksProcessed(), 11u);
}

namespace {

// Takes its time over every line, so that new settings keep the channel's thread busy for a few
// milliseconds at the top of its turn, between looking for a reset and reading the ring.
class SlowDiagnostics : public DiagnosticsCapture {
protected:
    void write(std::string_view line) override
    {
        std::this_thread::sleep_for(200us);
        DiagnosticsCapture::write(line);
    }
};

} // namespace

TEST(SingleDemodChannel, AResetAskedForBeforeABlockAppliesToIt)
{
    SlowDiagnostics diag;
    DemodRing ring(1 << 20);
    SingleDemodChannel channel(listening(), diag);
    channel.setIqSource(&ring, static_cast<uint32_t>(kRate), static_cast<uint64_t>(stationCenterHz()));
    DemodParams params = listening();
    for (uint64_t round = 1; round <= 30; ++round) {
        // The thread takes the settings over while the reset is asked for and the block arrives.
        params.audioHpfHz = round % 2 ? 30.0 : 20.0;
        channel.setParams(params);
        std::this_thread::sleep_for(1500us);
        channel.reset();
        writeBlock(ring, round);
        ASSERT_TRUE(waitFor([&] { return channel.blocksProcessed() == round; }));
        ASSERT_EQ(channel.resetsBeforeLastBlock(), round) << "round " << round;
    }
}

TEST(SingleDemodChannel, SwitchingOffEmptiesTheBusOnceAndTheRingIsLeftAlone)
{
    DiagnosticsCapture diag;
    DemodRing ring(1 << 20);
    SingleDemodChannel channel(listening(), diag);
    channel.setIqSource(&ring, static_cast<uint32_t>(kRate), static_cast<uint64_t>(stationCenterHz()));
    for (size_t b = 0; b < 20; ++b)
        writeBlock(ring, b);
    AudioBus& bus = channel.audioBus();
    ASSERT_TRUE(waitFor([&] { return channel.blocksProcessed() == 20; }));
    ASSERT_GT(bus.fill(channel.leftSlot()), 0.0);

    DemodParams off = listening();
    off.enabled = false;
    channel.setParams(off);
    EXPECT_FALSE(channel.enabledNow());
    EXPECT_EQ(bus.fill(channel.leftSlot()), 0.0);
    writeBlock(ring, 0);
    // Audio put on the bus afterwards (by nobody in particular) stays: the bus is emptied once.
    const std::vector<float> some(100, 0.1f);
    bus.write(channel.leftSlot(), some.data(), some.size());
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(ring.available(), kBlockPairs * 4); // not read while off
    EXPECT_EQ(bus.read(channel.leftSlot(), std::vector<float>(100).data(), 100), 100u);

    channel.setParams(listening());
    EXPECT_TRUE(waitFor([&] { return ring.available() == 0 && bus.fill(channel.leftSlot()) > 0.0; }));
}

TEST(SingleDemodChannel, ResetsAndRetunesRacingABlockStream)
{
    DiagnosticsCapture diag;
    SingleDemodChannel channel(listening(true), diag);
    std::atomic<bool> streaming{true};
    // The acquisition: a ring per run, as the controller builds and tears them down.
    std::thread acquisition([&] {
        for (int run = 0; run < 4; ++run) {
            auto ring = std::make_unique<DemodRing>(1 << 20);
            channel.setIqSource(ring.get(), static_cast<uint32_t>(kRate), static_cast<uint64_t>(stationCenterHz()));
            for (size_t b = 0; b < 60; ++b) {
                writeBlock(*ring, b);
                channel.addDriverInput(kBlockPairs);
                std::this_thread::sleep_for(500us);
            }
            channel.setIqSource(nullptr, 0, 0);
            ring.reset();
        }
        streaming = false;
    });
    // The device worker: resets and source changes around retunes, and new settings.
    std::thread worker([&] {
        DemodParams params = listening(true);
        for (int k = 0; streaming.load(); ++k) {
            channel.reset();
            channel.setSourceRate(static_cast<uint32_t>(k % 2 ? kRate : 2 * kRate));
            channel.setSourceCenter(static_cast<uint64_t>(stationCenterHz()) + static_cast<uint64_t>(k % 3));
            params.audioGain = 1.0 + (k % 5) * 0.1;
            channel.setParams(params);
            std::this_thread::sleep_for(700us);
        }
    });
    std::vector<float> out(256);
    while (streaming.load()) {
        channel.audioBus().read(channel.leftSlot(), out.data(), out.size());
        (void)channel.getParams();
        std::this_thread::sleep_for(300us);
    }
    acquisition.join();
    worker.join();
    // Blocks went through while racing; how many depends on the machine, and each underrun of
    // the fast reader above drops the ring's backlog.
    EXPECT_GT(channel.blocksProcessed(), 4u);

    // Calm again: one more run comes through as audio.
    DemodRing ring(1 << 20);
    channel.setIqSource(&ring, static_cast<uint32_t>(kRate), static_cast<uint64_t>(stationCenterHz()));
    channel.reset();
    const uint64_t before = channel.blocksProcessed();
    for (size_t b = 0; b < 10; ++b)
        writeBlock(ring, b);
    EXPECT_TRUE(waitFor([&] { return channel.blocksProcessed() == before + 10; }));
    EXPECT_GT(channel.audioBus().fill(channel.leftSlot()), 0.0);
    EXPECT_GT(channel.audioBus().fill(channel.rightSlot()), 0.0);
    channel.setIqSource(nullptr, 0, 0);
}

TEST(SingleDemodChannel, StartsAndStopsItsThreadWithItsLines)
{
    DiagnosticsCapture diag;
    {
        SingleDemodChannel channel(listening(), diag);
        EXPECT_TRUE(waitFor([&] { return diag.contains("[SingleDemodChannel] Demod thread running\n"); }));
        channel.stop();
        channel.stop();
    }
    const std::string text = diag.text();
    // Either outcome of asking for real-time scheduling is reported; the thread runs on.
    EXPECT_TRUE(text.find("[SingleDemodChannel] Thread priority set to TIME_CRITICAL\n") != std::string::npos ||
                text.find("[SingleDemodChannel] WARNING: Failed to set thread priority (error=") != std::string::npos);
    const size_t exiting = text.find("[SingleDemodChannel] Demod thread exiting\n");
    const size_t stopped = text.find("[SingleDemodChannel] Demod thread stopped\n");
    ASSERT_NE(stopped, std::string::npos);
    EXPECT_LT(exiting, stopped);
    EXPECT_EQ(text.find("[SingleDemodChannel] Demod thread stopped\n", stopped + 1), std::string::npos); // once
}
