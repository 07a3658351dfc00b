// Known answers of the frame codec: name packing and hashing, CRC, frame
// building, reply scanning and frame decoding.
#include "frame_codec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace kavu::codec;

namespace {

std::string textOf(const EncodedFrame& f) { return std::string(f.text, static_cast<std::size_t>(f.textLength)); }
std::vector<int> packetOf(const EncodedFrame& f) { return std::vector<int>(f.packet, f.packet + f.packetLength); }

EncodedFrame build(const char* name, bool request, int address, AddressMode mode, std::vector<std::uint8_t> data) {
    EncodedFrame f;
    encodeFrame(nameHash(name), request, address, mode, data.data(), static_cast<int>(data.size()), f);
    return f;
}

std::string frameText(std::uint16_t hash, std::vector<std::uint8_t> data) {
    EncodedFrame f;
    encodeFrame(hash, false, 16, AddressMode::Short, data.data(), static_cast<int>(data.size()), f);
    return textOf(f);
}

struct ScanResult {
    ScanStatus status;
    ReplyScanner scanner;
    FrameFields fields;
};

ScanResult scanAll(const std::string& text, std::uint16_t expected) {
    ScanResult r{};
    r.status = r.scanner.scan(text.data(), static_cast<int>(text.size()), &expected, r.fields);
    return r;
}

}  // namespace

TEST(NameHash, KnownNames) {
    const struct { const char* name; std::uint16_t hash; } cases[] = {
        {"A.Len", 0x1ED2}, {"Addr", 0x9F62}, {"Dev", 0xD681}, {"DTMR", 0xE69C},
        {"CSET", 0x5E09}, {"RTC", 0xFA30},  {"t.L", 0x07AA},  {"dev", 0xD681},
        {"DEV", 0xD681},
    };
    for (const auto& c : cases) EXPECT_EQ(nameHash(c.name), c.hash) << c.name;
}

TEST(NameHash, InvalidNamesHashToZero) {
    for (const char* name : {"T.sp[0]", "r.oe:5", ".Dev", "A..L", "ABCDE", "A B", "", "Dev?", "ABCD  ", "Dev  "})
        EXPECT_EQ(nameHash(name), 0) << '"' << name << '"';
    EXPECT_EQ(nameHash(nullptr), 0);
}

TEST(NameHash, PaddingAndDots) {
    EXPECT_EQ(nameHash("AB  "), nameHash("AB"));
    EXPECT_EQ(nameHash("Dev "), nameHash("Dev"));
    EXPECT_NE(nameHash("ABCD."), 0);              // a dot after the fourth character
    EXPECT_NE(nameHash("ABCD."), nameHash("ABCD"));
}

TEST(PackName, CodesAndDotFlags) {
    std::uint8_t p[4];
    ASSERT_TRUE(packName("Dev", 3, p));
    EXPECT_EQ(std::vector<int>(p, p + 4), (std::vector<int>{13 << 1, 14 << 1, 31 << 1, 39 << 1}));
    ASSERT_TRUE(packName("A.Len", 5, p));
    EXPECT_EQ(std::vector<int>(p, p + 4), (std::vector<int>{(10 << 1) | 1, 21 << 1, 14 << 1, 23 << 1}));
    ASSERT_TRUE(packName("-_/9", 4, p));
    EXPECT_EQ(std::vector<int>(p, p + 4), (std::vector<int>{36 << 1, 37 << 1, 38 << 1, 9 << 1}));
    EXPECT_FALSE(packName("Dev", 0, p));
    EXPECT_TRUE(packName("DevXYZ", 3, p));   // only `length` characters count
}

TEST(FrameCrc, CheckValueAndEmpty) {
    const char* digits = "123456789";
    EXPECT_EQ(frameCrc(reinterpret_cast<const std::uint8_t*>(digits), 9), 0xB581);
    EXPECT_EQ(frameCrc(nullptr, 0), 0);
}

