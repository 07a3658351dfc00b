// kavu_io ports behind a serial device server, end to end: the simulator
// serving TCP itself (--listen, with a cellular link's latency and
// segments), and Debian's ser2net in front of the simulator's
// pseudo-terminal with a raw and a telnet(rfc2217) accepter.
#include "Ser2netProcess.h"
#include "SimFixture.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <thread>

namespace {

using simtest::kAddress;
using simtest::kShort;

constexpr int kPort = 20;
constexpr int kSpeed2400 = 0, kSpeed19200 = 4, kSpeed115200 = 8;

class NetPorts : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        SetApiMode(1);
        SetMaxRetriesGlobal(1);
    }

    void TearDown() override
    {
        for (int port : opened_) {
            SelectPort(port);
            ClosePort();
        }
    }

    // Binds `port` to name and opens it; returns OpenPort's result.
    int open(int port, const std::string& name, int speed = kSpeed115200)
    {
        EXPECT_EQ(SetPortName(port, name.c_str()), 0);
        const int result = OpenPort(port, speed, 0, 1, 0, 1);
        if (result == 0)
            opened_.push_back(port);
        return result;
    }

    static unsigned readAddr(int* result)
    {
        int value = -1;
        *result = ReadUInt(kAddress, kShort, "Addr", &value, -1);
        return unsigned(value);
    }

    static KavuLinkStats stats()
    {
        KavuLinkStats s{};
        s.size = sizeof s;
        EXPECT_EQ(GetLinkStats(&s), 0);
        return s;
    }

    // A few parameters as text, read through the current port.
    static std::string snapshot()
    {
        std::string text;
        for (const char* name : {"Addr", "bPS", "PrtY", "LEn", "Sbit", "A.Len"}) {
            int value = -1;
            const int result = ReadUInt(kAddress, kShort, name, &value, -1);
            text += std::string(name) + "=" + (result == 0 ? std::to_string(value) : "error " + std::to_string(result)) + ";";
        }
        return text;
    }

    std::vector<int> opened_;
};

TEST_F(NetPorts, FailedConnectsGiveTheSystemsReason)
{
    // Not a well-formed address: nothing is asked of the network.
    for (const char* bad : {"tcp://", "tcp://host", "tcp://host:0", "tcp://host:70000", "rfc2217://[::1:4001",
                            "tcp://host:4001?connect=", "tcp://host:4001?speed=1", "tcp://ho st:4001"}) {
        EXPECT_EQ(open(kPort, bad), KAVU_E_OPEN) << bad;
        EXPECT_EQ(GetLastOpenSysErr(), EINVAL) << bad;
    }
    // A name that does not resolve.
    EXPECT_EQ(open(kPort, "tcp://no-such-host.invalid:4001"), KAVU_E_OPEN);
    EXPECT_EQ(GetLastOpenSysErr(), EAI_NONAME);
    // Nobody listens: refused, at once.
    const int freePort = hrcsim::freeLoopbackPort();
    EXPECT_EQ(open(kPort, "rfc2217://127.0.0.1:" + std::to_string(freePort)), KAVU_E_OPEN);
    EXPECT_EQ(GetLastOpenSysErr(), ECONNREFUSED);
    EXPECT_EQ(open(kPort, "tcp://[::1]:" + std::to_string(freePort)), KAVU_E_OPEN);
    EXPECT_TRUE(GetLastOpenSysErr() == ECONNREFUSED || GetLastOpenSysErr() == EADDRNOTAVAIL
                || GetLastOpenSysErr() == EAFNOSUPPORT) << GetLastOpenSysErr();   // a host without IPv6
    // A server whose backlog is full answers no handshake: the connect
    // time-out of the address ends the wait.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string full = "tcp://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    const int filler = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(open(kPort, full + "?connect=300"), KAVU_E_OPEN);
    EXPECT_EQ(GetLastOpenSysErr(), ETIMEDOUT);
    ::close(filler);
    ::close(listener);
}

