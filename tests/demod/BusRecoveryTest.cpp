#include "demod/BusFillControl.h"
#include "demod/DemodBlockProcessor.h"
#include "support/DiagnosticsCapture.h"
#include "support/FmTestSignal.h"
#include "support/ToneFit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

TEST(BusFillControl, AimsBetweenReadsAndTrimsTheRatioTowardsTheTargetWithinBounds)
{
    BusFillControl c(2400);
    EXPECT_EQ(c.targetSamples(256), 128u + 288u);
    EXPECT_EQ(c.targetSamples(0), c.targetSamples(256)); // no reader yet: a common buffer size
    EXPECT_EQ(c.targetSamples(4096), 1200u);             // more than the bus can steer
    EXPECT_EQ(c.trim(), 1.0);

    c.update(1000.0, 256, 480); // too full: fewer samples, at most 0.03 % fewer
    EXPECT_DOUBLE_EQ(c.trim(), 1.0 - BusFillControl::kMaxTrim);
    c.reset();
    c.update(static_cast<double>(c.targetSamples(256)) - 20.0, 256, 480); // 20 samples short: a fraction of the trim
    EXPECT_GT(c.trim(), 1.0);
    EXPECT_LT(c.trim(), 1.0 + BusFillControl::kMaxTrim / 2.0);
    c.update(0.0, 256, 48000); // empty for a second
    EXPECT_DOUBLE_EQ(c.trim(), 1.0 + BusFillControl::kMaxTrim);
}

TEST(BusFillControl, CutsAnOverfullBusDownToItsTargetOnceAndNoFurther)
{
    BusFillControl c(2400);
    const auto target = static_cast<double>(c.targetSamples(256));

    // No reader yet: nothing to aim at, nothing left out.
    c.update(1500.0, 0, 480);
    EXPECT_EQ(c.samplesToDrop(1500.0, 0, 480), 0u);
    // The first read finds the bus far too full: whole blocks go until the one that, written
    // in part, leaves the bus at its target; then nothing more.
    c.update(1500.0, 256, 480);
    EXPECT_EQ(c.samplesToDrop(1500.0, 256, 480), 480u);
    EXPECT_EQ(c.samplesToDrop(target + 100.0, 256, 480), 480u);
    EXPECT_EQ(c.samplesToDrop(target - 200.0, 256, 480), 280u);
    EXPECT_EQ(c.samplesToDrop(1500.0, 256, 480), 0u);

    // Half a second on average more than a whole read above the target: cut again.
    c.reset();
    c.update(target, 256, 480);
    c.update(target + 300.0, 256, 12000);
    EXPECT_EQ(c.samplesToDrop(target + 300.0, 256, 480), 0u); // a quarter of a second
    c.update(target + 300.0, 256, 12000);
    EXPECT_EQ(c.samplesToDrop(target + 300.0, 256, 100), 100u);
    // At the target by other means (reads while the throttle dropped blocks): the cut ends.
    EXPECT_EQ(c.samplesToDrop(target - 480.0, 256, 480), 0u);
    EXPECT_EQ(c.samplesToDrop(target + 300.0, 256, 480), 0u);
}

namespace {

constexpr double kIqRate = 2e6;
constexpr size_t kBlockPairs = 4096;
constexpr double kBlockSeconds = kBlockPairs / kIqRate;
constexpr size_t kRead = 256;

// A mono station carrying a 1 kHz tone: 256 ms of it, a whole number of blocks, of the
// tone's periods and of the carrier offset's, so that it repeats seamlessly.
const std::vector<int16_t>& toneLoop()
{
    static const std::vector<int16_t> iq = [] {
        FmTestSignal s;
        s.sampleRateHz = kIqRate;
        s.carrierOffsetHz = 250e3;
        s.stereo = false;
        return s.generate(125 * kBlockPairs);
    }();
    return iq;
}

// The demodulation of that station feeding an audio device that reads 256 samples at a time by
// its own clock, both on one timeline the test moves: no thread, no wall clock.
class Listening {
public:
    // The device reads its first samples at `firstRead` seconds.
    explicit Listening(double deviceClock = 1.0, double firstRead = 0.05)
        : m_readPeriod(static_cast<double>(kRead) / (48000.0 * deviceClock))
        , m_nextRead(firstRead)
    {
        DemodParams p = FmTestSignal::receiverParams(false, false);
        p.demodFreqHz = FmTestSignal::kStationHz;
        m_processor.applyParams(p);
    }

    // Blocks of IQ that arrive now at once, as a backlog does at a start.
    void backlog(size_t blocks)
    {
        for (size_t b = 0; b < blocks; ++b)
            produce();
    }

    // Moves time on by `seconds`; while `receiving` is false the IQ of that time is lost.
    void run(double seconds, bool receiving = true)
    {
        const double end = m_now + seconds;
        while (m_now < end) {
            m_now = std::min(std::min(m_nextBlock, m_nextRead), end);
            if (m_now >= m_nextBlock) {
                if (receiving)
                    produce();
                else
                    m_pairs += kBlockPairs;
                m_nextBlock += kBlockSeconds;
            }
            if (m_now >= m_nextRead) {
                consume();
                m_nextRead += m_readPeriod;
            }
        }
    }

