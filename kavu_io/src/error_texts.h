// The library's own texts, as Windows-1251 bytes (callers rely on those
// exact bytes): result-code texts, device-error texts (by the device's
// error code; id 256 is the missing-port text), exception texts (by the
// extended error code) and the formats for codes without a text. One
// table holds them all, so that a Windows string table (.rc) can be
// produced from the same data: every TextKind::Device entry is a string
// resource whose identifier is its id.
#pragma once

#include <cstddef>

namespace kavu {

enum class TextKind { Result, Device, Exception, Format };

struct LibraryText {
    TextKind kind;
    long id;
    const char* text;   // Windows-1251, zero-terminated
};

constexpr long kNoPortTextId = 256;
constexpr long kFormatDevice = 1;      // "Прибор вернул nErr: %0X"
constexpr long kFormatException = 2;   // "Исключительная ситуация: %0X"
constexpr long kFormatUnknown = 3;     // "Неизвестная ошибка: %d"

// The whole table and its size.
const LibraryText* libraryTexts(std::size_t& count);

// The text of (kind, id), or null when there is none.
const char* findLibraryText(TextKind kind, long id);

// Writes the text for a last result into buffer (size bytes, always
// terminated): the rules of LastErrToStr for one port's state.
void formatLastError(int result, int deviceError, int extendedError, char* buffer, std::size_t size);

}  // namespace kavu
