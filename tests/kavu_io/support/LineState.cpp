#include "LineState.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace kavu::test {

const unsigned LineFlags::ixoff = IXOFF, LineFlags::ixany = IXANY, LineFlags::ixon = IXON,
               LineFlags::crtscts = CRTSCTS, LineFlags::hupcl = HUPCL, LineFlags::icanon = ICANON,
               LineFlags::echo = ECHO, LineFlags::opost = OPOST, LineFlags::icrnl = ICRNL, LineFlags::inpck = INPCK;
const unsigned LineFlags::parenb = PARENB, LineFlags::parodd = PARODD, LineFlags::cstopb = CSTOPB,
               LineFlags::csize = CSIZE, LineFlags::cs7 = CS7, LineFlags::cs8 = CS8, LineFlags::clocal = CLOCAL,
               LineFlags::cread = CREAD;
const unsigned LineFlags::cbaud = CBAUD, LineFlags::cibaud = CIBAUD, LineFlags::bother = BOTHER,
               LineFlags::b9600 = B9600, LineFlags::b4800 = B4800, LineFlags::b115200 = B115200;

bool readLineState(int fd, LineState& s) {
    struct termios2 t;
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    s.iflag = t.c_iflag;
    s.oflag = t.c_oflag;
    s.cflag = t.c_cflag;
    s.lflag = t.c_lflag;
    s.ispeed = t.c_ispeed;
    s.ospeed = t.c_ospeed;
    s.vmin = t.c_cc[VMIN];
    s.vtime = t.c_cc[VTIME];
    return true;
}

bool presetCookedLine(int fd) {
    struct termios2 t;
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    t.c_iflag |= IXOFF | IXANY | ICRNL;
    t.c_oflag |= OPOST;
    t.c_lflag |= ICANON | ECHO;
    t.c_cflag |= CRTSCTS | HUPCL;
    t.c_cflag &= ~(CBAUD | CIBAUD);
    t.c_cflag |= B4800;
    t.c_ispeed = t.c_ospeed = 4800;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 5;
    return ioctl(fd, TCSETS2, &t) == 0;
}

}  // namespace kavu::test
