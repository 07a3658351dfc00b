#include "NetLine.h"

#include <new>

namespace kavu {
namespace {

constexpr std::int64_t kNsPerMs = 1000000;

std::uint8_t parityCode(platform::Parity parity) {
    switch (parity) {
    case platform::Parity::Even: return telnet::kParityEven;
    case platform::Parity::Odd: return telnet::kParityOdd;
    case platform::Parity::None: break;
    }
    return telnet::kParityNone;
}

std::uint8_t stopCode(platform::StopBits stop) {
    switch (stop) {
    case platform::StopBits::Two: return telnet::kStopTwo;
    case platform::StopBits::OnePointFive: return telnet::kStopOnePointFive;
    case platform::StopBits::One: break;
    }
    return telnet::kStopOne;
}

}  // namespace

NetLine::NetLine(const net::Address& address, const platform::LineSettings& settings)
    : address_(address), settings_(settings) {}

NetLine::~NetLine() { platform::socketClose(socket_); }

int NetLine::roundTripMs() const {
    if (address_.rttMs >= 0) return address_.rttMs;
    return static_cast<int>((rttUs_ + 999) / 1000);
}

int NetLine::allowanceMs() const {
    const long long a = 2LL * roundTripMs() + kFixedAllowanceMs;
    return static_cast<int>(a > kMaxAllowanceMs ? kMaxAllowanceMs : a);
}

void NetLine::sampleRoundTrip(std::int64_t us) {
    if (us < 0) return;
    // The smoothing of TCP's own estimate (RFC 6298): one eighth of a sample.
    rttUs_ = rttUs_ == 0 ? us : (7 * rttUs_ + us) / 8;
}

void NetLine::lose(int error) {
    if (ioError_ == 0) ioError_ = error != 0 ? error : platform::socketClosedError();
    platform::socketClose(socket_);
    socket_ = nullptr;
}

bool NetLine::connect(int* error) {
    platform::socketClose(socket_);
    socket_ = nullptr;
    const std::int64_t start = platform::monotonicNs();
    const std::int64_t deadline = start + static_cast<std::int64_t>(address_.connectMs) * kNsPerMs;
    platform::Socket* socket = platform::socketConnect(address_.host, address_.port, address_.connectMs, error);
    if (socket == nullptr) return false;
    socket_ = socket;
    stale_ = true;   // whatever the server gathered before we came
    // The handshake took one round trip (plus the name look-up, so at most).
    rttUs_ = 0;
    sampleRoundTrip((platform::monotonicNs() - start) / 1000);
    if (address_.kind == net::Kind::Rfc2217 && !negotiate(deadline, error)) {
        platform::socketClose(socket_);
        socket_ = nullptr;
        return false;
    }
    return true;
}

bool NetLine::sendRaw(const std::uint8_t* bytes, std::size_t length, std::int64_t deadlineNs, int* error) {
    return platform::socketSendAll(socket_, bytes, length, deadlineNs, error);
}

bool NetLine::sendAnswers(std::int64_t deadlineNs, int* error) {
    if (decoder_.answerLength() == 0) return true;
    const bool sent = sendRaw(decoder_.answers(), decoder_.answerLength(), deadlineNs, error);
    decoder_.takeAnswers();
    return sent;
}

int NetLine::receive(std::uint8_t* data, std::size_t room, std::int64_t deadlineNs, int* error, bool commandsEnough) {
    for (;;) {
        // Never more raw bytes than data may come of them.
        const std::size_t ask = room < sizeof raw_ ? room : sizeof raw_;
        const int got = platform::socketReceive(socket_, raw_, ask, deadlineNs, error);
        if (got <= 0) return got;
        if (address_.kind == net::Kind::Transparent) {
            for (int i = 0; i < got; ++i) data[i] = raw_[i];
            return got;
        }
        const std::size_t n = decoder_.feed(raw_, static_cast<std::size_t>(got), data);
        if (!sendAnswers(deadlineNs + 1000 * kNsPerMs, error)) return platform::kSerialFailed;
        if (n > 0 || commandsEnough) return static_cast<int>(n);
        // Only commands came: wait on for data.
    }
}

bool NetLine::negotiate(std::int64_t deadlineNs, int* error) {
    decoder_ = telnet::Decoder();
    std::uint8_t buffer[64];
    std::size_t n = decoder_.start(out_);
    if (!sendRaw(out_, n, deadlineNs, error)) return false;
    std::uint8_t ignored[sizeof raw_];
    auto await = [&](auto done) {
        while (!done()) {
            if (decoder_.comPortRefused()) {
                *error = platform::socketInvalidError();
                return false;
            }
            const int got = receive(ignored, sizeof ignored, deadlineNs, error, true);
            if (got < 0) return false;
            if (got == 0 && platform::monotonicNs() >= deadlineNs) {
                *error = platform::socketTimedOutError();
                return false;
            }
        }
        return true;
    };
    if (!await([this] { return decoder_.comPortAccepted(); })) return false;

    const auto baud = static_cast<std::uint32_t>(settings_.baud);
    const std::uint8_t speed[4] = {static_cast<std::uint8_t>(baud >> 24), static_cast<std::uint8_t>(baud >> 16),
                                   static_cast<std::uint8_t>(baud >> 8), static_cast<std::uint8_t>(baud)};
    const std::uint8_t size = static_cast<std::uint8_t>(settings_.dataBits);
    const std::uint8_t parity = parityCode(settings_.parity);
    const std::uint8_t stop = stopCode(settings_.stopBits);
    n = 0;
    n += telnet::comPortCommand(telnet::kSetBaudRate, speed, 4, buffer + n);
    n += telnet::comPortCommand(telnet::kSetDataSize, &size, 1, buffer + n);
    n += telnet::comPortCommand(telnet::kSetParity, &parity, 1, buffer + n);
    n += telnet::comPortCommand(telnet::kSetStopSize, &stop, 1, buffer + n);
    constexpr std::uint32_t all = (1u << telnet::kSetBaudRate) | (1u << telnet::kSetDataSize)
                                | (1u << telnet::kSetParity) | (1u << telnet::kSetStopSize);
    decoder_.forgetReplies(all);
    if (!sendRaw(buffer, n, deadlineNs, error)) return false;
    if (!await([this] { return (decoder_.repliesSeen() & all) == all; })) return false;

    // The server answers with the settings in force: each must be the one asked
    // for (1.5 stop bits may come back as two, as on a serial line).
    const std::uint32_t stopGot = decoder_.replyValue(telnet::kSetStopSize);
    const bool stopOk = stopGot == stop || (stop == telnet::kStopOnePointFive && stopGot == telnet::kStopTwo);
    if (decoder_.replyValue(telnet::kSetBaudRate) != baud || decoder_.replyValue(telnet::kSetDataSize) != size
        || decoder_.replyValue(telnet::kSetParity) != parity || !stopOk) {
        *error = platform::socketInvalidError();
        return false;
    }
    return true;
}

void NetLine::beginExchange() {
    if (socket_ != nullptr) {
        // A connection the server closed while the port was idle (a restart,
        // its idle time-out) is made again at once rather than failing this
        // exchange; what came in meanwhile would be purged anyway.
        int error = 0;
        std::uint8_t discard[sizeof raw_];
        int got = 0;
        while ((got = receive(discard, sizeof discard, 0, &error)) > 0) {
        }
        if (got < 0) {
            platform::socketClose(socket_);
            socket_ = nullptr;
        }
    }
    if (socket_ == nullptr) {
        int error = 0;
        if (!connect(&error)) {
            if (ioError_ == 0) ioError_ = error != 0 ? error : platform::socketClosedError();
            return;
        }
    }
    const int kernelUs = platform::socketRoundTripUs(socket_);
    if (kernelUs > 0) sampleRoundTrip(kernelUs);
}

void NetLine::purge() {
    if (socket_ == nullptr) return;
    int error = 0;
    // What came in since the last reply (a late answer, line noise) goes.
    std::uint8_t discard[sizeof raw_];
    for (;;) {
        const int got = receive(discard, sizeof discard, 0, &error);
        if (got == 0) break;
        if (got < 0) {
            lose(error);
            return;
        }
        stale_ = true;
    }
    if (address_.kind != net::Kind::Rfc2217 || !stale_) return;
    // The server's receive buffer may hold more of what came late: it is
    // purged too, and the next request waits for the server to confirm it,
    // for a server purges on its own time and could otherwise drop the reply
    // to that request. Only its receive buffer: its transmit buffer holds
    // nothing of ours by now.
    std::uint8_t command[8];
    const std::uint8_t receiveBuffer = telnet::kPurgeReceive;
    const std::size_t n = telnet::comPortCommand(telnet::kPurgeData, &receiveBuffer, 1, command);
    const std::int64_t now = platform::monotonicNs();
    const std::int64_t deadline = now + (timeouts_.writeConstantMs + allowanceMs()) * kNsPerMs;
    if (!sendRaw(command, n, deadline, &error)) {
        lose(error);
        return;
    }
    const std::uint32_t awaited = decoder_.purgeReplies() + 1;
    while (decoder_.purgeReplies() < awaited) {
        const int got = receive(discard, sizeof discard, deadline, &error, true);
        if (got < 0) {
            lose(error);
            return;
        }
        if (got == 0 && platform::monotonicNs() >= deadline) return;   // unconfirmed: go on
    }
    sampleRoundTrip((platform::monotonicNs() - now) / 1000);
    stale_ = false;
}

bool NetLine::writeAll(const void* data, std::size_t length) {
    if (socket_ == nullptr) {
        if (ioError_ == 0) ioError_ = platform::socketClosedError();
        return false;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    const std::int64_t deadline = platform::monotonicNs()
        + (static_cast<std::int64_t>(length) * timeouts_.writePerCharMs + timeouts_.writeConstantMs + allowanceMs())
              * kNsPerMs;
    int error = 0;
    if (address_.kind == net::Kind::Transparent) {
        if (!sendRaw(bytes, length, deadline, &error)) {
            lose(error);
            return false;
        }
        return true;
    }
    const std::size_t chunk = sizeof out_ / 2;
    for (std::size_t done = 0; done < length; done += chunk) {
        const std::size_t part = length - done < chunk ? length - done : chunk;
        const std::size_t n = telnet::escape(bytes + done, part, out_);
        if (!sendRaw(out_, n, deadline, &error)) {
            lose(error);
            return false;
        }
    }
    return true;
}

int NetLine::read(void* buffer, std::size_t wanted) {
    if (wanted == 0) return 0;
    if (socket_ == nullptr) {
        if (ioError_ == 0) ioError_ = platform::socketClosedError();
        return platform::kSerialFailed;
    }
    auto* out = static_cast<std::uint8_t*>(buffer);
    const std::int64_t allowance = allowanceMs();
    const std::int64_t start = platform::monotonicNs();
    const std::int64_t total =
        start + (static_cast<std::int64_t>(wanted) * timeouts_.readPerCharMs + timeouts_.readConstantMs + allowance)
                    * kNsPerMs;
    const std::int64_t gap = (timeouts_.interCharMs + allowance) * kNsPerMs;
    std::int64_t lastCharacter = 0;
    std::size_t got = 0;
    while (got < wanted) {
        std::int64_t deadline = total;
        if (got > 0 && timeouts_.interCharMs > 0 && lastCharacter + gap < deadline) deadline = lastCharacter + gap;
        int error = 0;
        const int n = receive(out + got, wanted - got, deadline, &error);
        if (n == 0) break;
        if (n < 0) {
            lose(error);
            return got > 0 ? static_cast<int>(got) : platform::kSerialFailed;
        }
        got += static_cast<std::size_t>(n);
        lastCharacter = platform::monotonicNs();
    }
    // A reply that stopped short may go on arriving: purge the server next time.
    if (got < wanted) stale_ = true;
    return static_cast<int>(got);
}

}  // namespace kavu
