#pragma once

// Standard output and error of the command-line tool: whether a stream is a
// terminal, and the system's reason when a write fails (a full disk, a closed
// pipe). Linux (StandardStreams_linux.cpp) and Windows
// (StandardStreams_win.cpp) name that reason in their own codes. Plain C++,
// no Qt.

#include <cstdio>
#include <string>

namespace StandardStreams {

bool isTerminal(std::FILE *stream);

// Writes size bytes to stream and flushes it: 0, or the system's error code
// of what failed.
int write(std::FILE *stream, const char *data, std::size_t size);
// Flushes stream: 0, or the system's error code.
int flush(std::FILE *stream);

// The system's text for an error code of write() or flush().
std::string errorText(int error);

} // namespace StandardStreams
