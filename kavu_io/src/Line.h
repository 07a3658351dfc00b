// The line under a port: a serial device of the platform, or a serial
// device server reached over the network (NetLine), chosen by the port's
// name. The exchange engine sees one set of operations either way.
#pragma once

#include "NetLine.h"
#include "platform.h"

#include <cstddef>

namespace kavu {

class Line {
public:
    Line() = default;
    ~Line() { close(); }
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    // Opens the device or connects to the server named by `device` with the
    // line settings. false on failure, with the calling thread's last open
    // error set (see platform::serialLastOpenError); nothing stays open.
    bool open(const char* device, const platform::LineSettings& settings);
    void close();
    bool isOpen() const { return serial_ != nullptr || net_ != nullptr; }
    bool isNetwork() const { return net_ != nullptr; }
    // The network line's round-trip allowance in ms; 0 on a serial line.
    int allowanceMs() const { return net_ != nullptr ? net_->allowanceMs() : 0; }

    // Start of an exchange: a network line that was lost connects again.
    void beginExchange() {
        if (net_ != nullptr) net_->beginExchange();
    }
    bool setTimeouts(const platform::Timeouts& timeouts);
    // A server switches its RS-485 driver itself: no modem lines over a network.
    void setRts(bool raised) {
        if (serial_ != nullptr) platform::serialSetRts(serial_, raised);
    }
    void setDtr(bool raised) {
        if (serial_ != nullptr) platform::serialSetDtr(serial_, raised);
    }
    void purge() {
        if (serial_ != nullptr) platform::serialPurge(serial_);
        else if (net_ != nullptr) net_->purge();
    }
    bool writeAll(const void* data, std::size_t length) {
        return serial_ != nullptr ? platform::serialWriteAll(serial_, data, length)
                                  : net_ != nullptr && net_->writeAll(data, length);
    }
    bool transmitChar(char c) {
        return serial_ != nullptr ? platform::serialTransmitChar(serial_, c) : net_ != nullptr && net_->writeAll(&c, 1);
    }
    int read(void* buffer, std::size_t wanted) {
        return serial_ != nullptr ? platform::serialRead(serial_, buffer, wanted)
             : net_ != nullptr    ? net_->read(buffer, wanted)
                                  : platform::kSerialFailed;
    }
    int ioError() const {
        return serial_ != nullptr ? platform::serialIoError(serial_) : net_ != nullptr ? net_->ioError() : 0;
    }
    void clearIoError() {
        if (serial_ != nullptr) platform::serialClearIoError(serial_);
        else if (net_ != nullptr) net_->clearIoError();
    }

private:
    platform::SerialPort* serial_ = nullptr;
    NetLine* net_ = nullptr;
};

}  // namespace kavu
