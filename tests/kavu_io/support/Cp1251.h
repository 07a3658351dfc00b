// Converts UTF-8 test texts into the Windows-1251 bytes the library writes.
#pragma once

#include <string>

namespace kavu::test {
std::string cp1251(const std::string& utf8);
}