TEST_F(NetPorts, SimulatorListeningOnTcpServesEveryExport)
{
    hrcsim::SimProcess sim({"--listen", "tcp:127.0.0.1:0", "--address", "16"});
    ASSERT_TRUE(sim.start()) << sim.error();
    ASSERT_EQ(sim.ptyPath().rfind("tcp://127.0.0.1:", 0), 0u) << sim.ptyPath();
    ASSERT_EQ(open(kPort, sim.ptyPath()), 0) << GetLastOpenSysErr();
    EXPECT_EQ(GetLastOpenSysErr(), 0);
    int result = -1;
    EXPECT_EQ(readAddr(&result), 16u);
    EXPECT_EQ(result, 0);
    unsigned char data[KAVU_MAX_DATA] = {};
    int size = 0;
    EXPECT_EQ(KavuIO(kAddress, kShort, 1, "Addr", data, &size), 0);
    EXPECT_GE(size, 1);
    float t = 0;
    EXPECT_EQ(ReadStoredDotS(kAddress, kShort, "T.sp", &t, 0), 0);
    char text[KAVU_ERROR_TEXT_SIZE];
    EXPECT_EQ(LastErrToStr(text), 0);
    const KavuLinkStats s = stats();
    EXPECT_EQ(s.exchanges, 3u);
    EXPECT_EQ(s.attempts, 3u);
    EXPECT_EQ(GetLastIoSysErr(), 0);

    // Per-thread mode on a thread of its own, same server (after the slot's
    // client has left: one client at a time).
    SelectPort(kPort);
    ClosePort();
    opened_.clear();
    std::thread([&] {
        ASSERT_EQ(SetApiMode(0), 0);
        EXPECT_EQ(OpenPort(kPort, kSpeed115200, 0, 1, 0, 1), 0);
        int r = -1;
        EXPECT_EQ(readAddr(&r), 16u);
        EXPECT_EQ(r, 0);
        ClosePort();
        SetApiMode(1);
    }).join();
    EXPECT_EQ(sim.stop(), 0);
}

TEST_F(NetPorts, RepliesSplitAcrossSegmentsOfASlowLinkStillDecode)
{
    // 2400 bit/s in pieces of 8 characters: 33 ms between the pieces, more
    // than a serial line's 20 ms gap; 100 +- 40 ms of latency on each reply.
    hrcsim::SimProcess sim({"--listen", "tcp:127.0.0.1:0", "--address", "16", "--baud", "2400",
                            "--latency", "100:40", "--segment", "8", "--seed", "7"});
    ASSERT_TRUE(sim.start()) << sim.error();
    ASSERT_EQ(open(kPort, sim.ptyPath(), kSpeed2400), 0);
    for (int i = 0; i < 6; ++i) {
        float value = 0;
        EXPECT_EQ(ReadStoredDotS(kAddress, kShort, "T.sp", &value, i % 2), 0) << i;
    }
    const KavuLinkStats s = stats();
    EXPECT_EQ(s.exchanges, 6u);
    EXPECT_EQ(s.attempts, 6u) << "no repeats";
    EXPECT_EQ(s.timeouts + s.badReplies, 0u);
}

TEST_F(NetPorts, BusyServerRefusingASecondClientIsALostPortUntilItIsFree)
{
    hrcsim::SimProcess sim({"--listen", "tcp:127.0.0.1:0", "--address", "16", "--busy", "refuse", "--verbose"});
    ASSERT_TRUE(sim.start()) << sim.error();
    ASSERT_EQ(open(kPort, sim.ptyPath()), 0);
    int result = -1;
    readAddr(&result);
    ASSERT_EQ(result, 0);
    // The second client is let in and thrown out at once.
    ASSERT_EQ(open(kPort + 1, sim.ptyPath()), 0);
    ASSERT_TRUE(sim.waitForStderr("refused: busy"));
    readAddr(&result);
    EXPECT_EQ(result, KAVU_E_TIMEOUT);
    EXPECT_EQ(GetLastIoSysErr(), ECONNRESET);
    EXPECT_EQ(stats().attempts, 1u) << "a lost port is not asked again";
    // The first leaves; the next exchange of the second connects again.
    SelectPort(kPort);
    ClosePort();
    ASSERT_TRUE(sim.waitForStderr("client disconnected"));
    SelectPort(kPort + 1);
    EXPECT_EQ(readAddr(&result), 16u);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(GetLastIoSysErr(), 0);
}

