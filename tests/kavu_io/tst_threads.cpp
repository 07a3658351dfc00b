// Several threads at once: per-thread ports in parallel, slot mode with
// threads selecting slots, and mode changes, closes and reopens while other
// threads hold ports or are exchanging. Also run under ThreadSanitizer.
#include "PtyPeer.h"
#include "kavu_io.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using kavu::test::PtyPeer;
using kavu::test::replyTo;

namespace {

constexpr int kThreads = 4;
constexpr int kExchanges = 40;
constexpr int kSpeed115200 = 8;

// A peer that answers every request with UInt = its own number until told to finish.
void answerForever(PtyPeer& peer, std::uint8_t value) {
    peer.run([value](PtyPeer& p) {
        for (;;) {
            const std::string r = p.readRequest(5000);
            if (r.empty()) return;
            p.write(replyTo(r, {value}));
        }
    });
}

class Threads : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(SetApiMode(0), 0);
        SetMaxRetriesGlobal(0);
        SetTimeout(-164);
        for (int k = 0; k < kThreads; ++k) {
            peers.push_back(std::make_unique<PtyPeer>());
            ASSERT_EQ(SetPortName(10 + k, peers[k]->slaveName().c_str()), 0);
        }
    }
    void TearDown() override {
        for (auto& p : peers) p->finish();
        SetApiMode(1);
        SetApiMode(0);
        for (int k = 0; k < kThreads; ++k) SetPortName(10 + k, nullptr);
        SetTimeout(0);
        SetMaxRetriesGlobal(1);
    }
    std::vector<std::unique_ptr<PtyPeer>> peers;
};

}  // namespace

