// The Linux side of FileConventions.h.

#include "FileConventions.h"

namespace FileConventions {

const char *lineEnd()
{
    return "\n";
}

bool drivePathsAreNative()
{
    return false;
}

} // namespace FileConventions
