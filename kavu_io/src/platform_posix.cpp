// Linux implementation of the platform seam: tty devices opened
// exclusively, poll()-timed reads with millisecond deadlines, non-blocking
// TCP sockets (connect with a time-out, TCP_NODELAY, keep-alive), modem lines
// through TIOCM*, low latency through TIOCSSERIAL, pthread locks, condition
// variable and TLS, shared-object constructor/destructor as the load and
// unload hooks.
#include "platform.h"
#include "posix_termios2.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <linux/serial.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <new>
#include <poll.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace kavu::platform {

struct SerialPort {
    int fd = -1;
    posix::SavedLine savedLine{};
    bool haveSavedModem = false;
    int savedModem = 0;
    bool lowLatencyChanged = false;
    struct serial_struct savedSerial {};
    Timeouts timeouts;
    int ioError = 0;   // see serialIoError
};

namespace {

constexpr std::int64_t kNsPerMs = 1000000;

void setModemBit(int fd, int bit, bool raised) {
    // A pseudo-terminal answers ENOTTY/EINVAL: there is no line to switch.
    (void)ioctl(fd, raised ? TIOCMBIS : TIOCMBIC, &bit);
}

void enableLowLatency(SerialPort& port) {
    struct serial_struct serial {};
    if (ioctl(port.fd, TIOCGSERIAL, &serial) != 0) return;   // not a UART/USB driver
    if (serial.flags & ASYNC_LOW_LATENCY) return;
    port.savedSerial = serial;
    serial.flags |= ASYNC_LOW_LATENCY;
    if (ioctl(port.fd, TIOCSSERIAL, &serial) == 0) port.lowLatencyChanged = true;
}

// Waits for `events` on fd until the absolute monotonic deadline.
// Returns poll's revents, 0 on time-out, -1 on error.
int waitFor(int fd, short events, std::int64_t deadlineNs) {
    for (;;) {
        const std::int64_t left = deadlineNs - monotonicNs();
        if (left <= 0) return 0;
        struct timespec ts;
        ts.tv_sec = static_cast<time_t>(left / 1000000000);
        ts.tv_nsec = static_cast<long>(left % 1000000000);
        struct pollfd pfd {fd, events, 0};
        const int r = ppoll(&pfd, 1, &ts, nullptr);
        if (r < 0) {
            if (errno == EINTR) continue;
            return kSerialFailed;
        }
        if (r == 0) continue;   // re-check the deadline
        return pfd.revents;
    }
}

// Keeps the first failure since the last clear; later ones follow from it.
void noteIoError(SerialPort* port, int error) {
    if (port->ioError == 0) port->ioError = error != 0 ? error : EIO;
}

}  // namespace

// Why the calling thread's last open failed (see serialLastOpenError).
static thread_local int t_lastOpenError = 0;

void defaultDeviceName(int port, char* out, std::size_t size) {
    std::snprintf(out, size, "/dev/ttyS%d", port);
}

int serialLastOpenError() { return t_lastOpenError; }

SerialPort* serialOpen(const char* device) {
    if (device == nullptr || device[0] == '\0') {
        t_lastOpenError = ENOENT;
        return nullptr;
    }
    const int fd = ::open(device, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        t_lastOpenError = errno;
        return nullptr;
    }
    // TIOCEXCL stops other openers except root; the flock stops root too.
    if (!isatty(fd) || ioctl(fd, TIOCEXCL) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        t_lastOpenError = errno;   // taken before close() can change it
        ::close(fd);
        return nullptr;
    }
    auto* port = new (std::nothrow) SerialPort;
    if (port == nullptr || !posix::lineSave(fd, port->savedLine)) {
        t_lastOpenError = port == nullptr ? ENOMEM : errno;
        (void)ioctl(fd, TIOCNXCL);
        ::close(fd);
        delete port;
        return nullptr;
    }
    t_lastOpenError = 0;
    port->fd = fd;
    int modem = 0;
    if (ioctl(fd, TIOCMGET, &modem) == 0) {
        port->haveSavedModem = true;
        port->savedModem = modem;
    }
    enableLowLatency(*port);
    return port;
}

bool serialConfigure(SerialPort* port, const LineSettings& settings) {
    if (port == nullptr) return false;
    errno = 0;
    if (posix::lineApplyRaw(port->fd, settings)) return true;
    // A value the driver does not offer may fail without a system call.
    t_lastOpenError = errno != 0 ? errno : EINVAL;
    return false;
}

bool serialSetTimeouts(SerialPort* port, const Timeouts& timeouts) {
    if (port == nullptr) return false;
    port->timeouts = timeouts;
    return true;
}

void serialSetRts(SerialPort* port, bool raised) { setModemBit(port->fd, TIOCM_RTS, raised); }
void serialSetDtr(SerialPort* port, bool raised) { setModemBit(port->fd, TIOCM_DTR, raised); }

void serialPurge(SerialPort* port) {
    if (tcflush(port->fd, TCIOFLUSH) != 0) noteIoError(port, errno);
}

int serialIoError(const SerialPort* port) { return port != nullptr ? port->ioError : 0; }

