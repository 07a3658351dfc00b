#include "frame_codec.h"

#include <array>

namespace kavu::codec {
namespace {

constexpr std::uint16_t kPolynomial = 0x8F57;
constexpr std::uint8_t kSpaceCode = 39;

constexpr std::array<std::uint16_t, 256> makeCrcTable() {
    std::array<std::uint16_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        std::uint16_t crc = static_cast<std::uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ kPolynomial : crc << 1);
        table[i] = crc;
    }
    return table;
}

// Built at compile time: shared read-only by every port.
constexpr std::array<std::uint16_t, 256> kCrcTable = makeCrcTable();

constexpr int kNotANameCharacter = -1;

int characterCode(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    switch (c) {
    case '-': return 36;
    case '_': return 37;
    case '/': return 38;
    default: return kNotANameCharacter;
    }
}

bool isNibbleCharacter(char c) { return c >= kNibbleBase && c <= kNibbleBase + 15; }

std::uint8_t nibblePair(char high, char low) {
    // Masked so that any character gives some byte; scanReply has already
    // rejected characters outside 'G'..'V' on the normal path.
    return static_cast<std::uint8_t>((((high - kNibbleBase) & 0x0F) << 4) | ((low - kNibbleBase) & 0x0F));
}

}  // namespace

bool packName(const char* name, std::size_t length, std::uint8_t packed[4]) {
    if (name == nullptr || length == 0 || name[0] == '\0') return false;
    int p = 0;
    bool lastWasDot = false;
    bool inPadding = false;
    for (std::size_t i = 0; i < length && name[i] != '\0'; ++i) {
        const char c = name[i];
        if (inPadding) {
            if (c != ' ' || p >= 4) return false;
            packed[p++] = kSpaceCode << 1;
            continue;
        }
        if (c == '.') {
            if (p == 0 || lastWasDot) return false;
            packed[p - 1] = static_cast<std::uint8_t>(packed[p - 1] + 1);
            lastWasDot = true;
            continue;
        }
        lastWasDot = false;
        if (c == ' ') {
            // A space ends the significant part; the rest pads.
            inPadding = true;
            if (p >= 4) return false;
            packed[p++] = kSpaceCode << 1;
            continue;
        }
        const int code = characterCode(c);
        if (code < 0 || p >= 4) return false;
        packed[p++] = static_cast<std::uint8_t>(code << 1);
    }
    if (p == 0) return false;
    for (; p < 4; ++p) packed[p] = kSpaceCode << 1;
    return true;
}

std::uint16_t packedNameHash(const std::uint8_t packed[4]) {
    std::uint16_t hash = 0;
    for (int i = 0; i < 4; ++i) {
        for (int bit = 6; bit >= 0; --bit) {
            const unsigned in = (packed[i] >> bit) & 1u;
            const unsigned top = (hash >> 15) & 1u;
            hash = static_cast<std::uint16_t>((in ^ top) ? (hash << 1) ^ kPolynomial : hash << 1);
        }
    }
    return hash;
}

std::uint16_t nameHash(const char* name) {
    std::uint8_t packed[4];
    if (name == nullptr) return 0;
    std::size_t length = 0;
    while (name[length] != '\0') ++length;
    if (!packName(name, length, packed)) return 0;
    return packedNameHash(packed);
}

std::uint16_t frameCrc(const std::uint8_t* bytes, std::size_t count) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < count; ++i)
        crc = static_cast<std::uint16_t>((crc << 8) ^ kCrcTable[((crc >> 8) ^ bytes[i]) & 0xFF]);
    return crc;
}

