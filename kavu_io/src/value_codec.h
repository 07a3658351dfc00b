// Kavu value encodings of the data field, both directions: Byte, Word,
// UInt, SInt, StoredDot (automatic and given exponent), IEEE32, Float24,
// PkpBCD, SI8BCD, DTMR, CSET, RTC, and the exception values of Float24 and
// IEEE32 replies. All multi-byte values are big-endian. Pure code: no I/O,
// no allocation, single precision where the device works in it. Decoders
// never read more than the count they are given.
#pragma once

#include <cstdint>

namespace kavu::codec {

// ---- integers
int encodeByte(int value, std::uint8_t out[1]);            // value & 0xFF; returns 1
int encodeWord(int value, std::uint8_t out[2]);            // returns 2
std::uint16_t decodeWord(const std::uint8_t bytes[2]);
// All `count` bytes, big-endian; more than four keep the low 32 bits.
std::uint32_t decodeUInt(const std::uint8_t* bytes, int count);
// Big-endian unsigned of `count` (1..4) bytes into out; returns count.
int encodeUInt(std::uint32_t value, int count, std::uint8_t* out);
// StoredDot value truncated toward zero; a count outside 1..3 gives 0.
std::int32_t decodeSInt(const std::uint8_t* bytes, int count);

// ---- StoredDot: byte 0 = sign(7) | exponent(6..4) | mantissa high bits(3..0)
constexpr int kStoredDotMaxBytes = 3;
constexpr int kStoredDotMaxMantissa = 9999;
// Automatic exponent; returns the byte count (1..3), or 0 when the value
// cannot be encoded (|value| > 9999, not finite).
int encodeStoredDotAuto(float value, std::uint8_t out[kStoredDotMaxBytes]);
// Given exponent 0..7; returns the byte count, or 0 when the exponent is
// out of range, the value is not finite or the mantissa exceeds 9999.
int encodeStoredDotWithExponent(float value, int exponent, std::uint8_t out[kStoredDotMaxBytes]);
// Returns false for a count outside 1..3.
bool decodeStoredDot(const std::uint8_t* bytes, int count, float& value, int& exponent);

// ---- IEEE 754 single, most significant byte first; Float24 = top 3 bytes
void encodeIEEE32(float value, std::uint8_t out[4]);
float decodeIEEE32(const std::uint8_t bytes[4]);
void encodeFloat24(float value, std::uint8_t out[3]);
float decodeFloat24(const std::uint8_t bytes[3]);

// An exception value instead of a number: high nibble of byte 0 is 0xF.
bool isExceptionValue(const std::uint8_t* bytes, int count);
// Extended error codes of an exception (count >= 1; a missing second byte
// counts as 0): reads keep 16 bits, writes 12.
int exceptionCodeOfRead(const std::uint8_t* bytes, int count);
int exceptionCodeOfWrite(const std::uint8_t* bytes, int count);

// ---- BCD
// (b >> 4) * 10 + (b & 0x0F); nibbles above 9 are taken at face value.
int bcdByteValue(std::uint8_t b);
// 0..99 -> packed BCD; values outside are reduced modulo 100.
std::uint8_t bcdByte(int value);

// PkpBCD, 3 bytes: byte 0 ignored; BCD(b1) * 10 + BCD(b2) / 10.
float decodePkpBCD(const std::uint8_t bytes[3]);
// 0..999.9 (one decimal, rounded); returns false outside the range.
bool encodePkpBCD(float value, std::uint8_t out[3]);

// SI8BCD, 4 bytes: sign in bit 7 of byte 0, eight BCD digits (the top one
// only three bits wide).
std::int32_t decodeSI8BCD(const std::uint8_t bytes[4]);
// -79999999..79999999; returns false outside the range.
bool encodeSI8BCD(std::int32_t value, std::uint8_t out[4]);

// DTMR, 6 bytes: a = BCD(b0)*10000 + BCD(b1)*100 + BCD(b2), b = BCD(b3),
// c = BCD(b4), d = BCD(b5) * 10.
struct Dtmr { int a = 0, b = 0, c = 0, d = 0; };
Dtmr decodeDTMR(const std::uint8_t bytes[6]);
// a 0..999999, b and c 0..99, d 0..990 (multiple of 10 expected; the unit
// digit is dropped); returns false outside the ranges.
bool encodeDTMR(const Dtmr& value, std::uint8_t out[6]);

// CSET, 2 bytes: 0..1000 as four BCD digits. Returns false outside 0..1000.
bool encodeCSET(int value, std::uint8_t out[2]);
int decodeCSET(const std::uint8_t bytes[2]);

// ---- RTC: fields from the highest index down to the lowest, then a
// descriptor byte (count << 4 | lowest index). Indices: 6 year (0..99 =
// 2000..2099), 5 month (0..11), 4 day (0..30), 3 hour, 2 minute, 1 second,
// 0 hundredths.
constexpr int kRtcFieldCount = 7;
constexpr int kRtcMaxBytes = 8;
constexpr int kRtcTextSize = 23;   // "2099/12/31/23:59:59.99" and 0
enum RtcField { RtcHundredths = 0, RtcSecond, RtcMinute, RtcHour, RtcDay, RtcMonth, RtcYear };
// Decodes into text (kRtcTextSize bytes; always zero-terminated, empty on
// failure). Returns false for an invalid value; a value whose highest
// field lies above the year decodes as an empty text and true.
bool decodeRTC(const std::uint8_t* bytes, int count, char text[kRtcTextSize]);
// Encodes fields[lowest .. lowest+count-1] (field values as stored on the
// wire, e.g. month 0..11). Returns the byte count (count + 1), or 0 for
// count 0, lowest >= 7, lowest + count > 7 or a field out of its range.
int encodeRTC(const int fields[kRtcFieldCount], int lowest, int count,
              std::uint8_t out[kRtcMaxBytes]);

}  // namespace kavu::codec
