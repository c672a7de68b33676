#pragma once

#include <chrono>
#include <cstdint>

// The one clock every timed step of the analyser reads: monotonic nanoseconds, unaffected by
// changes of the wall clock.
inline int64_t monotonicNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
