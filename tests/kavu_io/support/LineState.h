// Reads and presets the line settings of a tty through termios2, so that
// tests can see exactly what the library put on the line (speed fields,
// CIBAUD, flow-control flags). Own file: <asm/termbits.h> clashes with
// <termios.h>.
#pragma once

namespace kavu::test {

struct LineState {
    unsigned iflag = 0, oflag = 0, cflag = 0, lflag = 0;
    unsigned ispeed = 0, ospeed = 0;
    unsigned char vmin = 0, vtime = 0;
};

bool readLineState(int fd, LineState& state);
// Sets flags the library must clear (IXOFF, IXANY, CRTSCTS, HUPCL, ICANON,
// ECHO, OPOST, ICRNL) and a speed of 4800 bit/s.
bool presetCookedLine(int fd);

// Flag values of termios2 for the checks.
struct LineFlags {
    static const unsigned ixoff, ixany, ixon, crtscts, hupcl, icanon, echo, opost, icrnl, inpck;
    static const unsigned parenb, parodd, cstopb, csize, cs7, cs8, clocal, cread;
    static const unsigned cbaud, cibaud, bother, b9600, b4800, b115200;
};

}  // namespace kavu::test
