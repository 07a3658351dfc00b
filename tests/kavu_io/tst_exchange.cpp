// The exchange engine end to end over a pseudo-terminal: the library opens
// the slave, a scripted peer answers on the master. Request bytes, reply
// decoding of every typed operation, error and exception replies, faults on
// the line, repeats, time-outs, traces.
#include "Cp1251.h"
#include "PtyPeer.h"
#include "frame_codec.h"
#include "kavu_io.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using kavu::test::cp1251;
using kavu::test::frameText;
using kavu::test::nowMs;
using kavu::test::PtyPeer;
using kavu::test::replyTo;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr int kPort = 200;
constexpr int kSpeed115200 = 8;
// Shortens the reply time-out at 115200 bit/s from 264 ms to 100 ms.
constexpr int kShorterReplyMs = -164;

using Answer = std::function<std::string(const std::string& request)>;

std::uint16_t hashOf(const char* name) { return kavu::codec::nameHash(name); }

std::string requestText(const char* name, bool read, int address, bool longAddress, const Bytes& data) {
    return frameText(hashOf(name), read, address, longAddress, data);
}

std::string lastErrorText() {
    char buffer[KAVU_ERROR_TEXT_SIZE];
    LastErrToStr(buffer);
    return buffer;
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class Exchange : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(SetApiMode(0), 0);
        ASSERT_EQ(SetMaxRetriesGlobal(0), 0);
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

    // Answers up to `count` requests; an empty answer sends nothing.
    void serve(int count, Answer answer) {
        peer.run([this, count, answer](PtyPeer& p) {
            for (int i = 0; i < count; ++i) {
                const std::string request = p.readRequest(3000);
                if (request.empty()) return;
                requests.push_back(request);
                const std::string reply = answer(request);
                if (!reply.empty()) p.write(reply);
            }
        });
    }
    void serveData(const Bytes& data) {
        serve(1, [data](const std::string& r) { return replyTo(r, data); });
    }
    // Sends the reply in pieces with a pause before every piece but the first.
    void servePieces(const Bytes& data, std::vector<int> cuts, int gapMs) {
        peer.run([this, data, cuts, gapMs](PtyPeer& p) {
            const std::string request = p.readRequest(3000);
            requests.push_back(request);
            const std::string reply = replyTo(request, data);
            std::size_t from = 0;
            for (std::size_t i = 0; i <= cuts.size(); ++i) {
                const std::size_t to = i < cuts.size() ? static_cast<std::size_t>(cuts[i]) : reply.size();
                if (i > 0) sleepMs(gapMs);
                p.write(reply.substr(from, to - from));
                from = to;
            }
        });
    }
    std::size_t requestCount() {
        peer.finish();
        return requests.size();
    }

    PtyPeer peer;
    std::vector<std::string> requests;
};

}  // namespace

// ------------------------------------------------------------ request bytes

