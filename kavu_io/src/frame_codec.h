// Kavu frame codec: name packing and hashing, the frame CRC, building a
// frame (packet and "#..CR" text) for either side of the line, scanning
// received characters and decoding a complete frame text. Pure code: no
// I/O, no clock, no allocation. Used by the library's exchange engine and by
// the device simulator (which builds replies and decodes requests).
#pragma once

#include <cstddef>
#include <cstdint>

namespace kavu::codec {

constexpr int kMaxData = 15;                        // data bytes of a frame
constexpr int kMaxPacket = kMaxData + 6;            // 21 packet bytes
constexpr int kMinFrameText = 14;                   // '#', 12 nibbles, CR
constexpr int kMaxFrameText = 2 * kMaxPacket + 2;   // 44 characters
constexpr std::uint16_t kErrorReplyHash = 0x0233;   // hash of an error reply
constexpr char kFrameStart = '#';
constexpr char kFrameEnd = '\r';
constexpr char kNibbleBase = 'G';                   // 'G'..'V' = 0..15

// Packs a name into four bytes (6-bit code << 1 | dot flag). `length` is
// the number of characters to look at (a 0 byte ends the name earlier).
// Returns false for an empty, null or invalid name.
bool packName(const char* name, std::size_t length, std::uint8_t packed[4]);

// 16-bit hash of a zero-terminated name; 0 if packName rejects it.
std::uint16_t nameHash(const char* name);
std::uint16_t packedNameHash(const std::uint8_t packed[4]);

// CRC-16, polynomial 0x8F57, initial 0, MSB first, no final XOR.
std::uint16_t frameCrc(const std::uint8_t* bytes, std::size_t count);

enum class AddressMode { Short, Long };

// A built frame: binary packet and wire text (with the CR).
struct EncodedFrame {
    std::uint8_t packet[kMaxPacket];
    int packetLength = 0;
    char text[kMaxFrameText];
    int textLength = 0;
};

// Builds packet and text. dataLength is clamped to 0..15 (callers never
// pass more). Long mode uses 11 bits of address, short mode 8.
void encodeFrame(std::uint16_t hash, bool requestFlag, int address, AddressMode mode,
                 const std::uint8_t* data, int dataLength, EncodedFrame& out);

// Fields of a received frame.
struct FrameFields {
    int characterCount = 0;              // including '#' and CR
    std::uint8_t packet[kMaxPacket] = {};
    int packetLength = 0;                // (C - 2) / 2
    int dataLength = 0;                  // N from byte 1
    int address = 0;                     // short, or long if bits 7..5 of byte 1 set
    bool requestFlag = false;
    std::uint16_t hash = 0;              // received hash
    std::uint16_t declaredCrc = 0;
    std::uint16_t computedCrc = 0;
    const std::uint8_t* data() const { return packet + 4; }
};

enum class DecodeStatus {
    Ok,                 // valid frame (and hash matched, when compared)
    ErrorReply,         // valid frame with hash 0x0233
    HashMismatch,
    CrcMismatch,
    SizeError,          // odd count, < 14 or > 44; fields not available
    DataLengthMismatch, // packet length != N + 6
};

// Decodes a complete frame text of `count` characters ('#' .. CR). With
// expectedHash null no hash comparison is made (a frame that passes size,
// length and CRC checks is Ok or ErrorReply). Characters are not checked
// for 'G'..'V' here: scanReply does that; a character outside the range
// yields garbage bytes (and almost certainly a CRC mismatch), never an
// access outside the buffer.
DecodeStatus decodeFrame(const char* text, int count, const std::uint16_t* expectedHash,
                         FrameFields& fields);

enum class ScanStatus {
    NeedMore,
    Complete,            // decodeStatus holds the result of decodeFrame
    MissingStart,
    IllegalCharacter,    // illegalPosition/illegalCharacter say where and what
    SizeError,           // 44 characters without CR
};

// Incremental scan of received characters. The caller appends characters
// to its buffer (at most kMaxFrameText) and calls scan with the total count.
struct ReplyScanner {
    int scanned = 0;                  // characters examined so far
    int illegalPosition = -1;
    std::uint8_t illegalCharacter = 0;
    DecodeStatus decodeStatus = DecodeStatus::SizeError;

    void reset() { *this = ReplyScanner{}; }
    // Examines text[scanned .. count-1] (never beyond kMaxFrameText). On
    // Complete, fields are decoded (hash compared when expectedHash given).
    ScanStatus scan(const char* text, int count, const std::uint16_t* expectedHash,
                    FrameFields& fields);
};

// Data length announced by the fifth character of a partly received frame
// (the low nibble of byte 1), or -1 when fewer than five characters are in
// or that character is no nibble character.
constexpr int kNoDataLength = -1;
int announcedDataLength(const char* text, int count);

}  // namespace kavu::codec
