// Known answers of the value encodings, in both directions, and the
// argument rules of the exported buffer decoders.
#include "kavu_io.h"
#include "value_codec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

using namespace kavu::codec;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes storedDotAuto(float v) {
    std::uint8_t out[3];
    const int n = encodeStoredDotAuto(v, out);
    return Bytes(out, out + n);
}

Bytes storedDotWith(float v, int e) {
    std::uint8_t out[3];
    const int n = encodeStoredDotWithExponent(v, e, out);
    return Bytes(out, out + n);
}

std::string rtc(const Bytes& b) {
    char text[kRtcTextSize];
    return decodeRTC(b.data(), static_cast<int>(b.size()), text) ? std::string(text) : std::string("<rejected>");
}

}  // namespace

TEST(StoredDot, AutomaticExponent) {
    const struct { float value; Bytes bytes; } cases[] = {
        {25.5f, {0x10, 0xFF}}, {-1.5f, {0x9F}},         {3.0f, {0x03}},
        {100.0f, {0x00, 0x64}}, {4096.0f, {0x00, 0x10, 0x00}}, {9999.0f, {0x00, 0x27, 0x0F}},
        {1234.5f, {0x04, 0xD2}}, {0.1f, {0x11}},          {12.345f, {0x24, 0xD2}},
        {0.0f, {0x00}},         {-9999.0f, {0x80, 0x27, 0x0F}},
    };
    for (const auto& c : cases) EXPECT_EQ(storedDotAuto(c.value), c.bytes) << c.value;
}

TEST(StoredDot, NotEncodable) {
    EXPECT_TRUE(storedDotAuto(10000.0f).empty());
    EXPECT_TRUE(storedDotAuto(-10000.0f).empty());
    EXPECT_TRUE(storedDotAuto(std::numeric_limits<float>::quiet_NaN()).empty());
    EXPECT_TRUE(storedDotAuto(std::numeric_limits<float>::infinity()).empty());
    EXPECT_TRUE(storedDotWith(1.0f, -1).empty());
    EXPECT_TRUE(storedDotWith(1.0f, 8).empty());
    EXPECT_TRUE(storedDotWith(100.0f, 3).empty());   // mantissa 100000
    EXPECT_TRUE(storedDotWith(std::numeric_limits<float>::quiet_NaN(), 1).empty());
    EXPECT_TRUE(storedDotWith(3e30f, 7).empty());
}

TEST(StoredDot, GivenExponent) {
    EXPECT_EQ(storedDotWith(25.5f, 1), (Bytes{0x10, 0xFF}));
    EXPECT_EQ(storedDotWith(25.5f, 0), (Bytes{0x00, 0x19}));   // cut, not rounded
    EXPECT_EQ(storedDotWith(-1.5f, 2), (Bytes{0xA0, 0x96}));
    EXPECT_EQ(storedDotWith(0.5f, 7), Bytes{});                 // 5000000 > 9999
    EXPECT_EQ(storedDotWith(0.0009f, 7), (Bytes{0x70, 0x23, 0x28}));
}

TEST(StoredDot, Decoding) {
    float v;
    int e;
    const Bytes b9f = {0x9F};
    ASSERT_TRUE(decodeStoredDot(b9f.data(), 1, v, e));
    EXPECT_FLOAT_EQ(v, -1.5f);
    EXPECT_EQ(e, 1);
    const Bytes b10ff = {0x10, 0xFF};
    ASSERT_TRUE(decodeStoredDot(b10ff.data(), 2, v, e));
    EXPECT_FLOAT_EQ(v, 25.5f);
    const Bytes three = {0x72, 0x71, 0x0F};   // 0x2710F = 160015, e = 7
    ASSERT_TRUE(decodeStoredDot(three.data(), 3, v, e));
    EXPECT_FLOAT_EQ(v, 0.0160015f);
    const Bytes four = {1, 2, 3, 4};
    EXPECT_FALSE(decodeStoredDot(four.data(), 4, v, e));
    EXPECT_FALSE(decodeStoredDot(four.data(), 0, v, e));
}

TEST(Integers, UIntSIntWord) {
    const Bytes b = {0x01, 0x02, 0x03};
    EXPECT_EQ(decodeUInt(b.data(), 3), 66051u);
    const Bytes five = {0xFF, 0x01, 0x02, 0x03, 0x04};
    EXPECT_EQ(decodeUInt(five.data(), 5), 0x01020304u);   // low 32 bits
    const Bytes sint = {0x80, 0x05};
    EXPECT_EQ(decodeSInt(sint.data(), 2), -5);
    const Bytes sdot = {0x9F};                              // -1.5 truncated toward zero
    EXPECT_EQ(decodeSInt(sdot.data(), 1), -1);
    EXPECT_EQ(decodeSInt(five.data(), 4), 0);
    std::uint8_t w[2];
    encodeWord(0x1234, w);
    EXPECT_EQ(decodeWord(w), 0x1234);
    std::uint8_t u[4];
    EXPECT_EQ(encodeUInt(66051, 3, u), 3);
    EXPECT_EQ(decodeUInt(u, 3), 66051u);
}