TEST_F(Exchange, RequestBytesOfTypedOperations) {
    float f = 0;
    int i = 0;
    struct Case {
        const char* what;
        std::function<int()> call;
        std::string request;
        Bytes reply;
    };
    const Case cases[] = {
        {"ReadUInt A.Len", [&] { return ReadUInt(16, 0, "A.Len", &i, -1); }, "#HGHGHUTISROI\r", {0x01}},
        {"ReadUInt t.L[3]", [&] { return ReadUInt(16, 0, "t.L", &i, 3); }, "#HGHIGNQQGGGJJJMT\r", {0x01, 0, 3}},
        {"WriteFloat24 T.sp long", [&] { return WriteFloat24(1001, 1, "T.sp", 10.0f, -1); },
         "#NTIJGISSKHIGGGJPGU\r", {0x41, 0x20, 0x00}},
        {"WriteByte", [&] { return WriteByte(5, 0, "Addr", 0x1FF, -1); }, requestText("Addr", false, 5, false, {0xFF}),
         {}},
        {"WriteWord index", [&] { return WriteWord(5, 0, "Addr", 0x1234, 0x0102); },
         requestText("Addr", false, 5, false, {0x12, 0x34, 0x01, 0x02}), {}},
        {"WriteIEEE32", [&] { return WriteIEEE32(7, 0, "T.sp", 10.0f, -1); },
         requestText("T.sp", false, 7, false, {0x41, 0x20, 0, 0}), {0x41, 0x20, 0, 0}},
        {"WriteStoredDotS", [&] { return WriteStoredDotS(7, 0, "T.sp", 25.5f, 2); },
         requestText("T.sp", false, 7, false, {0x10, 0xFF, 0, 2}), {}},
        {"WriteStoredDotEx", [&] { return WriteStoredDotEx(7, 0, "T.sp", 25.5f, 0, -1); },
         requestText("T.sp", false, 7, false, {0x00, 0x19}), {}},
        {"WriteCSET", [&] { return WriteCSET(7, 0, 999); }, requestText("CSET", false, 7, false, {0x09, 0x99}),
         {0x09, 0x99}},
        {"ReadDTMR", [&] { int a, b, c, d; return ReadDTMR(9, 0, &a, &b, &c, &d); },
         requestText("DTMR", true, 9, false, {}), {1, 2, 3, 4, 5, 6, 7}},
        {"ReadRTC", [&] { char t[KAVU_RTC_TEXT_SIZE]; return ReadRTC(9, 0, t); }, requestText("RTC", true, 9, false, {}),
         {12, 0x10}},
        {"ReadPkpBCD long", [&] { return ReadPkpBCD(1001, 1, "A.Len", &f); }, requestText("A.Len", true, 1001, true, {}),
         {0, 0x12, 0x34}},
        {"bad name hashes to 0", [&] { return ReadUInt(16, 0, "T.sp[0]", &i, -1); }, frameText(0, true, 16, false, {}),
         {1}},
    };
    for (const Case& c : cases) {
        requests.clear();
        const Bytes reply = c.reply;
        serveData(reply);
        EXPECT_EQ(c.call(), 0) << c.what;
        ASSERT_EQ(requestCount(), 1u) << c.what;
        EXPECT_EQ(requests[0], c.request) << c.what;
    }
}

// ---------------------------------------------------------- reply decoding

TEST_F(Exchange, IntegerAndStoredDotReads) {
    int i = -7;
    serveData({0x01, 0x02, 0x03});
    EXPECT_EQ(ReadUInt(16, 0, "A.Len", &i, -1), 0);
    EXPECT_EQ(i, 66051);
    peer.finish();
    serveData({0x01, 0x02, 0x03, 0x00, 0x04});   // index echoed at the end
    EXPECT_EQ(ReadUInt(16, 0, "A.Len", &i, 4), 0);
    EXPECT_EQ(i, 66051);
    peer.finish();
    serveData({0x80, 0x05});
    EXPECT_EQ(ReadSInt(16, 0, "A.Len", &i, -1), 0);
    EXPECT_EQ(i, -5);
    peer.finish();

    float f = 0;
    serveData({0x10, 0xFF});
    EXPECT_EQ(ReadStoredDotS(16, 0, "A.Len", &f, -1), 0);
    EXPECT_FLOAT_EQ(f, 25.5f);
    peer.finish();
    serveData({1, 2, 3, 4});
    EXPECT_EQ(ReadStoredDotS(16, 0, "A.Len", &f, -1), 0);
    EXPECT_EQ(f, 0.0f);
    peer.finish();
    int e = -1;
    serveData({0x9F});
    EXPECT_EQ(ReadStoredDotEx(16, 0, "A.Len", &f, &e, -1), 0);
    EXPECT_FLOAT_EQ(f, -1.5f);
    EXPECT_EQ(e, 1);
    peer.finish();
    f = 3.0f;
    serveData({1, 2, 3, 4});
    EXPECT_EQ(ReadStoredDotEx(16, 0, "A.Len", &f, &e, -1), KAVU_E_REPLY_FORMAT);
    EXPECT_EQ(f, 3.0f);   // untouched on failure
    peer.finish();

    const struct { Bytes data; float value; } unsignedCases[] = {
        {{0xFE}, 254.0f}, {{0x12, 0x34}, 4660.0f}, {{0xC0, 0x20, 0x00}, -2.5f}, {{0x41, 0x20, 0, 0, 9}, 10.0f}};
    for (const auto& c : unsignedCases) {
        serveData(c.data);
        EXPECT_EQ(ReadStoredDotU(16, 0, "A.Len", &f, -1), 0);
        EXPECT_FLOAT_EQ(f, c.value);
        peer.finish();
    }
}

