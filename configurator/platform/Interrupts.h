#pragma once

// Ctrl+C (and a request to end) for a console program: the part that differs
// between Linux (Interrupts_linux.cpp: SIGINT and SIGTERM, with a pipe that
// wakes an event loop) and Windows (Interrupts_win.cpp: the console's
// Ctrl+C, Ctrl+Break and close events). Plain C++ and the system's API, no
// Qt. The handlers only set the flag and write the wake-up byte.

#include <csignal>

namespace Interrupts {

// From now on an interrupt sets *flag to 1 and makes wakeDescriptor()
// readable. Called once, early, from the main thread.
void install(volatile std::sig_atomic_t *flag);

// A descriptor an event loop can watch (a pipe's reading end) that becomes
// readable when an interrupt comes; -1 where there is none (Windows: the
// flag is looked at instead).
int wakeDescriptor();

// Takes the wake-up bytes that are there, without waiting.
void drainWake();

} // namespace Interrupts
