#include "KavuPort.h"
#include "kavu_io.h"

#include <cstdio>
#include <cstring>

namespace kavu {
namespace {

using codec::DecodeStatus;
using codec::ScanStatus;

constexpr int kFirstRead = codec::kMinFrameText;   // a reply has at least 14 characters
constexpr int kInterCharacterMs = 20;
constexpr int kMaxCalibrationTrials = 32000;
constexpr std::uint32_t kCalibrationStep = 5000;
constexpr double kPreSendThresholdMs = 1.175;
constexpr long long kMaxReplyTimeoutMs = 24LL * 3600 * 1000;   // a day

double elapsedMs(std::int64_t startNs) {
    return static_cast<double>(platform::monotonicNs() - startNs) / 1e6;
}

}  // namespace

void spinDelay(std::uint32_t count) {
    volatile std::uint32_t i = 0;
    while (i < count) i = i + 1;
}

KavuPort::~KavuPort() { close(); }

bool KavuPort::open(int extraTimeoutMs) {
    if (line_.isOpen()) return false;
    const PortSettings& s = requested_;
    if (s.line.dataBits < 5 || s.line.dataBits > 8) return false;
    if (!line_.open(s.device, s.line)) return false;
    // Any extra time-out is accepted; the sum is kept in 0..kMaxReplyTimeoutMs
    // so that a huge or very negative one cannot overflow or go below zero.
    const long long timeout = 528000LL / s.line.baud + 260 + extraTimeoutMs;
    replyTimeoutMs_ = static_cast<int>(timeout < 0 ? 0 : timeout > kMaxReplyTimeoutMs ? kMaxReplyTimeoutMs : timeout);
    platform::Timeouts t;
    t.interCharMs = kInterCharacterMs;
    t.readPerCharMs = 1;
    t.readConstantMs = replyTimeoutMs_;
    t.writePerCharMs = 1;
    t.writeConstantMs = replyTimeoutMs_;
    if (!line_.setTimeouts(t)) {
        close();
        return false;
    }
    line_.setRts(false);
    line_.setDtr(false);
    line_.purge();
    applied_ = requested_;
    // A serial device server switches its RS-485 driver itself and has no
    // modem lines to switch: over a network the frame goes whole.
    if (line_.isNetwork()) applied_.direction = 1;
    if (applied_.direction != 1) calibrate();
    return true;
}

void KavuPort::close() {
    line_.close();
}

void KavuPort::calibrate() {
    // Pre-send delay: half the loop count at which sending one character
    // and spinning took longer than 1.175 ms twice in a row.
    bool previousOver = false;
    std::uint32_t count = 0;
    for (int trial = 1; trial <= kMaxCalibrationTrials; ++trial) {
        count = kCalibrationStep * static_cast<std::uint32_t>(trial);
        const std::int64_t start = platform::monotonicNs();
        line_.transmitChar(' ');
        spinDelay(count);
        const bool over = elapsedMs(start) > kPreSendThresholdMs;
        if (over && previousOver) break;
        previousOver = over;
    }
    preSendDelay_ = count / 2;

    // Character delay: the count that spins longer than 0.12 of the
    // character time at 115200 bit/s scaled to this speed, twice in a row.
    const double targetMs = (115200.0 / applied_.line.baud) * 0.12;
    previousOver = false;
    for (int trial = 1; trial <= kMaxCalibrationTrials; ++trial) {
        count = kCalibrationStep * static_cast<std::uint32_t>(trial);
        const std::int64_t start = platform::monotonicNs();
        spinDelay(count);
        const bool over = elapsedMs(start) > targetMs;
        if (over && previousOver) break;
        previousOver = over;
    }
    characterDelay_ = count;
}

void KavuPort::resetExchange() {
    requestDataLength_ = 0;
    request_.packetLength = 0;
    request_.textLength = 0;
    requestHash_ = 0;
    receivedCount_ = 0;
    fields_.hash = 0;
    fields_.address = 0;
    fields_.requestFlag = false;
    fields_.declaredCrc = 0;
    fields_.computedCrc = 0;
    fields_.dataLength = 0;
    fields_.packetLength = 0;
    replyDecoded_ = false;
    deviceError = 0;
    extendedError = 0;
    ioSysError = 0;
    line_.clearIoError();
    if (traceFlags != 0) std::memset(received_, 0, sizeof received_);
}

void KavuPort::buildRequest(std::uint16_t hash, bool read, int address, int addressMode,
                            const std::uint8_t* data, int dataLength) {
    if (dataLength < 0) dataLength = 0;
    if (dataLength > codec::kMaxData) dataLength = codec::kMaxData;
    codec::encodeFrame(hash, read, address, addressMode == 0 ? codec::AddressMode::Short : codec::AddressMode::Long,
                       data, dataLength, request_);
    requestDataLength_ = dataLength;
    requestHash_ = hash;
}

void KavuPort::send() {
    if (traceFlags & 0x02) {
        std::printf("send data ");
        for (int i = 0; i < request_.packetLength; ++i) std::printf(" %02X", request_.packet[i]);
        std::printf("\n");
    }
    if (traceFlags & 0x01)
        std::printf("send frame %.*s\\x0D\n", request_.textLength > 0 ? request_.textLength - 1 : 0, request_.text);

    line_.purge();
    const int direction = applied_.direction;
    if (direction == 1) {
        // Write failures are not reported: they show up as a reply time-out.
        (void)line_.writeAll(request_.text, static_cast<std::size_t>(request_.textLength));
        return;
    }
    if (direction == 0) line_.setRts(true);
    if (direction == 2) line_.setDtr(true);
    spinDelay(preSendDelay_);
    for (int i = 0; i < request_.textLength; ++i) {
        (void)line_.transmitChar(request_.text[i]);
        spinDelay(characterDelay_);
    }
    if (direction == 0) line_.setRts(false);
    if (direction == 2) line_.setDtr(false);
}

int KavuPort::receive(const std::uint16_t* expectedHash) {
    deviceError = -1;
    receivedCount_ = 0;
    replyDecoded_ = false;
    scanner_.reset();
    int asked = kFirstRead;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int room = codec::kMaxFrameText - receivedCount_;
        const int wanted = asked < room ? asked : room;
        if (wanted <= 0) break;
        const int got = line_.read(received_ + receivedCount_, static_cast<std::size_t>(wanted));
        if (got == 0) break;        // the read waited its time and nothing came
        if (got < 0) continue;      // failed at once: one of the two reads, no character
        receivedCount_ += got;
        const ScanStatus status = scanner_.scan(received_, receivedCount_, expectedHash, fields_);
        if (status != ScanStatus::NeedMore) return finishReply(status);
        asked -= got;
        if (receivedCount_ > 4) {
            const int announced = codec::announcedDataLength(received_, receivedCount_);
            if (announced > 0) asked += 2 * announced;
        }
    }
    if (traceFlags & 0x10) std::printf("recv timed out\n");
    deviceError = 0;
    return KAVU_E_TIMEOUT;
}

