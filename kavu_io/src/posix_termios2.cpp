#include "posix_termios2.h"

#include <asm/termbits.h>
#include <cstring>
#include <sys/ioctl.h>

namespace kavu::platform::posix {
namespace {

static_assert(sizeof(struct termios2) <= sizeof(SavedLine::bytes), "termios2 does not fit");

// Bxxx codes of the speeds the protocol uses; 14400 and 28800 have none.
unsigned standardSpeedCode(int baud) {
    switch (baud) {
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return 0;
    }
}

bool supportedSpeed(int baud) {
    return standardSpeedCode(baud) != 0 || baud == 14400 || baud == 28800;
}

}  // namespace

bool lineSave(int fd, SavedLine& saved) {
    struct termios2 tio;
    if (ioctl(fd, TCGETS2, &tio) != 0) return false;
    std::memset(saved.bytes, 0, sizeof saved.bytes);
    std::memcpy(saved.bytes, &tio, sizeof tio);
    return true;
}

bool lineRestore(int fd, const SavedLine& saved) {
    struct termios2 tio;
    std::memcpy(&tio, saved.bytes, sizeof tio);
    return ioctl(fd, TCSETS2, &tio) == 0;
}

bool lineApplyRaw(int fd, const LineSettings& s) {
    if (!supportedSpeed(s.baud) || s.dataBits < 5 || s.dataBits > 8) return false;
    struct termios2 tio;
    if (ioctl(fd, TCGETS2, &tio) != 0) return false;

    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                          IXON | IXOFF | IXANY | IGNPAR | IUCLC | IMAXBEL);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL |
                                          CBAUD | CIBAUD);
    tio.c_cflag |= CREAD | CLOCAL;

    switch (s.dataBits) {
    case 5: tio.c_cflag |= CS5; break;
    case 6: tio.c_cflag |= CS6; break;
    case 7: tio.c_cflag |= CS7; break;
    default: tio.c_cflag |= CS8; break;
    }
    switch (s.parity) {
    case Parity::None: tio.c_iflag &= ~static_cast<tcflag_t>(INPCK); break;
    case Parity::Even: tio.c_cflag |= PARENB; tio.c_iflag |= INPCK; break;
    case Parity::Odd: tio.c_cflag |= PARENB | PARODD; tio.c_iflag |= INPCK; break;
    }
    // Linux drivers know one or two stop bits; 1.5 is sent as two.
    if (s.stopBits != StopBits::One) tio.c_cflag |= CSTOPB;

    const unsigned code = standardSpeedCode(s.baud);
    tio.c_cflag |= code != 0 ? code : BOTHER;   // CIBAUD stays 0: input speed = output speed
    tio.c_ispeed = static_cast<speed_t>(s.baud);
    tio.c_ospeed = static_cast<speed_t>(s.baud);

    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return ioctl(fd, TCSETS2, &tio) == 0;
}

}  // namespace kavu::platform::posix
