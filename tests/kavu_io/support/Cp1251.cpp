#include "Cp1251.h"

#include <iconv.h>
#include <stdexcept>
#include <vector>

namespace kavu::test {

std::string cp1251(const std::string& utf8) {
    iconv_t cd = iconv_open("CP1251", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no CP1251 converter");
    std::vector<char> out(utf8.size() + 1);
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* to = out.data();
    std::size_t outLeft = out.size();
    const std::size_t r = iconv(cd, &in, &inLeft, &to, &outLeft);
    iconv_close(cd);
    if (r == static_cast<std::size_t>(-1)) throw std::runtime_error("text not convertible");
    return std::string(out.data(), static_cast<std::size_t>(to - out.data()));
}

}  // namespace kavu::test
