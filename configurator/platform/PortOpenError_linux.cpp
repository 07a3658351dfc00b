// The Linux side of PortOpenError.h: errno codes, and the holders of a port
// from /proc/<pid>/fd and /proc/<pid>/comm.

#include "PortOpenError.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace PortOpenError {

namespace {

std::string canonical(const std::string &path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

std::vector<std::string> entries(const std::string &folder)
{
    std::vector<std::string> names;
    if (DIR *dir = ::opendir(folder.c_str())) {
        while (const dirent *entry = ::readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.emplace_back(entry->d_name);
        }
        ::closedir(dir);
    }
    return names;
}

bool isNumber(const std::string &text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

} // namespace

Kind classify(int systemError)
{
    switch (systemError) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return Kind::Missing;
    case EACCES:
    case EPERM:
        return Kind::Denied;
    // TIOCEXCL gives EBUSY, the lock of an exclusive opener EWOULDBLOCK.
    case EBUSY:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EAGAIN:
        return Kind::Held;
    case ENOTTY:
        return Kind::NotSerial;
    default:
        return Kind::Other;
    }
}

std::string errorText(int systemError)
{
    return std::strerror(systemError);
}

bool canNameHolders()
{
    return true;
}

std::vector<Holder> holdersOf(const std::string &device, long long selfPid, const std::string &procRoot)
{
    std::vector<Holder> found;
    const std::string target = canonical(device);
    if (target.empty())
        return found;
    const std::string proc = procRoot.empty() ? std::string("/proc") : procRoot;
    for (const std::string &pid : entries(proc)) {
        if (!isNumber(pid) || std::atoll(pid.c_str()) == selfPid)
            continue;
        const std::string fds = proc + "/" + pid + "/fd";
        for (const std::string &fd : entries(fds)) {
            if (canonical(fds + "/" + fd) != target)
                continue;
            Holder holder;
            holder.pid = std::atoll(pid.c_str());
            const int comm = ::open((proc + "/" + pid + "/comm").c_str(), O_RDONLY | O_CLOEXEC);
            if (comm >= 0) {
                char name[256];
                const ssize_t got = ::read(comm, name, sizeof name);
                ::close(comm);
                if (got > 0)
                    holder.name.assign(name, std::size_t(got));
                while (!holder.name.empty() && (holder.name.back() == '\n' || holder.name.back() == ' '))
                    holder.name.pop_back();
            }
            found.push_back(holder);
            break;
        }
    }
    return found;
}

int tryOpen(const std::string &device)
{
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    // As the library: not a terminal is no serial port; TIOCEXCL and the lock
    // keep other openers out, and fail where another opener already has them.
    int error = 0;
    termios settings;
    if (!::isatty(fd) || ::tcgetattr(fd, &settings) != 0)
        error = ENOTTY;
    else if (::ioctl(fd, TIOCEXCL) != 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0)
        error = errno;
    ::close(fd);
    return error;
}

} // namespace PortOpenError