    // The producer is held up for `seconds` while the device reads on; the IQ of that time
    // arrives at once when it resumes, as from a thread that was not scheduled.
    void hold(double seconds)
    {
        const double end = m_now + seconds;
        while (m_nextRead < end) {
            m_now = m_nextRead;
            consume();
            m_nextRead += m_readPeriod;
        }
        m_now = end;
        for (; m_nextBlock <= m_now; m_nextBlock += kBlockSeconds)
            produce();
    }

    double now() const { return m_now; }
    const std::vector<float>& played() const { return m_played; }
    // Reads that came up short, with the time of each.
    const std::vector<double>& underruns() const { return m_underruns; }
    size_t underrunsAfter(double t) const
    {
        return static_cast<size_t>(std::count_if(m_underruns.begin(), m_underruns.end(), [t](double u) { return u >= t; }));
    }
    // Time of the first read after t that played real audio.
    double firstAudioAfter(double t) const
    {
        for (auto [at, real] : m_reads)
            if (at >= t && real > 0)
                return at;
        return -1.0;
    }
    // The audio played during [from, to) on the timeline.
    std::vector<float> playedBetween(double from, double to) const
    {
        std::vector<float> x;
        for (size_t r = 0; r < m_reads.size(); ++r)
            if (m_reads[r].first >= from && m_reads[r].first < to)
                x.insert(x.end(), m_played.begin() + static_cast<ptrdiff_t>(r * kRead),
                         m_played.begin() + static_cast<ptrdiff_t>((r + 1) * kRead));
        return x;
    }
    DemodBlockProcessor& processor() { return m_processor; }

private:
    void produce()
    {
        const std::vector<int16_t>& iq = toneLoop();
        const size_t loopPairs = iq.size() / 2;
        const size_t at = m_pairs % loopPairs;
        // The loop holds a whole number of blocks, so a block never wraps.
        m_processor.processIqBlock(iq.data() + 2 * at, kBlockPairs, kIqRate, FmTestSignal::kStationHz - 250e3,
                                   static_cast<int64_t>(m_now * 1e9));
        m_pairs += kBlockPairs;
    }

    void consume()
    {
        const size_t from = m_played.size();
        m_played.resize(from + kRead);
        const size_t real = m_processor.bus().read(m_processor.leftSlot(), m_played.data() + from, kRead);
        m_reads.emplace_back(m_now, real);
        if (real < kRead)
            m_underruns.push_back(m_now);
    }

    DiagnosticsCapture m_diag;
    DemodBlockProcessor m_processor{FmTestSignal::receiverParams(false, false), m_diag};
    double m_readPeriod;
    double m_nextRead;
    double m_now = 0.0;
    double m_nextBlock = 0.0;
    uint64_t m_pairs = 0;
    std::vector<float> m_played;
    std::vector<std::pair<double, size_t>> m_reads;
    std::vector<double> m_underruns;
};

} // namespace

TEST(BusRecovery, AudioReturnsSoonAfterAProducerStallOfAnyLengthAndTheFillGoesBackToItsTarget)
{
    for (double stall : {0.02, 0.1, 0.3, 1.5, 5.0}) {
        Listening l;
        l.run(1.5);
        ASSERT_EQ(l.underrunsAfter(1.0), 0u) << stall;
        const double resume = l.now() + stall;
        l.run(stall, false);
        ASSERT_GT(l.underrunsAfter(resume - stall), 0u) << stall;
        l.run(2.0);
        const double back = l.firstAudioAfter(resume);
        EXPECT_GE(back, resume) << stall;
        EXPECT_LT(back - resume, 0.1) << stall;
        EXPECT_EQ(l.underrunsAfter(resume + 0.1), 0u) << stall;
        EXPECT_GT(toneAmplitude(l.playedBetween(resume + 1.0, resume + 2.0), 0, 1000.0), 0.1) << stall;
        if (stall == 1.5) {
            // The restart lands within half a read of the target, the trim does the rest.
            l.run(10.0);
            const BusFillControl& fill = l.processor().fillControl();
            EXPECT_NEAR(fill.averageFill(), static_cast<double>(fill.targetSamples(kRead)), 40.0);
            EXPECT_EQ(l.underrunsAfter(resume + 0.1), 0u);
        }
    }
}