class Ser2net : public NetPorts {
protected:
    void SetUp() override
    {
        if (hrcsim::Ser2netProcess::executable().empty()) {
            GTEST_SKIP() << "ser2net is not installed (tools/ci/setup-debian.sh installs it)";
        }
    }
    // The simulator on its pseudo-terminal, ser2net in front of it.
    void startServers(std::vector<std::string> simArgs = {})
    {
        simArgs.insert(simArgs.end(), {"--address", "16", "--verbose"});
        sim_ = std::make_unique<hrcsim::SimProcess>(simArgs);
        ASSERT_TRUE(sim_->start()) << sim_->error();
        server_ = std::make_unique<hrcsim::Ser2netProcess>(sim_->ptyPath());
        ASSERT_TRUE(server_->start()) << server_->error();
    }
    // ser2net gives the device up a few hundred ms after its last client
    // left; until then a client of its other accepter is told "Port's device
    // already in use" and disconnected, as a busy server does.
    int openWhenFree(int port, const std::string& address, int speed)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        int result = open(port, address, speed);
        while (result != 0 && GetLastOpenSysErr() == ECONNRESET && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            result = open(port, address, speed);
        }
        return result;
    }
    // A server stopped during an exchange: the exchange ends as a lost port
    // at once, exchanges while it is down are refused, and the first one
    // after it is back connects again and works.
    void stopDuringAnExchange(const std::string& address)
    {
        ASSERT_EQ(open(kPort, address), 0) << GetLastOpenSysErr();
        int result = -1;
        readAddr(&result);
        ASSERT_EQ(result, 0);

        // Where the simulator's log stands before the request: the request's
        // line may be there before the stopper thread looks.
        const auto logBefore = sim_->stderrText().size();
        std::thread stopper([this, logBefore] {
            ASSERT_TRUE(sim_->waitForStderr("Addr", std::chrono::seconds(5), logBefore));
            server_->stop(SIGKILL);
        });
        const auto before = std::chrono::steady_clock::now();
        readAddr(&result);
        const auto took = std::chrono::steady_clock::now() - before;
        stopper.join();
        EXPECT_EQ(result, KAVU_E_TIMEOUT);
        EXPECT_EQ(GetLastIoSysErr(), ECONNRESET) << "a lost port, not a silent device";
        EXPECT_LT(took, std::chrono::milliseconds(1500)) << "no repeats on a lost port";
        readAddr(&result);
        EXPECT_EQ(result, KAVU_E_TIMEOUT);
        EXPECT_EQ(GetLastIoSysErr(), ECONNREFUSED);

        ASSERT_TRUE(server_->start()) << server_->error();
        EXPECT_EQ(readAddr(&result), 16u);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(GetLastIoSysErr(), 0);
    }
    void TearDown() override
    {
        NetPorts::TearDown();
        server_.reset();
        if (sim_) {
            EXPECT_EQ(sim_->stop(), 0);
        }
    }
    std::unique_ptr<hrcsim::SimProcess> sim_;
    std::unique_ptr<hrcsim::Ser2netProcess> server_;
};

TEST_F(Ser2net, RawAndRfc2217AcceptersReadWhatThePseudoTerminalReads)
{
    startServers();
    ASSERT_EQ(open(kPort, sim_->ptyPath()), 0);
    const std::string direct = snapshot();
    ASSERT_EQ(direct.find("error"), std::string::npos) << direct;
    ClosePort();
    opened_.clear();

    ASSERT_EQ(open(kPort, server_->rawAddress()), 0) << GetLastOpenSysErr();
    EXPECT_EQ(snapshot(), direct);
    ClosePort();
    opened_.clear();

    // RFC 2217: the speed asked for is set on the server, which sets it on
    // the line; the simulator sees it on its pseudo-terminal.
    ASSERT_EQ(openWhenFree(kPort, server_->rfc2217Address(), kSpeed19200), 0) << GetLastOpenSysErr();
    EXPECT_EQ(snapshot(), direct);
    EXPECT_TRUE(sim_->waitForStderr("client set the line to 19200 bit/s")) << sim_->stderrText();
    const KavuLinkStats s = stats();
    EXPECT_EQ(s.attempts, s.exchanges) << "no repeats";
}

// The device answers after 300 ms: time for the server to go meanwhile.
TEST_F(Ser2net, RawServerStoppedDuringAnExchangeIsALostPort)
{
    startServers({"--turnaround", "300"});
    stopDuringAnExchange(server_->rawAddress());
}

TEST_F(Ser2net, Rfc2217ServerStoppedDuringAnExchangeIsALostPort)
{
    startServers({"--turnaround", "300"});
    stopDuringAnExchange(server_->rfc2217Address());
}

}  // namespace
