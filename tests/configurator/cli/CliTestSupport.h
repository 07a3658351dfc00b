// What the tests of hrc417 keep of a run of the program, and a count of
// lines in the simulator's log.
#pragma once

#include <QString>

#include <string>

namespace clitest {

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

// How often needle occurs in text.
inline int count(const std::string &text, const std::string &needle)
{
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++n;
    return n;
}

} // namespace clitest
