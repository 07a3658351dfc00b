// The pure parts of the network ports: the addresses SetPortName takes and
// the Telnet framing of RFC 2217, fed as a server's stream would arrive (in
// pieces that cut commands and escapes anywhere).
#include "NetAddress.h"
#include "Telnet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace kavu;
using Bytes = std::vector<std::uint8_t>;

TEST(NetAddress, FormsOfTheLibrary)
{
    net::Address a;
    ASSERT_TRUE(net::parseAddress("TCP://plc-7.boiler.local:4001", a));
    EXPECT_EQ(a.kind, net::Kind::Transparent);
    EXPECT_STREQ(a.host, "plc-7.boiler.local");
    EXPECT_EQ(a.port, 4001);
    EXPECT_EQ(a.connectMs, net::kDefaultConnectMs);
    EXPECT_EQ(a.rttMs, -1);
    ASSERT_TRUE(net::parseAddress("rfc2217://[fe80::1%eth0]:2217?rtt=250&CONNECT=8000", a));
    EXPECT_EQ(a.kind, net::Kind::Rfc2217);
    EXPECT_STREQ(a.host, "fe80::1%eth0");
    EXPECT_EQ(a.port, 2217);
    EXPECT_EQ(a.connectMs, 8000);
    EXPECT_EQ(a.rttMs, 250);
    for (const char* bad : {"tcp://", "tcp://:4001", "tcp://host", "tcp://host:", "tcp://host:0", "tcp://host:65536",
                            "tcp://[::1:4001", "tcp://[]:4001", "tcp://[1.2.3.4]:4001", "tcp://host:4001/", "tcp://host:4001?",
                            "tcp://host:4001?connect=0", "tcp://host:4001?rtt=60001", "tcp://host:4001?baud=9600",
                            "tcp://-host:4001", "tcp://host name:4001", "udp://host:4001", "/dev/ttyS0"})
        EXPECT_FALSE(net::parseAddress(bad, a)) << bad;
    EXPECT_TRUE(net::isNetworkName("Rfc2217://x"));
    EXPECT_FALSE(net::isNetworkName("/dev/tcp://x"));
}

// Feeds the stream in pieces of `piece` bytes; returns the data.
Bytes feedInPieces(telnet::Decoder& decoder, const Bytes& stream, std::size_t piece)
{
    Bytes data;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
        const std::size_t n = std::min(piece, stream.size() - at);
        std::uint8_t out[64];
        const std::size_t got = decoder.feed(stream.data() + at, n, out);
        data.insert(data.end(), out, out + got);
    }
    return data;
}

TEST(Telnet, DataWithIacSurvivesBothWaysCutAnywhere)
{
    const Bytes data{'#', 0xFF, 0x00, 0xFF, 0xFF, 0x0D, 0xF0, 0xFA};
    std::uint8_t escaped[2 * 8];
    const std::size_t n = telnet::escape(data.data(), data.size(), escaped);
    EXPECT_EQ(n, data.size() + 3);
    // A server's reply: data, a SET-BAUDRATE answer whose value holds an
    // escaped 255, more data, a notification, data.
    Bytes stream(escaped, escaped + n);
    const std::uint8_t baud[4] = {0x00, 0x01, 0xFF, 0x00};   // 130816
    std::uint8_t command[16];
    const std::size_t c = telnet::comPortCommand(101, baud, 4, command);
    EXPECT_EQ(c, 11u);   // IAC SB 44 101, 00 01 FF FF 00, IAC SE
    stream.insert(stream.begin() + 3, command, command + c);
    const Bytes notify{0xFF, 0xFA, 44, 107, 0x30, 0xFF, 0xF0};
    stream.insert(stream.end() - 2, notify.begin(), notify.end());
    for (std::size_t piece : {1u, 2u, 3u, 5u, 64u}) {
        telnet::Decoder decoder;
        EXPECT_EQ(feedInPieces(decoder, stream, piece), data) << "pieces of " << piece;
        EXPECT_TRUE(decoder.repliesSeen() & (1u << telnet::kSetBaudRate));
        EXPECT_EQ(decoder.replyValue(telnet::kSetBaudRate), 130816u);
        EXPECT_EQ(decoder.answerLength(), 0u) << "nothing to answer";
    }
}

TEST(Telnet, NegotiationIsAnsweredOnceAndNeverLoops)
{
    telnet::Decoder decoder;
    std::uint8_t opening[telnet::Decoder::kAnswerSize];
    const std::size_t n = decoder.start(opening);
    const Bytes expected{255, 251, 44, 255, 251, 0, 255, 251, 3, 255, 253, 0, 255, 253, 3};
    EXPECT_EQ(Bytes(opening, opening + n), expected);
    EXPECT_FALSE(decoder.comPortAccepted());

    // What ser2net sends on a telnet(rfc2217) accepter: its own offers, the
    // answers to ours, and a request for an option we do not have.
    const Bytes server{255, 251, 3, 255, 253, 3, 255, 251, 1, 255, 254, 1, 255, 253, 0, 255, 251, 0,
                       255, 253, 44, 255, 253, 6, 255, 253, 3};
    feedInPieces(decoder, server, 2);
    EXPECT_TRUE(decoder.comPortAccepted());
    // Echo is refused (it would come back as reply characters), timing mark
    // declined; the confirmations of our own requests and a repeated DO are
    // not answered.
    const Bytes answers(decoder.answers(), decoder.answers() + decoder.answerLength());
    EXPECT_EQ(answers, (Bytes{255, 254, 1, 255, 252, 6}));
    decoder.takeAnswers();
    feedInPieces(decoder, {255, 251, 1, 255, 254, 44}, 1);
    EXPECT_EQ(Bytes(decoder.answers(), decoder.answers() + decoder.answerLength()), (Bytes{255, 254, 1, 255, 252, 44}));
    EXPECT_TRUE(decoder.comPortRefused());
}

}  // namespace
