// Telnet framing with the COM-PORT-OPTION of RFC 2217, as a client of a
// serial device server needs it: data escaped (IAC doubled) on the way out
// and unescaped on the way in, option negotiation answered (BINARY and
// SUPPRESS-GO-AHEAD both ways, COM-PORT-OPTION on our side, everything else
// refused), and the server's replies to COM-PORT commands recorded.
// Plain bytes in, bytes out: no OS, no allocation.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kavu::telnet {

constexpr std::uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250, kSe = 240;
constexpr std::uint8_t kBinary = 0, kEcho = 1, kSuppressGoAhead = 3, kComPort = 44;

// Client-to-server COM-PORT commands; the server answers with code + 100.
constexpr std::uint8_t kSetBaudRate = 1, kSetDataSize = 2, kSetParity = 3, kSetStopSize = 4, kPurgeData = 12;
// Values of SET-PARITY, SET-STOPSIZE and PURGE-DATA.
constexpr std::uint8_t kParityNone = 1, kParityOdd = 2, kParityEven = 3;
constexpr std::uint8_t kStopOne = 1, kStopTwo = 2, kStopOnePointFive = 3;
constexpr std::uint8_t kPurgeReceive = 1, kPurgeBoth = 3;

// Copies data to out with every IAC doubled; out holds 2 * length bytes.
// Returns the count written.
std::size_t escape(const std::uint8_t* data, std::size_t length, std::uint8_t* out);

// Writes IAC SB COM-PORT-OPTION command value... IAC SE (value escaped);
// out holds 6 + 2 * length bytes. Returns the count written.
std::size_t comPortCommand(std::uint8_t command, const std::uint8_t* value, std::size_t length, std::uint8_t* out);

// Writes IAC verb option. Returns 3.
std::size_t negotiation(std::uint8_t verb, std::uint8_t option, std::uint8_t* out);

// The receiving side of one connection.
class Decoder {
public:
    static constexpr std::size_t kAnswerSize = 96;

    // Our opening requests: WILL COM-PORT-OPTION, WILL BINARY, DO BINARY,
    // WILL and DO SUPPRESS-GO-AHEAD, written to out (kAnswerSize bytes),
    // marked as asked. Returns the count written.
    std::size_t start(std::uint8_t* out);

    // Takes received bytes; the data among them go to `data` (room for
    // `length` bytes is enough, commands take room but give no data).
    // Returns the data count. Answers the negotiation needs are added to
    // answers() until takeAnswers().
    std::size_t feed(const std::uint8_t* in, std::size_t length, std::uint8_t* data);

    const std::uint8_t* answers() const { return answers_; }
    std::size_t answerLength() const { return answerLength_; }
    void takeAnswers() { answerLength_ = 0; }

    // The server agreed to (DO) or refused (DONT) the COM-PORT-OPTION.
    bool comPortAccepted() const { return local_[kComPort]; }
    bool comPortRefused() const { return comPortRefused_; }

    // Replies to COM-PORT commands: a bit per command code (1 << code) set
    // when the server's answer came, with the value it gave (the big-endian
    // number of up to four value bytes).
    std::uint32_t repliesSeen() const { return repliesSeen_; }
    std::uint32_t replyValue(std::uint8_t command) const { return command < 16 ? replyValues_[command] : 0; }
    void forgetReplies(std::uint32_t mask) { repliesSeen_ &= ~mask; }
    // PURGE-DATA answers received so far.
    std::uint32_t purgeReplies() const { return purgeReplies_; }

private:
    enum class State { Data, Iac, Verb, Sb, SbIac };
    void onVerb(std::uint8_t verb, std::uint8_t option);
    void onSubnegotiation();
    void answer(std::uint8_t verb, std::uint8_t option);

    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    std::uint8_t sb_[64] = {};
    std::size_t sbLength_ = 0;
    bool sbOverflow_ = false;
    bool local_[256] = {};        // options in force on our side
    bool remote_[256] = {};       // options in force on the server's side
    bool askedLocal_[256] = {};   // WILL sent, no answer yet
    bool askedRemote_[256] = {};  // DO sent, no answer yet
    bool comPortRefused_ = false;
    std::uint8_t answers_[kAnswerSize] = {};
    std::size_t answerLength_ = 0;
    std::uint32_t repliesSeen_ = 0;
    std::uint32_t replyValues_[16] = {};
    std::uint32_t purgeReplies_ = 0;
};

}  // namespace kavu::telnet
