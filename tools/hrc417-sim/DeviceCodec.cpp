#include "DeviceCodec.h"

#include "frame_codec.h"
#include "value_codec.h"

uint16_t deviceNameHash(const QString& name)
{
    const QByteArray latin = name.toLatin1();
    return kavu::codec::nameHash(latin.constData());
}

QByteArray ieee32Bytes(float value)
{
    uint8_t out[4];
    kavu::codec::encodeIEEE32(value, out);
    return QByteArray(reinterpret_cast<const char*>(out), 4);
}

float ieee32Value(const uint8_t bytes[4])
{
    return kavu::codec::decodeIEEE32(bytes);
}
