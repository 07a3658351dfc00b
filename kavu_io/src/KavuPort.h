// One serial port of the protocol and its exchange engine: opening with the
// line settings and time-outs, sending a request (whole frame, or character
// by character with RTS/DTR switching on calibrated busy-waits), reading a
// reply with at most two timed reads, the repeat loop and the trace output.
// Knows no operating system: it works through its Line (platform.h or a
// serial device server). All buffers are
// fixed members; an exchange allocates nothing.
#pragma once

#include "Line.h"
#include "LinkCounters.h"
#include "frame_codec.h"
#include "platform.h"

#include <cstdint>

namespace kavu {

constexpr int kDeviceNameSize = 256;

// Settings asked for by OpenPort/SetupPort, already mapped from indices.
struct PortSettings {
    char device[kDeviceNameSize] = {};
    platform::LineSettings line;
    int direction = 1;   // 0 RTS, 1 automatic, 2 DTR, other: per character, no line
};

class KavuPort {
public:
    KavuPort() = default;
    ~KavuPort();
    KavuPort(const KavuPort&) = delete;
    KavuPort& operator=(const KavuPort&) = delete;

    void setRequested(const PortSettings& settings) { requested_ = settings; }
    const PortSettings& applied() const { return applied_; }

    // Opens with the requested settings; extraTimeoutMs is added to the
    // reply time-out. Returns false on any failure (the port stays closed).
    bool open(int extraTimeoutMs);
    void close();
    bool isOpen() const { return line_.isOpen(); }
    bool isNetwork() const { return line_.isNetwork(); }

    int replyTimeoutMs() const { return replyTimeoutMs_; }
    std::uint32_t preSendDelayCount() const { return preSendDelay_; }
    std::uint32_t characterDelayCount() const { return characterDelay_; }

    int traceFlags = 0;
    int deviceError = 0;
    int extendedError = 0;
    // The system's error of a read or write that failed during the last
    // exchange (the port is gone); 0 when the line's reads and writes worked.
    int ioSysError = 0;
    LinkCounters counters;   // written by exchange(); read by GetLinkStats

    // Start of every operation: empties the request, reply and error state.
    void resetExchange();
    // Builds the request frame held until the next reset.
    void buildRequest(std::uint16_t hash, bool read, int address, int addressMode,
                      const std::uint8_t* data, int dataLength);
    // Sends the request and reads the reply, repeating up to `repeats` more
    // times after a time-out or a bad reply, unless the system reported the
    // port failed (ioSysError): a port that is gone is not asked again.
    // Returns 0, -102, -103, -104 or -106.
    int exchange(int repeats);
    // Receives one frame without sending (no hash comparison).
    int listen();

    // The last decoded reply (valid after a result of 0 or -104).
    bool replyDecoded() const { return replyDecoded_; }
    const codec::FrameFields& reply() const { return fields_; }
    const codec::EncodedFrame& request() const { return request_; }
    int requestDataLength() const { return requestDataLength_; }

private:
    void send();
    int receive(const std::uint16_t* expectedHash);
    int finishReply(codec::ScanStatus status);
    void traceReceived(codec::ScanStatus status, int result);
    void calibrate();

    PortSettings requested_;
    PortSettings applied_;
    Line line_;
    int replyTimeoutMs_ = 0;
    std::uint32_t preSendDelay_ = 0;
    std::uint32_t characterDelay_ = 0;

    codec::EncodedFrame request_;
    int requestDataLength_ = 0;
    std::uint16_t requestHash_ = 0;
    char received_[codec::kMaxFrameText] = {};
    int receivedCount_ = 0;
    codec::ReplyScanner scanner_;
    codec::FrameFields fields_;
    bool replyDecoded_ = false;
};

// Busy-waits `count` loop iterations (the unit of the calibrated delays).
void spinDelay(std::uint32_t count);

}  // namespace kavu
