// Port and slot management in both API modes, SetPortName, SetupPort, the
// end of a thread, detaching and attaching ports, and what the Linux serial
// layer puts on the line (raw flags, exact speeds, restore on close,
// exclusive access).
#include "LineState.h"
#include "PtyPeer.h"
#include "kavu_io.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

using kavu::test::LineFlags;
using kavu::test::LineState;
using kavu::test::PtyPeer;
using kavu::test::readLineState;
using kavu::test::replyTo;

namespace {

constexpr int kSpeed115200 = 8;

class Ports : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(SetApiMode(0), 0);
        SetMaxRetriesGlobal(0);
        SetTimeout(-164);   // 100 ms reply time-out at 115200 bit/s
        ASSERT_EQ(SetPortName(1, peerA.slaveName().c_str()), 0);
        ASSERT_EQ(SetPortName(2, peerB.slaveName().c_str()), 0);
    }
    void TearDown() override {
        peerA.finish();
        peerB.finish();
        SetApiMode(1);   // closes whatever a test left open, in either mode
        SetApiMode(0);
        SetPortName(1, nullptr);
        SetPortName(2, nullptr);
        SetTimeout(0);
        SetMaxRetriesGlobal(1);
    }
    // One exchange answered by `peer` with UInt 42; returns the result.
    static int exchangeVia(PtyPeer& peer) {
        peer.run([](PtyPeer& p) {
            const std::string r = p.readRequest(2000);
            if (!r.empty()) p.write(replyTo(r, {42}));
        });
        int value = 0;
        const int result = ReadUInt(16, 0, "Dev", &value, -1);
        peer.finish();
        return result == 0 && value != 42 ? -999 : result;
    }
    static LineState line(PtyPeer& peer) {
        LineState s;
        EXPECT_TRUE(readLineState(peer.slaveKeeperFd(), s));
        return s;
    }

    PtyPeer peerA;
    PtyPeer peerB;
};

bool deviceIsLocked(const std::string& name) {
    const int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return true;
    const bool locked = flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return locked;
}

}  // namespace

// ------------------------------------------------------------ per-thread mode

TEST_F(Ports, PerThreadModeCodes) {
    EXPECT_EQ(OpenPort(1, kSpeed115200, 0, 1, 0, 1), 0);
    EXPECT_EQ(OpenPort(2, kSpeed115200, 0, 1, 0, 1), KAVU_E_BUSY);   // one port per thread
    EXPECT_EQ(exchangeVia(peerA), 0);
    EXPECT_EQ(SelectPort(1), KAVU_E_ARGUMENT);
    EXPECT_EQ(SetupPort(1, 2, 0, 1, 0, 1), KAVU_E_NOT_SUPPORTED);
    EXPECT_EQ(ClosePort(), 0);
    EXPECT_EQ(ClosePort(), 0);   // nothing to close is fine here
    int value;
    EXPECT_EQ(ReadUInt(16, 0, "Dev", &value, -1), KAVU_E_NO_PORT);

    EXPECT_EQ(OpenPort(-1, kSpeed115200, 0, 1, 0, 1), KAVU_E_ARGUMENT);
    EXPECT_EQ(OpenPort(256, kSpeed115200, 0, 1, 0, 1), KAVU_E_ARGUMENT);
    ASSERT_EQ(SetPortName(3, "/dev/does-not-exist"), 0);
    EXPECT_EQ(OpenPort(3, kSpeed115200, 0, 1, 0, 1), KAVU_E_ARGUMENT);
    EXPECT_EQ(SetPortName(3, nullptr), 0);
    ASSERT_EQ(SetPortName(3, "/etc/hostname"), 0);   // exists, but is no tty
    EXPECT_EQ(OpenPort(3, kSpeed115200, 0, 1, 0, 1), KAVU_E_ARGUMENT);
    SetPortName(3, nullptr);
}

