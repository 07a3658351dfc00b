#pragma once

// Short sleeps of the I/O thread, kept short: the part of the exchange's
// timing that differs between Linux (ThreadTiming_linux.cpp: timer slack,
// clock_nanosleep) and Windows (ThreadTiming_win.cpp: Sleep, whose
// resolution the timer period sets). Plain C++, no Qt.

namespace ThreadTiming {

// Makes the calling thread's short sleeps end on time (Linux: 1 ns timer
// slack instead of 50 us; Windows: a 1 ms timer period while the process runs).
void preciseSleepsForThisThread();

// Sleeps the calling thread for about one millisecond.
void pauseOneMillisecond();

} // namespace ThreadTiming
