// Exchanges through kavu_io.dll with the simulator on a real COM port (under
// Wine a COM port mapped to the simulator's pseudo-terminal): the calls the
// configurator makes, every direction-control mode, and the failure paths.
#include "KavuDll.h"
#include "SimulatorPort.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr int kSpeed9600 = 2;

class DllExchange : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!sim.available())
            GTEST_SKIP() << "KAVU_TEST_COM does not name the simulator's port";
        ASSERT_TRUE(dll.loaded());
        ASSERT_EQ(dll.SetApiMode(1), 0);
        ASSERT_EQ(dll.SetMaxRetriesGlobal(3), 0);
    }
    void TearDown() override
    {
        if (dll.loaded())
            dll.ClosePort();
    }
    int open(int direction)
    {
        return dll.OpenPort(sim.portNumber(), kSpeed9600, 0, 1, 0, direction);
    }
    std::string lastErrorText()
    {
        char buffer[KAVU_ERROR_TEXT_SIZE];
        dll.LastErrToStr(buffer);
        return buffer;
    }

    SimulatorPort sim;
    KavuDll dll;
};

TEST_F(DllExchange, ConfiguratorsCallsWriteAndReadBackEachEncoding)
{
    ASSERT_EQ(open(1), 0);
    const int a = sim.deviceAddress();

    unsigned char buffer[KAVU_MAX_DATA] = {};
    int size = 0;
    ASSERT_EQ(dll.KavuIO(a, 0, 1, "Dev", buffer, &size), 0);
    ASSERT_GT(size, 0);
    for (int i = 0; i < size; ++i)
        EXPECT_GE(buffer[i], 0x20) << "device name byte " << i;

    int value = -1;
    ASSERT_EQ(dll.WriteByte(a, 0, "Tin.F", 25, -1), 0);
    ASSERT_EQ(dll.ReadUInt(a, 0, "Tin.F", &value, -1), 0);
    EXPECT_EQ(value, 25);

    ASSERT_EQ(dll.WriteWord(a, 0, "t.L", 321, 2), 0);
    ASSERT_EQ(dll.ReadUInt(a, 0, "t.L", &value, 2), 0);
    EXPECT_EQ(value, 321);
    ASSERT_EQ(dll.ReadUInt(a, 0, "t.L", &value, 3), 0);
    EXPECT_NE(value, 321);   // another index, another value

    float number = 0;
    int tail = 0;
    ASSERT_EQ(dll.WriteIEEE32(a, 0, "In.fd", -12.5f, 1), 0);
    ASSERT_EQ(dll.ReadIEEE32(a, 0, "In.fd", &number, &tail, 1), 0);
    EXPECT_FLOAT_EQ(number, -12.5f);
    EXPECT_EQ(tail, -1);
}

// Modes 0 and 2 calibrate with immediate single characters and switch RTS or
// DTR around the frame; a pseudo-terminal refuses the line changes, which
// must not keep the frame from going out.
TEST_F(DllExchange, CharacterByCharacterModesReachTheDevice)
{
    for (int direction : {0, 2, 3}) {
        SCOPED_TRACE(direction);
        ASSERT_EQ(open(direction), 0);
        unsigned char buffer[KAVU_MAX_DATA] = {};
        int size = 0;
        EXPECT_EQ(dll.KavuIO(sim.deviceAddress(), 0, 1, "Dev", buffer, &size), 0);
        EXPECT_GT(size, 0);
        ASSERT_EQ(dll.ClosePort(), 0);
    }
}

TEST_F(DllExchange, UnknownNameIsAnErrorReplyWithItsResourceText)
{
    ASSERT_EQ(open(1), 0);
    unsigned char buffer[KAVU_MAX_DATA] = {};
    int size = 0;
    EXPECT_EQ(dll.KavuIO(sim.deviceAddress(), 0, 1, "Zq9", buffer, &size), -104);
    EXPECT_EQ(dll.GetDeviceLastErr(), 0x28);
    // "Не найден дескриптор", the same as string resource 0x28.
    EXPECT_EQ(lastErrorText(), "\xCD\xE5 \xED\xE0\xE9\xE4\xE5\xED \xE4\xE5\xF1\xEA\xF0\xE8\xEF\xF2\xEE\xF0");
    EXPECT_EQ(lastErrorText(), dll.resourceText(0x28));
}