TEST_F(Ports, ThreadEndClosesItsPort) {
    std::thread([] { ASSERT_EQ(OpenPort(1, kSpeed115200, 0, 1, 0, 1), 0); }).join();
    EXPECT_FALSE(deviceIsLocked(peerA.slaveName()));
    EXPECT_EQ(OpenPort(1, kSpeed115200, 0, 1, 0, 1), 0);
    EXPECT_TRUE(deviceIsLocked(peerA.slaveName()));
}

TEST_F(Ports, DetachAndAttach) {
    ASSERT_EQ(OpenPort(1, kSpeed115200, 0, 1, 0, 1), 0);
    void* handle = RS485FromThread();
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(RS485FromThread(), nullptr);
    int value;
    EXPECT_EQ(ReadUInt(16, 0, "Dev", &value, -1), KAVU_E_NO_PORT);
    EXPECT_EQ(RS485ToThread(handle), KAVU_E_ARGUMENT);   // no current port to replace

    std::thread([&] {
        ASSERT_EQ(OpenPort(2, kSpeed115200, 0, 1, 0, 1), 0);
        void* ownHandle = nullptr;
        EXPECT_EQ(RS485ToThread(nullptr), KAVU_E_ARGUMENT);
        EXPECT_EQ(RS485ToThread(&value), KAVU_E_ARGUMENT);   // not a handle of the library
        EXPECT_EQ(RS485ToThread(handle), 0);
        EXPECT_EQ(exchangeVia(peerA), 0);                    // now talks through port 1
        EXPECT_EQ(RS485ToThread(handle), KAVU_E_ARGUMENT);   // already attached
        ownHandle = RS485FromThread();
        EXPECT_EQ(ownHandle, handle);
    }).join();
    // Both ports stay open (detached) until the mode changes.
    EXPECT_TRUE(deviceIsLocked(peerA.slaveName()));
    EXPECT_TRUE(deviceIsLocked(peerB.slaveName()));
    ASSERT_EQ(SetApiMode(1), 0);
    EXPECT_FALSE(deviceIsLocked(peerA.slaveName()));
    EXPECT_FALSE(deviceIsLocked(peerB.slaveName()));
    EXPECT_EQ(RS485FromThread(), nullptr);
    EXPECT_EQ(RS485ToThread(handle), KAVU_E_NOT_SUPPORTED);
    ASSERT_EQ(SetApiMode(0), 0);
    ASSERT_EQ(OpenPort(1, kSpeed115200, 0, 1, 0, 1), 0);
    EXPECT_EQ(RS485ToThread(handle), KAVU_E_ARGUMENT);   // stale (or this thread's own slot again): refused
}

// ----------------------------------------------------------------- slot mode

