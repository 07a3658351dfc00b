#include "SerialLine.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

QString systemError(const char* what)
{
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

bool speedConstant(int baud, speed_t& out)
{
    switch (baud) {
    case 1200: out = B1200; return true;
    case 2400: out = B2400; return true;
    case 4800: out = B4800; return true;
    case 9600: out = B9600; return true;
    case 19200: out = B19200; return true;
    case 38400: out = B38400; return true;
    case 57600: out = B57600; return true;
    case 115200: out = B115200; return true;
    case 230400: out = B230400; return true;
    default: return false;
    }
}

bool applySettings(int fd, const LineSettings& s, QString& error)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        error = systemError("tcgetattr");
        return false;
    }
    cfmakeraw(&tio);
    speed_t speed;
    if (!speedConstant(s.baud, speed)) {
        error = QStringLiteral("line speed %1 bit/s is not supported by this serial interface").arg(s.baud);
        return false;
    }
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | (s.dataBits == 7 ? CS7 : CS8);
    if (s.parity == 1)
        tio.c_cflag |= PARENB;
    else if (s.parity == 2)
        tio.c_cflag |= PARENB | PARODD;
    if (s.stopBits == 2)
        tio.c_cflag |= CSTOPB;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        error = systemError("tcsetattr");
        return false;
    }
    return true;
}

}  // namespace

SerialLine::~SerialLine()
{
    if (slaveFd_ >= 0)
        ::close(slaveFd_);
    if (fd_ >= 0)
        ::close(fd_);
}

bool SerialLine::openPseudoTerminal(QString& error)
{
    fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) {
        error = systemError("posix_openpt");
        return false;
    }
    char name[256];
    if (grantpt(fd_) != 0 || unlockpt(fd_) != 0 || ptsname_r(fd_, name, sizeof name) != 0) {
        error = systemError("pseudo-terminal set-up");
        return false;
    }
    slaveFd_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveFd_ < 0) {
        error = systemError("opening the pseudo-terminal");
        return false;
    }
    // Raw from the start: no echo, no CR/NL translation, no signals.
    termios tio{};
    if (tcgetattr(slaveFd_, &tio) != 0) {
        error = systemError("tcgetattr");
        return false;
    }
    cfmakeraw(&tio);
    if (tcsetattr(slaveFd_, TCSANOW, &tio) != 0) {
        error = systemError("tcsetattr");
        return false;
    }
    const int flags = fcntl(fd_, F_GETFL);
    fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
    clientPath_ = QString::fromLocal8Bit(name);
    isDevice_ = false;
    return true;
}

bool SerialLine::openDevice(const QString& path, const LineSettings& settings, QString& error)
{
    fd_ = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        error = systemError(qPrintable(path));
        return false;
    }
    if (!isatty(fd_)) {
        error = QStringLiteral("%1 is not a serial device").arg(path);
        return false;
    }
    if (!applySettings(fd_, settings, error))
        return false;
    tcflush(fd_, TCIOFLUSH);
    clientPath_ = path;
    isDevice_ = true;
    return true;
}

bool SerialLine::reconfigure(const LineSettings& settings, QString& error)
{
    if (!isDevice_)
        return true;
    tcdrain(fd_);
    return applySettings(fd_, settings, error);
}

long SerialLine::read(char* buffer, size_t size)
{
    const ssize_t n = ::read(fd_, buffer, size);
    if (n >= 0)
        return long(n);
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return 0;
    return -1;
}

bool SerialLine::write(const char* bytes, size_t count, int timeoutMs)
{
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd_, bytes + done, count - done);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        pollfd p{fd_, POLLOUT, 0};
        if (poll(&p, 1, timeoutMs) <= 0)
            return false;
    }
    return true;
}

void SerialLine::drain()
{
    if (isDevice_)
        tcdrain(fd_);
}
