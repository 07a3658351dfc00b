// The simulator's side of the project's frame and value codec (kavu_codec),
// with Qt types at the seam.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

uint16_t deviceNameHash(const QString& name);  // 0 for a name the protocol rejects
QByteArray ieee32Bytes(float value);
float ieee32Value(const uint8_t bytes[4]);
