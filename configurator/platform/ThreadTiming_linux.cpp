// The Linux side of ThreadTiming.h.

#include "ThreadTiming.h"

#include <cerrno>
#include <sys/prctl.h>
#include <time.h>

namespace ThreadTiming {

void preciseSleepsForThisThread()
{
    // The kernel may otherwise let each short sleep of this thread run 50 us
    // long; over a job of hundreds of transfers that adds up.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}

void pauseOneMillisecond()
{
    timespec until;
    clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_nsec += 1000000;
    if (until.tv_nsec >= 1000000000) {
        until.tv_nsec -= 1000000000;
        ++until.tv_sec;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

} // namespace ThreadTiming
