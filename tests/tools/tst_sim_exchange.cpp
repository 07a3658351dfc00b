// hrc417-sim answered by the kavu_io library: every value type read and
// written back in the encodings the configurator uses, indexes, channels
// and the device's error replies.
#include "SimFixture.h"

#include <cstring>

using namespace simtest;

namespace {

uint32_t bitsOf(float f)
{
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

float floatOfBits(uint32_t u)
{
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

}  // namespace

class SimTypes : public SimFixture {
protected:
    void SetUp() override { startSim(); }
};

TEST_F(SimTypes, IntegerTypesReadFactoryValuesAndWriteBack)
{
    EXPECT_EQ(readUInt("Tin.F"), 10u);  // byte
    EXPECT_EQ(lastResult_, 0);
    EXPECT_EQ(WriteByte(kAddress, kShort, "Tin.F", 33, -1), 0);
    EXPECT_EQ(readUInt("Tin.F"), 33u);

    EXPECT_EQ(WriteByte(kAddress, kShort, "inv.D", 0xA5, -1), 0);  // bitmask byte
    EXPECT_EQ(readUInt("inv.D"), 0xA5u);

    EXPECT_EQ(readUInt("Ind.i"), 5u);  // word
    EXPECT_EQ(WriteWord(kAddress, kShort, "Ind.i", 60, -1), 0);
    EXPECT_EQ(readUInt("Ind.i"), 60u);

    EXPECT_EQ(readUInt("Addr"), 16u);  // short: two bytes
}

TEST_F(SimTypes, EnumerationsKeepTheirIndexOrEntryNumber)
{
    EXPECT_EQ(readUInt("Beep"), 1u);  // enumindex
    EXPECT_EQ(WriteByte(kAddress, kShort, "Beep", 0, -1), 0);
    EXPECT_EQ(readUInt("Beep"), 0u);
    EXPECT_EQ(WriteByte(kAddress, kShort, "Beep", 2, -1), KAVU_E_DEVICE_ERROR);  // two entries only
    EXPECT_EQ(GetDeviceLastErr(), 0x06);
    EXPECT_EQ(readUInt("Beep"), 0u);

    // Without enumindex the device keeps the entry's number ("1;2;3;4;5").
    EXPECT_EQ(readUInt("Node", 0), 5u);
    EXPECT_EQ(WriteByte(kAddress, kShort, "Node", 3, 0), 0);
    EXPECT_EQ(readUInt("Node", 0), 3u);
    EXPECT_EQ(WriteByte(kAddress, kShort, "Node", 1, 1), KAVU_E_DEVICE_ERROR);  // "2;3;4;5"
    EXPECT_EQ(WriteByte(kAddress, kShort, "Node", 6, 0), KAVU_E_DEVICE_ERROR);
    EXPECT_EQ(readUInt("Node", 0), 3u);
}

TEST_F(SimTypes, FloatsAreIeeeSinglesWithinTheirLimits)
{
    EXPECT_FLOAT_EQ(readFloat("T.sp", 0), 55.0f);
    EXPECT_EQ(lastResult_, 0);
    EXPECT_EQ(WriteIEEE32(kAddress, kShort, "T.sp", 62.5f, 0), 0);
    EXPECT_FLOAT_EQ(readFloat("T.sp", 0), 62.5f);
    EXPECT_FLOAT_EQ(readFloat("T.sp", 1), 55.0f);  // the other index is untouched

    EXPECT_EQ(WriteIEEE32(kAddress, kShort, "Td.ti", 1.0f, 0), 0);  // at the maximum "1,00"
    EXPECT_EQ(WriteIEEE32(kAddress, kShort, "Td.ti", 0.15f, 0), 0);
    EXPECT_FLOAT_EQ(readFloat("Td.ti", 0), 0.15f);

    // Beyond the limits the device answers "invalid value written".
    EXPECT_EQ(WriteIEEE32(kAddress, kShort, "T.sp", 200.0f, 0), KAVU_E_EXCEPTION);
    EXPECT_EQ(GetExtendedLastErr(), 0x001);
    EXPECT_FLOAT_EQ(readFloat("T.sp", 0), 62.5f);
}

TEST_F(SimTypes, PointsArePackedHalvesInTheFloatBits)
{
    // "-25,0;90,0": x = 0x8000 + 250 in the low half, y = 900 in the high half.
    EXPECT_EQ(bitsOf(readFloat("Grtp", 0)), 0x038480FAu);
    EXPECT_EQ(lastResult_, 0);
    // corr[] scale their points by 100: "0,00;1,00" -> y = 1000.
    EXPECT_EQ(bitsOf(readFloat("corr", 0)), 0x03E80000u);

    // "-20;85" written and read back.
    const uint32_t point = (850u << 16) | (0x8000u + 200u);
    EXPECT_EQ(WriteIEEE32(kAddress, kShort, "Grtp", floatOfBits(point), 2), 0);
    EXPECT_EQ(bitsOf(readFloat("Grtp", 2)), point);
    // An offset of 20 is beyond corr's limit of 10.
    EXPECT_EQ(WriteIEEE32(kAddress, kShort, "corr", floatOfBits(20000u), 0), KAVU_E_EXCEPTION);
}

TEST_F(SimTypes, TextsComeReversedInWindows1251)
{
    EXPECT_EQ(readText("Dev"), "HRC417");
    EXPECT_EQ(lastResult_, 0);
    EXPECT_EQ(readText("ver"), "\xE2\xE5\xF0. 2.14");        // "вер. 2.14"
    EXPECT_EQ(readText("p.ver"), "\xCA\xE0\xE2\xF3 1.3");    // "Каву 1.3"
    EXPECT_FALSE(readText("r.h").empty());

    std::vector<unsigned char> text = {'X', 'Y'};
    EXPECT_EQ(raw(kAddress, kShort, false, "Dev", text), KAVU_E_DEVICE_ERROR);
    EXPECT_EQ(GetDeviceLastErr(), 0x03);  // ROM parameter
    EXPECT_EQ(readText("Dev"), "HRC417");
}

TEST_F(SimTypes, TimesOfDayArePackedHoursMinutesSeconds)
{
    EXPECT_EQ(readUInt("Tm.dy"), 0x06000031u);  // "06:00:00"
    std::vector<unsigned char> time = {7, 30, 15, 0x31};
    EXPECT_EQ(raw(kAddress, kShort, false, "Tm.dy", time), 0);
    EXPECT_EQ(readUInt("Tm.dy"), 0x071E0F31u);

    std::vector<unsigned char> bad = {25, 0, 0, 0x31};
    EXPECT_EQ(raw(kAddress, kShort, false, "Tm.dy", bad), KAVU_E_DEVICE_ERROR);
    EXPECT_EQ(GetDeviceLastErr(), 0x04);
    EXPECT_EQ(readUInt("Tm.dy"), 0x071E0F31u);
}

TEST_F(SimTypes, TheClockIsSetAndKeepsRunning)
{
    std::vector<unsigned char> now(7, 0);  // the configurator sends 7 bytes in the read
    ASSERT_EQ(raw(kAddress, kShort, true, "Rtc", now), 0);
    ASSERT_EQ(now.size(), 7u);
    EXPECT_EQ(now[6], 0x61);
    EXPECT_GE(now[0], 20);  // a year of this century

    std::vector<unsigned char> set = {24, 1, 14, 10, 20, 30, 0x61};  // 2024/02/15 10:20:30
    ASSERT_EQ(raw(kAddress, kShort, false, "Rtc", set), 0);
    std::vector<unsigned char> back(7, 0);
    ASSERT_EQ(raw(kAddress, kShort, true, "Rtc", back), 0);
    ASSERT_EQ(back.size(), 7u);
    EXPECT_EQ(std::vector<unsigned char>(back.begin(), back.begin() + 5),
              std::vector<unsigned char>({24, 1, 14, 10, 20}));
    EXPECT_GE(back[5], 30);
    EXPECT_LE(back[5], 35);

    // The library's own RTC reader understands the same reply.
    char text[KAVU_RTC_TEXT_SIZE] = {};
    EXPECT_EQ(ReadRTC(kAddress, kShort, text), 0);
    EXPECT_EQ(std::string(text).substr(0, 16), "2024/02/15/10:20");

    std::vector<unsigned char> february30 = {24, 1, 29, 0, 0, 0, 0x61};
    EXPECT_EQ(raw(kAddress, kShort, false, "Rtc", february30), KAVU_E_DEVICE_ERROR);
    EXPECT_EQ(GetDeviceLastErr(), 0x04);
}

TEST_F(SimTypes, WriteRepliesEchoTheStoredValueAndIndex)
{
    std::vector<unsigned char> data = {0x42, 0x70, 0x00, 0x00, 0x00, 0x01};  // 60.0 to T.sp[1]
    ASSERT_EQ(raw(kAddress, kShort, false, "T.sp", data), 0);
    EXPECT_EQ(data, std::vector<unsigned char>({0x42, 0x70, 0x00, 0x00, 0x00, 0x01}));
}

class SimRawType : public SimFixture {
protected:
    void SetUp() override { startSim({"--description", fixturePath("small-device.xml")}); }
};

TEST_F(SimRawType, RawBytesAndWritableTextsAreStoredAsTheyCome)
{
    std::vector<unsigned char> data;
    ASSERT_EQ(raw(kAddress, kShort, true, "Blob", data), 0);
    EXPECT_EQ(data, std::vector<unsigned char>({0x01, 0xAB}));  // factory "01AB"
    std::vector<unsigned char> bytes = {0xDE, 0xAD, 0xBE, 0xEF, 0x00};
    ASSERT_EQ(raw(kAddress, kShort, false, "Blob", bytes), 0);
    data.clear();
    ASSERT_EQ(raw(kAddress, kShort, true, "Blob", data), 0);
    EXPECT_EQ(data, std::vector<unsigned char>({0xDE, 0xAD, 0xBE, 0xEF, 0x00}));
    // A writable text travels reversed both ways.
    EXPECT_EQ(readText("Note"), "\xCF\xF0\xE8\xE2\xE5\xF2");  // "Привет"
    std::vector<unsigned char> reversed = {'2', '1', ' ', 0xCA};   // "К 12"
    ASSERT_EQ(raw(kAddress, kShort, false, "Note", reversed), 0);
    EXPECT_EQ(readText("Note"), "\xCA 12");
    // Parameters the small description lacks are unknown to this device.
    readUInt("Tin.F");
    EXPECT_EQ(lastResult_, KAVU_E_DEVICE_ERROR);
    EXPECT_EQ(GetDeviceLastErr(), 0x28);
}

class SimIndexesAndChannels : public SimFixture {
protected:
    void SetUp() override { startSim(); }
};

TEST_F(SimIndexesAndChannels, EveryIndexHoldsItsOwnValue)
{
    for (int i = 0; i < 6; ++i)
        ASSERT_EQ(WriteByte(kAddress, kShort, "Thpd", i % 4, i), 0) << i;
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(readUInt("Thpd", i), unsigned(i % 4)) << i;
    EXPECT_EQ(WriteWord(kAddress, kShort, "t.L", 600, 3), 0);
    EXPECT_EQ(readUInt("t.L", 3), 600u);
    EXPECT_EQ(readUInt("t.L", 2), 0u);
}

TEST_F(SimIndexesAndChannels, IndexedNamesNeedAValidIndex)
{
    EXPECT_EQ(readUInt("Thpd", 6), unsigned(0));  // ReadUInt writes 0 on failure
    EXPECT_EQ(lastResult_, KAVU_E_DEVICE_ERROR);
    EXPECT_EQ(GetDeviceLastErr(), 0x35);  // index beyond the limit

    // The base name alone is refused, which is what the configurator's
    // name check relies on.
    std::vector<unsigned char> none;
    EXPECT_EQ(raw(kAddress, kShort, true, "Thpd", none), KAVU_E_DEVICE_ERROR);
    EXPECT_EQ(GetDeviceLastErr(), 0x31);
}

TEST_F(SimIndexesAndChannels, ChannelsAnswerAtTheAddressPlusTheChannel)
{
    float inputs[8];
    for (int c = 0; c < 8; ++c) {
        inputs[c] = readFloat("r.cor", -1, kAddress + c);
        ASSERT_EQ(lastResult_, 0) << "channel " << c;
    }
    EXPECT_LT(inputs[0], 30.0f);   // outdoor
    EXPECT_GT(inputs[1], inputs[2] - 5.0f);  // supply above return (within noise)
    EXPECT_GE(inputs[6], 0.0f);    // current-loop inputs on their 0..100 scale
    EXPECT_LE(inputs[6], 100.0f);

    // A name without that channel is unknown there; beyond the last
    // channel the address belongs to nobody.
    readUInt("Tin.F", -1, kAddress + 3);
    EXPECT_EQ(lastResult_, KAVU_E_DEVICE_ERROR);
    EXPECT_EQ(GetDeviceLastErr(), 0x28);
    readFloat("r.cor", -1, kAddress + 8);
    EXPECT_EQ(lastResult_, KAVU_E_TIMEOUT);
}

TEST_F(SimIndexesAndChannels, OperatingValuesDrift)
{
    const float first = readFloat("r.cor", -1, kAddress + 1);
    ASSERT_EQ(lastResult_, 0);
    // The plant moves every half second; keep asking until it has (bounded).
    bool changed = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!changed && std::chrono::steady_clock::now() < deadline)
        changed = readFloat("r.cor", -1, kAddress + 1) != first;
    EXPECT_TRUE(changed);
}

class SimErrors : public SimFixture {
protected:
    void SetUp() override { startSim(); }
};

TEST_F(SimErrors, UnknownNamesAndReadOnlyParametersGetErrorReplies)
{
    readUInt("Zz");
    EXPECT_EQ(lastResult_, KAVU_E_DEVICE_ERROR);
    EXPECT_EQ(GetDeviceLastErr(), 0x28);
    // Program settings of the description are not device parameters.
    readUInt("timescan");
    EXPECT_EQ(GetDeviceLastErr(), 0x28);

    // Polled operating values are computed by the device.
    EXPECT_EQ(WriteIEEE32(kAddress, kShort, "Sp.h", 50.0f, -1), KAVU_E_DEVICE_ERROR);
    EXPECT_EQ(GetDeviceLastErr(), 0x03);

    std::vector<unsigned char> empty;
    EXPECT_EQ(raw(kAddress, kShort, false, "Tin.F", empty), KAVU_E_DEVICE_ERROR);
    EXPECT_EQ(GetDeviceLastErr(), 0x31);
    EXPECT_EQ(WriteByte(kAddress, kShort, "Tin.F", 61, -1), KAVU_E_DEVICE_ERROR);  // max 60
    EXPECT_EQ(GetDeviceLastErr(), 0x06);
}

TEST_F(SimErrors, AnInputWithoutSensorReportsTheSensorDisconnected)
{
    readFloat("r.cor", -1, kAddress + 2);
    ASSERT_EQ(lastResult_, 0);
    ASSERT_EQ(WriteByte(kAddress, kShort, "in-t", 0, 2), 0);  // "нет датчика"
    readFloat("r.cor", -1, kAddress + 2);
    EXPECT_EQ(lastResult_, KAVU_E_EXCEPTION);
    EXPECT_EQ(GetExtendedLastErr(), 0xF007);
    readFloat("r.cor", -1, kAddress + 1);
    EXPECT_EQ(lastResult_, 0);
}

class SimPlant : public SimFixture {
protected:
    // Reads until pred holds or a few seconds have passed (the plant moves
    // in half-second steps).
    template <typename Pred>
    bool eventually(Pred pred)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(4);
        while (std::chrono::steady_clock::now() < deadline)
            if (pred())
                return true;
        return false;
    }
};

