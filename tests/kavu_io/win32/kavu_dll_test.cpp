// kavu_io.dll as other Windows programs see it: its export table, its string
// resources, and its load, unload and thread-end behaviour. Loaded with
// LoadLibrary per test, so every test starts from a freshly loaded DLL.
#include "KavuDll.h"
#include "SimulatorPort.h"
#include "error_texts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace {

constexpr int kSpeed9600 = 2;
constexpr int kSpeed115200 = 8;
constexpr int kAutomaticDirection = 1;

std::string lastErrorText(const KavuDll& dll)
{
    char buffer[KAVU_ERROR_TEXT_SIZE];
    std::memset(buffer, 'x', sizeof buffer);
    dll.LastErrToStr(buffer);
    return buffer;
}

TEST(DllExports, EveryFunctionResolvesUnderItsDecoratedAndPlainName)
{
    KavuDll dll;
    ASSERT_TRUE(dll.loaded());
    for (const ExportedFunction& f : exportedFunctions()) {
        SCOPED_TRACE(f.decorated());
        void* decorated = dll.address(f.decorated().c_str());
        ASSERT_NE(decorated, nullptr);
        void* plain = dll.address(f.name);
        if (f.plainNameToo)
            EXPECT_EQ(plain, decorated);
        else
            EXPECT_EQ(plain, nullptr);
    }
}

TEST(DllExports, ConfiguratorsTenFunctionsWorkThroughTheirDecoratedNames)
{
    KavuDll dll;
    ASSERT_TRUE(dll.loaded());
    EXPECT_EQ(dll.SetApiMode(1), 0);
    EXPECT_EQ(dll.SetApiMode(2), -1);
    EXPECT_EQ(dll.SetMaxRetriesGlobal(3), 0);
    EXPECT_EQ(dll.GetMaxRetriesGlobal(), 3);
    EXPECT_EQ(dll.SetMaxRetriesGlobal(21), -1);
    // No port selected: every exchange function reports -2.
    unsigned char buffer[KAVU_MAX_DATA] = {};
    int size = 0;
    int value = 7;
    float number = 0;
    EXPECT_EQ(dll.KavuIO(16, 0, 1, "Dev", buffer, &size), -2);
    EXPECT_EQ(dll.ReadUInt(16, 0, "Tin.F", &value, -1), -2);
    EXPECT_EQ(dll.ReadIEEE32(16, 0, "In.fd", &number, nullptr, 0), -2);
    EXPECT_EQ(dll.WriteIEEE32(16, 0, "In.fd", 1.5f, 0), -2);
    EXPECT_EQ(dll.WriteByte(16, 0, "Tin.F", 5, -1), -2);
    EXPECT_EQ(dll.WriteWord(16, 0, "t.L", 5, 0), -2);
    EXPECT_EQ(dll.ClosePort(), -2);   // slot mode, no slot
}

TEST(DllResources, DeviceErrorTextsAreStringResourcesInWindows1251)
{
    KavuDll dll;
    ASSERT_TRUE(dll.loaded());
    std::size_t count = 0;
    const kavu::LibraryText* texts = kavu::libraryTexts(count);
    int deviceTexts = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (texts[i].kind != kavu::TextKind::Device)
            continue;
        SCOPED_TRACE(texts[i].id);
        EXPECT_EQ(dll.resourceText(static_cast<unsigned>(texts[i].id)), texts[i].text);
        ++deviceTexts;
    }
    EXPECT_EQ(deviceTexts, 41);   // 40 device errors and the missing-port text
    EXPECT_EQ(dll.resourceText(0x09), "");   // codes without a text have no resource
}

TEST(DllResources, MissingPortTextIsResource256AndWhatLastErrToStrGives)
{
    KavuDll dll;
    ASSERT_TRUE(dll.loaded());
    // "Не открыт порт" in Windows-1251.
    const std::string expected = "\xCD\xE5 \xEE\xF2\xEA\xF0\xFB\xF2 \xEF\xEE\xF0\xF2";
    EXPECT_EQ(dll.resourceText(256), expected);
    EXPECT_EQ(lastErrorText(dll), expected);
}

TEST(DllLifecycle, ReloadStartsWithDefaultSettings)
{
    {
        KavuDll dll;
        ASSERT_TRUE(dll.loaded());
        ASSERT_EQ(dll.SetMaxRetriesGlobal(7), 0);
        ASSERT_EQ(dll.SetTimeout(250), 0);
        ASSERT_EQ(dll.SetApiMode(1), 0);
    }
    KavuDll dll;
    ASSERT_TRUE(dll.loaded());
    EXPECT_EQ(dll.GetMaxRetriesGlobal(), 1);
    EXPECT_EQ(dll.GetTimeout(), 0);
    EXPECT_EQ(dll.SelectPort(3), -1);   // per-thread mode again
}

