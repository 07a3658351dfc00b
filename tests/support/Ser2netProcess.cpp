#include "Ser2netProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace hrcsim {
namespace {

// Whether something listens on 127.0.0.1:port, from the kernel's table: a
// probing connect would make ser2net open its device (and keep it a while).
bool listening(int port)
{
    std::ifstream table("/proc/net/tcp");
    std::string line;
    char wanted[32];
    std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (local == wanted && state == "0A")
            return true;
    }
    return false;
}

}  // namespace

int freeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
        && getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

Ser2netProcess::Ser2netProcess(std::string device) : device_(std::move(device)) {}

Ser2netProcess::~Ser2netProcess()
{
    stop();
    if (!directory_.empty()) {
        std::remove((directory_ + "/ser2net.yaml").c_str());
        std::remove((directory_ + "/ser2net.log").c_str());
        ::rmdir(directory_.c_str());
    }
}

std::string Ser2netProcess::executable()
{
    for (const char* candidate : {"/usr/sbin/ser2net", "/usr/bin/ser2net", "/usr/local/sbin/ser2net"})
        if (::access(candidate, X_OK) == 0)
            return candidate;
    return {};
}

std::string Ser2netProcess::log() const
{
    std::ifstream in(directory_ + "/ser2net.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Ser2netProcess::start(std::chrono::milliseconds timeout)
{
    if (running())
        return true;
    const std::string program = executable();
    if (program.empty()) {
        error_ = "ser2net is not installed";
        return false;
    }
    if (directory_.empty()) {
        char pattern[] = "/tmp/hrc-ser2net-XXXXXX";
        if (!::mkdtemp(pattern)) {
            error_ = std::string("mkdtemp: ") + std::strerror(errno);
            return false;
        }
        directory_ = pattern;
        rawPort_ = freeLoopbackPort();
        rfc2217Port_ = freeLoopbackPort();
        while (rfc2217Port_ == rawPort_)
            rfc2217Port_ = freeLoopbackPort();
        // The same device behind both accepters; ser2net opens it only while
        // a client is connected. The line settings are the server's own
        // until an RFC 2217 client sets others.
        std::ofstream config(directory_ + "/ser2net.yaml");
        config << "%YAML 1.1\n---\n"
               << "connection: &raw\n"
               << "  accepter: tcp,127.0.0.1," << rawPort_ << "\n"
               << "  connector: serialdev," << device_ << ",115200n81,local\n"
               << "  options:\n    kickolduser: false\n    mdns: false\n"
               << "connection: &rfc2217\n"
               << "  accepter: telnet(rfc2217),tcp,127.0.0.1," << rfc2217Port_ << "\n"
               << "  connector: serialdev," << device_ << ",115200n81,local\n"
               << "  options:\n    kickolduser: false\n    mdns: false\n";
        if (!config) {
            error_ = "cannot write the ser2net configuration";
            return false;
        }
    }
    const std::string configPath = directory_ + "/ser2net.yaml";
    const std::string logPath = directory_ + "/ser2net.log";
    const pid_t pid = ::fork();
    if (pid < 0) {
        error_ = std::string("fork: ") + std::strerror(errno);
        return false;
    }
    if (pid == 0) {
        const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (log >= 0) {
            ::dup2(log, 1);
            ::dup2(log, 2);
        }
        ::execl(program.c_str(), program.c_str(), "-n", "-u", "-c", configPath.c_str(),
                "-P", (directory_ + "/ser2net.pid").c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    pid_ = pid;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            error_ = "ser2net exited: " + log();
            return false;
        }
        if (listening(rawPort_) && listening(rfc2217Port_))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    error_ = "ser2net did not open its ports: " + log();
    stop();
    return false;
}

void Ser2netProcess::stop(int sig, std::chrono::milliseconds timeout)
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, sig);
    const auto end = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= end) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
}

}  // namespace hrcsim
