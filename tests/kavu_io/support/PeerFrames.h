// Frames as a device sends them, for the scripted peers of the exchange tests
// (the pseudo-terminal peer on POSIX, the COM-port peer on Windows).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kavu::test {

// Builds frame text (with CR) as a device would send it.
std::string frameText(std::uint16_t hash, bool requestFlag, int address, bool longAddress,
                      const std::vector<std::uint8_t>& data);
// Reply to a request text: same address and hash, request flag clear.
std::string replyTo(const std::string& request, const std::vector<std::uint8_t>& data);
// Error reply (hash 0x0233) to the address of a request.
std::string errorReplyTo(const std::string& request, const std::vector<std::uint8_t>& data);

}  // namespace kavu::test
