#pragma once

#include "demod/RunningAverage.h"

#include <cstddef>
#include <cstdint>

// Holds the audio bus at a fill that rides out the consumer's reads and the producer's
// jitter without adding delay: a slow, bounded trim of the resampling ratio on top of the
// measured-rate term steers the average fill to its target, and after an underrun the
// writer restarts that far ahead of the reader. The trim also absorbs an audio device whose
// clock runs off the host's, which the measured rate cannot see. A bus far too full (the
// producer kept writing while the device opened) would take the trim minutes to drain, and
// each of those samples is delay: the producer leaves the excess out instead, in one cut.
class BusFillControl {
public:
    // Fill kept beyond what one read takes, to begin with: 6 ms at 48 kHz. An underrun the bus
    // could have bridged widens it by what was missing, in whole steps: a machine whose threads
    // are held up longer than the margin now and then pays for it once, in latency, instead of
    // with a dropout every time.
    static constexpr uint64_t kJitterMarginSamples = 288;
    static constexpr uint64_t kMarginStepSamples = 96;
    // A consumer not seen yet is taken to read this many samples at a time.
    static constexpr uint64_t kDefaultRequest = 256;
    // The largest trim of the ratio: +-0.03 %, far below an audible pitch change.
    static constexpr double kMaxTrim = 0.0003;
    // Fill error (samples) at which the trim reaches its limit.
    static constexpr double kFullTrimError = 120.0;
    // Audio samples the fill is averaged over (half a second).
    static constexpr double kAverageSamples = 24000.0;

    explicit BusFillControl(uint64_t capacity);

    // Average fill (samples) aimed at for a consumer reading `request` samples at a time: the
    // margin once it has read, half a read on average between reads. After an underrun the
    // writer restarts this far ahead of the reader, which leaves the next read enough
    // whenever it comes.
    uint64_t targetSamples(uint64_t request) const;

    // One block: the fill (samples) seen before it was written and the audio samples it
    // carries. Returns the factor to multiply the resampling ratio with.
    double update(double fillSamples, uint64_t request, size_t blockSamples);
    // Samples to leave out at the head of a block of `blockSamples` about to be written at
    // `fillSamples`, after the consumer's first read found the bus more than a whole read
    // above its target or the average fill stayed there: whole blocks until the one that
    // leaves the bus at its target. Call after update() for the same block; the blocks cut
    // from follow one another, so the listener hears one splice.
    uint64_t samplesToDrop(double fillSamples, uint64_t request, size_t blockSamples);
    // Forgets the fill and the trim; the margin stays, since the hold-ups belong to the machine.
    void reset();
    // After an underrun that left the reader `shortfall` samples ahead of the writer: widens the
    // margin by the shortfall, rounded up to whole steps, when the widest margin a consumer
    // reading `request` samples can have would then cover it. A hold-up longer than the bus can
    // bridge leaves the margin as it is: more delay would not have saved it. Returns whether it grew.
    bool widenMargin(uint64_t shortfall, uint64_t request);
    // The widest margin for a consumer reading `request` samples: its target at half the bus.
    uint64_t largestMargin(uint64_t request) const;
    uint64_t marginSamples() const { return m_margin; }

    double trim() const { return m_trim; }
    double averageFill() const { return m_fill.value(); }

private:
    uint64_t m_capacity;
    uint64_t m_margin = kJitterMarginSamples;
    RunningAverage m_fill{kAverageSamples};
    double m_trim = 1.0;
    bool m_consumerSeen = false;
    bool m_cutting = false;
};
