#include "platform/ThreadPriority.h"

#include <cerrno>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// High, yet below the kernel's own real-time housekeeping threads at the top of the range.
constexpr int kTimeCriticalPriority = 80;
// The reader stays in the normal scheduler with a larger share: a real-time reader that cannot
// keep up (the simulated receiver synthesising 30 MS/s in a sanitizer build) took a whole core
// from the window and the spectrum thread.
constexpr int kAcquisitionNice = -10;

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
    return setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kAcquisitionNice) == 0 ? 0 : errno;
}
