#include "Interrupts.h"

#include <windows.h>

namespace {

volatile std::sig_atomic_t *interruptFlag = nullptr;

// Runs in a thread the console starts for the event.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        if (interruptFlag)
            *interruptFlag = 1;
        return TRUE; // the program ends its exchanges itself
    default:
        return FALSE;
    }
}

extern "C" void onSignal(int signal)
{
    if (interruptFlag)
        *interruptFlag = 1;
    // The C runtime puts back the default (ending the program) before it
    // calls a handler: taken again for the next Ctrl+C.
    std::signal(signal, onSignal);
}

} // namespace

namespace Interrupts {

void install(volatile std::sig_atomic_t *flag)
{
    interruptFlag = flag;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    // raise() and a C runtime's own delivery go through the signal handlers.
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
}

int wakeDescriptor()
{
    return -1;
}

void drainWake()
{
}

} // namespace Interrupts
