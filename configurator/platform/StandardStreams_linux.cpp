// The Linux side of StandardStreams.h: errno codes.

#include "StandardStreams.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace StandardStreams {

bool isTerminal(std::FILE *stream)
{
    return ::isatty(::fileno(stream)) != 0;
}

int write(std::FILE *stream, const char *data, std::size_t size)
{
    errno = 0;
    if (std::fwrite(data, 1, size, stream) == size && std::fflush(stream) == 0)
        return 0;
    return errno != 0 ? errno : EIO;
}

int flush(std::FILE *stream)
{
    errno = 0;
    if (std::fflush(stream) == 0)
        return 0;
    return errno != 0 ? errno : EIO;
}

std::string errorText(int error)
{
    return std::strerror(error);
}

} // namespace StandardStreams