TEST_F(Exchange, FloatReadsAndTails) {
    float f = 0;
    int tail = 0;
    serveData({0xC0, 0x20, 0x00});
    EXPECT_EQ(ReadFloat24(16, 0, "T.sp", &f, -1), 0);
    EXPECT_FLOAT_EQ(f, -2.5f);
    peer.finish();
    serveData({0xC0, 0x20, 0x00, 0x00, 0x01});
    EXPECT_EQ(ReadFloat24(16, 0, "T.sp", &f, 1), 0);
    peer.finish();

    const struct { Bytes data; int result; float value; int tail; } cases[] = {
        {{0x41, 0x20, 0, 0}, 0, 10.0f, -1},
        {{0x41, 0x20, 0, 0x12, 0x34}, 0, 10.0f, 0x1234},
        {{0x41, 0x20, 0, 0, 0xAB, 0xCD}, 0, 10.0f, 0xABCD},
        {{0x41, 0x20, 0, 0, 1, 2, 3}, KAVU_E_REPLY_FORMAT, 0, 0},
        {{0x41, 0x20, 0}, KAVU_E_REPLY_FORMAT, 0, 0},
    };
    for (const auto& c : cases) {
        f = 0;
        tail = 0;
        serveData(c.data);
        EXPECT_EQ(ReadIEEE32(16, 0, "T.sp", &f, &tail, -1), c.result);
        EXPECT_FLOAT_EQ(f, c.value);
        EXPECT_EQ(tail, c.tail);
        peer.finish();
    }
}

TEST_F(Exchange, BcdDtmrCsetRtcReads) {
    float f = 0;
    int i = 0;
    serveData({0x00, 0x12, 0x34});
    EXPECT_EQ(ReadPkpBCD(16, 0, "A.Len", &f), 0);
    EXPECT_FLOAT_EQ(f, 123.4f);
    peer.finish();
    serveData({0x81, 0x23, 0x45, 0x67});
    EXPECT_EQ(ReadSI8BCD(16, 0, "A.Len", &i), 0);
    EXPECT_EQ(i, -1234567);
    peer.finish();
    serveData({0x81, 0x23, 0x45});
    EXPECT_EQ(ReadSI8BCD(16, 0, "A.Len", &i), KAVU_E_REPLY_FORMAT);
    peer.finish();

    int a = 0, b = 0, c = 0, d = 0;
    serveData({0x01, 0x23, 0x45, 0x06, 0x07, 0x08, 0x99});
    EXPECT_EQ(ReadDTMR(16, 0, &a, &b, &c, &d), 0);
    EXPECT_EQ(a, 12345);
    EXPECT_EQ(b, 6);
    EXPECT_EQ(c, 7);
    EXPECT_EQ(d, 80);
    peer.finish();
    serveData({0x01, 0x23, 0x45, 0x06, 0x07, 0x08});
    EXPECT_EQ(ReadDTMR(16, 0, &a, &b, &c, &d), KAVU_E_REPLY_FORMAT);
    peer.finish();

    serveData({0x10, 0x00, 0x00});
    EXPECT_EQ(WriteCSET(16, 0, 1000), KAVU_E_REPLY_FORMAT);
    peer.finish();
    EXPECT_EQ(requests.back(), requestText("CSET", false, 16, false, {0x10, 0x00}));

    char text[KAVU_RTC_TEXT_SIZE] = "stale";
    serveData({11, 9, 4, 6, 9, 46, 0x61});
    EXPECT_EQ(ReadRTC(16, 0, text), 0);
    EXPECT_STREQ(text, "2011/10/05/06:09:46");
    peer.finish();
    serveData({11, 12, 0x25});
    EXPECT_EQ(ReadRTC(16, 0, text), KAVU_E_REPLY_FORMAT);
    EXPECT_STREQ(text, "");
}

TEST_F(Exchange, IndexedReadWithoutIndexInReplyIsRejected) {
    int i = 5;
    serveData({0x07});
    EXPECT_EQ(ReadUInt(16, 0, "t.L", &i, 3), KAVU_E_REPLY_FORMAT);
    EXPECT_EQ(i, 0);
    peer.finish();
    float f = 1.0f;
    serveData({0x07});
    EXPECT_EQ(ReadStoredDotS(16, 0, "t.L", &f, 3), KAVU_E_REPLY_FORMAT);
    EXPECT_EQ(f, 1.0f);
}

// --------------------------------------------- error replies and exceptions

