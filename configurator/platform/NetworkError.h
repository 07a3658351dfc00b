#pragma once

// Why a connection to a serial device server failed, from the system error
// code the protocol library gives for a failed connect (GetLastOpenSysErr):
// the part of telling network failures apart that differs between Linux
// (NetworkError_linux.cpp: the C library's error codes and getaddrinfo's
// negative EAI_* codes) and Windows (NetworkError_win.cpp: Winsock's WSA
// codes). Plain C++ and the system's API, no Qt. Any thread.

#include <string>

namespace NetworkError {

enum class Kind {
    BadSetting,  // the address is not well formed, or the server refused the line settings
    NoSuchHost,  // the host name is not known (or no name server answered)
    Refused,     // nothing listens on that TCP port
    TimedOut,    // no answer within the connect time-out
    Unreachable, // no route to the host or its network
    Closed,      // the server took the connection and closed it (busy with another client)
    Other,
};

Kind classify(int systemError);

// The system's text for the code.
std::string errorText(int systemError);

} // namespace NetworkError
