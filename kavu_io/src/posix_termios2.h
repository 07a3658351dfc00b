// Line settings of a Linux tty through termios2 (TCGETS2/TCSETS2), which
// sets any speed exactly (BOTHER) and carries input and output speed
// explicitly. Kept in its own file because <asm/termbits.h> clashes with
// <termios.h>; this header includes neither.
#pragma once

#include "platform.h"

namespace kavu::platform::posix {

// Opaque copy of a struct termios2 (44 bytes on Linux).
struct SavedLine {
    alignas(8) unsigned char bytes[64];
};

bool lineSave(int fd, SavedLine& saved);
bool lineRestore(int fd, const SavedLine& saved);

// Applies raw mode and the settings on top of what the tty has now:
// cfmakeraw's flags plus IXOFF, IXANY, CRTSCTS and HUPCL cleared (cfmakeraw
// leaves them), CREAD|CLOCAL set, VMIN = VTIME = 0 (reads are timed with
// poll), parity checking on when parity is used, the speed in both
// directions with CIBAUD cleared (a standard speed uses its Bxxx code, any
// other BOTHER). Returns false for an unsupported value or a refused
// request.
bool lineApplyRaw(int fd, const LineSettings& settings);

}  // namespace kavu::platform::posix
