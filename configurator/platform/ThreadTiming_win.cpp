// The Windows side of ThreadTiming.h: Sleep(1) lasts a whole timer period,
// 15.6 ms by default; timeBeginPeriod(1) makes it 1 ms for the process.

#include "ThreadTiming.h"

#include <windows.h>
#include <mmsystem.h>

namespace ThreadTiming {

void preciseSleepsForThisThread()
{
    static const bool set = timeBeginPeriod(1) == TIMERR_NOERROR;
    (void)set;
}

void pauseOneMillisecond()
{
    Sleep(1);
}

} // namespace ThreadTiming
