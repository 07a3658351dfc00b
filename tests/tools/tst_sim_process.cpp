// hrc417-sim as a program: the state file, the terminal link, reopening the
// port, the exchange log, options and exit codes.
#include "SimFixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

using namespace simtest;

namespace {

std::string tempPath(const std::string& name)
{
    return "/tmp/hrc417-sim-test-" + std::to_string(getpid()) + "-" + name;
}

std::string fileText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

class SimState : public SimFixture {
protected:
    void TearDown() override
    {
        SimFixture::TearDown();
        std::remove(state_.c_str());
    }
    std::string state_ = tempPath("state.hrc417");
};

TEST_F(SimState, ValuesWrittenSurviveARestart)
{
    std::remove(state_.c_str());
    startSim({"--state", state_});  // no file yet: factory values
    EXPECT_EQ(readUInt("Tin.F"), 10u);
    ASSERT_EQ(WriteByte(kAddress, kShort, "Tin.F", 42, -1), 0);
    ASSERT_EQ(WriteIEEE32(kAddress, kShort, "T.sp", 70.5f, 1), 0);
    std::vector<unsigned char> time = {21, 45, 0, 0x31};
    ASSERT_EQ(raw(kAddress, kShort, false, "Tm.ng", time), 0);
    ASSERT_EQ(stopSim(), 0);

    // The file is a configuration file: group hrc417, decimal comma.
    const std::string saved = fileText(state_);
    EXPECT_NE(saved.find("[hrc417]"), std::string::npos);
    EXPECT_NE(saved.find("Tin.F=42"), std::string::npos) << saved;
    EXPECT_NE(saved.find("70,5"), std::string::npos) << saved;

    startSim({"--state", state_});
    EXPECT_EQ(readUInt("Tin.F"), 42u);
    EXPECT_FLOAT_EQ(readFloat("T.sp", 1), 70.5f);
    EXPECT_FLOAT_EQ(readFloat("T.sp", 0), 55.0f);
    EXPECT_EQ(readUInt("Tm.ng"), 0x152D0031u);
}

TEST_F(SimState, InvalidEntriesKeepTheFactoryValue)
{
    {
        std::ofstream out(state_);
        out << "[hrc417]\nTin.F=12\nBeep=7\nInd.i=abc\nAddr=20\n";
    }
    startSim({"--state", state_});
    EXPECT_EQ(readUInt("Tin.F", -1, 20), 12u);
    EXPECT_EQ(readUInt("Beep", -1, 20), 1u);
    EXPECT_EQ(readUInt("Ind.i", -1, 20), 5u);
    const std::string log = sim_->stderrText();
    EXPECT_NE(log.find("Beep"), std::string::npos) << log;
    EXPECT_NE(log.find("Ind.i"), std::string::npos) << log;
}

TEST_F(SimState, AStateThatCannotBeSavedIsReported)
{
    // Refused at start when its directory is missing ...
    hrcsim::SimProcess early({"--state", tempPath("missing-dir") + "/state.hrc417"});
    EXPECT_FALSE(early.start());
    EXPECT_NE(early.stderrText().find("does not exist"), std::string::npos) << early.stderrText();

    // ... and the exit fails when the save does.
    const std::string dir = tempPath("dir");
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    startSim({"--state", dir + "/state.hrc417"});
    EXPECT_EQ(readUInt("Tin.F"), 10u);
    ASSERT_EQ(rmdir(dir.c_str()), 0);
    { std::ofstream blocker(dir); }  // a file where the directory was
    EXPECT_EQ(stopSim(), 1);
    EXPECT_NE(sim_->stderrText().find("cannot write the state file"), std::string::npos)
        << sim_->stderrText();
    std::remove(dir.c_str());
}

class SimProgram : public SimFixture {};

TEST_F(SimProgram, TheLinkPointsToTheTerminalUntilExit)
{
    const std::string link = tempPath("link");
    startSim({"--link", link});
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), sim_->ptyPath());

    // A client may use the link itself as its port.
    ClosePort();
    ASSERT_EQ(SetPortName(kPort, link.c_str()), 0);
    ASSERT_EQ(OpenPort(kPort, kSpeed115200, 0, 1, 0, 1), 0);
    EXPECT_EQ(readText("Dev"), "HRC417");

    EXPECT_EQ(stopSim(), 0);
    struct stat st {};
    EXPECT_NE(lstat(link.c_str(), &st), 0);
}

TEST_F(SimProgram, ALinkNeverReplacesARealFile)
{
    const std::string file = tempPath("file");
    {
        std::ofstream out(file);
        out << "keep";
    }
    hrcsim::SimProcess sim({"--link", file});
    EXPECT_FALSE(sim.start());
    EXPECT_EQ(fileText(file), "keep");
    std::remove(file.c_str());
}

TEST_F(SimProgram, AClientMayCloseAndReopenThePort)
{
    startSim();
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(readText("Dev"), "HRC417") << "round " << round;
        ASSERT_EQ(ClosePort(), 0);
        ASSERT_EQ(OpenPort(kPort, kSpeed115200, 0, 1, 0, 1), 0);
    }
    EXPECT_EQ(readText("Dev"), "HRC417");
}

TEST_F(SimProgram, VerboseLogNamesEveryExchange)
{
    startSim({"--verbose"});
    readUInt("Thpd", 2);
    readUInt("Zz");
    readFloat("r.cor", -1, kAddress + 3);
    EXPECT_TRUE(sim_->waitForStderr("addr 16 read Thpd[2] -> 01 00 02"));
    EXPECT_TRUE(sim_->waitForStderr("error 0x28 (unknown name)"));
    EXPECT_TRUE(sim_->waitForStderr("addr 19 read r.cor (channel 3) -> "));
}

