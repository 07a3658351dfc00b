// Windows build of the test helper: the system's converters instead of iconv.
#include "Cp1251.h"

#include <stdexcept>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace kavu::test {

std::string cp1251(const std::string& utf8)
{
    if (utf8.empty())
        return {};
    const int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                         static_cast<int>(utf8.size()), nullptr, 0);
    if (wide <= 0)
        throw std::runtime_error("text is not UTF-8");
    std::wstring text(static_cast<std::size_t>(wide), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), wide);
    BOOL lossy = FALSE;
    const int bytes = WideCharToMultiByte(1251, 0, text.data(), wide, nullptr, 0, nullptr, &lossy);
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(1251, 0, text.data(), wide, out.data(), bytes, nullptr, &lossy);
    if (lossy)
        throw std::runtime_error("text not convertible");
    return out;
}

}  // namespace kavu::test
