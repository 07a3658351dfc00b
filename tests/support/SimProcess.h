// Starts the hrc417-sim controller simulator as a child process for tests.
//
// Plain C++ and POSIX, no Qt, so GoogleTest and Qt Test suites can both use it.
// The simulator prints the path of its pseudo-terminal as the first line of
// standard output; start() waits for that line (never a fixed sleep) and keeps
// collecting standard error (the --verbose exchange log) in the background, so
// a chatty simulator never blocks on a full pipe.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace hrcsim {

class SimProcess {
public:
    // args are the simulator's command-line arguments (not the program name).
    explicit SimProcess(std::vector<std::string> args = {});
    ~SimProcess();  // stops a running simulator (SIGTERM, then SIGKILL)

    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // The simulator program: $HRC417_SIM when set, else the one built with
    // the project.
    static std::string defaultExecutable();
    void setExecutable(std::string path) { executable_ = std::move(path); }

    // Starts the program and waits up to timeout for its first stdout line.
    // false with error() set when it cannot start, exits or stays silent.
    bool start(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // The first stdout line without its newline (the tty the client opens).
    const std::string& ptyPath() const { return ptyPath_; }
    pid_t pid() const { return pid_; }
    bool running() const { return pid_ > 0; }
    const std::string& error() const { return error_; }

    // Everything the simulator wrote to stderr so far.
    std::string stderrText() const;
    // Waits until stderr contains needle (counting from byte offset from);
    // true when found, false on time-out or when the simulator has exited.
    bool waitForStderr(const std::string& needle,
                       std::chrono::milliseconds timeout = std::chrono::seconds(5),
                       size_t from = 0) const;
    // Stdout lines after the first (normally none).
    std::string stdoutText() const;

    // Sends sig (SIGTERM by default) and waits up to timeout for the exit,
    // then kills it. Returns the exit code; 128 + signal number if it died
    // of a signal; -1 if it was not running.
    int stop(int sig = 15, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Waits for the process to end by itself (e.g. after a bad argument).
    // Returns its exit code as stop() does, or -1 on time-out.
    int waitForExit(std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    void readerLoop();
    int reap(bool block);
    void closeFds();

    std::vector<std::string> args_;
    std::string executable_;
    std::string ptyPath_;
    std::string error_;
    pid_t pid_ = -1;
    int stdoutFd_ = -1;
    int stderrFd_ = -1;
    int wakeFd_[2] = {-1, -1};
    int exitCode_ = -1;

    mutable std::mutex mutex_;
    std::atomic<bool> reading_{false};
    // Waits until what the simulator has written to stderr is in the text.
    void settled() const;
    mutable std::condition_variable changed_;
    std::string stdout_;
    std::string stderr_;
    bool streamsClosed_ = false;
    std::thread reader_;
};

}  // namespace hrcsim
