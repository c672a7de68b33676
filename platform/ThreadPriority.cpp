#include "platform/ThreadPriority.h"

#include <pthread.h>
#include <sched.h>

namespace {

// High, yet below the kernel's own real-time housekeeping threads at the top of the range.
constexpr int kTimeCriticalPriority = 80;

} // namespace

int raiseThreadToTimeCritical()
{
    sched_param param{};
    param.sched_priority = kTimeCriticalPriority;
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}