TEST_F(Exchange, ErrorRepliesAreAskedOnceAndExplained) {
    SetMaxRetriesGlobal(3);
    int i = 0;
    serve(4, [](const std::string& r) { return kavu::test::errorReplyTo(r, {0x28}); });
    EXPECT_EQ(ReadUInt(16, 0, "A.Len", &i, -1), KAVU_E_DEVICE_ERROR);
    EXPECT_EQ(GetDeviceLastErr(), 0x28);
    EXPECT_EQ(lastErrorText(), cp1251("Не найден дескриптор"));
    peer.finish();
    EXPECT_EQ(requests.size(), 1u);

    serve(1, [](const std::string& r) { return kavu::test::errorReplyTo(r, {0x10}); });
    EXPECT_EQ(WriteByte(16, 0, "A.Len", 1, -1), KAVU_E_DEVICE_ERROR);
    EXPECT_EQ(lastErrorText(), cp1251("Прибор вернул nErr: 10"));
    peer.finish();

    serve(1, [](const std::string& r) { return kavu::test::errorReplyTo(r, {}); });
    EXPECT_EQ(WriteByte(16, 0, "A.Len", 1, -1), KAVU_E_DEVICE_ERROR);
    EXPECT_EQ(GetDeviceLastErr(), -1);
}

TEST_F(Exchange, ExceptionValuesOfReadsAndWrites) {
    SetMaxRetriesGlobal(2);
    float f = 4.0f;
    serve(3, [](const std::string& r) { return replyTo(r, {0xF0, 0x0D, 0x00}); });
    EXPECT_EQ(ReadFloat24(16, 0, "T.sp", &f, -1), KAVU_E_EXCEPTION);
    EXPECT_EQ(f, 4.0f);
    EXPECT_EQ(GetExtendedLastErr(), 0xF00D);
    EXPECT_EQ(GetDeviceLastErr(), -1);
    EXPECT_EQ(lastErrorText(), cp1251("Исключительная ситуация: F00D"));
    peer.finish();
    EXPECT_EQ(requests.size(), 1u);

    serveData({0xF0, 0x0D, 0x00});
    EXPECT_EQ(WriteFloat24(16, 0, "T.sp", 1.0f, -1), KAVU_E_EXCEPTION);
    EXPECT_EQ(GetExtendedLastErr(), 0x00D);
    EXPECT_EQ(lastErrorText(), cp1251("Обрыв датчика."));
    peer.finish();

    serveData({0xFF, 0xFF, 0, 0});
    EXPECT_EQ(ReadIEEE32(16, 0, "T.sp", &f, nullptr, -1), KAVU_E_EXCEPTION);
    EXPECT_EQ(GetExtendedLastErr(), 0xFFFF);
    peer.finish();

    serveData({0x41, 0x20, 0x00, 0x00, 0x00});
    EXPECT_EQ(WriteIEEE32(16, 0, "T.sp", 10.0f, -1), KAVU_E_REPLY_FORMAT);
    peer.finish();

    // A later success clears the error state.
    serveData({0x41, 0x20, 0x00});
    EXPECT_EQ(ReadFloat24(16, 0, "T.sp", &f, -1), 0);
    EXPECT_EQ(GetExtendedLastErr(), 0);
    EXPECT_EQ(lastErrorText(), cp1251("Операция завершилась успешно"));
}

// ------------------------------------------------------------ line faults

TEST_F(Exchange, FaultsOnTheLine) {
    int i = 0;
    const struct {
        const char* what;
        Answer answer;
        int result;
    } cases[] = {
        {"no reply", [](const std::string&) { return std::string(); }, KAVU_E_TIMEOUT},
        {"bad CRC",
         [](const std::string& r) {
             std::string s = replyTo(r, {1});
             s[s.size() - 2] = s[s.size() - 2] == 'G' ? 'H' : 'G';
             return s;
         },
         KAVU_E_CRC},
        {"wrong hash", [](const std::string&) { return frameText(0x1234, false, 16, false, {1}); }, KAVU_E_BAD_REPLY},
        {"garbage character",
         [](const std::string& r) {
             std::string s = replyTo(r, {1});
             s[3] = 'x';
             return s;
         },
         KAVU_E_BAD_REPLY},
        {"leading space", [](const std::string& r) { return " " + replyTo(r, {1}); }, KAVU_E_BAD_REPLY},
        {"characters after the CR", [](const std::string& r) { return replyTo(r, {1}) + "#GARBAGE\r\n"; }, 0},
        {"44 characters without CR",
         [](const std::string& r) {
             std::string s = replyTo(r, Bytes(15, 0x11));
             s.back() = 'G';
             return s;
         },
         KAVU_E_BAD_REPLY},
        {"odd length", [](const std::string& r) { std::string s = replyTo(r, {1}); return s.erase(s.size() - 2, 1); },
         KAVU_E_BAD_REPLY},
        {"length field disagrees",
         [](const std::string& r) {
             std::string s = replyTo(r, {1, 2});
             s.erase(s.size() - 3, 2);
             return s;
         },
         KAVU_E_BAD_REPLY},
        {"line feed instead of CR", [](const std::string& r) { std::string s = replyTo(r, {1}); s.back() = '\n'; return s; },
         KAVU_E_BAD_REPLY},
    };
    for (const auto& c : cases) {
        requests.clear();
        serve(1, c.answer);
        EXPECT_EQ(ReadUInt(16, 0, "A.Len", &i, -1), c.result) << c.what;
        peer.finish();
        peer.drain();
        EXPECT_EQ(requests.size(), 1u) << c.what;
    }
    // A time-out leaves the device error code 0, any other reply -1.
    serve(1, [](const std::string&) { return std::string(); });
    EXPECT_EQ(ReadUInt(16, 0, "A.Len", &i, -1), KAVU_E_TIMEOUT);
    EXPECT_EQ(GetDeviceLastErr(), 0);
    EXPECT_EQ(lastErrorText(), cp1251("Устройство не отвечает"));
}

