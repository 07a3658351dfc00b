// The Linux side of FileReplace.h: POSIX files, mkstemp, fsync and rename.

#include "FileReplace.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace FileReplace {

namespace {

std::string folderOf(const std::string &path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Writes all of the bytes at the descriptor's position; false with errno set.
// A short write is retried, so that the system names the reason it stopped.
bool writeAll(int fd, const char *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (written == 0) {
            errno = EIO;
            return false;
        }
        data += written;
        size -= std::size_t(written);
    }
    return true;
}

bool readAll(const std::string &path, std::string *bytes)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ::close(fd);
            return got == 0;
        }
        bytes->append(buffer, std::size_t(got));
    }
}

// Rewrites the file in place: the old content is kept and written back when
// the new content cannot be written whole.
Outcome rewriteInPlace(const std::string &path, const char *data, std::size_t size)
{
    Outcome outcome;
    outcome.inPlace = true;
    std::string old;
    if (!readAll(path, &old)) {
        outcome.failed = Step::ReadOld;
        outcome.error = errno;
        return outcome;
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        outcome.failed = Step::OpenInPlace;
        outcome.error = errno;
        return outcome;
    }
    if (writeAll(fd, data, size) && ::ftruncate(fd, off_t(size)) == 0 && ::fsync(fd) == 0) {
        if (::close(fd) != 0) {
            outcome.failed = Step::Write;
            outcome.error = errno;
        }
        return outcome;
    }
    outcome.error = errno;
    // The old content goes back; it took this much room before.
    const bool restored = ::lseek(fd, 0, SEEK_SET) == 0 && writeAll(fd, old.data(), old.size())
                          && ::ftruncate(fd, off_t(old.size())) == 0 && ::fsync(fd) == 0;
    ::close(fd);
    outcome.failed = restored ? Step::WriteInPlace : Step::WriteInPlaceLost;
    return outcome;
}

} // namespace

Status examine(const std::string &path)
{
    Status status;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT)
            status.error = errno;
        return status;
    }
    status.kind = S_ISREG(st.st_mode)    ? Kind::File
                  : S_ISDIR(st.st_mode)  ? Kind::Folder
                  : S_ISCHR(st.st_mode)  ? Kind::CharacterDevice
                  : S_ISBLK(st.st_mode)  ? Kind::BlockDevice
                  : S_ISFIFO(st.st_mode) ? Kind::Fifo
                  : S_ISSOCK(st.st_mode) ? Kind::Socket
                                         : Kind::Other;
    return status;
}

int writeAccess(const std::string &path, Kind kind)
{
    return ::access(path.c_str(), kind == Kind::Folder ? W_OK | X_OK : W_OK) == 0 ? 0 : errno;
}

Outcome writeWhole(const std::string &target, const char *data, std::size_t size, unsigned mode)
{
    Outcome outcome;
    struct stat before;
    const bool exists = ::stat(target.c_str(), &before) == 0;
    const auto slash = target.find_last_of('/');
    std::string temporary = folderOf(target) + "/." + target.substr(slash == std::string::npos ? 0 : slash + 1)
                            + ".XXXXXX";
    const int fd = ::mkstemp(&temporary[0]);
    if (fd < 0) {
        const int reason = errno;
        // The folder takes no new file (no right to create files there, no
        // room for a longer name beside it): an existing file we may write is
        // still written, in place.
        if (exists && (reason == EACCES || reason == EPERM || reason == ENAMETOOLONG))
            return rewriteInPlace(target, data, size);
        outcome.failed = Step::CreateTemporary;
        outcome.error = reason;
        return outcome;
    }
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    const auto fail = [&](Step step, int reason) {
        ::unlink(temporary.c_str());
        outcome.failed = step;
        outcome.error = reason;
        return outcome;
    };
    if (!writeAll(fd, data, size) || ::fchmod(fd, mode_t(mode)) != 0 || ::fsync(fd) != 0) {
        const int reason = errno;
        ::close(fd);
        return fail(Step::Write, reason);
    }
    // Readers that cache a file by its size and time (QSettings does) must
    // see new content even when the old file was written in the same clock
    // tick: the new file's time is always later than the old one's.
    struct stat written;
    if (exists && ::fstat(fd, &written) == 0) {
        const long long oldMs = before.st_mtim.tv_sec * 1000LL + before.st_mtim.tv_nsec / 1000000;
        const long long newMs = written.st_mtim.tv_sec * 1000LL + written.st_mtim.tv_nsec / 1000000;
        if (newMs <= oldMs) {
            const long long later = oldMs + 1;
            const timespec times[2] = {{0, UTIME_OMIT}, {time_t(later / 1000), long(later % 1000) * 1000000L}};
            ::futimens(fd, times);
        }
    }
    if (::close(fd) != 0)
        return fail(Step::Write, errno);
    if (std::rename(temporary.c_str(), target.c_str()) != 0)
        return fail(Step::Replace, errno);
    // The rename itself reaches the disk with the folder.
    const int folder = ::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return outcome;
}

unsigned modeOf(const std::string &target)
{
    struct stat st;
    return ::stat(target.c_str(), &st) == 0 ? unsigned(st.st_mode & 0777) : newFileMode();
}

unsigned newFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return unsigned(0666 & ~mask);
}

bool followsLinks()
{
    return true;
}

std::string errorText(int error)
{
    return std::strerror(error);
}

} // namespace FileReplace