TEST_F(SimProgram, InterruptAndHangUpEndItCleanly)
{
    for (int sig : {SIGINT, SIGHUP}) {
        startSim();
        ClosePort();
        portOpen_ = false;
        EXPECT_EQ(sim_->stop(sig), 0) << sig;
    }
}

TEST_F(SimProgram, HelpDocumentsEveryOption)
{
    hrcsim::SimProcess sim({"--help"});
    ASSERT_TRUE(sim.start()) << sim.error();
    EXPECT_EQ(sim.waitForExit(), 0);
    const std::string help = sim.ptyPath() + "\n" + sim.stdoutText();
    for (const char* option : {"--device", "--link", "--description", "--state", "--address", "--baud",
                               "--turnaround", "--faults", "--write-faults", "--missing", "--seed", "--verbose", "--help",
                               "drop", "crc", "garbage", "split", "truncate", "gap="})
        EXPECT_NE(help.find(option), std::string::npos) << option;
}

TEST_F(SimProgram, TheReadmeShowsTheCurrentHelp)
{
    hrcsim::SimProcess sim({"--help"});
    ASSERT_TRUE(sim.start()) << sim.error();
    ASSERT_EQ(sim.waitForExit(), 0);
    std::string help = sim.stdoutText();  // everything after the usage line
    const std::string readme = fileText(HRC_SOURCE_DIR "/README.md");
    EXPECT_NE(readme.find("Usage: hrc417-sim [options]\n" + help), std::string::npos)
        << "README.md's hrc417-sim block differs from --help:\n" << help;
}

TEST_F(SimProgram, WriteFaultsAnswerAsStoredButKeepSomethingElse)
{
    startSim({"--verbose", "--write-faults", "ignore=beep,clamp=T.sp[0],offset=Ti[0]:5"});
    // Every write is answered as a success.
    ASSERT_EQ(WriteByte(kAddress, kShort, "Beep", 0, -1), 0);
    ASSERT_EQ(WriteIEEE32(kAddress, kShort, "T.sp", 90.0f, 0), 0);
    ASSERT_EQ(WriteWord(kAddress, kShort, "Ti", 200, 0), 0);
    ASSERT_EQ(WriteByte(kAddress, kShort, "Tin.F", 20, -1), 0);
    // ... but the device keeps the old value, the middle of 5..95, the value + 5.
    EXPECT_EQ(readUInt("Beep"), 1u);
    EXPECT_FLOAT_EQ(readFloat("T.sp", 0), 50.0f);
    EXPECT_EQ(readUInt("Ti", 0), 205u);
    EXPECT_EQ(readUInt("Tin.F"), 20u);  // unnamed parameters store what is written
    EXPECT_TRUE(sim_->waitForStderr("[write ignored]"));
    EXPECT_TRUE(sim_->waitForStderr("[stored 205]"));
}

TEST_F(SimProgram, MissingParametersAreAnsweredAsUnknownAndAskedOnce)
{
    startSim({"--verbose", "--missing", "beep,T.sp[1],Grtp"});
    ResetLinkStats();
    int number = 0;
    EXPECT_EQ(ReadUInt(kAddress, kShort, "Beep", &number, -1), KAVU_E_DEVICE_ERROR);
    EXPECT_EQ(GetDeviceLastErr(), 0x28);
    EXPECT_FLOAT_EQ(readFloat("T.sp", 0), 55.0f);  // another index of the same name
    float value = 0;
    EXPECT_EQ(ReadIEEE32(kAddress, kShort, "T.sp", &value, nullptr, 1), KAVU_E_DEVICE_ERROR);
    EXPECT_EQ(ReadIEEE32(kAddress, kShort, "Grtp", &value, nullptr, 3), KAVU_E_DEVICE_ERROR);  // a base name: every index
    EXPECT_EQ(readUInt("Tin.F"), 10u);
    // An error reply is an answer: no request was repeated.
    KavuLinkStats stats{};
    stats.size = sizeof stats;
    ASSERT_EQ(GetLinkStats(&stats), 0);
    EXPECT_EQ(stats.exchanges, 5u);
    EXPECT_EQ(stats.attempts, 5u);
    EXPECT_EQ(stats.deviceErrors, 3u);
    EXPECT_TRUE(sim_->waitForStderr("read Beep -> error 0x28 (not in this device)"));
}

TEST_F(SimProgram, BadArgumentsAreRefused)
{
    const std::vector<std::vector<std::string>> bad = {
        {"--faults", "drop=2"}, {"--faults", "noise=0.1"}, {"--baud", "fast"}, {"--address", "0"},
        {"--bogus"}, {"--description", "/nonexistent.xml"}, {"--device", "/nonexistent-tty"},
        {"--address", "300"}, {"--write-faults", "ignore=NoSuch"}, {"--write-faults", "clamp=Dev"},
        {"--write-faults", "offset=Ti[0]"}, {"--write-faults", "shift=Beep"}, {"--missing", "NoSuch"},
        {"--missing", ","}};
    for (const auto& args : bad) {
        hrcsim::SimProcess sim(args);
        EXPECT_FALSE(sim.start()) << args[0];
        EXPECT_NE(sim.stderrText().find("hrc417-sim: "), std::string::npos) << args[0];
    }
    hrcsim::SimProcess usage({"--faults", "crc=-1"});
    usage.start();
    EXPECT_EQ(usage.waitForExit(), 2);
}

TEST_F(SimProgram, DescriptionProblemsAreReportedNotFatal)
{
    startSim({"--description", fixturePath("small-device.xml")});
    const std::string log = sim_->stderrText();
    EXPECT_NE(log.find("Bad[x]"), std::string::npos) << log;
    EXPECT_NE(log.find("Odd"), std::string::npos) << log;
    EXPECT_EQ(readText("Dev"), "TEST");
}
