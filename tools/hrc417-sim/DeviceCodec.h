// The simulator's side of the project's frame codec (kavu_codec), with Qt
// types at the seam. Value bytes are converted by the model's ValueCodec.
#pragma once

#include <QString>

#include <cstdint>

uint16_t deviceNameHash(const QString& name);  // 0 for a name the protocol rejects
