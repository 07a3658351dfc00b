// The Windows side of StandardStreams.h: the C runtime writes through
// WriteFile, whose GetLastError code (ERROR_DISK_FULL, ERROR_NO_DATA for a
// closed pipe) is the reason given.

#include "StandardStreams.h"

#include "WinText.h"

#include <io.h>
#include <windows.h>

namespace StandardStreams {

bool isTerminal(std::FILE *stream)
{
    return _isatty(_fileno(stream)) != 0;
}

int write(std::FILE *stream, const char *data, std::size_t size)
{
    SetLastError(0);
    if (std::fwrite(data, 1, size, stream) == size && std::fflush(stream) == 0)
        return 0;
    const DWORD error = GetLastError();
    return int(error != 0 ? error : ERROR_WRITE_FAULT);
}

int flush(std::FILE *stream)
{
    SetLastError(0);
    if (std::fflush(stream) == 0)
        return 0;
    const DWORD error = GetLastError();
    return int(error != 0 ? error : ERROR_WRITE_FAULT);
}

std::string errorText(int error)
{
    return WinText::errorText(static_cast<unsigned long>(error));
}

} // namespace StandardStreams
