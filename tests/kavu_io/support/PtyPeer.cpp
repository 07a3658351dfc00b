#include "PtyPeer.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace kavu::test {
namespace {

// True when fd has characters; false at the deadline, or at once when
// stopFd is readable and fd holds nothing.
bool waitReadable(int fd, int stopFd, double deadlineMs) {
    for (;;) {
        const double left = deadlineMs - nowMs();
        if (left <= 0) return false;
        struct pollfd pfd[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        const int r = poll(pfd, 2, static_cast<int>(left) + 1);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        if (pfd[0].revents & POLLIN) return true;
        if (pfd[1].revents & POLLIN) return false;
    }
}

}  // namespace

double nowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

PtyPeer::PtyPeer() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
        throw std::runtime_error("no pseudo-terminal");
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("no slave name");
    slaveName_ = name;
    stop_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    keeper_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (keeper_ < 0) throw std::runtime_error("slave does not open");
    // The line starts raw, like a real serial port after boot would not:
    // tests that care set their own starting flags.
    struct termios tio;
    tcgetattr(keeper_, &tio);
    cfmakeraw(&tio);
    tcsetattr(keeper_, TCSANOW, &tio);
}

PtyPeer::~PtyPeer() {
    join();
    if (keeper_ >= 0) ::close(keeper_);
    if (master_ >= 0) ::close(master_);
    if (stop_ >= 0) ::close(stop_);
}

void PtyPeer::hangUp() {
    finish();
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

std::string PtyPeer::readRequest(int timeoutMs) {
    const double deadline = nowMs() + timeoutMs;
    std::string text;
    char c;
    while (waitReadable(master_, stop_, deadline)) {
        const ssize_t n = ::read(master_, &c, 1);
        if (n != 1) continue;
        if (text.empty() && c != '#') continue;
        text.push_back(c);
        if (c == '\r') return text;
        if (text.size() > 64) text.clear();
    }
    return {};
}

std::string PtyPeer::readAny(int timeoutMs) {
    const double deadline = nowMs() + timeoutMs;
    std::string text;
    char buffer[256];
    while (waitReadable(master_, stop_, deadline)) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

void PtyPeer::write(const std::string& text) { writeBytes(text.data(), text.size()); }

void PtyPeer::writeBytes(const void* data, std::size_t length) {
    const auto* p = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t n = ::write(master_, p, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        p += n;
        length -= static_cast<std::size_t>(n);
    }
}

void PtyPeer::drain() { tcflush(master_, TCIFLUSH); }

void PtyPeer::run(std::function<void(PtyPeer&)> script) {
    join();
    thread_ = std::thread([this, script = std::move(script)] { script(*this); });
}

void PtyPeer::join() {
    if (thread_.joinable()) thread_.join();
}

void PtyPeer::finish() {
    if (!thread_.joinable()) return;
    const std::uint64_t one = 1;
    (void)!::write(stop_, &one, sizeof one);
    thread_.join();
    std::uint64_t value;
    (void)!::read(stop_, &value, sizeof value);
}

}  // namespace kavu::test
