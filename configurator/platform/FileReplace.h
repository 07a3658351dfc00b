#pragma once

// Saving a whole file so that a failure leaves the old one as it was: the
// part of AtomicFile that differs between Linux (FileReplace_linux.cpp:
// mkstemp, fsync, rename) and Windows (FileReplace_win.cpp: CreateFileW,
// FlushFileBuffers, MoveFileExW with MOVEFILE_REPLACE_EXISTING |
// MOVEFILE_WRITE_THROUGH). Plain C++ and the system's API, no Qt, so that
// the Windows side is cross-built and tested without a Windows Qt. Paths are
// UTF-8; error codes are the system's (the C library's on Linux,
// GetLastError on Windows), told in words
// by errorText(). Any thread.

#include <string>

namespace FileReplace {

// What stands at a path.
enum class Kind { Missing, File, Folder, CharacterDevice, BlockDevice, Fifo, Socket, Other };

struct Status {
    Kind kind = Kind::Missing;
    int error = 0; // why the path could not be examined (kind is then Missing)
};

// What path is (after following symbolic links, where the system has them).
Status examine(const std::string &path);

// 0 when this process may write the existing file path, or create files in
// the folder path; otherwise the system's reason.
int writeAccess(const std::string &path, Kind kind);

// Where a save failed.
enum class Step {
    None,
    CreateTemporary,    // no temporary file beside the target
    Write,              // writing, flushing or closing the temporary file
    Replace,            // the temporary file could not take the target's place
    ReadOld,            // in place: the old content could not be read first
    OpenInPlace,        // in place: the target could not be opened for writing
    WriteInPlace,       // in place: writing failed, the old content is back
    WriteInPlaceLost,   // in place: writing failed, the old content could not be put back
};

struct Outcome {
    Step failed = Step::None;
    int error = 0;        // the system's reason of the failure
    bool inPlace = false; // the folder took no new file: the target was rewritten in place
};

// Writes size bytes as the whole content of target: into a temporary file
// beside it, flushed to the disk, which then replaces target in one step.
// mode: the new file's permission bits (POSIX 0644-style; Windows keeps only
// "not writable by the owner" as the read-only attribute). When the folder
// takes no temporary file and target exists, target is rewritten in place and
// its old content written back should that fail.
Outcome writeWhole(const std::string &target, const char *data, std::size_t size, unsigned mode);

// The permission bits of target (for the new file that replaces it).
unsigned modeOf(const std::string &target);
// The permission bits a new file of this process gets (0666 less the umask).
unsigned newFileMode();
// Whether a save writes through a symbolic link to the file at its end
// (Linux) or names the file itself (Windows, where links are rare and a
// replace would take the link's place).
bool followsLinks();

// The system's text for an error code.
std::string errorText(int error);

} // namespace FileReplace
