// The device's protocol logic: takes a decoded request frame and decides
// whether and what the device answers — address filtering, the parameter a
// name hash, index and channel select, reads and writes of the state, error
// replies with the device's error codes, and the address change.
#pragma once

#include "DeviceState.h"
#include "OperatingValues.h"
#include "WriteFaults.h"

#include "frame_codec.h"

#include <QByteArray>
#include <QSet>
#include <QString>

// Device error codes (first data byte of an error reply).
namespace DeviceError {
constexpr uint8_t RomParameter = 0x03;      // write to a read-only parameter
constexpr uint8_t BadTimeValue = 0x04;      // invalid time or date in a write
constexpr uint8_t ValueLimits = 0x06;       // value outside the descriptor's limits
constexpr uint8_t DescriptorNotFound = 0x28;
constexpr uint8_t DataFieldSize = 0x31;     // data field not of the expected size
constexpr uint8_t IndexLimit = 0x35;        // index beyond the parameter's range
}  // namespace DeviceError

struct DeviceReply {
    bool send = false;            // false: the frame is not for this device
    kavu::codec::EncodedFrame frame;
    bool lineSettingsChanged = false;  // a line parameter was written
    QString log;                  // one line for the exchange log
};

class DeviceResponder {
public:
    DeviceResponder(DeviceState& state, OperatingValues& plant, const WriteFaults* writeFaults = nullptr);

    // Parameters (indexes into the description) this device lacks: every
    // request for one is answered with the error reply "unknown name".
    void setMissing(const QSet<int>& parameters) { missing_ = parameters; }

    // request is a frame that passed the size and CRC checks.
    DeviceReply respond(const kavu::codec::FrameFields& request);

private:
    void replyData(DeviceReply& reply, const QByteArray& data);
    void replyError(DeviceReply& reply, uint8_t code, const char* why);

    DeviceState& state_;
    OperatingValues& plant_;
    const WriteFaults* writeFaults_;
    QSet<int> missing_;
    uint16_t hash_ = 0;
    int replyAddress_ = 0;
    bool longMode_ = false;
};
