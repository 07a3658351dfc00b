// The platform files as the configurator uses them: a failed open of a
// missing, a held and a non-serial port told apart; a file saved whole or not
// at all; a failed connect to a device server read; Ctrl+C caught. The same cases on Linux
// and, cross-built, on Windows under Wine;
// only how each case is set up differs.

#include "FileReplace.h"
#include "Interrupts.h"
#include "NetworkError.h"
#include "PortNames.h"
#include "PortOpenError.h"
#include "StandardStreams.h"

#include <kavu_io.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// A fresh folder for one test, removed with what the test left in it.
class Folder
{
public:
    Folder()
    {
#ifdef _WIN32
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        path = std::string(base) + "hrc-platform-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(path.c_str(), nullptr);
#else
        char name[] = "/tmp/hrc-platform-XXXXXX";
        path = ::mkdtemp(name);
#endif
    }
    ~Folder()
    {
#ifdef _WIN32
        std::system(("rmdir /s /q \"" + path + "\" >NUL 2>&1").c_str());
#else
        std::system(("rm -rf '" + path + "'").c_str());
#endif
    }
    std::string file(const std::string &name) const { return path + "/" + name; }
    // The names in the folder, sorted, joined by spaces.
    std::string listing() const
    {
        std::string names;
#ifdef _WIN32
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::string name = found.cFileName;
                if (name != "." && name != "..")
                    names += (names.empty() ? "" : " ") + name;
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
#else
        const std::string command = "ls -A '" + path + "'";
        if (FILE *ls = ::popen(command.c_str(), "r")) {
            char line[512];
            while (std::fgets(line, sizeof line, ls)) {
                std::string name = line;
                name.pop_back();
                names += (names.empty() ? "" : " ") + name;
            }
            ::pclose(ls);
        }
#endif
        return names;
    }
    std::string path;
};

} // namespace

TEST(PortOpenError, MissingHeldAndNonSerialPortsAreToldApart)
{
#ifdef _WIN32
    const std::string missing = "COM99";
    const std::string notSerial = "NUL";
#else
    const std::string missing = "/dev/hrc417-no-such-port";
    const std::string notSerial = "/dev/null";
#endif
    const int missingError = PortOpenError::tryOpen(missing);
    EXPECT_EQ(PortOpenError::classify(missingError), PortOpenError::Kind::Missing) << missingError;
    EXPECT_FALSE(PortOpenError::errorText(missingError).empty());

    const int notSerialError = PortOpenError::tryOpen(notSerial);
    EXPECT_EQ(PortOpenError::classify(notSerialError), PortOpenError::Kind::NotSerial) << notSerialError;

    // A port another opener holds, opened the way the library holds it.
#ifdef _WIN32
    const char *com = std::getenv("KAVU_TEST_COM");
    if (!com)
        GTEST_SKIP() << "KAVU_TEST_COM names no port";
    const std::string port = com;
    HANDLE holder = CreateFileA(("\\\\.\\" + port).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE) << GetLastError();
    const int heldError = PortOpenError::tryOpen(port);
    CloseHandle(holder);
    // Windows does not say who holds a port; the configurator says so.
    EXPECT_FALSE(PortOpenError::canNameHolders());
    EXPECT_TRUE(PortOpenError::holdersOf(port, 0).empty());
    EXPECT_EQ(PortOpenError::tryOpen(port), 0) << "the port opens once its holder has let go";
    // Wine lets a second opener have a serial port that Windows keeps for
    // the first; there the case can only be checked on Windows itself.
    const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    if (wine && heldError == 0)
        GTEST_SKIP() << "Wine does not keep a serial port for its first opener";
    EXPECT_EQ(PortOpenError::classify(heldError), PortOpenError::Kind::Held) << heldError;
#else
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string port = ::ptsname(master);
    EXPECT_EQ(PortOpenError::tryOpen(port), 0) << "a free terminal opens";
    const int holder = ::open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::ioctl(holder, TIOCEXCL), 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    const int heldError = PortOpenError::tryOpen(port);
    EXPECT_EQ(PortOpenError::classify(heldError), PortOpenError::Kind::Held) << heldError;
    // This process is the holder: named when it does not leave itself out.
    ASSERT_TRUE(PortOpenError::canNameHolders());
    const auto holders = PortOpenError::holdersOf(port, -1);
    ASSERT_EQ(holders.size(), 1u);
    EXPECT_EQ(holders[0].pid, ::getpid());
    EXPECT_EQ(holders[0].name, "tst_platform");
    EXPECT_TRUE(PortOpenError::holdersOf(port, ::getpid()).empty());
    ::close(holder);
    ::close(master);
    EXPECT_EQ(PortOpenError::classify(EACCES), PortOpenError::Kind::Denied);
#endif
}

