#pragma once

// Raised priorities of the threads that carry the signal to the listener. Each returns 0, or the
// system's error code when it refuses (EPERM or EACCES for a user without the right); the thread
// then runs on as it was.

// Real-time (SCHED_FIFO on Linux): the demodulation channel's thread, and audio drivers pacing
// themselves like a sound card.
int raiseThreadToTimeCritical();
// The receiver's reader: a larger share than every normal thread (nice -10 on Linux), so that a
// busy machine does not starve the chain at its source, and below the real-time demodulation
// thread, which it feeds.
int raiseThreadToAcquisition();