TEST(EncodeFrame, KnownRequests) {
    const EncodedFrame read = build("A.Len", true, 16, AddressMode::Short, {});
    EXPECT_EQ(packetOf(read), (std::vector<int>{0x10, 0x10, 0x1E, 0xD2, 0xCB, 0x82}));
    EXPECT_EQ(textOf(read), "#HGHGHUTISROI\r");

    const EncodedFrame indexed = build("t.L", true, 16, AddressMode::Short, {0x00, 0x03});
    EXPECT_EQ(packetOf(indexed), (std::vector<int>{0x10, 0x12, 0x07, 0xAA, 0x00, 0x03, 0x33, 0x6D}));
    EXPECT_EQ(textOf(indexed), "#HGHIGNQQGGGJJJMT\r");

    const EncodedFrame write = build("T.sp", false, 1001, AddressMode::Long, {0x41, 0x20, 0x00});
    EXPECT_EQ(packetOf(write), (std::vector<int>{0x7D, 0x23, 0x02, 0xCC, 0x41, 0x20, 0x00, 0x39, 0x0E}));
    EXPECT_EQ(textOf(write), "#NTIJGISSKHIGGGJPGU\r");
}

TEST(EncodeFrame, SizesAndClamping) {
    std::vector<std::uint8_t> fifteen(15, 0xAB);
    EXPECT_EQ(build("Dev", false, 1, AddressMode::Short, fifteen).textLength, 44);
    EXPECT_EQ(build("Dev", false, 1, AddressMode::Short, {}).textLength, 14);
    std::vector<std::uint8_t> twenty(20, 0x01);
    const EncodedFrame clamped = build("Dev", false, 1, AddressMode::Short, twenty);
    EXPECT_EQ(clamped.packetLength, 21);
    EXPECT_EQ(clamped.packet[1] & 0x0F, 15);
    // Short mode keeps the low 8 bits, long mode 11.
    EXPECT_EQ(build("Dev", false, 0x1FF, AddressMode::Short, {}).packet[0], 0xFF);
    const EncodedFrame longAddress = build("Dev", false, 0x7FF, AddressMode::Long, {});
    EXPECT_EQ(longAddress.packet[0], 0xFF);
    EXPECT_EQ(longAddress.packet[1] & 0xE0, 0xE0);
}

TEST(DecodeFrame, RoundTripAndAddresses) {
    const struct { int address; AddressMode mode; int expected; } cases[] = {
        {16, AddressMode::Short, 16}, {1001, AddressMode::Long, 1001},
        {0x7FF, AddressMode::Long, 0x7FF},
        {1000, AddressMode::Long, 125},   // three low bits zero: reads as a short address
    };
    for (const auto& c : cases) {
        const EncodedFrame f = build("T.sp", false, c.address, c.mode, {1, 2, 3});
        FrameFields fields;
        const std::uint16_t expected = nameHash("T.sp");
        EXPECT_EQ(decodeFrame(f.text, f.textLength, &expected, fields), DecodeStatus::Ok);
        EXPECT_EQ(fields.address, c.expected);
        EXPECT_EQ(fields.dataLength, 3);
        EXPECT_EQ(fields.data()[2], 3);
        EXPECT_FALSE(fields.requestFlag);
    }
}