TEST_F(Ports, SlotModeCodes) {
    ASSERT_EQ(SetApiMode(1), 0);
    EXPECT_EQ(SetApiMode(1), 0);
    EXPECT_EQ(SetApiMode(2), KAVU_E_ARGUMENT);
    EXPECT_EQ(OpenPort(1, kSpeed115200, 0, 1, 0, 1), 0);
    EXPECT_EQ(OpenPort(1, kSpeed115200, 0, 1, 0, 1), KAVU_E_BUSY);
    EXPECT_EQ(exchangeVia(peerA), 0);   // still open and current
    EXPECT_EQ(OpenPort(256, kSpeed115200, 0, 1, 0, 1), KAVU_E_NO_PORT);
    EXPECT_EQ(OpenPort(-1, kSpeed115200, 0, 1, 0, 1), KAVU_E_NO_PORT);
    ASSERT_EQ(SetPortName(3, "/dev/does-not-exist"), 0);
    EXPECT_EQ(OpenPort(3, kSpeed115200, 0, 1, 0, 1), KAVU_E_OPEN);
    SetPortName(3, nullptr);

    EXPECT_EQ(SelectPort(256), KAVU_E_NO_PORT);
    EXPECT_EQ(SelectPort(-1), KAVU_E_NO_PORT);
    EXPECT_EQ(SelectPort(9), 0);   // an empty slot can be selected
    int value;
    EXPECT_EQ(ReadUInt(16, 0, "Dev", &value, -1), KAVU_E_NO_PORT);
    EXPECT_EQ(ClosePort(), KAVU_E_NO_PORT);
    EXPECT_EQ(SelectPort(1), 0);
    EXPECT_EQ(SelectPort(1), 0);
    EXPECT_EQ(exchangeVia(peerA), 0);
    EXPECT_EQ(RS485FromThread(), nullptr);
    EXPECT_EQ(RS485ToThread(nullptr), KAVU_E_NOT_SUPPORTED);

    // Another thread may select the same slot; the port outlives that thread.
    std::thread([&] {
        EXPECT_EQ(SelectPort(1), 0);
        EXPECT_EQ(exchangeVia(peerA), 0);
        EXPECT_EQ(OpenPort(2, kSpeed115200, 0, 1, 0, 1), 0);
    }).join();
    EXPECT_EQ(exchangeVia(peerA), 0);
    EXPECT_EQ(SelectPort(2), 0);
    EXPECT_EQ(exchangeVia(peerB), 0);
    EXPECT_EQ(ClosePort(), 0);
    EXPECT_EQ(ClosePort(), KAVU_E_NO_PORT);
    EXPECT_FALSE(deviceIsLocked(peerB.slaveName()));
}

TEST_F(Ports, SetupPortReopens) {
    ASSERT_EQ(SetApiMode(1), 0);
    EXPECT_EQ(SetupPort(1, 2, 0, 1, 0, 1), KAVU_E_NO_PORT);   // nothing in the slot
    EXPECT_EQ(SetupPort(256, 2, 0, 1, 0, 1), KAVU_E_NO_PORT);
    ASSERT_EQ(OpenPort(1, kSpeed115200, 0, 1, 0, 1), 0);
    EXPECT_EQ(line(peerA).ospeed, 115200u);
    ASSERT_EQ(SelectPort(5), 0);   // SetupPort works on any slot, not just the current one
    EXPECT_EQ(SetupPort(1, 2, 1, 0, 2, 1), 0);
    const LineState s = line(peerA);
    EXPECT_EQ(s.ospeed, 9600u);
    EXPECT_TRUE(s.iflag & LineFlags::inpck);   // parity is used (a pty itself forces CS8, no parity)
    EXPECT_TRUE(s.cflag & LineFlags::cstopb);
    ASSERT_EQ(SelectPort(1), 0);
    EXPECT_EQ(exchangeVia(peerA), 0);

    // A failed reopen leaves the closed port in its slot.
    ASSERT_EQ(SetPortName(1, "/dev/does-not-exist"), 0);
    EXPECT_EQ(SetupPort(1, kSpeed115200, 0, 1, 0, 1), KAVU_E_ARGUMENT);
    int value;
    EXPECT_EQ(ReadUInt(16, 0, "Dev", &value, -1), KAVU_E_NO_PORT);
    EXPECT_EQ(OpenPort(1, kSpeed115200, 0, 1, 0, 1), KAVU_E_BUSY);
    char text[KAVU_ERROR_TEXT_SIZE];
    LastErrToStr(text);
    EXPECT_STRNE(text, "");
    ASSERT_EQ(SetPortName(1, peerA.slaveName().c_str()), 0);
    EXPECT_EQ(SetupPort(1, kSpeed115200, 0, 1, 0, 1), 0);
    EXPECT_EQ(exchangeVia(peerA), 0);
}

