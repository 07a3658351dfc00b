#pragma once

// How files and paths are written on this system: the part of the
// configuration files' text and of the log's path rule that differs between
// Linux (FileConventions_linux.cpp) and Windows (FileConventions_win.cpp).
// Plain C++, no Qt.

namespace FileConventions {

// The line end of the text files the program writes ("\r\n" on Windows), so
// that a file opened in the system's own editor reads as it should.
const char *lineEnd();

// Whether a path such as "C:\Logs\kavu.csv" names a file on this system.
// Configuration files made on Windows carry such paths; elsewhere the program
// keeps only the file's name.
bool drivePathsAreNative();

} // namespace FileConventions
