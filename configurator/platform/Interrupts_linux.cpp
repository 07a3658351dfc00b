#include "Interrupts.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t *interruptFlag = nullptr;
int wakePipe[2] = {-1, -1};

extern "C" void onSignal(int)
{
    if (interruptFlag)
        *interruptFlag = 1;
    if (wakePipe[1] >= 0) {
        const char byte = 1;
        const ssize_t ignored = write(wakePipe[1], &byte, 1);
        (void)ignored;
    }
}

} // namespace

namespace Interrupts {

void install(volatile std::sig_atomic_t *flag)
{
    interruptFlag = flag;
    if (wakePipe[0] < 0 && pipe(wakePipe) == 0) {
        for (int fd : wakePipe) {
            fcntl(fd, F_SETFD, FD_CLOEXEC);
            fcntl(fd, F_SETFL, O_NONBLOCK);
        }
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
}

int wakeDescriptor()
{
    return wakePipe[0];
}

void drainWake()
{
    if (wakePipe[0] < 0)
        return;
    char bytes[16];
    while (read(wakePipe[0], bytes, sizeof bytes) > 0) {
    }
}

} // namespace Interrupts