int KavuPort::finishReply(ScanStatus status) {
    int result = KAVU_E_BAD_REPLY;
    if (status == ScanStatus::Complete) {
        switch (scanner_.decodeStatus) {
        case DecodeStatus::Ok: result = 0; break;
        case DecodeStatus::ErrorReply:
            result = KAVU_E_DEVICE_ERROR;
            deviceError = fields_.dataLength > 0 ? fields_.data()[0] : -1;
            break;
        case DecodeStatus::CrcMismatch: result = KAVU_E_CRC; break;
        default: result = KAVU_E_BAD_REPLY; break;
        }
        replyDecoded_ = result == KAVU_OK || result == KAVU_E_DEVICE_ERROR;
    }
    if (traceFlags != 0) traceReceived(status, result);
    return result;
}

void KavuPort::traceReceived(ScanStatus status, int result) {
    const bool decoded = status == ScanStatus::Complete && scanner_.decodeStatus != DecodeStatus::SizeError;
    if (traceFlags & 0x20) {
        std::printf("recv raw   ");
        for (int i = 0; i < receivedCount_; ++i) {
            const auto c = static_cast<unsigned char>(received_[i]);
            if (c > 0x20) std::printf("%c", c);
            else std::printf("\\x%02X", c);
        }
        std::printf("\n");
    }
    if ((traceFlags & 0x01) && result == 0)
        std::printf("recv frame %.*s\\x0D\n", fields_.characterCount > 0 ? fields_.characterCount - 1 : 0, received_);
    if (traceFlags & 0x04) {
        std::printf("recv data ");
        if (decoded)
            for (int i = 0; i < fields_.packetLength; ++i) std::printf(" %02X", fields_.packet[i]);
        std::printf("\n");
    }
    if (traceFlags & 0x08) std::printf("SHOW_RVCED_DATA not supported\n");
    if (traceFlags & 0x10) {
        if (status == ScanStatus::MissingStart) {
            std::printf("begin of frame marker (#) is missed\n");
        } else if (status == ScanStatus::IllegalCharacter) {
            std::printf("illegal character %0X at frame position %d\n", scanner_.illegalCharacter,
                        scanner_.illegalPosition);
        } else if (status == ScanStatus::SizeError) {
            std::printf("invalid frame size or end of frame marker (0x0D) is missed\n");
        } else {
            switch (scanner_.decodeStatus) {
            case DecodeStatus::Ok: std::printf("recv ok\n"); break;
            case DecodeStatus::ErrorReply: break;
            case DecodeStatus::HashMismatch:
                std::printf("local id mismatch: send (%0X) recv (%0X)\n", requestHash_, fields_.hash);
                break;
            case DecodeStatus::CrcMismatch:
                std::printf("wrong crc: declared (%04X) must be (%04X)\n", fields_.declaredCrc, fields_.computedCrc);
                break;
            case DecodeStatus::SizeError:
                std::printf("invalid frame size or end of frame marker (0x0D) is missed\n");
                break;
            case DecodeStatus::DataLengthMismatch:
                std::printf("wrong data field size: declared (%d) must be (%d)\n", fields_.dataLength,
                            fields_.packetLength - 6);
                break;
            }
        }
    }
}

int KavuPort::exchange(int repeats) {
    if (!line_.isOpen()) return KAVU_E_NO_PORT;
    int result = KAVU_E_EXCHANGE;
    counters.countExchange();
    line_.beginExchange();
    for (int attempt = 0; attempt <= repeats; ++attempt) {
        counters.countAttempt();
        send();
        const std::int64_t sentNs = platform::monotonicNs();
        result = receive(&requestHash_);
        if (result != KAVU_E_TIMEOUT) counters.countReplyTime((platform::monotonicNs() - sentNs) / 1000);
        counters.countAttemptResult(result);
        if (result == KAVU_OK || result == KAVU_E_REPLY_FORMAT || result == KAVU_E_DEVICE_ERROR || result == KAVU_E_EXCEPTION) break;
        ioSysError = line_.ioError();
        if (ioSysError != 0) break;
        platform::sleepMs(10 + 10 * attempt);
    }
    if (traceFlags != 0) {
        std::printf("\n");
        std::fflush(stdout);
    }
    return result;
}

int KavuPort::listen() {
    if (!line_.isOpen()) return KAVU_E_NO_PORT;
    line_.beginExchange();
    const int result = receive(nullptr);
    ioSysError = line_.ioError();
    if (traceFlags != 0) std::fflush(stdout);
    return result;
}

}  // namespace kavu
