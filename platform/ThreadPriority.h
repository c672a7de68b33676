#pragma once

#include <cstdint>

// Real-time priorities of the threads that carry the signal to the listener (on Linux a
// deadline reservation where the kernel grants one, else SCHED_FIFO). Each returns 0, or the
// system's error code when it refuses both (EPERM for a user without the right to real-time
// scheduling); the thread then runs on as it was. Under a reservation a thread cannot start
// threads of its own.

// The demodulation channel's thread, and audio drivers pacing themselves like a sound card.
int raiseThreadToTimeCritical();
// The receiver's reader: above every normal thread, so that a busy machine does not starve the
// chain at its source, and below the demodulation thread, which it feeds.
int raiseThreadToAcquisition();
// Back to the normal scheduling every thread starts with.
int lowerThreadToNormal();
// CPU time the calling thread has used, in nanoseconds.
int64_t threadCpuNowNs();

// How the calling thread is scheduled: its policy, its fixed priority (0 under a reservation)
// and the relative deadline of its reservation (0 without one).
struct ThreadScheduling {
    int policy = 0;
    int priority = 0;
    uint64_t deadlineNs = 0;
};
ThreadScheduling currentThreadScheduling();
// The policy a deadline reservation reports.
inline constexpr int kDeadlinePolicy = 6;
