#pragma once

// Why a serial port did not open, from the system's error code, and which
// programs hold a busy port: the part of telling port failures apart that
// differs between Linux (PortOpenError_linux.cpp: the C library's error
// codes, the process table) and Windows
// (PortOpenError_win.cpp: GetLastError; Windows does not say who holds a
// port). Plain C++ and the system's API, no Qt, so that the Windows side is
// cross-built and tested without a Windows Qt. Any thread.

#include <string>
#include <vector>

namespace PortOpenError {

enum class Kind {
    Missing,   // no such device (adapter unplugged, wrong name)
    Denied,    // this user may not open it (Linux; on Windows a held port says "denied")
    Held,      // another program has it open
    NotSerial, // it opened but is no serial port
    Other,
};

// The kind of a failed open from the system's error code (the C library's
// on Linux, GetLastError on Windows).
Kind classify(int systemError);

// The system's text for the error code.
std::string errorText(int systemError);

// Whether the system can name the programs holding a port at all (Linux:
// those of this user, from the process table; Windows: no).
bool canNameHolders();

struct Holder {
    std::string name; // the program's name; empty where the system does not tell
    long long pid = 0;
};

// The programs other than selfPid that have device open (after following
// symbolic links), read from procRoot (empty: the system's own). Empty where
// the system does not tell (other users' processes, Windows).
std::vector<Holder> holdersOf(const std::string &device, long long selfPid, const std::string &procRoot = {});

// Opens device as the protocol library does (exclusively, as a serial line)
// and closes it again: 0 when it opened as a serial port, otherwise the
// system's error code, which classify() reads.
int tryOpen(const std::string &device);

} // namespace PortOpenError