void encodeFrame(std::uint16_t hash, bool requestFlag, int address, AddressMode mode,
                 const std::uint8_t* data, int dataLength, EncodedFrame& out) {
    if (dataLength < 0 || data == nullptr) dataLength = 0;
    if (dataLength > kMaxData) dataLength = kMaxData;
    std::uint8_t* p = out.packet;
    if (mode == AddressMode::Short) {
        p[0] = static_cast<std::uint8_t>(address & 0xFF);
        p[1] = 0;
    } else {
        p[0] = static_cast<std::uint8_t>((address >> 3) & 0xFF);
        p[1] = static_cast<std::uint8_t>((address & 7) << 5);
    }
    if (requestFlag) p[1] |= 0x10;
    p[1] |= static_cast<std::uint8_t>(dataLength & 0x0F);
    p[2] = static_cast<std::uint8_t>(hash >> 8);
    p[3] = static_cast<std::uint8_t>(hash & 0xFF);
    for (int i = 0; i < dataLength; ++i) p[4 + i] = data[i];
    const std::uint16_t crc = frameCrc(p, static_cast<std::size_t>(dataLength + 4));
    p[4 + dataLength] = static_cast<std::uint8_t>(crc >> 8);
    p[5 + dataLength] = static_cast<std::uint8_t>(crc & 0xFF);
    out.packetLength = dataLength + 6;

    char* t = out.text;
    int n = 0;
    t[n++] = kFrameStart;
    for (int i = 0; i < out.packetLength; ++i) {
        t[n++] = static_cast<char>(kNibbleBase + (p[i] >> 4));
        t[n++] = static_cast<char>(kNibbleBase + (p[i] & 0x0F));
    }
    t[n++] = kFrameEnd;
    out.textLength = n;
}

DecodeStatus decodeFrame(const char* text, int count, const std::uint16_t* expectedHash,
                         FrameFields& f) {
    f.characterCount = count;
    if (text == nullptr || count < kMinFrameText || count > kMaxFrameText || (count & 1) != 0)
        return DecodeStatus::SizeError;
    const int length = (count - 2) / 2;
    f.packetLength = length;
    for (int i = 0; i < length; ++i) f.packet[i] = nibblePair(text[1 + 2 * i], text[2 + 2 * i]);
    const std::uint8_t* p = f.packet;
    f.dataLength = p[1] & 0x0F;
    f.requestFlag = (p[1] & 0x10) != 0;
    f.hash = static_cast<std::uint16_t>((p[2] << 8) | p[3]);
    f.address = p[0];
    if ((p[1] & 0xE0) != 0) f.address = (p[0] << 3) | (p[1] >> 5);
    // The declared CRC sits after the announced data, which may lie beyond
    // what was received; then the length check below fails first and the
    // CRC fields only hold what the packet has (never read past it).
    const int n = f.dataLength;
    f.declaredCrc = (n + 6 <= length) ? static_cast<std::uint16_t>((p[4 + n] << 8) | p[5 + n]) : 0;
    f.computedCrc = frameCrc(p, static_cast<std::size_t>(n + 4 <= length ? n + 4 : length));
    if (length != n + 6) return DecodeStatus::DataLengthMismatch;
    if (f.declaredCrc != f.computedCrc) return DecodeStatus::CrcMismatch;
    if (f.hash == kErrorReplyHash) return DecodeStatus::ErrorReply;
    if (expectedHash != nullptr && f.hash != *expectedHash) return DecodeStatus::HashMismatch;
    return DecodeStatus::Ok;
}

ScanStatus ReplyScanner::scan(const char* text, int count, const std::uint16_t* expectedHash,
                              FrameFields& fields) {
    if (count > kMaxFrameText) count = kMaxFrameText;
    for (; scanned < count; ++scanned) {
        const char c = text[scanned];
        if (scanned == 0) {
            if (c != kFrameStart) return ScanStatus::MissingStart;
            continue;
        }
        if (c == kFrameEnd) {
            ++scanned;
            decodeStatus = decodeFrame(text, scanned, expectedHash, fields);
            return ScanStatus::Complete;
        }
        if (!isNibbleCharacter(c)) {
            illegalPosition = scanned;
            illegalCharacter = static_cast<std::uint8_t>(c);
            return ScanStatus::IllegalCharacter;
        }
    }
    return scanned >= kMaxFrameText ? ScanStatus::SizeError : ScanStatus::NeedMore;
}

int announcedDataLength(const char* text, int count) {
    if (count < 5 || !isNibbleCharacter(text[4])) return kNoDataLength;
    return text[4] - kNibbleBase;
}

}  // namespace kavu::codec