TEST_F(Exchange, ReplyInPiecesWithShortGapsIsAccepted) {
    int i = 0;
    // Four pieces need one read per gap unless the gaps stay under 20 ms.
    servePieces({1, 2, 3, 4, 5, 6}, {3, 9, 20}, 4);
    EXPECT_EQ(ReadUInt(16, 0, "A.Len", &i, -1), 0);
    EXPECT_EQ(i, 0x03040506);   // low 32 bits of six bytes
}

TEST_F(Exchange, ReplyInPiecesWithLongGapsTimesOut) {
    int i = 0;
    // Gaps long enough that a reader delayed by a loaded machine (or a
    // sanitizer) still meets them, not the whole reply at once.
    servePieces({1, 2, 3, 4, 5, 6}, {8, 16}, 150);
    EXPECT_EQ(ReadUInt(16, 0, "A.Len", &i, -1), KAVU_E_TIMEOUT);
    peer.finish();
    // One long gap is bridged by the second read.
    servePieces({1, 2, 3, 4, 5, 6}, {8}, 40);
    EXPECT_EQ(ReadUInt(16, 0, "A.Len", &i, -1), 0);
}

TEST_F(Exchange, FewerThanFiveCharactersFirstMakesLongReplyTimeOut) {
    int i = 0;
    servePieces({1, 2, 3, 4, 5, 6}, {3}, 40);
    EXPECT_EQ(ReadUInt(16, 0, "A.Len", &i, -1), KAVU_E_TIMEOUT);
}

// ---------------------------------------------------------------- repeats

TEST_F(Exchange, RepeatCountsPerResult) {
    SetMaxRetriesGlobal(2);
    int i = 0;
    const struct {
        const char* what;
        Answer answer;
        int result;
        std::size_t attempts;
    } cases[] = {
        {"time-out", [](const std::string&) { return std::string(); }, KAVU_E_TIMEOUT, 3},
        {"CRC", [](const std::string&) { return frameText(0x1234, false, 16, false, {1}).replace(3, 1, "H"); },
         KAVU_E_CRC, 3},
        {"bad reply", [](const std::string&) { return std::string("#zz\r"); }, KAVU_E_BAD_REPLY, 3},
        {"error reply", [](const std::string& r) { return kavu::test::errorReplyTo(r, {1}); }, KAVU_E_DEVICE_ERROR, 1},
        {"ok", [](const std::string& r) { return replyTo(r, {1}); }, 0, 1},
        {"ok at the second attempt",
         [n = 0](const std::string& r) mutable { return n++ == 0 ? std::string() : replyTo(r, {1}); }, 0, 2},
    };
    for (const auto& c : cases) {
        requests.clear();
        serve(3, c.answer);
        EXPECT_EQ(ReadUInt(16, 0, "A.Len", &i, -1), c.result) << c.what;
        peer.finish();
        peer.drain();
        EXPECT_EQ(requests.size(), c.attempts) << c.what;
        for (const std::string& r : requests) EXPECT_EQ(r, requests.front()) << c.what;   // same frame every time
    }
    // Length errors and exceptions are not repeated.
    requests.clear();
    serve(3, [](const std::string& r) { return replyTo(r, {1, 2}); });
    float f;
    EXPECT_EQ(ReadFloat24(16, 0, "T.sp", &f, -1), KAVU_E_REPLY_FORMAT);
    EXPECT_EQ(requestCount(), 1u);
}

