// Starts Debian's ser2net (4.x) for tests, in front of a serial device (the
// simulator's pseudo-terminal), on 127.0.0.1 with two free ports: a raw TCP
// accepter (transparent) and a telnet(rfc2217) accepter. The YAML
// configuration goes to a temporary file; ser2net runs in the foreground
// (-n) without UUCP locks (-u), and start() returns once both ports listen
// (never a fixed sleep). Plain C++ and POSIX (Linux), no Qt.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>

namespace hrcsim {

class Ser2netProcess {
public:
    explicit Ser2netProcess(std::string device);
    ~Ser2netProcess();   // stops it and removes the configuration
    Ser2netProcess(const Ser2netProcess&) = delete;
    Ser2netProcess& operator=(const Ser2netProcess&) = delete;

    // The program found on PATH or in /usr/sbin; empty when not installed.
    static std::string executable();

    // Starts with new free ports (the first time) or the same ones again
    // (after stop()). false with error() set.
    bool start(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Sends sig and waits (SIGKILL after timeout); its clients see the
    // close. On SIGTERM ser2net first lets a running exchange finish; SIGKILL
    // ends it in the middle, as a crash or a restart of the box would.
    void stop(int sig = 15, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    bool running() const { return pid_ > 0; }

    int rawPort() const { return rawPort_; }
    int rfc2217Port() const { return rfc2217Port_; }
    std::string rawAddress() const { return "tcp://127.0.0.1:" + std::to_string(rawPort_); }
    std::string rfc2217Address() const { return "rfc2217://127.0.0.1:" + std::to_string(rfc2217Port_); }
    const std::string& error() const { return error_; }
    // What ser2net wrote (its standard output and error).
    std::string log() const;

private:
    std::string device_;
    std::string directory_;
    std::string error_;
    pid_t pid_ = -1;
    int rawPort_ = 0;
    int rfc2217Port_ = 0;
};

// A TCP port on 127.0.0.1 that nothing listens on at the moment of asking.
int freeLoopbackPort();

}  // namespace hrcsim
