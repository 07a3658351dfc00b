// The address of a port behind a serial device server, as SetPortName takes
// it in place of a device path:
//   tcp://HOST:PORT[?OPTIONS]       transparent TCP ("raw" server mode)
//   rfc2217://HOST:PORT[?OPTIONS]   Telnet with the COM-PORT-OPTION
// HOST is a name, an IPv4 address or an IPv6 address in brackets; PORT is
// 1..65535; OPTIONS are NAME=MS pairs joined by '&':
//   connect=MS   connect time-out, 1..600000 (default 3000)
//   rtt=MS       the link's round-trip time, 0..60000, used instead of the
//                one measured
// Scheme and option names are case-insensitive. Plain text, no OS.
#pragma once

namespace kavu::net {

enum class Kind { Transparent, Rfc2217 };

constexpr int kHostSize = 256;
constexpr int kDefaultConnectMs = 3000;

struct Address {
    Kind kind = Kind::Transparent;
    char host[kHostSize] = {};   // without brackets
    int port = 0;
    int connectMs = kDefaultConnectMs;
    int rttMs = -1;              // -1: measured
};

// True when the name starts with one of the network schemes (the rest may
// still be malformed: parseAddress tells).
bool isNetworkName(const char* name);

// Parses a network port name; false when it is not one or not well formed.
bool parseAddress(const char* name, Address& out);

}  // namespace kavu::net