TEST_F(DllExchange, SilentAddressTimesOut)
{
    ASSERT_EQ(dll.SetMaxRetriesGlobal(1), 0);
    ASSERT_EQ(open(1), 0);
    unsigned char buffer[KAVU_MAX_DATA] = {};
    int size = 0;
    EXPECT_EQ(dll.KavuIO(sim.deviceAddress() - 1, 0, 1, "Dev", buffer, &size), -102);
    EXPECT_EQ(dll.GetDeviceLastErr(), 0);
    // "Устройство не отвечает"
    EXPECT_EQ(lastErrorText(), "\xD3\xF1\xF2\xF0\xEE\xE9\xF1\xF2\xE2\xEE \xED\xE5 \xEE\xF2\xE2\xE5\xF7\xE0\xE5\xF2");
    // The line is usable right after a time-out.
    EXPECT_EQ(dll.KavuIO(sim.deviceAddress(), 0, 1, "Dev", buffer, &size), 0);
}

TEST_F(DllExchange, PortNameBindingOpensAnyComName)
{
    ASSERT_EQ(dll.SetPortName(40, sim.name().c_str()), 0);   // bare "COM5"
    ASSERT_EQ(dll.OpenPort(40, kSpeed9600, 0, 1, 0, 1), 0);
    unsigned char buffer[KAVU_MAX_DATA] = {};
    int size = 0;
    EXPECT_EQ(dll.KavuIO(sim.deviceAddress(), 0, 1, "Dev", buffer, &size), 0);
    EXPECT_EQ(dll.ClosePort(), 0);
    const std::string full = "\\\\.\\" + sim.name();
    ASSERT_EQ(dll.SetPortName(41, full.c_str()), 0);
    EXPECT_EQ(dll.OpenPort(41, kSpeed9600, 0, 1, 0, 1), 0);
}

TEST_F(DllExchange, SetupPortReopensWithNewSettings)
{
    ASSERT_EQ(open(1), 0);
    EXPECT_EQ(dll.SetupPort(sim.portNumber(), 8, 1, 1, 2, 1), 0);   // 115200, even, 2 stop bits
    const int baud = sim.currentBaud();
    EXPECT_TRUE(baud == 115200 || baud == -1) << baud;
    unsigned char buffer[KAVU_MAX_DATA] = {};
    int size = 0;
    EXPECT_EQ(dll.KavuIO(sim.deviceAddress(), 0, 1, "Dev", buffer, &size), 0);
    EXPECT_EQ(dll.SetupPort(sim.portNumber(), 2, 0, 1, 1, 1), 0);   // 1.5 stop bits
}

}  // namespace

namespace {

// The DLL through Winsock: KAVU_TEST_TCP names the simulator listening on a
// loopback TCP port (tcp://127.0.0.1:PORT), as a serial device server.
TEST(DllNetworkPort, ReadsThroughALoopbackServerAndTellsWhyAConnectFails)
{
    KavuDll dll;
    ASSERT_TRUE(dll.loaded());
    ASSERT_EQ(dll.SetApiMode(1), 0);
    constexpr int port = 30;
    // Nobody listens on port 1 of the loopback: refused, with Winsock's code.
    ASSERT_EQ(dll.SetPortName(port, "tcp://127.0.0.1:1?connect=2000"), 0);
    EXPECT_EQ(dll.OpenPort(port, kSpeed9600, 0, 1, 0, 1), -5);
    EXPECT_EQ(dll.GetLastOpenSysErr(), 10061);   // WSAECONNREFUSED
    ASSERT_EQ(dll.SetPortName(port, "tcp://no-such-host.invalid:4001"), 0);
    EXPECT_EQ(dll.OpenPort(port, kSpeed9600, 0, 1, 0, 1), -5);
    EXPECT_NE(dll.GetLastOpenSysErr(), 0);
    ASSERT_EQ(dll.SetPortName(port, "tcp://host"), 0);
    EXPECT_EQ(dll.OpenPort(port, kSpeed9600, 0, 1, 0, 1), -5);
    EXPECT_EQ(dll.GetLastOpenSysErr(), 10022);   // WSAEINVAL

    const char* address = std::getenv("KAVU_TEST_TCP");
    if (!address || !*address)
        GTEST_SKIP() << "KAVU_TEST_TCP does not name the simulator's TCP port";
    ASSERT_EQ(dll.SetPortName(port, address), 0);
    ASSERT_EQ(dll.OpenPort(port, kSpeed9600, 0, 1, 0, 1), 0) << dll.GetLastOpenSysErr();
    int value = -1;
    EXPECT_EQ(dll.ReadUInt(16, 0, "Addr", &value, -1), 0);
    EXPECT_EQ(value, 16);
    unsigned char buffer[KAVU_MAX_DATA] = {};
    int size = 0;
    EXPECT_EQ(dll.KavuIO(16, 0, 1, "Dev", buffer, &size), 0);
    EXPECT_GT(size, 0);
    EXPECT_EQ(dll.ClosePort(), 0);
    dll.SetPortName(port, nullptr);
}

}  // namespace