TEST_F(SimPlant, TheSeedFixesTheStartingValues)
{
    float outdoor[3];
    const char* seeds[3] = {"11", "11", "12"};
    for (int i = 0; i < 3; ++i) {
        startSim({"--seed", seeds[i]});
        outdoor[i] = readFloat("r.cor");  // read within the first half second
        ASSERT_EQ(lastResult_, 0);
        ASSERT_EQ(stopSim(), 0);
    }
    EXPECT_EQ(outdoor[0], outdoor[1]);
    EXPECT_NE(outdoor[0], outdoor[2]);
}

TEST_F(SimPlant, PumpsAndOutputsFollowTheSettings)
{
    startSim();
    EXPECT_TRUE(eventually([&] { return readUInt("s.pmp", -1, kAddress) != 0u; }));  // a pump runs
    EXPECT_NE(readUInt("r.oe.s") & 0x04u, 0u);  // its output VU3 is on
    EXPECT_FLOAT_EQ(readFloat("r.oe", -1, kAddress + 2), 100.0f);

    ASSERT_EQ(WriteByte(kAddress, kShort, "pump", 0, 0), 0);  // no circulation pumps
    EXPECT_TRUE(eventually([&] { return readUInt("s.pmp") == 0u; }));
    EXPECT_TRUE(eventually([&] { return (readUInt("r.oe.s") & 0x04u) == 0u; }));

    // An output marked unused stays off whatever the plant does.
    ASSERT_EQ(WriteByte(kAddress, kShort, "pump", 2, 0), 0);
    ASSERT_EQ(WriteByte(kAddress, kShort, "Thpd", 0, 2), 0);
    EXPECT_TRUE(eventually([&] { return readUInt("s.pmp") != 0u; }));
    EXPECT_EQ(readUInt("r.oe.s") & 0x04u, 0u);
}

TEST_F(SimPlant, InputCorrectionsApplyToTheReadings)
{
    startSim({"--seed", "3"});
    // corr[7] = offset 5, factor 1: the eighth input reads 5 higher.
    const float before = readFloat("r.cor", -1, kAddress + 7);
    const uint32_t offsetFive = (1000u << 16) | 5000u;  // y = 1,00 x 100 x 10, x = 5,00 x 100 x 10
    ASSERT_EQ(WriteIEEE32(kAddress, kShort, "corr", floatOfBits(offsetFive), 7), 0);
    EXPECT_TRUE(eventually([&] {
        const float after = readFloat("r.cor", -1, kAddress + 7);
        return after > before + 4.0f && after < before + 6.0f;
    }));
}