TEST(BusRecovery, HoldUpsLongerThanTheMarginWidenItByWhatWasMissingAndThenNoLongerUnderrun)
{
    // 18 ms hold-ups of the producer, twice a second: three times the fill the bus starts with.
    Listening l;
    l.run(1.5);
    ASSERT_EQ(l.underrunsAfter(1.0), 0u);
    size_t holdsThatUnderran = 0;
    for (int h = 0; h < 20; ++h) {
        const size_t before = l.underrunsAfter(0.0);
        l.hold(0.018);
        l.run(0.5);
        holdsThatUnderran += l.underrunsAfter(0.0) > before ? 1 : 0;
    }
    const BusFillControl& fill = l.processor().fillControl();
    EXPECT_GE(holdsThatUnderran, 1u);
    EXPECT_LE(holdsThatUnderran, 2u); // sized by the shortfall, not a step per dropout
    EXPECT_LE(fill.marginSamples(), fill.largestMargin(kRead));
    const double settled = l.now();
    for (int h = 0; h < 20; ++h) {
        l.hold(0.018);
        l.run(0.5);
    }
    EXPECT_EQ(l.underrunsAfter(settled), 0u);
    // A retune starts the chain afresh; the margin the machine needed stays.
    const uint64_t widened = fill.marginSamples();
    l.processor().reset();
    EXPECT_EQ(fill.marginSamples(), widened);

    // A hold-up longer than the bus can bridge adds no delay, and the audio comes back.
    Listening stalled;
    stalled.run(1.5);
    stalled.hold(0.080);
    const double resumed = stalled.now();
    stalled.run(1.0);
    EXPECT_GT(stalled.underrunsAfter(1.5), 0u);
    EXPECT_EQ(stalled.processor().fillControl().marginSamples(), BusFillControl::kJitterMarginSamples);
    EXPECT_EQ(stalled.underrunsAfter(resumed + 0.1), 0u);
}

TEST(BusFillControl, TheMarginWidensByTheShortfallInWholeStepsWhileTheBusCanBridgeIt)
{
    BusFillControl c(2400);
    const uint64_t step = BusFillControl::kMarginStepSamples;
    const uint64_t largest = 1200 - 128; // the target at half the bus for reads of 256
    EXPECT_EQ(c.largestMargin(256), largest);
    ASSERT_TRUE(c.widenMargin(1, 256));
    EXPECT_EQ(c.marginSamples(), BusFillControl::kJitterMarginSamples + step);
    ASSERT_TRUE(c.widenMargin(2 * step + 1, 256)); // rounded up to whole steps
    EXPECT_EQ(c.marginSamples(), BusFillControl::kJitterMarginSamples + 4 * step);
    EXPECT_EQ(c.targetSamples(256), 128u + c.marginSamples());

    const uint64_t before = c.marginSamples();
    EXPECT_FALSE(c.widenMargin(largest - before + 1, 256)); // beyond the bus: unchanged
    EXPECT_EQ(c.marginSamples(), before);
    const uint64_t fits = (largest - before) / step * step;
    ASSERT_TRUE(c.widenMargin(fits, 256));
    EXPECT_EQ(c.marginSamples(), before + fits);
    EXPECT_FALSE(c.widenMargin(0, 256));
    EXPECT_LE(c.targetSamples(256), 1200u);
    EXPECT_EQ(c.targetSamples(4096), 1200u); // still at most half the bus
}

TEST(BusRecovery, ThePitchIsRightFromTheFirstSecondAfterAStartUpBacklog)
{
    Listening l;
    l.backlog(50); // 0.1 s of IQ waiting when the channel starts
    l.run(7.0);
    EXPECT_EQ(l.underrunsAfter(1.0), 0u);
    for (double t = 1.0; t < 7.0; t += 1.0) {
        const double pitch = pitchFactor(l.playedBetween(t, t + 1.0), 0, {1000.0});
        EXPECT_NEAR(pitch, 1.0, 0.0005) << "second " << t;
    }
}

TEST(BusRecovery, AnAudioClockOffTheHostsIsAbsorbedWithoutUnderruns)
{
    for (double offset : {1.0001, 0.9999}) {
        Listening l(offset);
        l.run(20.0);
        EXPECT_EQ(l.underrunsAfter(10.0), 0u) << offset;
        // The device plays faster or slower; the pitch it plays stays within 0.05 %.
        const double pitch = pitchFactor(l.playedBetween(19.0, 20.0), 0, {1000.0});
        EXPECT_NEAR(pitch * offset, 1.0, 0.0005) << offset;
    }
}

TEST(BusRecovery, ADeviceThatOpensLateLeavesNoDelayBehind)
{
    // The demodulator wrote for 30 ms before the device read: 60 % of the bus, 30 ms of delay
    // that the trim alone would take minutes to work off.
    Listening l(1.0, 0.03);
    l.run(0.0299);
    const BusFillControl& fill = l.processor().fillControl();
    const double target = static_cast<double>(fill.targetSamples(kRead));
    ASSERT_GT(l.processor().bus().fill(l.processor().leftSlot()) * 2400.0, target + 1000.0);
    l.run(1.0);
    EXPECT_EQ(l.underrunsAfter(0.0), 0u);
    EXPECT_NEAR(fill.averageFill(), target, static_cast<double>(kRead));
    l.run(19.0);
    EXPECT_NEAR(fill.averageFill(), target, 40.0);
    EXPECT_EQ(l.underrunsAfter(0.0), 0u);
    EXPECT_NEAR(pitchFactor(l.playedBetween(19.0, 20.0), 0, {1000.0}), 1.0, 0.0005);
}
