// The Win32 platform layer on its own (linked in, no DLL): clock, lock,
// thread-local storage, and the serial operations against the simulator's
// COM port, frame by frame.
#include "SimulatorPort.h"
#include "frame_codec.h"
#include "platform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// The platform file's DllMain calls these; in a program it is never run.
namespace kavu::platform {
bool libraryLoad() { return true; }
void libraryUnload() {}
}  // namespace kavu::platform

namespace {

using namespace kavu::platform;
namespace codec = kavu::codec;

TEST(PlatformClock, MonotonicAndAdvancesAcrossASleep)
{
    const std::int64_t before = monotonicNs();
    sleepMs(5);
    const std::int64_t after = monotonicNs();
    EXPECT_GT(after, before);
    std::int64_t last = after;
    for (int i = 0; i < 1000; ++i) {
        const std::int64_t now = monotonicNs();
        ASSERT_GE(now, last);
        last = now;
    }
}

TEST(PlatformLock, SerialisesThreads)
{
    Lock* lock = lockCreate();
    ASSERT_NE(lock, nullptr);
    long counter = 0;   // deliberately not atomic: the lock protects it
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                lockAcquire(lock);
                counter = counter + 1;
                lockRelease(lock);
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(counter, 80000);
    lockDestroy(lock);
    lockDestroy(nullptr);
}

TEST(PlatformThreadLocal, EachThreadSeesItsOwnValue)
{
    ASSERT_TRUE(tlsCreate(nullptr));
    EXPECT_FALSE(tlsCreate(nullptr));   // one slot per library
    int mine = 1;
    ASSERT_TRUE(tlsSet(&mine));
    void* seenByOther = &mine;
    std::thread other([&] {
        seenByOther = tlsGet();
        int theirs = 2;
        tlsSet(&theirs);
        tlsSet(nullptr);
    });
    other.join();
    EXPECT_EQ(seenByOther, nullptr);
    EXPECT_EQ(tlsGet(), &mine);
    tlsDestroy();
    EXPECT_EQ(tlsGet(), nullptr);
    EXPECT_FALSE(tlsSet(&mine));
}

TEST(PlatformSerial, MissingDeviceAndBadArguments)
{
    EXPECT_EQ(serialOpen("COM201"), nullptr);
    EXPECT_EQ(serialOpen(""), nullptr);
    EXPECT_EQ(serialOpen(nullptr), nullptr);
    EXPECT_EQ(serialOpen(std::string(400, 'C').c_str()), nullptr);
    serialClose(nullptr);
    EXPECT_FALSE(serialConfigure(nullptr, LineSettings{}));
    EXPECT_EQ(serialRead(nullptr, nullptr, 1), -1);
}

class PlatformSerialOnSimulator : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!sim.available())
            GTEST_SKIP() << "KAVU_TEST_COM does not name the simulator's port";
        port = serialOpen(sim.name().c_str());
        ASSERT_NE(port, nullptr);
        LineSettings line;
        line.baud = 9600;
        ASSERT_TRUE(serialConfigure(port, line));
        Timeouts t;
        t.readConstantMs = 315;
        t.writeConstantMs = 315;
        ASSERT_TRUE(serialSetTimeouts(port, t));
        serialSetRts(port, false);   // refused by a pseudo-terminal, harmless
        serialSetDtr(port, false);
        serialPurge(port);
    }
    void TearDown() override { serialClose(port); }

    codec::EncodedFrame readRequest(const char* name)
    {
        codec::EncodedFrame frame;
        codec::encodeFrame(codec::nameHash(name), true, sim.deviceAddress(),
                           codec::AddressMode::Short, nullptr, 0, frame);
        return frame;
    }
    // Reads a reply as the engine does: 14 characters, then the rest that
    // the data length announces.
    std::string readReply()
    {
        char text[codec::kMaxFrameText] = {};
        int got = serialRead(port, text, 14);
        if (got < 5)
            return std::string(text, got > 0 ? got : 0);
        const int length = (text[4] - codec::kNibbleBase) & 0x0F;
        const int rest = 14 + 2 * length - got;
        if (rest > 0) {
            const int more = serialRead(port, text + got, static_cast<std::size_t>(rest));
            if (more > 0)
                got += more;
        }
        return std::string(text, got);
    }
    bool isReply(const std::string& text, const char* name)
    {
        codec::FrameFields fields;
        const std::uint16_t hash = codec::nameHash(name);
        return codec::decodeFrame(text.data(), static_cast<int>(text.size()), &hash, fields)
               == codec::DecodeStatus::Ok;
    }

    SimulatorPort sim;
    SerialPort* port = nullptr;
};