TEST_F(Exchange, TwoAttemptTimeOutTakesTheDocumentedTime) {
    ClosePort();
    SetTimeout(0);
    ASSERT_EQ(OpenPort(kPort, 2, 0, 1, 0, 1), 0);   // 9600 bit/s: T = 315 ms
    SetMaxRetriesGlobal(1);
    int i = 0;
    const double start = nowMs();
    EXPECT_EQ(ReadUInt(16, 0, "A.Len", &i, -1), KAVU_E_TIMEOUT);
    const double elapsed = nowMs() - start;
    const double expected = 2 * (315 + 14) + 10 + 20;
    EXPECT_GE(elapsed, expected - 2);
    EXPECT_LT(elapsed, expected + 400);
    EXPECT_EQ(peer.readAny(20).size(), 2 * 14u);   // two identical requests went out
}

TEST_F(Exchange, SetTimeoutAffectsOnlyLaterPorts) {
    int i = 0;
    SetTimeout(kShorterReplyMs + 200);   // ports opened from now on wait 200 ms longer
    EXPECT_EQ(GetTimeout(), kShorterReplyMs + 200);
    double start = nowMs();
    EXPECT_EQ(ReadUInt(16, 0, "A.Len", &i, -1), KAVU_E_TIMEOUT);
    const double before = nowMs() - start;
    ClosePort();
    ASSERT_EQ(OpenPort(kPort, kSpeed115200, 0, 1, 0, 1), 0);
    start = nowMs();
    EXPECT_EQ(ReadUInt(16, 0, "A.Len", &i, -1), KAVU_E_TIMEOUT);
    const double after = nowMs() - start;
    EXPECT_GE(before, 100 + 14 + 10 - 2);
    EXPECT_LT(before, 100 + 14 + 10 + 150);
    EXPECT_GE(after, 300 + 14 + 10 - 2);
}

// ------------------------------------------------------ raw exchange, listen

TEST_F(Exchange, KavuIORawExchange) {
    unsigned char buffer[KAVU_MAX_DATA] = {0x00, 0x03};
    int size = 2;
    serveData({'H', 'R', 'C', '4', '1', '7', 0, 3});
    EXPECT_EQ(KavuIO(16, 0, 1, "t.L", buffer, &size), 0);
    peer.finish();
    EXPECT_EQ(requests.at(0), "#HGHIGNQQGGGJJJMT\r");   // the caller's bytes carry the index
    EXPECT_EQ(size, 8);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 6), "HRC417");
    peer.finish();

    // Without a decoded reply the request's own bytes stay.
    unsigned char mine[KAVU_MAX_DATA] = {9, 8, 7};
    size = 3;
    serve(1, [](const std::string&) { return std::string(); });
    EXPECT_EQ(KavuIO(16, 0, 0, "Dev", mine, &size), KAVU_E_TIMEOUT);
    EXPECT_EQ(size, 3);
    EXPECT_EQ(mine[0], 9);
    EXPECT_EQ(mine[2], 7);
    peer.finish();

    // An error reply is a decoded frame: its data come back.
    size = 0;
    serve(1, [](const std::string& r) { return kavu::test::errorReplyTo(r, {0x28}); });
    EXPECT_EQ(KavuIO(16, 0, 1, "Dev", buffer, &size), KAVU_E_DEVICE_ERROR);
    EXPECT_EQ(size, 1);
    EXPECT_EQ(buffer[0], 0x28);
    peer.finish();

    // Argument errors: nothing is sent.
    size = 16;
    EXPECT_EQ(KavuIO(16, 0, 1, "Dev", buffer, &size), KAVU_E_ARGUMENT);
    size = -1;
    EXPECT_EQ(KavuIO(16, 0, 1, "Dev", buffer, &size), KAVU_E_ARGUMENT);
    size = 1;
    EXPECT_EQ(KavuIO(16, 0, 1, "Dev", nullptr, &size), KAVU_E_ARGUMENT);
    EXPECT_EQ(KavuIO(16, 0, 1, "Dev", buffer, nullptr), KAVU_E_ARGUMENT);
    EXPECT_EQ(peer.readAny(30), "");
}

