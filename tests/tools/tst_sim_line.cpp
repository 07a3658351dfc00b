// hrc417-sim on the line: address filtering and change, injected faults as
// the library sees them, and pacing at a line speed.
#include "SimFixture.h"
#include "frame_codec.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

using namespace simtest;

class SimAddress : public SimFixture {};

TEST_F(SimAddress, FramesForOtherAddressesAreIgnored)
{
    startSim({"--address", "30"});
    readUInt("Tin.F", -1, kAddress);
    EXPECT_EQ(lastResult_, KAVU_E_TIMEOUT);
    EXPECT_EQ(readUInt("Tin.F", -1, 30), 10u);
    EXPECT_EQ(lastResult_, 0);
    // An 11-bit frame is not for a device in 8-bit mode.
    readUInt("Tin.F", -1, 30, kLong);
    EXPECT_EQ(lastResult_, KAVU_E_TIMEOUT);
}

TEST_F(SimAddress, WritingAddrMovesTheDevice)
{
    startSim();
    ASSERT_EQ(WriteByte(kAddress, kShort, "Addr", 40, -1), 0);  // answered from the old address
    readUInt("Tin.F", -1, kAddress);
    EXPECT_EQ(lastResult_, KAVU_E_TIMEOUT);
    EXPECT_EQ(readUInt("Addr", -1, 40), 40u);
    EXPECT_EQ(lastResult_, 0);
    // In 8-bit mode the device refuses an address it could not be reached at.
    EXPECT_EQ(WriteWord(40, kShort, "Addr", 300, -1), KAVU_E_DEVICE_ERROR);
    EXPECT_EQ(GetDeviceLastErr(), 0x06);
    EXPECT_EQ(readUInt("Addr", -1, 40), 40u);
}

TEST_F(SimAddress, WritingALenSwitchesToElevenBitAddresses)
{
    startSim();
    ASSERT_EQ(WriteByte(kAddress, kShort, "A.Len", 1, -1), 0);
    // Now an 8-bit frame to 16 reads as 11-bit address 128: not ours.
    readUInt("Tin.F", -1, kAddress, kShort);
    EXPECT_EQ(lastResult_, KAVU_E_TIMEOUT);
    EXPECT_EQ(readUInt("Tin.F", -1, kAddress, kLong), 10u);
    EXPECT_EQ(lastResult_, 0);

    ASSERT_EQ(WriteWord(kAddress, kLong, "Addr", 1001, -1), 0);
    EXPECT_EQ(readUInt("Addr", -1, 1001, kLong), 1001u);
    EXPECT_EQ(lastResult_, 0);
    // Channels follow in 11-bit mode too.
    float value = 0;
    int tail = 0;
    EXPECT_EQ(ReadIEEE32(1001 + 7, kLong, "r.cor", &value, &tail, -1), 0);
    // Back to 8-bit mode is refused while the address needs 11 bits.
    EXPECT_EQ(WriteByte(1001, kLong, "A.Len", 0, -1), KAVU_E_DEVICE_ERROR);
    EXPECT_EQ(GetDeviceLastErr(), 0x06);
}

class SimFaults : public SimFixture {
protected:
    // Every reply faulted; the library's result after all its attempts.
    int readWithFault(const std::string& spec)
    {
        startSim({"--faults", spec, "--seed", "1", "--verbose"});
        int value = 0;
        const int result = ReadUInt(kAddress, kShort, "Tin.F", &value, -1);
        lastValue_ = value;
        return result;
    }
    int lastValue_ = 0;
};

TEST_F(SimFaults, DroppedRepliesTimeOut)
{
    EXPECT_EQ(readWithFault("drop=1"), KAVU_E_TIMEOUT);
    EXPECT_TRUE(sim_->waitForStderr("[fault: dropped]"));
}

TEST_F(SimFaults, CorruptedCrcIsReportedAsCrcMismatch)
{
    EXPECT_EQ(readWithFault("crc=1"), KAVU_E_CRC);
    EXPECT_TRUE(sim_->waitForStderr("[fault: corrupted CRC]"));
}

TEST_F(SimFaults, GarbageBeforeTheReplyIsABadReply)
{
    EXPECT_EQ(readWithFault("garbage=1"), KAVU_E_BAD_REPLY);
    EXPECT_TRUE(sim_->waitForStderr("[fault: garbage]"));
}

TEST_F(SimFaults, TruncatedRepliesTimeOut)
{
    EXPECT_EQ(readWithFault("truncate=1"), KAVU_E_TIMEOUT);
    EXPECT_TRUE(sim_->waitForStderr("[fault: truncated]"));
}

TEST_F(SimFaults, ASplitReplyWithinTheReplyTimeIsReceivedWhole)
{
    EXPECT_EQ(readWithFault("split=1,gap=60"), 0);
    EXPECT_EQ(lastValue_, 10);
    EXPECT_TRUE(sim_->waitForStderr("[fault: split]"));
}

TEST_F(SimFaults, TheLibraryRepeatsPastOccasionalFaults)
{
    SetMaxRetriesGlobal(3);
    startSim({"--faults", "drop=0.3,crc=0.2", "--seed", "5"});
    int failures = 0;
    for (int i = 0; i < 20; ++i)
        failures += readUInt("Tin.F") != 10u;
    SetMaxRetriesGlobal(1);
    EXPECT_LE(failures, 3);
}

