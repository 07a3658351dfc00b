#include "Telnet.h"

#include <initializer_list>

namespace kavu::telnet {
namespace {

bool weOffer(std::uint8_t option) { return option == kBinary || option == kSuppressGoAhead || option == kComPort; }
// The server's echo would come back as reply characters: refused.
bool weAccept(std::uint8_t option) { return option == kBinary || option == kSuppressGoAhead; }

}  // namespace

std::size_t escape(const std::uint8_t* data, std::size_t length, std::uint8_t* out) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < length; ++i) {
        out[n++] = data[i];
        if (data[i] == kIac) out[n++] = kIac;
    }
    return n;
}

std::size_t comPortCommand(std::uint8_t command, const std::uint8_t* value, std::size_t length, std::uint8_t* out) {
    std::size_t n = 0;
    out[n++] = kIac;
    out[n++] = kSb;
    out[n++] = kComPort;
    out[n++] = command;
    n += escape(value, length, out + n);
    out[n++] = kIac;
    out[n++] = kSe;
    return n;
}

std::size_t negotiation(std::uint8_t verb, std::uint8_t option, std::uint8_t* out) {
    out[0] = kIac;
    out[1] = verb;
    out[2] = option;
    return 3;
}

std::size_t Decoder::start(std::uint8_t* out) {
    std::size_t n = 0;
    for (std::uint8_t option : {kComPort, kBinary, kSuppressGoAhead}) {
        n += negotiation(kWill, option, out + n);
        askedLocal_[option] = true;
    }
    for (std::uint8_t option : {kBinary, kSuppressGoAhead}) {
        n += negotiation(kDo, option, out + n);
        askedRemote_[option] = true;
    }
    return n;
}

void Decoder::answer(std::uint8_t verb, std::uint8_t option) {
    if (answerLength_ + 3 > kAnswerSize) return;   // a flood of requests: the rest stay unanswered
    answerLength_ += negotiation(verb, option, answers_ + answerLength_);
}

void Decoder::onVerb(std::uint8_t verb, std::uint8_t option) {
    // RFC 854: a request that confirms the state in force is not answered,
    // so that two sides never loop.
    switch (verb) {
    case kDo:
        if (local_[option]) break;
        if (weOffer(option)) {
            local_[option] = true;
            if (!askedLocal_[option]) answer(kWill, option);
        } else {
            answer(kWont, option);
        }
        askedLocal_[option] = false;
        break;
    case kDont:
        if (option == kComPort) comPortRefused_ = true;
        if (local_[option]) {
            local_[option] = false;
            answer(kWont, option);
        }
        askedLocal_[option] = false;
        break;
    case kWill:
        if (remote_[option]) break;
        if (weAccept(option)) {
            remote_[option] = true;
            if (!askedRemote_[option]) answer(kDo, option);
        } else {
            answer(kDont, option);
        }
        askedRemote_[option] = false;
        break;
    case kWont:
        if (remote_[option]) {
            remote_[option] = false;
            answer(kDont, option);
        }
        askedRemote_[option] = false;
        break;
    default:
        break;
    }
}

void Decoder::onSubnegotiation() {
    if (sbOverflow_ || sbLength_ < 2 || sb_[0] != kComPort || sb_[1] < 100) return;
    const std::uint8_t command = static_cast<std::uint8_t>(sb_[1] - 100);
    if (command == kPurgeData) ++purgeReplies_;
    if (command >= 16) return;   // notifications (line and modem state) and the rest
    std::uint32_t value = 0;
    for (std::size_t i = 2; i < sbLength_ && i < 6; ++i) value = (value << 8) | sb_[i];
    replyValues_[command] = value;
    repliesSeen_ |= 1u << command;
}

std::size_t Decoder::feed(const std::uint8_t* in, std::size_t length, std::uint8_t* data) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t c = in[i];
        switch (state_) {
        case State::Data:
            if (c == kIac) state_ = State::Iac;
            else data[n++] = c;
            break;
        case State::Iac:
            if (c == kIac) {
                data[n++] = c;
                state_ = State::Data;
            } else if (c == kDo || c == kDont || c == kWill || c == kWont) {
                verb_ = c;
                state_ = State::Verb;
            } else if (c == kSb) {
                sbLength_ = 0;
                sbOverflow_ = false;
                state_ = State::Sb;
            } else {
                state_ = State::Data;   // NOP, GA, AYT and the like carry nothing for us
            }
            break;
        case State::Verb:
            onVerb(verb_, c);
            state_ = State::Data;
            break;
        case State::Sb:
            if (c == kIac) {
                state_ = State::SbIac;
            } else if (sbLength_ < sizeof sb_) {
                sb_[sbLength_++] = c;
            } else {
                sbOverflow_ = true;
            }
            break;
        case State::SbIac:
            if (c == kSe) {
                onSubnegotiation();
                state_ = State::Data;
            } else {
                // IAC IAC inside: one 255 of the value.
                if (sbLength_ < sizeof sb_) sb_[sbLength_++] = c;
                else sbOverflow_ = true;
                state_ = State::Sb;
            }
            break;
        }
    }
    return n;
}

}  // namespace kavu::telnet
