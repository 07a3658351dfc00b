// libFuzzer target over the language-file reader: any bytes given as a *.lng
// file's content. Parsing must neither crash nor leak; a parsed file's tables
// hold only contexts with messages.
#include "LanguageTranslator.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    LanguageFile language;
    const bool parsed = language.parse(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    if (!parsed && language.error.isEmpty())
        std::abort();
    for (const auto &table : language.tables) {
        if (table.second.isEmpty())
            std::abort();
    }
    return 0;
}
