#pragma once

// Raises the calling thread to the time-critical priority of the demodulation channel
// (SCHED_FIFO on Linux). Returns 0, or the system's error code when it refuses (EPERM for a
// user without the right to real-time scheduling); the thread then runs on as it was.
int raiseThreadToTimeCritical();
