#include "SimProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace hrcsim {

namespace {

int exitCodeOf(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

SimProcess::SimProcess(std::vector<std::string> args)
    : args_(std::move(args)), executable_(defaultExecutable())
{
}

SimProcess::~SimProcess()
{
    if (running())
        stop(SIGTERM, std::chrono::seconds(5));
    closeFds();
}

std::string SimProcess::defaultExecutable()
{
    if (const char* fromEnv = std::getenv("HRC417_SIM"); fromEnv && *fromEnv)
        return fromEnv;
#ifdef HRC417_SIM_PATH
    return HRC417_SIM_PATH;
#else
    return "hrc417-sim";
#endif
}

bool SimProcess::start(std::chrono::milliseconds timeout)
{
    if (running()) {
        error_ = "already running";
        return false;
    }
    closeFds();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stdout_.clear();
        stderr_.clear();
        streamsClosed_ = false;
    }
    ptyPath_.clear();
    error_.clear();
    exitCode_ = -1;

    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) {
        error_ = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    if (pipe2(errPipe, O_CLOEXEC) != 0 || pipe2(wakeFd_, O_CLOEXEC) != 0) {
        error_ = std::string("pipe: ") + std::strerror(errno);
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return false;
    }

    // Everything the child needs is built before fork: after it only
    // async-signal-safe calls are allowed.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(executable_.c_str()));
    for (auto& a : args_)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    pid_t child = fork();
    if (child < 0) {
        error_ = std::string("fork: ") + std::strerror(errno);
        for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]})
            ::close(fd);
        return false;
    }
    if (child == 0) {
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        int devNull = ::open("/dev/null", O_RDONLY);
        if (devNull >= 0)
            dup2(devNull, STDIN_FILENO);
        execv(argv[0], argv.data());
        static const char msg[] = "SimProcess: cannot execute the simulator\n";
        ssize_t ignored = ::write(STDERR_FILENO, msg, sizeof msg - 1);
        (void)ignored;
        _exit(127);
    }
    pid_ = child;
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    stdoutFd_ = outPipe[0];
    stderrFd_ = errPipe[0];
    reader_ = std::thread(&SimProcess::readerLoop, this);

    std::unique_lock<std::mutex> lock(mutex_);
    bool gotLine = changed_.wait_for(lock, timeout, [this] {
        return stdout_.find('\n') != std::string::npos || streamsClosed_;
    });
    size_t eol = stdout_.find('\n');
    if (eol != std::string::npos) {
        ptyPath_ = stdout_.substr(0, eol);
        stdout_.erase(0, eol + 1);
        return true;
    }
    lock.unlock();
    if (!gotLine)
        error_ = "no first line from the simulator within the time-out";
    else
        error_ = "the simulator ended without printing its terminal path";
    int code = gotLine ? waitForExit(std::chrono::seconds(5)) : stop(SIGKILL);
    error_ += " (exit code " + std::to_string(code) + "): " + stderrText();
    return false;
}

void SimProcess::readerLoop()
{
    bool outOpen = true, errOpen = true;
    char buf[4096];
    while (outOpen || errOpen) {
        pollfd fds[3] = {{outOpen ? stdoutFd_ : -1, POLLIN, 0},
                         {errOpen ? stderrFd_ : -1, POLLIN, 0},
                         {wakeFd_[0], POLLIN, 0}};
        if (poll(fds, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[2].revents)
            break;
        for (int i = 0; i < 2; ++i) {
            if (!fds[i].revents)
                continue;
            // Busy from before the bytes leave the pipe until they are in
            // the text: see settled().
            reading_ = true;
            ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) {
                reading_ = false;
                continue;
            }
            std::lock_guard<std::mutex> lock(mutex_);
            if (n <= 0)
                (i == 0 ? outOpen : errOpen) = false;
            else
                (i == 0 ? stdout_ : stderr_).append(buf, static_cast<size_t>(n));
            reading_ = false;
            changed_.notify_all();
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    streamsClosed_ = true;
    changed_.notify_all();
}

void SimProcess::settled() const
{
    // The simulator logs an exchange before it sends the reply, so once the
    // client has the reply the log line is in the pipe or already read; wait
    // (briefly) until the reader has taken it into the text.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < until) {
        int pending = 0;
        if (stderrFd_ < 0 || ::ioctl(stderrFd_, FIONREAD, &pending) != 0)
            return;
        if (pending == 0 && !reading_)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::string SimProcess::stderrText() const
{
    settled();
    std::lock_guard<std::mutex> lock(mutex_);
    return stderr_;
}

std::string SimProcess::stdoutText() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return stdout_;
}

bool SimProcess::waitForStderr(const std::string& needle, std::chrono::milliseconds timeout,
                               size_t from) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    auto found = [&] {
        return stderr_.size() >= from && stderr_.find(needle, from) != std::string::npos;
    };
    changed_.wait_for(lock, timeout, [&] { return found() || streamsClosed_; });
    return found();
}

int SimProcess::reap(bool block)
{
    if (pid_ <= 0)
        return exitCode_;
    int status = 0;
    pid_t r;
    do {
        r = waitpid(pid_, &status, block ? 0 : WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == pid_) {
        exitCode_ = exitCodeOf(status);
        pid_ = -1;
        if (reader_.joinable())
            reader_.join();
    }
    return r == pid_ || pid_ < 0 ? exitCode_ : -1;
}

int SimProcess::waitForExit(std::chrono::milliseconds timeout)
{
    if (pid_ <= 0)
        return exitCode_;
    // The process has ended once both of its output pipes are closed.
    std::unique_lock<std::mutex> lock(mutex_);
    bool closed = changed_.wait_for(lock, timeout, [this] { return streamsClosed_; });
    lock.unlock();
    if (!closed)
        return -1;
    return reap(true);
}

int SimProcess::stop(int sig, std::chrono::milliseconds timeout)
{
    if (pid_ <= 0)
        return -1;
    ::kill(pid_, sig);
    int code = waitForExit(timeout);
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        if (wakeFd_[1] >= 0) {
            ssize_t ignored = ::write(wakeFd_[1], "x", 1);
            (void)ignored;
        }
        code = reap(true);
    }
    return code;
}

void SimProcess::closeFds()
{
    if (reader_.joinable()) {
        if (wakeFd_[1] >= 0) {
            ssize_t ignored = ::write(wakeFd_[1], "x", 1);
            (void)ignored;
        }
        reader_.join();
    }
    for (int* fd : {&stdoutFd_, &stderrFd_, &wakeFd_[0], &wakeFd_[1]}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

}  // namespace hrcsim