TEST_F(SimFaults, TheSameSeedGivesTheSameFaults)
{
    SetMaxRetriesGlobal(0);
    std::vector<int> runs[2];
    for (auto& results : runs) {
        startSim({"--faults", "drop=0.5", "--seed", "42"});
        for (int i = 0; i < 16; ++i) {
            int value = 0;
            results.push_back(ReadUInt(kAddress, kShort, "Tin.F", &value, -1));
        }
        EXPECT_EQ(stopSim(), 0);
    }
    SetMaxRetriesGlobal(1);
    EXPECT_EQ(runs[0], runs[1]);
    EXPECT_NE(std::count(runs[0].begin(), runs[0].end(), 0), 0);
    EXPECT_NE(std::count(runs[0].begin(), runs[0].end(), KAVU_E_TIMEOUT), 0);
}

class SimPacing : public SimFixture {
protected:
    // Seconds taken by `count` reads of a one-byte parameter.
    double timeReads(int count)
    {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < count; ++i) {
            readUInt("Tin.F");
            EXPECT_EQ(lastResult_, 0);
        }
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
};

TEST_F(SimPacing, RepliesTakeTheirWireTimeAt9600Baud)
{
    startSim({"--baud", "9600"});
    // Request 14 characters, reply 16 (one data byte), 10 bits each.
    const int reads = 20;
    const double ideal = reads * (14 + 16) * 10.0 / 9600.0;
    const double taken = timeReads(reads);
    EXPECT_GT(taken, ideal * 0.95);
    EXPECT_LT(taken, ideal * 1.6);
}

TEST_F(SimPacing, WritingTheSpeedChangesThePace)
{
    startSim({"--baud", "4800"});
    const int reads = 10;
    const double slow = timeReads(reads);
    ASSERT_EQ(WriteByte(kAddress, kShort, "bPS", 4, -1), 0);  // 19200 bit/s
    const double fast = timeReads(reads);
    EXPECT_GT(slow, reads * 30 * 10.0 / 4800 * 0.95);
    EXPECT_LT(fast, slow / 2);
}

TEST_F(SimPacing, TurnaroundAddsTheDeviceDelay)
{
    startSim({"--turnaround", "25"});
    const int reads = 10;
    const double taken = timeReads(reads);
    EXPECT_GT(taken, reads * 0.025 * 0.95);
    EXPECT_LT(taken, reads * 0.025 * 2.0 + 0.2);
}

// --device: the simulator at the far end of a serial line. A pseudo-terminal
// made here stands in for the cable; this end speaks raw frames built with
// the project's codec, since the library cannot open a pty's master side.
class SimSerialDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master_, 0);
        char name[128];
        ASSERT_EQ(grantpt(master_), 0);
        ASSERT_EQ(unlockpt(master_), 0);
        ASSERT_EQ(ptsname_r(master_, name, sizeof name), 0);
        devicePath_ = name;
        // Held open here too, so the master never sees a hang-up.
        observer_ = open(name, O_RDWR | O_NOCTTY);
        ASSERT_GE(observer_, 0);
    }
    void TearDown() override
    {
        close(observer_);
        close(master_);
    }

    // Sends one request and returns the reply's status; data gets its bytes.
    kavu::codec::DecodeStatus exchange(const char* name, bool read, std::vector<uint8_t> request,
                                       std::vector<uint8_t>& data)
    {
        using namespace kavu::codec;
        const uint16_t hash = nameHash(name);
        EncodedFrame frame;
        encodeFrame(hash, read, kAddress, AddressMode::Short, request.data(), int(request.size()), frame);
        EXPECT_EQ(write(master_, frame.text, size_t(frame.textLength)), frame.textLength);
        char text[kMaxFrameText];
        int count = 0;
        while (count == 0 || text[count - 1] != kFrameEnd) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 2000) <= 0 || count >= kMaxFrameText)
                return DecodeStatus::SizeError;
            const ssize_t n = ::read(master_, text + count, size_t(kMaxFrameText - count));
            if (n <= 0)
                return DecodeStatus::SizeError;
            count += int(n);
        }
        FrameFields fields;
        const DecodeStatus status = decodeFrame(text, count, &hash, fields);
        data.assign(fields.data(), fields.data() + fields.dataLength);
        return status;
    }

    speed_t lineSpeed()
    {
        termios tio{};
        tcgetattr(observer_, &tio);
        return cfgetospeed(&tio);
    }

    int master_ = -1, observer_ = -1;
    std::string devicePath_;
};

TEST_F(SimSerialDevice, ServesAnExistingTtyAndFollowsItsLineSettings)
{
    hrcsim::SimProcess sim({"--device", devicePath_, "--baud", "19200"});
    ASSERT_TRUE(sim.start()) << sim.error();
    EXPECT_EQ(sim.ptyPath(), devicePath_);
    EXPECT_EQ(lineSpeed(), speed_t(B19200));

    std::vector<uint8_t> data;
    ASSERT_EQ(exchange("Dev", true, {}, data), kavu::codec::DecodeStatus::Ok);
    EXPECT_EQ(std::string(data.rbegin(), data.rend()), "HRC417");

    // Writing the speed index 6 (9600 bit/s) moves the device's line once
    // the reply is out: the next exchange already finds it there.
    ASSERT_EQ(exchange("bPS", false, {6}, data), kavu::codec::DecodeStatus::Ok);
    ASSERT_EQ(exchange("bPS", true, {}, data), kavu::codec::DecodeStatus::Ok);
    EXPECT_EQ(data, std::vector<uint8_t>({6}));
    EXPECT_EQ(lineSpeed(), speed_t(B9600));
    EXPECT_EQ(sim.stop(), 0);
}

TEST(SimSerialDeviceOptions, ANonTtyIsRefused)
{
    hrcsim::SimProcess sim({"--device", "/dev/null"});
    EXPECT_FALSE(sim.start());
    EXPECT_NE(sim.stderrText().find("not a serial device"), std::string::npos) << sim.stderrText();
}