TEST_F(Ports, ModeChangeClosesEveryPort) {
    ASSERT_EQ(OpenPort(1, kSpeed115200, 0, 1, 0, 1), 0);
    ASSERT_EQ(SetApiMode(1), 0);
    EXPECT_FALSE(deviceIsLocked(peerA.slaveName()));
    int value;
    EXPECT_EQ(ReadUInt(16, 0, "Dev", &value, -1), KAVU_E_NO_PORT);
    ASSERT_EQ(OpenPort(1, kSpeed115200, 0, 1, 0, 1), 0);
    ASSERT_EQ(OpenPort(2, kSpeed115200, 0, 1, 0, 1), 0);
    std::thread([] { EXPECT_EQ(SelectPort(2), 0); }).join();
    ASSERT_EQ(SetApiMode(0), 0);
    EXPECT_FALSE(deviceIsLocked(peerA.slaveName()));
    EXPECT_FALSE(deviceIsLocked(peerB.slaveName()));
    EXPECT_EQ(ReadUInt(16, 0, "Dev", &value, -1), KAVU_E_NO_PORT);
    EXPECT_EQ(OpenPort(1, kSpeed115200, 0, 1, 0, 1), 0);   // a stale slot does not count as current
}

// ---------------------------------------------------------------- port names

TEST_F(Ports, SetPortNameRules) {
    EXPECT_EQ(SetPortName(256, "/dev/null"), KAVU_E_ARGUMENT);
    EXPECT_EQ(SetPortName(-1, "/dev/null"), KAVU_E_ARGUMENT);
    EXPECT_EQ(SetPortName(4, std::string(256, 'a').c_str()), KAVU_E_ARGUMENT);
    // A long path (up to 255 characters) works: a symbolic link to the slave.
    std::string longPath = "/tmp/kavu-" + std::to_string(getpid()) + "-";
    longPath += std::string(255 - longPath.size(), 'x');
    ASSERT_EQ(symlink(peerA.slaveName().c_str(), longPath.c_str()), 0);
    EXPECT_EQ(SetPortName(4, longPath.c_str()), 0);
    EXPECT_EQ(OpenPort(4, kSpeed115200, 0, 1, 0, 1), 0);
    EXPECT_EQ(exchangeVia(peerA), 0);
    EXPECT_EQ(ClosePort(), 0);
    unlink(longPath.c_str());
    // Empty and null restore the default /dev/ttyS<n>, which does not exist here.
    EXPECT_EQ(SetPortName(250, peerA.slaveName().c_str()), 0);
    EXPECT_EQ(SetPortName(250, ""), 0);
    EXPECT_EQ(OpenPort(250, kSpeed115200, 0, 1, 0, 1), KAVU_E_ARGUMENT);
    EXPECT_EQ(SetPortName(250, peerA.slaveName().c_str()), 0);
    EXPECT_EQ(OpenPort(250, kSpeed115200, 0, 1, 0, 1), 0);
    EXPECT_EQ(ClosePort(), 0);
    EXPECT_EQ(SetPortName(250, nullptr), 0);
    EXPECT_EQ(OpenPort(250, kSpeed115200, 0, 1, 0, 1), KAVU_E_ARGUMENT);
}

// ------------------------------------------------------- the Linux line layer