TEST_F(Exchange, ListenReportsAnyFrame) {
    unsigned short hash = 0;
    int request = -1, address = -1, size = -1;
    unsigned char data[KAVU_MAX_DATA];
    peer.write(frameText(0xBEEF, true, 1001, true, {1, 2, 3}));
    EXPECT_EQ(Listen(0, &hash, &request, &address, data, &size), 0);
    EXPECT_EQ(hash, 0xBEEF);
    EXPECT_EQ(request, 1);
    EXPECT_EQ(address, 1001);
    EXPECT_EQ(size, 3);
    EXPECT_EQ(data[2], 3);

    peer.write(frameText(0x0233, false, 5, false, {0x27}));
    EXPECT_EQ(Listen(0, nullptr, nullptr, nullptr, data, &size), KAVU_E_DEVICE_ERROR);
    EXPECT_EQ(GetDeviceLastErr(), 0x27);

    peer.write("#GGGG\r");
    EXPECT_EQ(Listen(0, nullptr, nullptr, nullptr, data, &size), KAVU_E_BAD_REPLY);
    EXPECT_EQ(Listen(0, nullptr, nullptr, nullptr, data, &size), KAVU_E_TIMEOUT);
    EXPECT_EQ(Listen(0, nullptr, nullptr, nullptr, nullptr, &size), KAVU_E_ARGUMENT);
    EXPECT_EQ(Listen(0, nullptr, nullptr, nullptr, data, nullptr), KAVU_E_ARGUMENT);
}

TEST_F(Exchange, ListenAndSetDbgIndicationKeepTheLastResult) {
    int i = 0;
    serveData({0x01});
    EXPECT_EQ(ReadUInt(16, 0, "A.Len", &i, -1), 0);
    peer.finish();
    unsigned char data[KAVU_MAX_DATA];
    int size = 0;
    EXPECT_EQ(Listen(0, nullptr, nullptr, nullptr, data, &size), KAVU_E_TIMEOUT);
    EXPECT_EQ(SetDbgIndication(0), 0);
    EXPECT_EQ(lastErrorText(), cp1251("Операция завершилась успешно"));
}

// ------------------------------------------------------------- arguments

TEST_F(Exchange, ArgumentErrorsSendNothing) {
    EXPECT_EQ(WriteCSET(16, 0, 1001), KAVU_E_ARGUMENT);
    EXPECT_EQ(WriteCSET(16, 0, -1), KAVU_E_ARGUMENT);
    EXPECT_EQ(WriteStoredDotS(16, 0, "T.sp", 10000.0f, -1), KAVU_E_STORED_DOT);
    EXPECT_EQ(WriteStoredDotEx(16, 0, "T.sp", 1.0f, 8, -1), KAVU_E_STORED_DOT);
    EXPECT_EQ(ReadRTC(16, 0, nullptr), KAVU_E_ARGUMENT);
    EXPECT_EQ(ReadUInt(16, 0, "A.Len", nullptr, -1), KAVU_E_NULL_POINTER);
    EXPECT_EQ(ReadIEEE32(16, 0, "A.Len", nullptr, nullptr, -1), KAVU_E_NULL_POINTER);
    EXPECT_EQ(ReadDTMR(16, 0, nullptr, nullptr, nullptr, nullptr), KAVU_E_NULL_POINTER);
    EXPECT_EQ(peer.readAny(30), "");
    EXPECT_EQ(SetMaxRetriesGlobal(21), KAVU_E_ARGUMENT);
    EXPECT_EQ(SetMaxRetriesGlobal(-1), KAVU_E_ARGUMENT);
    EXPECT_EQ(GetMaxRetriesGlobal(), 0);
    EXPECT_EQ(SetMaxRetriesGlobal(20), 0);
    EXPECT_EQ(GetMaxRetriesGlobal(), 20);
}

// ----------------------------------------------------------------- traces

