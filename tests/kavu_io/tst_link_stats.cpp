// Link-health counters over a pseudo-terminal against a scripted peer:
// every failure kind lands in its own counter, repeats count as attempts,
// reply times go into the right bin, reset and the size check work.
#include "PtyPeer.h"
#include "kavu_io.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using kavu::test::errorReplyTo;
using kavu::test::PtyPeer;
using kavu::test::replyTo;

namespace {

constexpr int kPort = 201;
constexpr int kSpeed115200 = 8;
constexpr int kShorterReplyMs = -164;   // 100 ms reply time-out at 115200 bit/s

using Answer = std::function<std::string(const std::string& request)>;

std::string badCrc(const std::string& request) {
    std::string s = replyTo(request, {1});
    s[s.size() - 2] = s[s.size() - 2] == 'G' ? 'H' : 'G';
    return s;
}

class LinkStats : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(SetApiMode(0), 0);
        ASSERT_EQ(SetTimeout(kShorterReplyMs), 0);
        ASSERT_EQ(SetPortName(kPort, peer.slaveName().c_str()), 0);
        ASSERT_EQ(OpenPort(kPort, kSpeed115200, 0, 1, 0, 1), 0);
    }
    void TearDown() override {
        peer.finish();
        ClosePort();
        SetTimeout(0);
        SetMaxRetriesGlobal(1);
        SetPortName(kPort, nullptr);
    }
    // Answers requests in turn with the given answers (delayed by delayMs).
    void serve(std::vector<Answer> answers, int delayMs = 0) {
        peer.run([answers, delayMs](PtyPeer& p) {
            for (const Answer& answer : answers) {
                const std::string request = p.readRequest(3000);
                if (request.empty()) return;
                const std::string reply = answer(request);
                if (delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
                if (!reply.empty()) p.write(reply);
            }
        });
    }
    static KavuLinkStats stats() {
        KavuLinkStats s{};
        s.size = sizeof s;
        EXPECT_EQ(GetLinkStats(&s), 0);
        return s;
    }
    static unsigned replies(const KavuLinkStats& s) {
        unsigned n = 0;
        for (unsigned b : s.replyTimeBins) n += b;
        return n;
    }
    PtyPeer peer;
};

const Answer ok = [](const std::string& r) { return replyTo(r, {1}); };
const Answer silent = [](const std::string&) { return std::string(); };

}  // namespace

TEST_F(LinkStats, EveryResultKindHasItsCounter) {
    KavuLinkStats s = stats();
    EXPECT_EQ(s.size, sizeof(KavuLinkStats));
    EXPECT_EQ(s.exchanges, 0u);
    EXPECT_EQ(replies(s), 0u);

    int i = 0;
    float f = 0;
    SetMaxRetriesGlobal(2);
    // time-out, bad CRC, then good: one exchange, three attempts
    serve({silent, badCrc, ok});
    EXPECT_EQ(ReadUInt(16, 0, "A.Len", &i, -1), 0);
    peer.finish();
    // three time-outs: the exchange fails
    serve({silent, silent, silent});
    EXPECT_EQ(ReadUInt(16, 0, "A.Len", &i, -1), KAVU_E_TIMEOUT);
    peer.finish();
    // wrong hash (bad reply), then an error reply that is not repeated
    serve({[](const std::string&) { return kavu::test::frameText(0x1234, false, 16, false, {1}); },
           [](const std::string& r) { return errorReplyTo(r, {0x28}); }});
    EXPECT_EQ(ReadUInt(16, 0, "A.Len", &i, -1), KAVU_E_DEVICE_ERROR);
    peer.finish();
    // an exception value and a reply too short for its index
    serve({[](const std::string& r) { return replyTo(r, {0xF0, 0x0D, 0x00}); },
           [](const std::string& r) { return replyTo(r, {0x07}); }});
    EXPECT_EQ(ReadFloat24(16, 0, "T.sp", &f, -1), KAVU_E_EXCEPTION);
    EXPECT_EQ(ReadUInt(16, 0, "t.L", &i, 3), KAVU_E_REPLY_FORMAT);
    peer.finish();

    s = stats();
    EXPECT_EQ(s.exchanges, 5u);
    EXPECT_EQ(s.attempts, 3u + 3u + 2u + 2u);
    EXPECT_EQ(s.timeouts, 4u);
    EXPECT_EQ(s.crcErrors, 1u);
    EXPECT_EQ(s.badReplies, 2u);     // the wrong hash and the missing index
    EXPECT_EQ(s.deviceErrors, 1u);
    EXPECT_EQ(s.exceptions, 1u);
    EXPECT_EQ(replies(s), s.attempts - s.timeouts);
    EXPECT_GT(s.worstReplyUs, 0u);

    ASSERT_EQ(ResetLinkStats(), 0);
    s = stats();
    EXPECT_EQ(s.exchanges + s.attempts + s.timeouts + s.crcErrors + s.badReplies + s.deviceErrors + s.exceptions +
                  replies(s) + s.worstReplyUs,
              0u);
}

TEST_F(LinkStats, ReplyTimesFallIntoTheirBins) {
    SetMaxRetriesGlobal(0);
    int i = 0;
    serve({ok, ok}, 0);
    EXPECT_EQ(ReadUInt(16, 0, "A.Len", &i, -1), 0);
    EXPECT_EQ(ReadUInt(16, 0, "A.Len", &i, -1), 0);
    peer.finish();
    serve({ok}, 30);
    EXPECT_EQ(ReadUInt(16, 0, "A.Len", &i, -1), 0);
    peer.finish();
    const KavuLinkStats s = stats();
    // Immediate answers take well under 5 ms (a busy machine may add a few);
    // the delayed one 30 ms plus scheduling, so it lands in "< 50 ms" or later.
    EXPECT_EQ(s.replyTimeBins[0] + s.replyTimeBins[1] + s.replyTimeBins[2], 2u);
    unsigned late = 0;
    for (int b = 4; b < KAVU_REPLY_TIME_BINS; ++b) late += s.replyTimeBins[b];
    EXPECT_EQ(s.replyTimeBins[3] + late, 1u);
    EXPECT_GE(s.worstReplyUs, 30000u);
}

TEST_F(LinkStats, ArgumentsAndPorts) {
    KavuLinkStats s{};
    EXPECT_EQ(GetLinkStats(nullptr), KAVU_E_NULL_POINTER);
    s.size = sizeof s - 1;
    s.exchanges = 77;
    EXPECT_EQ(GetLinkStats(&s), KAVU_E_ARGUMENT);
    EXPECT_EQ(s.exchanges, 77u);   // nothing written
    // A new port starts at zero; without a port both functions say so.
    int i = 0;
    SetMaxRetriesGlobal(0);
    serve({silent});
    EXPECT_EQ(ReadUInt(16, 0, "A.Len", &i, -1), KAVU_E_TIMEOUT);
    peer.finish();
    EXPECT_EQ(stats().timeouts, 1u);
    ASSERT_EQ(ClosePort(), 0);
    s.size = sizeof s;
    EXPECT_EQ(GetLinkStats(&s), KAVU_E_NO_PORT);
    EXPECT_EQ(ResetLinkStats(), KAVU_E_NO_PORT);
    ASSERT_EQ(OpenPort(kPort, kSpeed115200, 0, 1, 0, 1), 0);
    EXPECT_EQ(stats().timeouts, 0u);
}
