#include "SerialLine.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
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
    if (listenFd_ >= 0)
        ::close(listenFd_);
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
    if (n == 0 && isNetwork())
        return -1;  // the client closed the connection
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

bool SerialLine::openListener(const QString& spec, QString& error)
{
    // tcp:HOST:PORT, HOST possibly [IPv6]
    QString rest = spec;
    if (!rest.startsWith(QLatin1String("tcp:"))) {
        error = QStringLiteral("--listen %1: expected tcp:HOST:PORT").arg(spec);
        return false;
    }
    rest = rest.mid(4);
    const int colon = rest.lastIndexOf(':');
    QString host = rest.left(colon);
    bool ok = false;
    const int port = rest.mid(colon + 1).toInt(&ok);
    if (colon <= 0 || !ok || port < 0 || port > 65535) {
        error = QStringLiteral("--listen %1: expected tcp:HOST:PORT").arg(spec);
        return false;
    }
    const bool bracketed = host.startsWith('[') && host.endsWith(']');
    if (bracketed)
        host = host.mid(1, host.size() - 2);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const QByteArray hostBytes = host.toLocal8Bit();
    const QByteArray service = QByteArray::number(port);
    const int resolved = getaddrinfo(hostBytes.constData(), service.constData(), &hints, &found);
    if (resolved != 0) {
        error = QStringLiteral("--listen %1: %2").arg(spec, QString::fromLocal8Bit(gai_strerror(resolved)));
        return false;
    }
    int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, found->ai_protocol);
    const int on = 1;
    if (fd >= 0)
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (fd < 0 || ::bind(fd, found->ai_addr, found->ai_addrlen) != 0 || ::listen(fd, 4) != 0) {
        error = systemError(qPrintable(QStringLiteral("--listen %1").arg(spec)));
        freeaddrinfo(found);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    freeaddrinfo(found);
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    const int actualPort = bound.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                                                        : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    listenFd_ = fd;
    clientPath_ = QStringLiteral("tcp://%1:%2").arg(bracketed || host.contains(':') ? '[' + host + ']' : host).arg(actualPort);
    isDevice_ = false;
    return true;
}

bool SerialLine::acceptClient(QString& peer)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&address), &length, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0)
        return false;
    char host[NI_MAXHOST] = "?";
    char service[NI_MAXSERV] = "?";
    getnameinfo(reinterpret_cast<sockaddr*>(&address), length, host, sizeof host, service, sizeof service,
                NI_NUMERICHOST | NI_NUMERICSERV);
    peer = QStringLiteral("%1 port %2").arg(QString::fromLatin1(host), QString::fromLatin1(service));
    if (fd_ >= 0) {
        ::close(fd);   // busy with another client
        return false;
    }
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    fd_ = fd;
    return true;
}

void SerialLine::dropClient()
{
    if (isNetwork() && fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

int SerialLine::clientBaud() const
{
    if (isDevice_ || isNetwork() || fd_ < 0)
        return 0;
    // The master of a pseudo-terminal reports the settings of its slave.
    termios tio{};
    if (tcgetattr(fd_, &tio) != 0)
        return 0;
    switch (cfgetospeed(&tio)) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    default: return 0;
    }
}