TEST_F(Exchange, TraceLines) {
    ASSERT_EQ(SetDbgIndication(0x3F), 0);
    int i = 0;
    serveData({0x01});
    testing::internal::CaptureStdout();
    EXPECT_EQ(ReadUInt(16, 0, "A.Len", &i, -1), 0);
    std::string out = testing::internal::GetCapturedStdout();
    peer.finish();
    const std::string reply = replyTo(requests.at(0), {0x01});
    const std::string body = reply.substr(0, reply.size() - 1);
    std::string raw;
    for (char c : reply) raw += c > 0x20 ? std::string(1, c) : std::string("\\x0D");
    kavu::codec::FrameFields fields;
    kavu::codec::decodeFrame(reply.data(), static_cast<int>(reply.size()), nullptr, fields);
    std::string packet;
    for (int k = 0; k < fields.packetLength; ++k) {
        char b[4];
        std::snprintf(b, sizeof b, " %02X", fields.packet[k]);
        packet += b;
    }
    EXPECT_EQ(packet.substr(0, 15), " 10 01 1E D2 01");
    EXPECT_EQ(out, "send data  10 10 1E D2 CB 82\n"
                   "send frame #HGHGHUTISROI\\x0D\n"
                   "recv raw   " + raw + "\n"
                   "recv frame " + body + "\\x0D\n"
                   "recv data " + packet + "\n"
                   "SHOW_RVCED_DATA not supported\n"
                   "recv ok\n"
                   "\n");

    const struct { Answer answer; const char* line; } faults[] = {
        {[](const std::string&) { return std::string(); }, "recv timed out\n"},
        {[](const std::string&) { return frameText(0x1234, false, 16, false, {}); },
         "local id mismatch: send (1ED2) recv (1234)\n"},
        {[](const std::string&) { return std::string(" #"); }, "begin of frame marker (#) is missed\n"},
        {[](const std::string&) { return std::string("#GGz"); }, "illegal character 7A at frame position 3\n"},
        {[](const std::string&) { return std::string("#GGGH") + std::string(9, 'G') + "\r"; },
         "invalid frame size or end of frame marker (0x0D) is missed\n"},
        {[](const std::string&) { return std::string("#GGGV") + std::string(39, 'G'); },
         "invalid frame size or end of frame marker (0x0D) is missed\n"},
        {[](const std::string&) { return std::string("#HGHIGNQQGGGJJJMT\r").replace(15, 2, "GG"); },
         "wrong crc: declared (3300) must be (336D)\n"},
    };
    ASSERT_EQ(SetDbgIndication(0x10), 0);
    for (const auto& f : faults) {
        peer.drain();
        serve(1, f.answer);
        testing::internal::CaptureStdout();
        ReadUInt(16, 0, "A.Len", &i, -1);
        out = testing::internal::GetCapturedStdout();
        peer.finish();
        EXPECT_NE(out.find(f.line), std::string::npos) << out;
    }
    ASSERT_EQ(SetDbgIndication(0), 0);
    serve(1, [](const std::string&) { return std::string(); });
    testing::internal::CaptureStdout();
    ReadUInt(16, 0, "A.Len", &i, -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// ----------------------------------------------------- direction control

TEST_F(Exchange, CharacterByCharacterModesWorkOnAPseudoTerminal) {
    for (int direction : {0, 2, 3}) {
        ClosePort();
        ASSERT_EQ(OpenPort(kPort, kSpeed115200, 0, 1, 0, direction), 0) << direction;
        peer.drain();   // the spaces sent while calibrating
        requests.clear();
        int i = 0;
        serveData({0x2A});
        EXPECT_EQ(ReadUInt(16, 0, "A.Len", &i, -1), 0) << direction;
        EXPECT_EQ(i, 0x2A);
        peer.finish();
        EXPECT_EQ(requests.at(0), "#HGHGHUTISROI\r");
    }
}

// ---------------------------------------------------------- no usable port

TEST(NoPort, EveryFunctionSaysSo) {
    ASSERT_EQ(SetApiMode(0), 0);
    int i = 0;
    float f = 0;
    unsigned char buffer[KAVU_MAX_DATA];
    int size = 0;
    EXPECT_EQ(ReadUInt(16, 0, "A.Len", &i, -1), KAVU_E_NO_PORT);
    EXPECT_EQ(WriteIEEE32(16, 0, "A.Len", 1.0f, -1), KAVU_E_NO_PORT);
    EXPECT_EQ(ReadFloat24(16, 0, "A.Len", &f, -1), KAVU_E_NO_PORT);
    EXPECT_EQ(KavuIO(16, 0, 1, "Dev", buffer, &size), KAVU_E_NO_PORT);
    EXPECT_EQ(Listen(0, nullptr, nullptr, nullptr, buffer, &size), KAVU_E_NO_PORT);
    EXPECT_EQ(SetDbgIndication(1), KAVU_E_NO_PORT);
    EXPECT_EQ(GetDeviceLastErr(), KAVU_E_NO_PORT);
    EXPECT_EQ(GetExtendedLastErr(), KAVU_E_NO_PORT);
    EXPECT_EQ(lastErrorText(), cp1251("Не открыт порт"));
    EXPECT_EQ(LastErrToStr(nullptr), KAVU_E_NULL_POINTER);
    EXPECT_EQ(ClosePort(), 0);
}