TEST(Floats, IEEE32AndFloat24) {
    std::uint8_t b[4];
    encodeIEEE32(10.0f, b);
    EXPECT_EQ(Bytes(b, b + 4), (Bytes{0x41, 0x20, 0x00, 0x00}));
    EXPECT_FLOAT_EQ(decodeIEEE32(b), 10.0f);
    encodeFloat24(10.0f, b);
    EXPECT_EQ(Bytes(b, b + 3), (Bytes{0x41, 0x20, 0x00}));
    encodeFloat24(-2.5f, b);
    EXPECT_EQ(Bytes(b, b + 3), (Bytes{0xC0, 0x20, 0x00}));
    EXPECT_FLOAT_EQ(decodeFloat24(b), -2.5f);
    const Bytes ex = {0xF0, 0x0D, 0x00};
    EXPECT_TRUE(isExceptionValue(ex.data(), 3));
    EXPECT_EQ(exceptionCodeOfRead(ex.data(), 3), 0xF00D);
    EXPECT_EQ(exceptionCodeOfWrite(ex.data(), 3), 0x00D);
    EXPECT_FALSE(isExceptionValue(b, 3));
}

TEST(Bcd, PkpSi8DtmrCset) {
    const Bytes pkp = {0x00, 0x12, 0x34};
    EXPECT_FLOAT_EQ(decodePkpBCD(pkp.data()), 123.4f);
    std::uint8_t out[6];
    ASSERT_TRUE(encodePkpBCD(123.4f, out));
    EXPECT_EQ(Bytes(out, out + 3), pkp);
    EXPECT_FALSE(encodePkpBCD(-1.0f, out));

    const Bytes si8 = {0x81, 0x23, 0x45, 0x67};
    EXPECT_EQ(decodeSI8BCD(si8.data()), -1234567);
    ASSERT_TRUE(encodeSI8BCD(-1234567, out));
    EXPECT_EQ(Bytes(out, out + 4), si8);
    EXPECT_FALSE(encodeSI8BCD(80000000, out));

    const Bytes dtmr = {0x01, 0x23, 0x45, 0x06, 0x07, 0x08};
    const Dtmr d = decodeDTMR(dtmr.data());
    EXPECT_EQ(d.a, 12345);
    EXPECT_EQ(d.b, 6);
    EXPECT_EQ(d.c, 7);
    EXPECT_EQ(d.d, 80);
    ASSERT_TRUE(encodeDTMR(d, out));
    EXPECT_EQ(Bytes(out, out + 6), dtmr);

    ASSERT_TRUE(encodeCSET(1000, out));
    EXPECT_EQ(Bytes(out, out + 2), (Bytes{0x10, 0x00}));
    ASSERT_TRUE(encodeCSET(999, out));
    EXPECT_EQ(Bytes(out, out + 2), (Bytes{0x09, 0x99}));
    EXPECT_EQ(decodeCSET(out), 999);
    EXPECT_FALSE(encodeCSET(1001, out));
    EXPECT_FALSE(encodeCSET(-1, out));
}

TEST(Rtc, DecodeRules) {
    EXPECT_EQ(rtc({11, 9, 4, 6, 9, 46, 0x61}), "2011/10/05/06:09:46");
    EXPECT_EQ(rtc({12, 0x10}), "0.12");
    EXPECT_EQ(rtc({99, 11, 30, 23, 59, 59, 99, 0x70}), "2099/12/31/23:59:59.99");
    EXPECT_EQ(rtc({46, 12, 0x20}), "46.12");
    EXPECT_EQ(rtc({6, 9, 0x22}), "06:09");
    EXPECT_EQ(rtc({12, 0x51}), "<rejected>");           // k exceeds the bytes
    EXPECT_EQ(rtc({11, 12, 0x25}), "<rejected>");       // month 12
    EXPECT_EQ(rtc({1, 0x07}), "<rejected>");            // k = 0
    EXPECT_EQ(rtc({1, 0x17}), "<rejected>");            // f = 7
    EXPECT_EQ(rtc({0x16}), "<rejected>");               // fewer than 2 bytes
    EXPECT_EQ(rtc(Bytes(9, 0x11)), "<rejected>");       // more than 8
    EXPECT_EQ(rtc({1, 2, 0x26}), "");                   // fields above the year: empty, accepted
}

TEST(Rtc, EncodeRoundTrip) {
    const int fields[kRtcFieldCount] = {0, 46, 9, 6, 4, 9, 11};
    std::uint8_t out[kRtcMaxBytes];
    const int n = encodeRTC(fields, 1, 6, out);
    ASSERT_EQ(n, 7);
    EXPECT_EQ(Bytes(out, out + n), (Bytes{11, 9, 4, 6, 9, 46, 0x61}));
    EXPECT_EQ(encodeRTC(fields, 2, 6, out), 0);
    const int bad[kRtcFieldCount] = {0, 60, 0, 0, 0, 0, 0};
    EXPECT_EQ(encodeRTC(bad, 0, 2, out), 0);
}