void serialClearIoError(SerialPort* port) {
    if (port != nullptr) port->ioError = 0;
}

bool serialWriteAll(SerialPort* port, const void* data, std::size_t length) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    const Timeouts& t = port->timeouts;
    const std::int64_t deadline =
        monotonicNs() + (static_cast<std::int64_t>(length) * t.writePerCharMs + t.writeConstantMs) * kNsPerMs;
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(port->fd, bytes + done, length - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            noteIoError(port, errno);
            return false;
        }
        const int ev = waitFor(port->fd, POLLOUT, deadline);
        if (ev < 0) noteIoError(port, errno);
        if (ev > 0 && (ev & (POLLERR | POLLHUP | POLLNVAL))) noteIoError(port, (ev & POLLNVAL) ? EBADF : EIO);
        if (ev <= 0 || (ev & (POLLERR | POLLNVAL))) return false;
    }
    // Completion: the driver has handed every character to the line.
    while (tcdrain(port->fd) != 0) {
        if (errno != EINTR) {
            noteIoError(port, errno);
            return false;
        }
    }
    return true;
}

bool serialTransmitChar(SerialPort* port, char c) {
    // Linux has no "ahead of the queue" write; the output buffer is empty
    // here anyway (purged before every request), so the character goes next.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const ssize_t n = ::write(port->fd, &c, 1);
        if (n == 1) return true;
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            noteIoError(port, errno);
            return false;
        }
        const std::int64_t deadline = monotonicNs() + port->timeouts.writeConstantMs * kNsPerMs;
        if (waitFor(port->fd, POLLOUT, deadline) <= 0) return false;
    }
    return false;
}

int serialRead(SerialPort* port, void* buffer, std::size_t wanted) {
    if (wanted == 0) return 0;
    auto* out = static_cast<unsigned char*>(buffer);
    const Timeouts& t = port->timeouts;
    const std::int64_t start = monotonicNs();
    const std::int64_t total =
        start + (static_cast<std::int64_t>(wanted) * t.readPerCharMs + t.readConstantMs) * kNsPerMs;
    std::int64_t lastCharacter = 0;
    std::size_t got = 0;
    while (got < wanted) {
        std::int64_t deadline = total;
        if (got > 0 && t.interCharMs > 0) {
            const std::int64_t gapEnd = lastCharacter + t.interCharMs * kNsPerMs;
            if (gapEnd < deadline) deadline = gapEnd;
        }
        const int ev = waitFor(port->fd, POLLIN, deadline);
        if (ev == 0) break;
        if (ev < 0 || (ev & POLLNVAL)) {
            noteIoError(port, ev < 0 ? errno : EBADF);
            return got > 0 ? static_cast<int>(got) : kSerialFailed;
        }
        const ssize_t n = ::read(port->fd, out + got, wanted - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
            lastCharacter = monotonicNs();
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        // End of file or an error (a hung-up line): nothing more will come.
        // A pseudo-terminal whose other side closed fails with EIO; a tty
        // whose device went away reports end of file with a hang-up.
        if (n < 0 || (ev & (POLLHUP | POLLERR))) noteIoError(port, n < 0 ? errno : EIO);
        return got > 0 ? static_cast<int>(got) : kSerialFailed;
    }
    return static_cast<int>(got);
}

void serialClose(SerialPort* port) {
    if (port == nullptr) return;
    if (port->fd >= 0) {
        (void)posix::lineRestore(port->fd, port->savedLine);
        if (port->haveSavedModem) {
            const int lines = TIOCM_RTS | TIOCM_DTR;
            int raise = port->savedModem & lines;
            int lower = ~port->savedModem & lines;
            if (raise) (void)ioctl(port->fd, TIOCMBIS, &raise);
            if (lower) (void)ioctl(port->fd, TIOCMBIC, &lower);
        }
        if (port->lowLatencyChanged) (void)ioctl(port->fd, TIOCSSERIAL, &port->savedSerial);
        (void)tcflush(port->fd, TCIOFLUSH);
        (void)ioctl(port->fd, TIOCNXCL);
        (void)flock(port->fd, LOCK_UN);
        ::close(port->fd);
    }
    delete port;
}

// ------------------------------------------------------------ TCP sockets

struct Socket {
    int fd = -1;
};

void setLastOpenError(int error) { t_lastOpenError = error; }

int socketClosedError() { return ECONNRESET; }
int socketTimedOutError() { return ETIMEDOUT; }
int socketInvalidError() { return EINVAL; }

namespace {

// Connects fd to one address within the deadline; 0 or the system's error.
int connectOne(int fd, const struct addrinfo* ai, std::int64_t deadlineNs) {
    if (::connect(fd, ai->ai_addr, ai->ai_addrlen) == 0) return 0;
    if (errno != EINPROGRESS && errno != EINTR) return errno;
    const int ev = waitFor(fd, POLLOUT, deadlineNs);
    if (ev == 0) return ETIMEDOUT;
    if (ev < 0) return errno;
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
    return error;
}

void tuneStream(int fd) {
    const int on = 1;
    (void)setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    (void)setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    // A server behind a cellular router that vanishes is noticed within
    // about half a minute of silence rather than the system's two hours.
    const int idle = 15, interval = 5, count = 3;
    (void)setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    (void)setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    (void)setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
}

}  // namespace

Socket* socketConnect(const char* host, int port, int timeoutMs, int* error) {
    const std::int64_t deadline = monotonicNs() + static_cast<std::int64_t>(timeoutMs) * kNsPerMs;
    char service[16];
    std::snprintf(service, sizeof service, "%d", port);
    struct addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    struct addrinfo* found = nullptr;
    const int resolved = getaddrinfo(host, service, &hints, &found);
    if (resolved != 0) {
        *error = resolved == EAI_SYSTEM ? errno : resolved;
        return nullptr;
    }
    int last = ETIMEDOUT;
    for (const struct addrinfo* ai = found; ai != nullptr; ai = ai->ai_next) {
        if (monotonicNs() >= deadline) {
            last = ETIMEDOUT;
            break;
        }
        const int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) {
            last = errno;
            continue;
        }
        last = connectOne(fd, ai, deadline);
        if (last != 0) {
            ::close(fd);
            continue;
        }
        freeaddrinfo(found);
        tuneStream(fd);
        auto* socket = new (std::nothrow) Socket;
        if (socket == nullptr) {
            ::close(fd);
            *error = ENOMEM;
            return nullptr;
        }
        socket->fd = fd;
        return socket;
    }
    freeaddrinfo(found);
    *error = last;
    return nullptr;
}

