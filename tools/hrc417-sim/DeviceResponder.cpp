#include "DeviceResponder.h"

#include "ValueCodec.h"

namespace {

QString hex(const QByteArray& bytes)
{
    return bytes.isEmpty() ? QStringLiteral("(no data)") : QString::fromLatin1(bytes.toHex(' ').toUpper());
}

bool isLineSetting(const QString& name)
{
    return name == "bPS" || name == "LEn" || name == "PrtY" || name == "Sbit";
}

// Four-byte exception value instead of a number: F in the high nibble,
// the 12-bit code after it.
QByteArray exceptionValue(int code)
{
    QByteArray bytes;
    bytes.append(char(0xF0 | ((code >> 8) & 0x0F))).append(char(code & 0xFF)).append('\0').append('\0');
    return bytes;
}

// The data bytes of a value in a reply; the device answers a date-time with
// its running clock.
QByteArray replyValue(const ParameterSpec& spec, const QString& text, const QDateTime& clock)
{
    return ValueCodec::encode(spec, spec.kind == ValueKind::DateTime ? ValueCodec::dateTimeText(clock) : text);
}

}  // namespace

DeviceResponder::DeviceResponder(DeviceState& state, OperatingValues& plant, const WriteFaults* writeFaults)
    : state_(state), plant_(plant), writeFaults_(writeFaults)
{
}

void DeviceResponder::replyData(DeviceReply& reply, const QByteArray& data)
{
    reply.send = true;
    const auto mode = longMode_ ? kavu::codec::AddressMode::Long : kavu::codec::AddressMode::Short;
    kavu::codec::encodeFrame(hash_, false, replyAddress_, mode,
                             reinterpret_cast<const uint8_t*>(data.constData()), data.size(), reply.frame);
    reply.log += " -> " + hex(data);
}

void DeviceResponder::replyError(DeviceReply& reply, uint8_t code, const char* why)
{
    reply.send = true;
    const auto mode = longMode_ ? kavu::codec::AddressMode::Long : kavu::codec::AddressMode::Short;
    kavu::codec::encodeFrame(kavu::codec::kErrorReplyHash, false, replyAddress_, mode, &code, 1, reply.frame);
    reply.log += QStringLiteral(" -> error 0x%1 (%2)").arg(code, 2, 16, QChar('0')).arg(why);
}

DeviceReply DeviceResponder::respond(const kavu::codec::FrameFields& request)
{
    DeviceReply reply;
    const DeviceDescription& description = state_.description();
    const uint8_t* packet = request.packet;
    const int ownAddress = state_.address();
    longMode_ = state_.longAddress();

    // The address as this device reads it in its own address mode.
    int address;
    if (longMode_) {
        address = (int(packet[0]) << 3) | (packet[1] >> 5);
    } else {
        if (packet[1] & 0xE0) {
            reply.log = QStringLiteral("ignored: 11-bit address frame, device in 8-bit mode");
            return reply;
        }
        address = packet[0];
    }
    const int channel = address - ownAddress;
    if (channel < 0 || channel > description.maxChannel()) {
        reply.log = QStringLiteral("ignored: address %1 (device at %2)").arg(address).arg(ownAddress);
        return reply;
    }
    hash_ = request.hash;
    replyAddress_ = address;

    const bool isRead = request.requestFlag;
    const QByteArray data(reinterpret_cast<const char*>(request.data()), request.dataLength);
    const QString base = description.baseName(hash_);
    reply.log = QStringLiteral("addr %1 %2 %3").arg(address).arg(isRead ? "read" : "write")
                    .arg(base.isEmpty() ? QStringLiteral("hash %1").arg(hash_, 4, 16, QChar('0')) : base);

    if (!description.knowsHash(hash_)) {
        replyError(reply, DeviceError::DescriptorNotFound, "unknown name");
        return reply;
    }
    int index = -1;
    QByteArray value = data;
    if (description.isIndexed(hash_)) {
        if (data.size() < 2) {
            replyError(reply, DeviceError::DataFieldSize, "index missing");
            return reply;
        }
        index = (uint8_t(data[data.size() - 2]) << 8) | uint8_t(data[data.size() - 1]);
        value.chop(2);
        reply.log += QStringLiteral("[%1]").arg(index);
    }
    if (channel > 0)
        reply.log += QStringLiteral(" (channel %1)").arg(channel);
    const int parameter = description.find(hash_, index, channel);
    if (parameter < 0) {
        if (index >= 0)
            replyError(reply, DeviceError::IndexLimit, "no such index");
        else
            replyError(reply, DeviceError::DescriptorNotFound, "no such channel");
        return reply;
    }
    if (missing_.contains(parameter)) {
        replyError(reply, DeviceError::DescriptorNotFound, "not in this device");
        return reply;
    }
    const ParameterSpec& spec = description.parameters()[parameter];
    const QByteArray indexBytes = index >= 0 ? data.right(2) : QByteArray();

    if (isRead) {
        const int exception = plant_.exceptionFor(parameter);
        if (exception >= 0) {
            reply.log += " [exception]";
            replyData(reply, exceptionValue(exception) + indexBytes);
            return reply;
        }
        replyData(reply, replyValue(spec, state_.value(parameter), state_.clock(parameter)) + indexBytes);
        return reply;
    }

    // A write carries the value (then the index) in its data field. A
    // datetime is not read-only: the device's clock is set with it.
    if (spec.readOnly || spec.polled) {
        replyError(reply, DeviceError::RomParameter, "read-only");
        return reply;
    }
    if (value.isEmpty()) {
        replyError(reply, DeviceError::DataFieldSize, "no value");
        return reply;
    }
    QString text;
    switch (ValueCodec::decode(spec, value, text)) {
    case ValueCodec::Check::Ok:
        break;
    case ValueCodec::Check::BadLength:
        replyError(reply, DeviceError::DataFieldSize, "wrong value size");
        return reply;
    case ValueCodec::Check::OutOfRange:
    case ValueCodec::Check::BadValue:
        if (spec.kind == ValueKind::Float || spec.kind == ValueKind::Point) {
            // Numbers answer an invalid value with the exception "invalid value written".
            reply.log += " [rejected value]";
            replyData(reply, exceptionValue(0x1) + indexBytes);
        } else if (spec.kind == ValueKind::Time || spec.kind == ValueKind::DateTime) {
            replyError(reply, DeviceError::BadTimeValue, "invalid time");
        } else {
            replyError(reply, DeviceError::ValueLimits, "value outside limits");
        }
        return reply;
    }
    // The device never makes itself unreachable: an 8-bit address mode
    // needs an address below 256.
    const bool changesAddress = spec.name == "Addr" || spec.name == "A.Len";
    if (changesAddress) {
        const int newAddress = spec.name == "Addr" ? text.toInt() : state_.address();
        const bool newLong = spec.name == "A.Len" ? text == "1" : longMode_;
        if (!newLong && newAddress > 255) {
            replyError(reply, DeviceError::ValueLimits, "address beyond 8-bit mode");
            return reply;
        }
    }
    reply.log += " = " + text;
    QString stored = text;
    if (writeFaults_ && !writeFaults_->apply(spec, stored)) {
        reply.log += " [write ignored]";
    } else {
        if (stored != text)
            reply.log += " [stored " + stored + "]";
        state_.setValue(parameter, stored);
    }
    // The reply still comes from the old address; the next request must
    // use the new one.
    replyData(reply, replyValue(spec, text, state_.clock(parameter)) + indexBytes);
    reply.lineSettingsChanged = isLineSetting(spec.name);
    return reply;
}
