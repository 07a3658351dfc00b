#pragma once

#include "ValueCodec.h"

// The I/O service's name for the model's one value codec (ValueCodec).
namespace KavuValueCodec = ValueCodec;