bool socketSendAll(Socket* socket, const void* data, std::size_t length, std::int64_t deadlineNs, int* error) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::send(socket->fd, bytes + done, length - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            // A stream the server has closed: reported as the close it is.
            *error = errno == EPIPE ? ECONNRESET : errno;
            return false;
        }
        const int ev = waitFor(socket->fd, POLLOUT, deadlineNs);
        if (ev == 0) {
            *error = ETIMEDOUT;
            return false;
        }
        if (ev < 0) {
            *error = errno;
            return false;
        }
    }
    return true;
}

int socketReceive(Socket* socket, void* buffer, std::size_t size, std::int64_t deadlineNs, int* error) {
    for (;;) {
        const ssize_t n = ::recv(socket->fd, buffer, size, 0);
        if (n > 0) return static_cast<int>(n);
        if (n == 0) {
            *error = ECONNRESET;   // the server closed the connection
            return kSerialFailed;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN) {
            *error = errno;
            return kSerialFailed;
        }
        const int ev = waitFor(socket->fd, POLLIN, deadlineNs);
        if (ev == 0) return 0;
        if (ev < 0) {
            *error = errno;
            return kSerialFailed;
        }
    }
}

int socketRoundTripUs(Socket* socket) {
    struct tcp_info info {};
    socklen_t length = sizeof info;
    if (getsockopt(socket->fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) return -1;
    return static_cast<int>(info.tcpi_rtt);
}

void socketClose(Socket* socket) {
    if (socket == nullptr) return;
    if (socket->fd >= 0) ::close(socket->fd);
    delete socket;
}

std::int64_t monotonicNs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void sleepMs(int ms) {
    if (ms <= 0) return;
    struct timespec ts;
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = static_cast<long>(ms % 1000) * kNsPerMs;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

struct Lock {
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
};

Lock* lockCreate() { return new (std::nothrow) Lock; }
void lockDestroy(Lock* lock) {
    if (lock == nullptr) return;
    pthread_mutex_destroy(&lock->mutex);
    delete lock;
}
void lockAcquire(Lock* lock) { pthread_mutex_lock(&lock->mutex); }
void lockRelease(Lock* lock) { pthread_mutex_unlock(&lock->mutex); }

struct Condition {
    pthread_cond_t cond = PTHREAD_COND_INITIALIZER;
};

Condition* conditionCreate() { return new (std::nothrow) Condition; }
void conditionDestroy(Condition* condition) {
    if (condition == nullptr) return;
    pthread_cond_destroy(&condition->cond);
    delete condition;
}
void conditionWait(Condition* condition, Lock* lock) { pthread_cond_wait(&condition->cond, &lock->mutex); }
void conditionWakeAll(Condition* condition) { pthread_cond_broadcast(&condition->cond); }

namespace {
pthread_key_t g_key;
bool g_keyValid = false;
}  // namespace

bool tlsCreate(ThreadEndHook threadEnd) {
    if (g_keyValid) return true;
    g_keyValid = pthread_key_create(&g_key, threadEnd) == 0;
    return g_keyValid;
}

void tlsDestroy() {
    if (!g_keyValid) return;
    pthread_key_delete(g_key);
    g_keyValid = false;
}

void* tlsGet() { return g_keyValid ? pthread_getspecific(g_key) : nullptr; }
bool tlsSet(void* value) { return g_keyValid && pthread_setspecific(g_key, value) == 0; }

namespace {
__attribute__((constructor)) void onSharedObjectLoad() { (void)libraryLoad(); }
__attribute__((destructor)) void onSharedObjectUnload() { libraryUnload(); }
}  // namespace

}  // namespace kavu::platform
