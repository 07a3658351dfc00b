#include "NetAddress.h"

#include <cstring>

namespace kavu::net {
namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Case-insensitive prefix test; returns the length of prefix on a match.
std::size_t startsWith(const char* text, const char* prefix) {
    std::size_t i = 0;
    for (; prefix[i] != '\0'; ++i)
        if (lower(text[i]) != prefix[i]) return 0;
    return i;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads a decimal number of at most 9 digits within [low, high].
bool number(const char*& p, int low, int high, int& out) {
    long value = 0;
    int digits = 0;
    while (isDigit(*p)) {
        if (++digits > 9) return false;
        value = value * 10 + (*p - '0');
        ++p;
    }
    if (digits == 0 || value < low || value > high) return false;
    out = static_cast<int>(value);
    return true;
}

bool hostCharacter(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '.' || c == '_';
}

// Hex groups, an embedded IPv4 address, and a zone after '%' (fe80::1%eth0).
bool ipv6Character(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == ':' || c == '.' || c == '%';
}

}  // namespace

bool isNetworkName(const char* name) {
    return name != nullptr && (startsWith(name, "tcp://") != 0 || startsWith(name, "rfc2217://") != 0);
}

bool parseAddress(const char* name, Address& out) {
    if (name == nullptr) return false;
    Address a;
    const char* p = name;
    if (std::size_t n = startsWith(p, "tcp://")) {
        a.kind = Kind::Transparent;
        p += n;
    } else if (std::size_t m = startsWith(p, "rfc2217://")) {
        a.kind = Kind::Rfc2217;
        p += m;
    } else {
        return false;
    }

    std::size_t length = 0;
    if (*p == '[') {
        ++p;
        while (ipv6Character(p[length])) ++length;
        if (length == 0 || p[length] != ']' || std::memchr(p, ':', length) == nullptr) return false;
        std::memcpy(a.host, p, length);
        p += length + 1;
    } else {
        while (hostCharacter(p[length])) ++length;
        if (length == 0 || length >= static_cast<std::size_t>(kHostSize)) return false;
        if (p[0] == '.' || p[0] == '-' || p[length - 1] == '-') return false;
        std::memcpy(a.host, p, length);
        p += length;
    }
    if (*p++ != ':') return false;
    if (!number(p, 1, 65535, a.port)) return false;

    if (*p == '?') {
        do {
            ++p;
            if (std::size_t n = startsWith(p, "connect=")) {
                p += n;
                if (!number(p, 1, 600000, a.connectMs)) return false;
            } else if (std::size_t m = startsWith(p, "rtt=")) {
                p += m;
                if (!number(p, 0, 60000, a.rttMs)) return false;
            } else {
                return false;
            }
        } while (*p == '&');
    }
    if (*p != '\0') return false;
    out = a;
    return true;
}

}  // namespace kavu::net