TEST_F(Ports, RawModeClearsWhatCfmakerawLeaves) {
    ASSERT_TRUE(kavu::test::presetCookedLine(peerA.slaveKeeperFd()));
    const LineState before = line(peerA);
    ASSERT_EQ(OpenPort(1, kSpeed115200, 0, 1, 0, 1), 0);
    const LineState s = line(peerA);
    EXPECT_EQ(s.iflag & (LineFlags::ixoff | LineFlags::ixany | LineFlags::ixon | LineFlags::icrnl), 0u);
    EXPECT_EQ(s.cflag & (LineFlags::crtscts | LineFlags::hupcl), 0u);
    EXPECT_EQ(s.lflag & (LineFlags::icanon | LineFlags::echo), 0u);
    EXPECT_EQ(s.oflag & LineFlags::opost, 0u);
    EXPECT_EQ(s.cflag & (LineFlags::clocal | LineFlags::cread), LineFlags::clocal | LineFlags::cread);
    EXPECT_EQ(s.cflag & LineFlags::csize, LineFlags::cs8);
    EXPECT_EQ(s.cflag & (LineFlags::parenb | LineFlags::cstopb), 0u);
    EXPECT_EQ(s.vmin, 0);
    EXPECT_EQ(s.vtime, 0);
    EXPECT_EQ(s.ospeed, 115200u);
    EXPECT_EQ(s.cflag & LineFlags::cbaud, LineFlags::b115200);
    // Closing restores exactly what was there.
    ASSERT_EQ(ClosePort(), 0);
    const LineState after = line(peerA);
    EXPECT_EQ(after.iflag, before.iflag);
    EXPECT_EQ(after.oflag, before.oflag);
    EXPECT_EQ(after.cflag, before.cflag);
    EXPECT_EQ(after.lflag, before.lflag);
    EXPECT_EQ(after.ospeed, 4800u);
    EXPECT_EQ(after.vmin, 1);
}

TEST_F(Ports, EveryProtocolSpeedIsExact) {
    ASSERT_EQ(SetApiMode(1), 0);
    ASSERT_EQ(OpenPort(1, 0, 0, 1, 0, 1), 0);
    const unsigned speeds[] = {2400, 4800, 9600, 14400, 19200, 28800, 38400, 57600, 115200};
    for (int index = 0; index < 9; ++index) {
        ASSERT_EQ(SetupPort(1, index, 0, 1, 0, 1), 0) << index;
        const LineState s = line(peerA);
        EXPECT_EQ(s.ospeed, speeds[index]);
        EXPECT_EQ(s.ispeed, speeds[index]);
        const bool custom = speeds[index] == 14400 || speeds[index] == 28800;
        EXPECT_EQ((s.cflag & LineFlags::cbaud) == LineFlags::bother, custom) << speeds[index];
        EXPECT_EQ(s.cflag & LineFlags::cibaud, 0u) << speeds[index];
    }
    // Switching from a custom speed back to a standard one leaves no custom input speed behind.
    ASSERT_EQ(SetupPort(1, 5, 0, 1, 0, 1), 0);
    ASSERT_EQ(SetupPort(1, 2, 0, 1, 0, 1), 0);
    const LineState s = line(peerA);
    EXPECT_EQ(s.cflag & LineFlags::cbaud, LineFlags::b9600);
    EXPECT_EQ(s.cflag & LineFlags::cibaud, 0u);
    EXPECT_EQ(s.ispeed, 9600u);
    // Out-of-range indices fall back: speed 9 -> 9600, stop bits 5 -> one, parity 7 -> none.
    ASSERT_EQ(SetupPort(1, 9, 7, 1, 5, 1), 0);
    const LineState fallback = line(peerA);
    EXPECT_EQ(fallback.ospeed, 9600u);
    EXPECT_EQ(fallback.cflag & (LineFlags::cstopb | LineFlags::parenb), 0u);
}

