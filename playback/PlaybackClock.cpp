#include "playback/PlaybackClock.h"

#include "platform/MonotonicClock.h"

#include <thread>

int64_t SteadyPlaybackClock::nowNs()
{
    return monotonicNowNs();
}

void SteadyPlaybackClock::sleepFor(int64_t ns)
{
    std::this_thread::sleep_for(std::chrono::nanoseconds(ns));
}