TEST_F(Threads, PerThreadPortsInParallel) {
    for (int k = 0; k < kThreads; ++k) answerForever(*peers[k], static_cast<std::uint8_t>(100 + k));
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int k = 0; k < kThreads; ++k) {
        threads.emplace_back([k, &good] {
            ASSERT_EQ(OpenPort(10 + k, kSpeed115200, 0, 1, 0, 1), 0);
            for (int n = 0; n < kExchanges; ++n) {
                int value = 0;
                if (ReadUInt(16, 0, "Dev", &value, -1) == 0 && value == 100 + k) ++good;
            }
            char text[KAVU_ERROR_TEXT_SIZE];
            EXPECT_EQ(LastErrToStr(text), 0);
            // The thread ends with its port open: the library closes it.
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(good.load(), kThreads * kExchanges);
    // Every port was closed at its thread's end, so they all open again.
    for (int k = 0; k < kThreads; ++k) {
        ASSERT_EQ(OpenPort(10 + k, kSpeed115200, 0, 1, 0, 1), 0) << k;
        ASSERT_EQ(ClosePort(), 0);
    }
}

TEST_F(Threads, SlotModeThreadsSelectingSlots) {
    ASSERT_EQ(SetApiMode(1), 0);
    for (int k = 0; k < kThreads; ++k) {
        ASSERT_EQ(OpenPort(10 + k, kSpeed115200, 0, 1, 0, 1), 0);
        answerForever(*peers[k], static_cast<std::uint8_t>(100 + k));
    }
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int k = 0; k < kThreads; ++k) {
        threads.emplace_back([k, &good] {
            // Each thread visits its own slot, an empty one, then its own again.
            for (int n = 0; n < kExchanges; ++n) {
                int value = 0;
                ASSERT_EQ(SelectPort(10 + k), 0);
                if (ReadUInt(16, 0, "Dev", &value, -1) == 0 && value == 100 + k) ++good;
                ASSERT_EQ(SelectPort(200 + k), 0);
                EXPECT_EQ(ReadUInt(16, 0, "Dev", &value, -1), KAVU_E_NO_PORT);
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(good.load(), kThreads * kExchanges);
    // Slot ports outlive the threads that used them.
    ASSERT_EQ(SelectPort(10), 0);
    int value = 0;
    EXPECT_EQ(ReadUInt(16, 0, "Dev", &value, -1), 0);
}

TEST_F(Threads, ModeChangeWhileOtherThreadsExchange) {
    for (int k = 0; k < kThreads; ++k) answerForever(*peers[k], static_cast<std::uint8_t>(100 + k));
    std::atomic<int> opened{0};
    std::atomic<int> sawNoPort{0};
    std::vector<std::thread> threads;
    for (int k = 0; k < kThreads; ++k) {
        threads.emplace_back([k, &opened, &sawNoPort] {
            ASSERT_EQ(OpenPort(10 + k, kSpeed115200, 0, 1, 0, 1), 0);
            ++opened;
            // Exchange until the mode change takes the port away.
            for (int n = 0; n < 100000; ++n) {
                int value = 0;
                const int r = ReadUInt(16, 0, "Dev", &value, -1);
                if (r == KAVU_E_NO_PORT) {
                    ++sawNoPort;
                    break;
                }
                EXPECT_TRUE(r == 0 || r == KAVU_E_TIMEOUT) << r;
            }
            EXPECT_EQ(ClosePort(), KAVU_E_NO_PORT);   // slot mode now: nothing current
        });
    }
    while (opened.load() < kThreads) std::this_thread::yield();
    int value = 0;
    ASSERT_EQ(SetApiMode(1), 0);   // closes the ports under the running exchanges
    for (auto& t : threads) t.join();
    EXPECT_EQ(sawNoPort.load(), kThreads);
    EXPECT_EQ(ReadUInt(16, 0, "Dev", &value, -1), KAVU_E_NO_PORT);
}

TEST_F(Threads, ClosingASharedSlotWhileAnotherThreadExchanges) {
    ASSERT_EQ(SetApiMode(1), 0);
    ASSERT_EQ(OpenPort(10, kSpeed115200, 0, 1, 0, 1), 0);
    answerForever(*peers[0], 7);
    std::atomic<bool> started{false};
    std::thread user([&] {
        ASSERT_EQ(SelectPort(10), 0);
        for (int n = 0; n < 100000; ++n) {
            int value = 0;
            const int r = ReadUInt(16, 0, "Dev", &value, -1);
            started = true;
            if (r == KAVU_E_NO_PORT) break;
        }
    });
    while (!started.load()) std::this_thread::yield();
    ASSERT_EQ(SelectPort(10), 0);
    EXPECT_EQ(ClosePort(), 0);   // waits for the running exchange, then closes
    user.join();
}

TEST_F(Threads, ReconfiguringASharedSlotWhileAnotherThreadExchanges) {
    ASSERT_EQ(SetApiMode(1), 0);
    ASSERT_EQ(OpenPort(10, kSpeed115200, 0, 1, 0, 1), 0);
    answerForever(*peers[0], 7);
    std::atomic<int> answered{0};
    std::atomic<bool> done{false};
    std::thread user([&] {
        ASSERT_EQ(SelectPort(10), 0);
        while (!done.load()) {
            int value = 0;
            const int r = ReadUInt(16, 0, "Dev", &value, -1);
            // While the port is being reopened it is not there; an exchange
            // is never cut short by it.
            EXPECT_TRUE(r == 0 || r == KAVU_E_NO_PORT) << r;
            if (r == 0) ++answered;
        }
    });
    // Each reopen waits for the exchange running on the port, then the
    // exchanges go on over the reopened port.
    for (int n = 0; n < 20; ++n) {
        const int before = answered.load();
        while (answered.load() == before) std::this_thread::yield();
        ASSERT_EQ(SetupPort(10, kSpeed115200, 0, 1, 0, 1), 0) << n;
    }
    const int before = answered.load();
    while (answered.load() == before) std::this_thread::yield();
    done = true;
    user.join();
}

TEST_F(Threads, OpenAndCloseFromManyThreadsInSlotMode) {
    ASSERT_EQ(SetApiMode(1), 0);
    std::atomic<int> opens{0};
    std::vector<std::thread> threads;
    for (int k = 0; k < kThreads; ++k) {
        threads.emplace_back([&opens] {
            for (int n = 0; n < 20; ++n) {
                // Everyone fights for the same slot: exactly one wins each time it is free.
                const int r = OpenPort(10, kSpeed115200, 0, 1, 0, 1);
                EXPECT_TRUE(r == 0 || r == KAVU_E_BUSY) << r;
                if (r == 0) {
                    ++opens;
                    EXPECT_EQ(ClosePort(), 0);
                }
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_GT(opens.load(), 0);
}