// A pseudo-terminal forces 8 data bits without parity, so parity and data
// bits are checked on a real port when KAVU_TEST_SERIAL_PORT names one.
void checkParityDataAndStopBits(int fd) {
    ASSERT_EQ(SetApiMode(1), 0);
    ASSERT_EQ(OpenPort(1, 2, 1, 0, 1, 1), 0);   // even, 7 bits, 1.5 stop bits
    LineState s;
    ASSERT_TRUE(readLineState(fd, s));
    EXPECT_TRUE(s.iflag & LineFlags::inpck);
    EXPECT_TRUE(s.cflag & LineFlags::cstopb);   // 1.5 is sent as two on Linux
    const bool keepsParity = (s.cflag & LineFlags::parenb) != 0;
    if (keepsParity) {
        EXPECT_EQ(s.cflag & (LineFlags::parenb | LineFlags::parodd), LineFlags::parenb);
        EXPECT_EQ(s.cflag & LineFlags::csize, LineFlags::cs7);
    }
    ASSERT_EQ(SetupPort(1, 2, 2, 1, 2, 1), 0);  // odd, 8 bits, 2 stop bits
    ASSERT_TRUE(readLineState(fd, s));
    EXPECT_TRUE(s.cflag & LineFlags::cstopb);
    EXPECT_EQ(s.cflag & LineFlags::csize, LineFlags::cs8);
    if (keepsParity) {
        EXPECT_EQ(s.cflag & (LineFlags::parenb | LineFlags::parodd), LineFlags::parenb | LineFlags::parodd);
    }
    ASSERT_EQ(SetupPort(1, 2, 0, 1, 0, 1), 0);  // none, 8 bits, 1 stop bit
    ASSERT_TRUE(readLineState(fd, s));
    EXPECT_EQ(s.cflag & (LineFlags::parenb | LineFlags::cstopb), 0u);
    EXPECT_FALSE(s.iflag & LineFlags::inpck);
}

TEST_F(Ports, ParityDataAndStopBitsOnAPseudoTerminal) { checkParityDataAndStopBits(peerA.slaveKeeperFd()); }

TEST_F(Ports, ParityDataAndStopBitsOnARealPort) {
    const char* device = std::getenv("KAVU_TEST_SERIAL_PORT");
    if (device == nullptr || *device == '\0') GTEST_SKIP() << "KAVU_TEST_SERIAL_PORT names no port";
    const int fd = ::open(device, O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0) << device;
    ASSERT_EQ(SetPortName(1, device), 0);
    checkParityDataAndStopBits(fd);
    ASSERT_EQ(SetupPort(1, 3, 0, 1, 0, 1), 0);   // 14400 bit/s, exactly
    LineState s;
    ASSERT_TRUE(readLineState(fd, s));
    EXPECT_EQ(s.ospeed, 14400u);
    ::close(fd);
}

TEST_F(Ports, OpenIsExclusive) {
    ASSERT_EQ(OpenPort(1, kSpeed115200, 0, 1, 0, 1), 0);
    EXPECT_TRUE(deviceIsLocked(peerA.slaveName()));
    std::thread([] { EXPECT_EQ(OpenPort(1, kSpeed115200, 0, 1, 0, 1), KAVU_E_ARGUMENT); }).join();
    ASSERT_EQ(SetApiMode(1), 0);
    ASSERT_EQ(OpenPort(1, kSpeed115200, 0, 1, 0, 1), 0);
    ASSERT_EQ(SetPortName(7, peerA.slaveName().c_str()), 0);
    EXPECT_EQ(OpenPort(7, kSpeed115200, 0, 1, 0, 1), KAVU_E_OPEN);   // same device, other slot
    SetPortName(7, nullptr);
}

// ------------------------------------------- a lost port, a silent device

