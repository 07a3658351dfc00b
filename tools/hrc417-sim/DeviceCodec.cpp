#include "DeviceCodec.h"

#include "frame_codec.h"

uint16_t deviceNameHash(const QString& name)
{
    const QByteArray latin = name.toLatin1();
    return kavu::codec::nameHash(latin.constData());
}
