// A port behind a serial device server: the line's bytes over a TCP stream,
// transparent or in Telnet with the COM-PORT-OPTION (RFC 2217). Offers what
// the exchange engine asks of a serial port (timed reads, whole writes,
// purges, the first I/O error), with the network's time-out rule:
//   R  the round-trip time: the given one (?rtt=MS), else an estimate that
//      starts with the connect's handshake and follows the system's own
//      measure of the connection and, over RFC 2217, the time the server
//      takes to confirm a purge;
//   A  = 2 * R + 100 ms (at most 30 s), the round-trip allowance;
//   a read waits A longer in total than on a serial line, and the gap
//   between characters it accepts is widened by A, so that a reply split
//   across TCP segments still arrives as one.
// A connection that fails or that the server closes during an exchange
// counts as a lost port (the I/O error is the system's, ECONNRESET for a
// close); the next beginExchange connects again, as it does for a connection
// found closed while the port was idle. No OS here: sockets come from platform.h.
#pragma once

#include "NetAddress.h"
#include "Telnet.h"
#include "platform.h"

#include <cstdint>

namespace kavu {

class NetLine {
public:
    static constexpr int kFixedAllowanceMs = 100;
    static constexpr int kMaxAllowanceMs = 30000;

    NetLine(const net::Address& address, const platform::LineSettings& settings);
    ~NetLine();
    NetLine(const NetLine&) = delete;
    NetLine& operator=(const NetLine&) = delete;

    // Connects (and over RFC 2217 sets the line and waits for the server to
    // confirm it) within the connect time-out. false with *error set.
    bool connect(int* error);
    bool connected() const { return socket_ != nullptr; }

    // At the start of every exchange: a lost connection is made again (a
    // failure becomes the exchange's I/O error); the round-trip estimate is
    // brought up to date.
    void beginExchange();

    void setTimeouts(const platform::Timeouts& timeouts) { timeouts_ = timeouts; }
    // Drops what has arrived and, over RFC 2217 when something may be left
    // at the server (see stale_), has it purge its receive buffer as well
    // and waits for its confirmation.
    void purge();
    bool writeAll(const void* data, std::size_t length);
    int read(void* buffer, std::size_t wanted);

    int ioError() const { return ioError_; }
    void clearIoError() { ioError_ = 0; }

    int roundTripMs() const;
    int allowanceMs() const;

private:
    bool negotiate(std::int64_t deadlineNs, int* error);
    bool sendRaw(const std::uint8_t* bytes, std::size_t length, std::int64_t deadlineNs, int* error);
    bool sendAnswers(std::int64_t deadlineNs, int* error);
    // Receives and decodes until the deadline or until `data` got bytes (or,
    // with commandsEnough, until anything came); returns the data count (0:
    // time-out, or only commands) or kSerialFailed with *error.
    int receive(std::uint8_t* data, std::size_t room, std::int64_t deadlineNs, int* error,
                bool commandsEnough = false);
    void lose(int error);
    void sampleRoundTrip(std::int64_t us);

    net::Address address_;
    platform::LineSettings settings_;
    platform::Socket* socket_ = nullptr;
    platform::Timeouts timeouts_;
    telnet::Decoder decoder_;
    int ioError_ = 0;
    std::int64_t rttUs_ = 0;
    // Something may wait in the server's buffer: just connected, a read
    // ended short, or a purge found bytes that came late.
    bool stale_ = true;
    std::uint8_t raw_[512] = {};
    std::uint8_t out_[1100] = {};
};

}  // namespace kavu