TEST_F(PlatformSerialOnSimulator, WholeFrameWriteGetsAValidReply)
{
    const codec::EncodedFrame request = readRequest("Dev");
    ASSERT_TRUE(serialWriteAll(port, request.text, static_cast<std::size_t>(request.textLength)));
    EXPECT_TRUE(isReply(readReply(), "Dev"));
}

TEST_F(PlatformSerialOnSimulator, ImmediateCharactersGetAValidReply)
{
    const codec::EncodedFrame request = readRequest("Dev");
    for (int i = 0; i < request.textLength; ++i)
        ASSERT_TRUE(serialTransmitChar(port, request.text[i])) << i;
    EXPECT_TRUE(isReply(readReply(), "Dev"));
}

// A read that nothing answers ends by its time-out as "no character", not as
// a device failure (Wine reports the time-out as an error status).
TEST_F(PlatformSerialOnSimulator, UnansweredReadTimesOutWithNothing)
{
    char text[14];
    EXPECT_EQ(serialRead(port, text, sizeof text), 0);
}

// The gap after the last character ends a read that asked for more.
TEST_F(PlatformSerialOnSimulator, ReadForMoreThanArrivesEndsAfterTheReply)
{
    const codec::EncodedFrame request = readRequest("Dev");
    ASSERT_TRUE(serialWriteAll(port, request.text, static_cast<std::size_t>(request.textLength)));
    char text[codec::kMaxFrameText + 20];
    int got = 0;
    while (got < codec::kMaxFrameText + 20) {
        const int n = serialRead(port, text + got, sizeof text - static_cast<std::size_t>(got));
        ASSERT_GE(n, 0);
        if (n == 0)
            break;
        got += n;
    }
    ASSERT_GT(got, 0);
    EXPECT_EQ(text[got - 1], codec::kFrameEnd);
    EXPECT_TRUE(isReply(std::string(text, got), "Dev"));
}

TEST_F(PlatformSerialOnSimulator, PurgeDiscardsAnUnreadReply)
{
    const codec::EncodedFrame request = readRequest("Dev");
    ASSERT_TRUE(serialWriteAll(port, request.text, static_cast<std::size_t>(request.textLength)));
    char first;
    ASSERT_EQ(serialRead(port, &first, 1), 1);   // the reply is arriving
    EXPECT_EQ(first, codec::kFrameStart);
    // The simulator writes a reply at once, so the rest of it is queued
    // by now.
    serialPurge(port);
    char text[14];
    EXPECT_EQ(serialRead(port, text, sizeof text), 0);
    // And the port still works afterwards.
    ASSERT_TRUE(serialWriteAll(port, request.text, static_cast<std::size_t>(request.textLength)));
    EXPECT_TRUE(isReply(readReply(), "Dev"));
}

TEST_F(PlatformSerialOnSimulator, ConfigureAcceptsEverySpeedOfTheTableOnly)
{
    LineSettings line;
    for (int baud : {2400, 4800, 9600, 14400, 19200, 28800, 38400, 57600, 115200}) {
        line.baud = baud;
        EXPECT_TRUE(serialConfigure(port, line)) << baud;
    }
    for (int baud : {0, 1200, 9601, 230400}) {
        line.baud = baud;
        EXPECT_FALSE(serialConfigure(port, line)) << baud;
    }
    line.baud = 9600;
    for (int bits : {4, 9}) {
        line.dataBits = bits;
        EXPECT_FALSE(serialConfigure(port, line)) << bits;
    }
    line.dataBits = 8;
    line.stopBits = StopBits::OnePointFive;   // two where the driver refuses 1.5
    EXPECT_TRUE(serialConfigure(port, line));
    line.parity = Parity::Odd;
    line.stopBits = StopBits::Two;
    line.dataBits = 7;
    EXPECT_TRUE(serialConfigure(port, line));
}

}  // namespace