TEST_F(Ports, LastIoSysErrTellsALostPortFromASilentDevice) {
    EXPECT_EQ(GetLastIoSysErr(), KAVU_E_NO_PORT);
    ASSERT_EQ(OpenPort(1, kSpeed115200, 0, 1, 0, 1), 0);
    EXPECT_EQ(GetLastIoSysErr(), 0);
    EXPECT_EQ(exchangeVia(peerA), 0);
    EXPECT_EQ(GetLastIoSysErr(), 0);
    // A silent device: the reads only wait their time.
    int value = 0;
    SetMaxRetriesGlobal(2);
    EXPECT_EQ(ReadUInt(16, 0, "Dev", &value, -1), KAVU_E_TIMEOUT);
    EXPECT_EQ(GetLastIoSysErr(), 0);
    ResetLinkStats();

    // The device side goes away: the result is the same, the reason is told,
    // and the dead port is not asked again within the exchange.
    peerA.hangUp();
    EXPECT_EQ(ReadUInt(16, 0, "Dev", &value, -1), KAVU_E_TIMEOUT);
    EXPECT_EQ(GetLastIoSysErr(), EIO);
    KavuLinkStats stats{};
    stats.size = sizeof stats;
    ASSERT_EQ(GetLinkStats(&stats), 0);
    EXPECT_EQ(stats.attempts, 1u);
    unsigned char data[15] = {};
    int size = 0;
    EXPECT_EQ(KavuIO(16, 0, 1, "Dev", data, &size), KAVU_E_TIMEOUT);
    EXPECT_EQ(GetLastIoSysErr(), EIO);
    // The value belongs to the port: another thread's port knows nothing of it.
    std::thread([] {
        ASSERT_EQ(OpenPort(2, kSpeed115200, 0, 1, 0, 1), 0);
        EXPECT_EQ(GetLastIoSysErr(), 0);
        EXPECT_EQ(ClosePort(), 0);
    }).join();
    EXPECT_EQ(ClosePort(), 0);
    EXPECT_EQ(GetLastIoSysErr(), KAVU_E_NO_PORT);
}

// ------------------------------------------------- why an open failed

TEST_F(Ports, LastOpenSysErrTellsWhyAnOpenFailedPerThread) {
    // A missing device file: the result code is the usual one, the reason ENOENT.
    ASSERT_EQ(SetPortName(5, "/dev/kavu-no-such-device"), 0);
    EXPECT_EQ(OpenPort(5, kSpeed115200, 0, 1, 0, 1), KAVU_E_ARGUMENT);
    EXPECT_EQ(GetLastOpenSysErr(), ENOENT);

    // A file that is no terminal.
    char path[] = "/tmp/kavu-not-a-tty-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    ASSERT_EQ(SetPortName(5, path), 0);
    EXPECT_EQ(OpenPort(5, kSpeed115200, 0, 1, 0, 1), KAVU_E_ARGUMENT);
    EXPECT_EQ(GetLastOpenSysErr(), ENOTTY);
    unlink(path);

    // A port another thread holds exclusively: EBUSY from TIOCEXCL, or
    // EWOULDBLOCK from the lock where TIOCEXCL does not stop the caller (root).
    // The value belongs to the failing thread; the holder's own stays as it was.
    std::thread([this] {
        EXPECT_EQ(GetLastOpenSysErr(), 0);   // a new thread has had no failure
        ASSERT_EQ(OpenPort(1, kSpeed115200, 0, 1, 0, 1), 0);
        EXPECT_EQ(GetLastOpenSysErr(), 0);
        std::thread([] {
            EXPECT_EQ(OpenPort(1, kSpeed115200, 0, 1, 0, 1), KAVU_E_ARGUMENT);
            const int reason = GetLastOpenSysErr();
            EXPECT_TRUE(reason == EBUSY || reason == EWOULDBLOCK) << reason;
        }).join();
        EXPECT_EQ(GetLastOpenSysErr(), 0);
        EXPECT_EQ(ClosePort(), 0);
    }).join();
    EXPECT_EQ(GetLastOpenSysErr(), ENOTTY);

    // A program outside the library holding the lock gives the same reason;
    // slot mode keeps its own result code (-5).
    const int holder = ::open(peerA.slaveName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    ASSERT_EQ(SetApiMode(1), 0);
    EXPECT_EQ(OpenPort(1, kSpeed115200, 0, 1, 0, 1), KAVU_E_OPEN);
    EXPECT_EQ(GetLastOpenSysErr(), EWOULDBLOCK);
    ::close(holder);
    EXPECT_EQ(OpenPort(1, kSpeed115200, 0, 1, 0, 1), 0);
    EXPECT_EQ(GetLastOpenSysErr(), 0);   // a successful open clears it
    SetPortName(5, nullptr);
}
