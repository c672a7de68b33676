#pragma once

#include <cstdint>

// The time a recording is played against: the steady clock in the analyser, a clock the test
// moves in tests.
class PlaybackClock {
public:
    virtual ~PlaybackClock() = default;
    virtual int64_t nowNs() = 0;
    virtual void sleepFor(int64_t ns) = 0;
};

class SteadyPlaybackClock : public PlaybackClock {
public:
    int64_t nowNs() override;
    void sleepFor(int64_t ns) override;
};
