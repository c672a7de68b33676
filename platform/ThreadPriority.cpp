#include "platform/ThreadPriority.h"

#include <pthread.h>
#include <sched.h>

#include <ctime>

namespace {

// High, yet below the kernel's own real-time housekeeping threads at the top of the range.
constexpr int kTimeCriticalPriority = 80;
// A few steps below, leaving room between the two for anything that must preempt the reader.
constexpr int kAcquisitionPriority = kTimeCriticalPriority - 5;

int raiseThreadToFifo(int priority)
{
    sched_param param{};
    param.sched_priority = priority;
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

} // namespace

int raiseThreadToTimeCritical()
{
    return raiseThreadToFifo(kTimeCriticalPriority);
}

int raiseThreadToAcquisition()
{
    return raiseThreadToFifo(kAcquisitionPriority);
}

int lowerThreadToNormal()
{
    sched_param param{};
    return pthread_setschedparam(pthread_self(), SCHED_OTHER, &param);
}

int64_t threadCpuNowNs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}