TEST(BufferDecoders, ResultsAndOutputs) {
    const unsigned char b[] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
    unsigned short w = 0;
    EXPECT_EQ(GetBufferWord(b, 2, &w), 2);
    EXPECT_EQ(w, 0x1234);
    EXPECT_EQ(GetBufferWord(b, 1, &w), -7);
    char c = 0;
    EXPECT_EQ(GetBufferByte(b, 6, &c), 1);
    EXPECT_EQ(static_cast<unsigned char>(c), 0x12);
    int i = 0;
    EXPECT_EQ(GetBufferUInt(b, 3, &i), 3);
    EXPECT_EQ(i, 0x123456);
    const unsigned char s[] = {0x80, 0x05};
    EXPECT_EQ(GetBufferSInt(s, 2, &i), 2);
    EXPECT_EQ(i, -5);
    float f = 0;
    const unsigned char ieee[] = {0x41, 0x20, 0x00, 0x00};
    EXPECT_EQ(GetBufferIEEE32(ieee, 4, &f), 4);
    EXPECT_FLOAT_EQ(f, 10.0f);
    EXPECT_EQ(GetBufferFloat24(ieee, 3, &f), 3);
    EXPECT_FLOAT_EQ(f, 10.0f);
    EXPECT_EQ(GetBufferIEEE32(ieee, 3, &f), -7);
    EXPECT_EQ(GetBufferStoredDotS(s, 2, &f), 2);
    EXPECT_FLOAT_EQ(f, 32773.0f);   // the unsigned value of the bytes
    EXPECT_EQ(GetBufferStoredDotU(s, 1, &f), 1);
    EXPECT_FLOAT_EQ(f, 128.0f);
    const unsigned char pkp[] = {0x00, 0x12, 0x34};
    EXPECT_EQ(GetBufferPkpBCD(pkp, 3, &f), 3);
    EXPECT_FLOAT_EQ(f, 123.4f);
    const unsigned char si8[] = {0x81, 0x23, 0x45, 0x67};
    EXPECT_EQ(GetBufferSI8BCD(si8, 4, &i), 4);
    EXPECT_EQ(i, -1234567);
    int a, bb, cc, d;
    const unsigned char dtmr[] = {0x01, 0x23, 0x45, 0x06, 0x07, 0x08};
    EXPECT_EQ(GetBufferDTMR(dtmr, 6, &a, &bb, &cc, &d), 6);
    EXPECT_EQ(a, 12345);
    EXPECT_EQ(d, 80);
    char text[KAVU_RTC_TEXT_SIZE];
    const unsigned char r[] = {11, 9, 4, 6, 9, 46, 0x61};
    EXPECT_EQ(GetBufferRTC(r, 7, text), 7);
    EXPECT_STREQ(text, "2011/10/05/06:09:46");
    const unsigned char badRtc[] = {11, 12, 0x25};
    EXPECT_EQ(GetBufferRTC(badRtc, 3, text), 3);
    EXPECT_STREQ(text, "");
}

TEST(BufferDecoders, ZeroCountNullAndShort) {
    const unsigned char b[] = {1, 2, 3, 4, 5, 6};
    int i = 77;
    float f = 7.0f;
    char c = 7;
    unsigned short w = 7;
    EXPECT_EQ(GetBufferUInt(b, 0, &i), 0);
    EXPECT_EQ(i, 0);
    EXPECT_EQ(GetBufferFloat24(b, 0, &f), 0);
    EXPECT_EQ(f, 0.0f);
    EXPECT_EQ(GetBufferByte(b, 0, &c), 0);
    EXPECT_EQ(c, 0);
    EXPECT_EQ(GetBufferWord(b, 0, &w), 0);
    EXPECT_EQ(w, 0);
    // No zero-count shortcut for these.
    EXPECT_EQ(GetBufferPkpBCD(b, 0, &f), -7);
    EXPECT_EQ(GetBufferSI8BCD(b, 0, &i), -7);
    int a, bb, cc, d;
    EXPECT_EQ(GetBufferDTMR(b, 5, &a, &bb, &cc, &d), -7);
    char text[KAVU_RTC_TEXT_SIZE] = "x";
    EXPECT_EQ(GetBufferRTC(b, 0, text), 0);
    EXPECT_STREQ(text, "");
    // Null pointers and negative counts.
    EXPECT_EQ(GetBufferUInt(nullptr, 1, &i), -8);
    EXPECT_EQ(GetBufferUInt(b, 1, nullptr), -8);
    EXPECT_EQ(GetBufferRTC(nullptr, 2, text), -8);
    EXPECT_EQ(GetBufferDTMR(b, 6, &a, nullptr, &cc, &d), -8);
    EXPECT_EQ(GetBufferIEEE32(b, -4, &f), -7);
    EXPECT_EQ(GetBufferRTC(b, -1, text), -7);
}