TEST(FileReplace, ReplacesWholeOrLeavesTheOldFile)
{
    Folder folder;
    const std::string target = folder.file("config.hrc417");

    // A new file, then a replacement: each time the whole content, nothing
    // left beside it.
    std::string first(100000, 'a');
    FileReplace::Outcome outcome =
        FileReplace::writeWhole(target, first.data(), first.size(), FileReplace::newFileMode());
    ASSERT_EQ(outcome.failed, FileReplace::Step::None) << FileReplace::errorText(outcome.error);
    EXPECT_FALSE(outcome.inPlace);
    EXPECT_EQ(readFile(target), first);
    const std::string second = "second\r\nversion";
    outcome = FileReplace::writeWhole(target, second.data(), second.size(), FileReplace::modeOf(target));
    ASSERT_EQ(outcome.failed, FileReplace::Step::None) << FileReplace::errorText(outcome.error);
    EXPECT_EQ(readFile(target), second);
    EXPECT_EQ(folder.listing(), "config.hrc417");
    EXPECT_EQ(FileReplace::examine(target).kind, FileReplace::Kind::File);
    EXPECT_EQ(FileReplace::writeAccess(target, FileReplace::Kind::File), 0);

    // A folder where the file should go: the replace fails, the temporary
    // file is gone, the folder and what is in it stay.
    const std::string blocked = folder.file("blocked");
#ifdef _WIN32
    ASSERT_TRUE(CreateDirectoryA(blocked.c_str(), nullptr));
#else
    ASSERT_EQ(::mkdir(blocked.c_str(), 0755), 0);
#endif
    writeFile(blocked + "/inside", "kept");
    outcome = FileReplace::writeWhole(blocked, second.data(), second.size(), FileReplace::newFileMode());
    EXPECT_EQ(outcome.failed, FileReplace::Step::Replace);
    EXPECT_NE(outcome.error, 0);
    EXPECT_FALSE(FileReplace::errorText(outcome.error).empty());
    EXPECT_EQ(FileReplace::examine(blocked).kind, FileReplace::Kind::Folder);
    EXPECT_EQ(readFile(blocked + "/inside"), "kept");
    EXPECT_EQ(folder.listing(), "blocked config.hrc417");

    // A folder that does not exist takes no temporary file.
    const std::string nowhere = folder.file("missing/config.hrc417");
    outcome = FileReplace::writeWhole(nowhere, second.data(), second.size(), FileReplace::newFileMode());
    EXPECT_EQ(outcome.failed, FileReplace::Step::CreateTemporary);
    EXPECT_EQ(FileReplace::examine(nowhere).kind, FileReplace::Kind::Missing);
    EXPECT_EQ(readFile(target), second);
}

TEST(PortNames, ListNamesBecomeTheLibrarysDevices)
{
#ifdef _WIN32
    EXPECT_EQ(PortNames::deviceOf("COM12"), "COM12");
    EXPECT_EQ(PortNames::defaultDevice(0), "\\\\.\\COM1");
    EXPECT_EQ(PortNames::stableLinkFolder(), "");
#else
    EXPECT_EQ(PortNames::deviceOf("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(PortNames::deviceOf("/tmp/hrc417"), "/tmp/hrc417");
    EXPECT_EQ(PortNames::defaultDevice(0), "/dev/ttyS0");
    EXPECT_EQ(PortNames::stableLinkFolder(), "/dev/serial/by-id");
#endif
}

TEST(StandardStreams, AWriteNobodyReadsFailsWithTheSystemsReason)
{
    int ends[2];
#ifdef _WIN32
    ASSERT_EQ(_pipe(ends, 4096, _O_BINARY), 0);
    std::FILE *stream = _fdopen(ends[1], "wb");
    _close(ends[0]);
#else
    std::signal(SIGPIPE, SIG_IGN);
    ASSERT_EQ(::pipe(ends), 0);
    std::FILE *stream = ::fdopen(ends[1], "wb");
    ::close(ends[0]);
#endif
    ASSERT_NE(stream, nullptr);
    EXPECT_FALSE(StandardStreams::isTerminal(stream));
    const std::string line(100, 'x');
    const int error = StandardStreams::write(stream, line.data(), line.size());
    EXPECT_NE(error, 0);
    EXPECT_FALSE(StandardStreams::errorText(error).empty());
    std::fclose(stream);
}

// A failed connect as the protocol library reports it (GetLastOpenSysErr)
// is read the same on both systems: a name no server knows, a port nothing
// listens on, an address not well formed.
TEST(NetworkError, FailedConnectsOfTheLibraryAreToldApart)
{
    const int port = 3;
    auto failedOpen = [port](const char *address) {
        EXPECT_EQ(SetPortName(port, address), 0) << address;
        EXPECT_NE(OpenPort(port, 2 /* 9600 bit/s */, 0, 1, 0, 1), 0) << address;
        ClosePort();
        return GetLastOpenSysErr();
    };
    const int unknown = failedOpen("tcp://no-such-host.invalid:4001");
    EXPECT_EQ(NetworkError::classify(unknown), NetworkError::Kind::NoSuchHost) << unknown;
    EXPECT_FALSE(NetworkError::errorText(unknown).empty());
    // Port 1 of the loopback: nothing listens there on a test machine.
    const int refused = failedOpen("tcp://127.0.0.1:1?connect=2000");
    EXPECT_EQ(NetworkError::classify(refused), NetworkError::Kind::Refused) << refused;
    EXPECT_FALSE(NetworkError::errorText(refused).empty());
    const int badForm = failedOpen("rfc2217://host:70000");
    EXPECT_EQ(NetworkError::classify(badForm), NetworkError::Kind::BadSetting) << badForm;
    EXPECT_EQ(NetworkError::classify(0), NetworkError::Kind::Other);
}

// Ctrl+C sets the flag, and where the system can wake an event loop, its
// descriptor has a byte to read; a second Ctrl+C is told the same way.
TEST(Interrupts, CtrlCSetsTheFlagAndWakesTheLoop)
{
    static volatile std::sig_atomic_t flag = 0;
    Interrupts::install(&flag);
    for (int round = 0; round < 2; ++round) {
        flag = 0;
        ASSERT_EQ(std::raise(SIGINT), 0);
        EXPECT_EQ(flag, 1) << round;
#ifdef _WIN32
        EXPECT_EQ(Interrupts::wakeDescriptor(), -1);
#else
        ASSERT_GE(Interrupts::wakeDescriptor(), 0);
        char byte = 0;
        EXPECT_EQ(::read(Interrupts::wakeDescriptor(), &byte, 1), 1) << round;
        Interrupts::drainWake();
        EXPECT_EQ(::read(Interrupts::wakeDescriptor(), &byte, 1), -1) << "drained, not blocking";
#endif
    }
}
