// The Windows side of FileConventions.h.

#include "FileConventions.h"

namespace FileConventions {

const char *lineEnd()
{
    return "\r\n";
}

bool drivePathsAreNative()
{
    return true;
}

} // namespace FileConventions
