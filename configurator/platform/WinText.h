#pragma once

// UTF-8 <-> UTF-16 and the system's error texts for the Windows sides of the
// platform files (FileReplace_win.cpp, PortOpenError_win.cpp). Windows only.

#include <string>

namespace WinText {

// A UTF-8 path or name as Windows' wide-character functions take it.
std::wstring wide(const std::string &utf8);
// A wide-character text as UTF-8.
std::string utf8(const std::wstring &wide);
// FormatMessage's text of a GetLastError code, without the closing line end.
std::string errorText(unsigned long error);

} // namespace WinText
