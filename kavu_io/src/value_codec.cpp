#include "value_codec.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace kavu::codec {
namespace {

// 10^e by repeated squaring in single precision (exact for e <= 10).
float powerOfTen(int e) {
    float result = 1.0f;
    float base = 10.0f;
    while (e > 0) {
        if (e & 1) result *= base;
        base *= base;
        e >>= 1;
    }
    return result;
}

int storedDotLayout(std::uint32_t m, int e, bool negative, std::uint8_t out[kStoredDotMaxBytes]) {
    int count;
    out[0] = static_cast<std::uint8_t>(e << 4);
    if (m < 16) {
        out[0] |= static_cast<std::uint8_t>(m);
        count = 1;
    } else if (m < 4096) {
        out[0] |= static_cast<std::uint8_t>(m >> 8);
        out[1] = static_cast<std::uint8_t>(m & 0xFF);
        count = 2;
    } else {
        out[1] = static_cast<std::uint8_t>(m >> 8);
        out[2] = static_cast<std::uint8_t>(m & 0xFF);
        count = 3;
    }
    if (negative) out[0] |= 0x80;
    return count;
}

std::uint32_t floatBits(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

float bitsFloat(std::uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

}  // namespace

int encodeByte(int value, std::uint8_t out[1]) {
    out[0] = static_cast<std::uint8_t>(value & 0xFF);
    return 1;
}

int encodeWord(int value, std::uint8_t out[2]) {
    out[0] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
    out[1] = static_cast<std::uint8_t>(value & 0xFF);
    return 2;
}

std::uint16_t decodeWord(const std::uint8_t bytes[2]) {
    return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

std::uint32_t decodeUInt(const std::uint8_t* bytes, int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = (value << 8) | bytes[i];
    return value;
}

int encodeUInt(std::uint32_t value, int count, std::uint8_t* out) {
    if (count < 1) count = 1;
    if (count > 4) count = 4;
    for (int i = count - 1; i >= 0; --i) {
        out[i] = static_cast<std::uint8_t>(value & 0xFF);
        value >>= 8;
    }
    return count;
}

std::int32_t decodeSInt(const std::uint8_t* bytes, int count) {
    float value;
    int exponent;
    if (!decodeStoredDot(bytes, count, value, exponent)) return 0;
    // |value| <= 2^20, so the conversion is exact and in range.
    return static_cast<std::int32_t>(std::trunc(value));
}

int encodeStoredDotAuto(float value, std::uint8_t out[kStoredDotMaxBytes]) {
    if (!std::isfinite(value)) return 0;
    const bool negative = value < 0.0f;
    float x = std::fabs(value);
    if (x > 9999.0f) return 0;
    int e = 0;
    while (e < 7 && x != std::floor(x) && x <= 9999.0f) {
        x = x * 10.0f;
        ++e;
    }
    // x <= 99990 here, so it fits an integer.
    std::uint32_t m = static_cast<std::uint32_t>(std::floor(x));
    if (m == 0) e = 0;
    if (m > kStoredDotMaxMantissa) {
        m = static_cast<std::uint32_t>(std::floor(x / 10.0f));
        --e;
    }
    return storedDotLayout(m, e, negative, out);
}

int encodeStoredDotWithExponent(float value, int exponent, std::uint8_t out[kStoredDotMaxBytes]) {
    if (exponent < 0 || exponent > 7 || !std::isfinite(value)) return 0;
    const float scaled = std::floor(std::fabs(value) * powerOfTen(exponent));
    if (!(scaled <= static_cast<float>(kStoredDotMaxMantissa))) return 0;
    return storedDotLayout(static_cast<std::uint32_t>(scaled), exponent, value < 0.0f, out);
}

bool decodeStoredDot(const std::uint8_t* bytes, int count, float& value, int& exponent) {
    if (count < 1 || count > kStoredDotMaxBytes) return false;
    std::uint32_t mantissa = bytes[0] & 0x0F;
    for (int i = 1; i < count; ++i) mantissa = (mantissa << 8) | bytes[i];
    exponent = (bytes[0] >> 4) & 7;
    value = static_cast<float>(mantissa) / powerOfTen(exponent);
    if (bytes[0] & 0x80) value = -value;
    return true;
}

void encodeIEEE32(float value, std::uint8_t out[4]) {
    const std::uint32_t bits = floatBits(value);
    out[0] = static_cast<std::uint8_t>(bits >> 24);
    out[1] = static_cast<std::uint8_t>(bits >> 16);
    out[2] = static_cast<std::uint8_t>(bits >> 8);
    out[3] = static_cast<std::uint8_t>(bits);
}

float decodeIEEE32(const std::uint8_t bytes[4]) {
    return bitsFloat(decodeUInt(bytes, 4));
}

void encodeFloat24(float value, std::uint8_t out[3]) {
    std::uint8_t all[4];
    encodeIEEE32(value, all);
    out[0] = all[0];
    out[1] = all[1];
    out[2] = all[2];
}

float decodeFloat24(const std::uint8_t bytes[3]) {
    const std::uint8_t all[4] = {bytes[0], bytes[1], bytes[2], 0};
    return decodeIEEE32(all);
}

bool isExceptionValue(const std::uint8_t* bytes, int count) {
    return count >= 1 && (bytes[0] & 0xF0) == 0xF0;
}

int exceptionCodeOfRead(const std::uint8_t* bytes, int count) {
    return (bytes[0] << 8) | (count >= 2 ? bytes[1] : 0);
}

int exceptionCodeOfWrite(const std::uint8_t* bytes, int count) {
    return ((bytes[0] & 0x0F) << 8) | (count >= 2 ? bytes[1] : 0);
}

int bcdByteValue(std::uint8_t b) { return (b >> 4) * 10 + (b & 0x0F); }

std::uint8_t bcdByte(int value) {
    value %= 100;
    if (value < 0) value += 100;
    return static_cast<std::uint8_t>(((value / 10) << 4) | (value % 10));
}

float decodePkpBCD(const std::uint8_t bytes[3]) {
    return static_cast<float>(bcdByteValue(bytes[1]) * 10) + static_cast<float>(bcdByteValue(bytes[2])) / 10.0f;
}

bool encodePkpBCD(float value, std::uint8_t out[3]) {
    if (!(value >= 0.0f && value <= 999.9f + 0.04f)) return false;
    const int tenths = static_cast<int>(std::lround(value * 10.0f));
    if (tenths > 9999) return false;
    out[0] = 0;
    out[1] = bcdByte(tenths / 100);
    out[2] = bcdByte(tenths % 100);
    return true;
}

std::int32_t decodeSI8BCD(const std::uint8_t bytes[4]) {
    const std::int32_t magnitude = bcdByteValue(bytes[0] & 0x7F) * 1000000 + bcdByteValue(bytes[1]) * 10000 +
                                   bcdByteValue(bytes[2]) * 100 + bcdByteValue(bytes[3]);
    return (bytes[0] & 0x80) ? -magnitude : magnitude;
}

bool encodeSI8BCD(std::int32_t value, std::uint8_t out[4]) {
    if (value < -79999999 || value > 79999999) return false;
    const bool negative = value < 0;
    std::int32_t m = negative ? -value : value;
    out[3] = bcdByte(m % 100);
    out[2] = bcdByte((m / 100) % 100);
    out[1] = bcdByte((m / 10000) % 100);
    out[0] = bcdByte(m / 1000000);
    if (negative) out[0] |= 0x80;
    return true;
}

Dtmr decodeDTMR(const std::uint8_t bytes[6]) {
    Dtmr v;
    v.a = bcdByteValue(bytes[0]) * 10000 + bcdByteValue(bytes[1]) * 100 + bcdByteValue(bytes[2]);
    v.b = bcdByteValue(bytes[3]);
    v.c = bcdByteValue(bytes[4]);
    v.d = bcdByteValue(bytes[5]) * 10;
    return v;
}

bool encodeDTMR(const Dtmr& v, std::uint8_t out[6]) {
    if (v.a < 0 || v.a > 999999 || v.b < 0 || v.b > 99 || v.c < 0 || v.c > 99 || v.d < 0 || v.d > 999)
        return false;
    out[0] = bcdByte(v.a / 10000);
    out[1] = bcdByte((v.a / 100) % 100);
    out[2] = bcdByte(v.a % 100);
    out[3] = bcdByte(v.b);
    out[4] = bcdByte(v.c);
    out[5] = bcdByte(v.d / 10);
    return true;
}

bool encodeCSET(int value, std::uint8_t out[2]) {
    if (value < 0 || value > 1000) return false;
    out[0] = static_cast<std::uint8_t>(((value / 1000) << 4) | ((value / 100) % 10));
    out[1] = static_cast<std::uint8_t>((((value / 10) % 10) << 4) | (value % 10));
    return true;
}

int decodeCSET(const std::uint8_t bytes[2]) {
    return (bytes[0] >> 4) * 1000 + (bytes[0] & 0x0F) * 100 + (bytes[1] >> 4) * 10 + (bytes[1] & 0x0F);
}

namespace {
constexpr int kRtcFieldMax[kRtcFieldCount] = {99, 59, 59, 23, 30, 11, 99};
}

bool decodeRTC(const std::uint8_t* bytes, int count, char text[kRtcTextSize]) {
    text[0] = '\0';
    if (bytes == nullptr || count < 2 || count > kRtcMaxBytes) return false;
    const std::uint8_t descriptor = bytes[count - 1];
    const int k = descriptor >> 4;
    const int f = descriptor & 0x0F;
    if (k == 0 || k > count - 1 || f >= kRtcFieldCount) return false;
    const int highest = f + k - 1;
    if (highest > RtcYear) return true;   // nothing that can be shown
    const std::uint8_t* fields = bytes + (count - 1 - k);
    for (int i = 0; i < k; ++i)
        if (fields[i] > kRtcFieldMax[highest - i]) return false;

    int n = 0;
    for (int i = 0; i < k; ++i) {
        const int index = highest - i;
        const int v = fields[i];
        const bool first = i == 0;
        char* at = text + n;
        const std::size_t room = static_cast<std::size_t>(kRtcTextSize - n);
        int written = 0;
        switch (index) {
        case RtcYear: written = std::snprintf(at, room, "%d", 2000 + v); break;
        case RtcMonth:
        case RtcDay: written = std::snprintf(at, room, first ? "%02d" : "/%02d", v + 1); break;
        case RtcHour: written = std::snprintf(at, room, first ? "%02d" : "/%02d", v); break;
        case RtcMinute:
        case RtcSecond: written = std::snprintf(at, room, first ? "%02d" : ":%02d", v); break;
        default: written = std::snprintf(at, room, first ? "0.%02d" : ".%02d", v); break;
        }
        if (written < 0) written = 0;
        n += written;
        if (n >= kRtcTextSize) n = kRtcTextSize - 1;
    }
    text[n] = '\0';
    return true;
}

int encodeRTC(const int fields[kRtcFieldCount], int lowest, int count, std::uint8_t out[kRtcMaxBytes]) {
    if (count < 1 || lowest < 0 || lowest >= kRtcFieldCount || lowest + count > kRtcFieldCount) return 0;
    const int highest = lowest + count - 1;
    for (int i = 0; i < count; ++i) {
        const int v = fields[highest - i];
        if (v < 0 || v > kRtcFieldMax[highest - i]) return 0;
        out[i] = static_cast<std::uint8_t>(v);
    }
    out[count] = static_cast<std::uint8_t>((count << 4) | lowest);
    return count + 1;
}

}  // namespace kavu::codec