TEST(DecodeFrame, CheckOrder) {
    const std::uint16_t hash = nameHash("Dev");
    FrameFields f;
    // Size errors: odd, too short, too long.
    EXPECT_EQ(decodeFrame("#GGGGGGGGGGGG\r", 13, &hash, f), DecodeStatus::SizeError);
    EXPECT_EQ(decodeFrame("#GGGGGGGGGG\r", 12, &hash, f), DecodeStatus::SizeError);
    std::string tooLong(46, 'G');
    EXPECT_EQ(decodeFrame(tooLong.data(), 46, &hash, f), DecodeStatus::SizeError);

    // An error reply with a bad CRC is a CRC mismatch.
    std::string err = frameText(0x0233, {0x28});
    err[err.size() - 2] = err[err.size() - 2] == 'G' ? 'H' : 'G';
    EXPECT_EQ(decodeFrame(err.data(), static_cast<int>(err.size()), &hash, f), DecodeStatus::CrcMismatch);

    // An error reply whose length disagrees with its size.
    std::string shortErr = frameText(0x0233, {0x28, 0x01});
    shortErr.erase(shortErr.size() - 3, 2);   // drop one byte before the CR
    EXPECT_EQ(decodeFrame(shortErr.data(), static_cast<int>(shortErr.size()), &hash, f),
              DecodeStatus::DataLengthMismatch);
    EXPECT_EQ(f.dataLength, 2);
    EXPECT_EQ(f.packetLength, 7);

    const std::string ok = frameText(hash, {});
    EXPECT_EQ(decodeFrame(ok.data(), 14, &hash, f), DecodeStatus::Ok);
    const std::uint16_t other = 0x1234;
    EXPECT_EQ(decodeFrame(ok.data(), 14, &other, f), DecodeStatus::HashMismatch);
    EXPECT_EQ(decodeFrame(ok.data(), 14, nullptr, f), DecodeStatus::Ok);   // device side: no hash to match
    const std::string error = frameText(0x0233, {});
    EXPECT_EQ(decodeFrame(error.data(), 14, &other, f), DecodeStatus::ErrorReply);
}

TEST(DecodeFrame, LengthFieldBeyondReceivedNeverReadsOutside) {
    // N = 15 announced in a 14-character frame.
    std::string text = "#HGHVGGGGGGGG\r";
    FrameFields f;
    EXPECT_EQ(decodeFrame(text.data(), 14, nullptr, f), DecodeStatus::DataLengthMismatch);
    EXPECT_EQ(f.declaredCrc, 0);
}

TEST(ScanReply, Results) {
    const std::uint16_t hash = nameHash("Dev");
    const std::string good = frameText(hash, {1, 2});
    EXPECT_EQ(scanAll(good, hash).status, ScanStatus::Complete);
    EXPECT_EQ(scanAll(good, hash).scanner.decodeStatus, DecodeStatus::Ok);
    EXPECT_EQ(scanAll(good + "junk", hash).status, ScanStatus::Complete);   // after the CR: ignored
    EXPECT_EQ(scanAll(" " + good, hash).status, ScanStatus::MissingStart);
    EXPECT_EQ(scanAll(good.substr(0, 10), hash).status, ScanStatus::NeedMore);

    std::string bad = good;
    bad[5] = 'z';
    ScanResult r = scanAll(bad, hash);
    EXPECT_EQ(r.status, ScanStatus::IllegalCharacter);
    EXPECT_EQ(r.scanner.illegalPosition, 5);
    EXPECT_EQ(r.scanner.illegalCharacter, 'z');

    const std::string noEnd = "#" + std::string(43, 'G');
    EXPECT_EQ(scanAll(noEnd, hash).status, ScanStatus::SizeError);
    EXPECT_EQ(scanAll(noEnd + "\r", hash).status, ScanStatus::SizeError);   // never beyond 44

    const std::string odd = "#GGGGGGGGGGGGG\r";
    r = scanAll(odd, hash);
    EXPECT_EQ(r.status, ScanStatus::Complete);
    EXPECT_EQ(r.scanner.decodeStatus, DecodeStatus::SizeError);
    EXPECT_EQ(scanAll("#GGG\r", hash).scanner.decodeStatus, DecodeStatus::SizeError);
}

TEST(ScanReply, IncrementalPieces) {
    const std::uint16_t hash = nameHash("Dev");
    const std::string good = frameText(hash, {9, 8, 7});
    ReplyScanner scanner;
    FrameFields fields;
    EXPECT_EQ(scanner.scan(good.data(), 3, &hash, fields), ScanStatus::NeedMore);
    EXPECT_EQ(announcedDataLength(good.data(), 3), -1);
    EXPECT_EQ(scanner.scan(good.data(), 9, &hash, fields), ScanStatus::NeedMore);
    EXPECT_EQ(announcedDataLength(good.data(), 9), 3);
    EXPECT_EQ(scanner.scan(good.data(), static_cast<int>(good.size()), &hash, fields), ScanStatus::Complete);
    EXPECT_EQ(fields.dataLength, 3);
}
