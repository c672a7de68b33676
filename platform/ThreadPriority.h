#pragma once

#include <cstdint>

// Real-time priorities of the threads that carry the signal to the listener (SCHED_FIFO on
// Linux). Each returns 0, or the system's error code when it refuses (EPERM for a user without
// the right to real-time scheduling); the thread then runs on as it was.

// The demodulation channel's thread, and audio drivers pacing themselves like a sound card.
int raiseThreadToTimeCritical();
// The receiver's reader: above every normal thread, so that a busy machine does not starve the
// chain at its source, and below the demodulation thread, which it feeds.
int raiseThreadToAcquisition();
// Back to the normal scheduling every thread starts with.
int lowerThreadToNormal();
// CPU time the calling thread has used, in nanoseconds.
int64_t threadCpuNowNs();