TEST(DllLifecycle, ThreadsEndingWithoutAPortLeaveTheLibraryUsable)
{
    KavuDll dll;
    ASSERT_TRUE(dll.loaded());
    for (int i = 0; i < 8; ++i) {
        std::thread worker([&dll] {
            char text[KAVU_ERROR_TEXT_SIZE];
            dll.LastErrToStr(text);           // creates no port
            EXPECT_EQ(dll.ClosePort(), 0);    // per-thread mode, nothing open
        });
        worker.join();
    }
    EXPECT_EQ(dll.SetApiMode(1), 0);
}

TEST(DllPorts, MissingComPortFailsToOpenInBothModes)
{
    KavuDll dll;
    ASSERT_TRUE(dll.loaded());
    // COM201 is never mapped; the system says why (ERROR_FILE_NOT_FOUND),
    // for this thread only.
    EXPECT_EQ(dll.GetLastOpenSysErr(), 0);
    EXPECT_EQ(dll.OpenPort(200, kSpeed9600, 0, 1, 0, kAutomaticDirection), -1);
    EXPECT_EQ(dll.GetLastOpenSysErr(), 2);
    std::thread([&dll] { EXPECT_EQ(dll.GetLastOpenSysErr(), 0); }).join();
    EXPECT_EQ(dll.ClosePort(), 0);
    ASSERT_EQ(dll.SetApiMode(1), 0);
    EXPECT_EQ(dll.OpenPort(200, kSpeed9600, 0, 1, 0, kAutomaticDirection), -5);
    EXPECT_EQ(dll.OpenPort(256, kSpeed9600, 0, 1, 0, kAutomaticDirection), -2);
}

class DllWithSimulator : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!sim.available())
            GTEST_SKIP() << "KAVU_TEST_COM does not name the simulator's port";
        ASSERT_TRUE(sim.setBaud(19200)) << "cannot open " << sim.name();
    }
    SimulatorPort sim;
};

TEST_F(DllWithSimulator, UnloadClosesOpenPortsAndRestoresTheirLineSettings)
{
    {
        KavuDll dll;
        ASSERT_TRUE(dll.loaded());
        ASSERT_EQ(dll.SetApiMode(1), 0);
        ASSERT_EQ(dll.OpenPort(sim.portNumber(), kSpeed115200, 0, 1, 0, kAutomaticDirection), 0);
        // Wine lets a second handle read the settings; Windows refuses it (-1).
        const int baud = sim.currentBaud();
        ASSERT_TRUE(baud == 115200 || baud == -1) << baud;
    }   // FreeLibrary without ClosePort
    EXPECT_EQ(sim.currentBaud(), 19200);
}

TEST_F(DllWithSimulator, EndOfThreadClosesItsPortInPerThreadMode)
{
    KavuDll dll;
    ASSERT_TRUE(dll.loaded());
    int opened = 1;
    int baudWhileOpen = 0;
    std::thread worker([&] {
        opened = dll.OpenPort(sim.portNumber(), kSpeed115200, 0, 1, 0, kAutomaticDirection);
        baudWhileOpen = sim.currentBaud();
    });   // ends without ClosePort
    worker.join();
    ASSERT_EQ(opened, 0);
    EXPECT_TRUE(baudWhileOpen == 115200 || baudWhileOpen == -1) << baudWhileOpen;
    EXPECT_EQ(sim.currentBaud(), 19200);
    // The main thread has no port of its own.
    char text[KAVU_ERROR_TEXT_SIZE];
    dll.LastErrToStr(text);
    EXPECT_STREQ(text, "\xCD\xE5 \xEE\xF2\xEA\xF0\xFB\xF2 \xEF\xEE\xF0\xF2");
}

TEST_F(DllWithSimulator, EndOfThreadLeavesASlotPortOpenForOtherThreads)
{
    KavuDll dll;
    ASSERT_TRUE(dll.loaded());
    ASSERT_EQ(dll.SetApiMode(1), 0);
    int opened = 1;
    std::thread worker([&] {
        opened = dll.OpenPort(sim.portNumber(), kSpeed115200, 0, 1, 0, kAutomaticDirection);
    });
    worker.join();
    ASSERT_EQ(opened, 0);
    const int baud = sim.currentBaud();
    EXPECT_TRUE(baud == 115200 || baud == -1) << baud;   // still open
    ASSERT_EQ(dll.SelectPort(sim.portNumber()), 0);
    unsigned char buffer[KAVU_MAX_DATA] = {};
    int size = 0;
    EXPECT_EQ(dll.KavuIO(sim.deviceAddress(), 0, 1, "Dev", buffer, &size), 0);
    EXPECT_GT(size, 0);
    EXPECT_EQ(dll.ClosePort(), 0);
    EXPECT_EQ(sim.currentBaud(), 19200);
}

}  // namespace
