// Health counters of one port: exchanges, attempts, the failure kinds and a
// histogram of reply times. Only the thread exchanging on the port writes
// them (single writer), so a relaxed load and store per count is enough: no
// lock, no read-modify-write instruction, nothing allocated. Readers on
// other threads see whole values (atomics), never torn ones.
#pragma once

#include "kavu_io.h"

#include <atomic>
#include <cstdint>

namespace kavu {

class LinkCounters {
public:
    void countExchange() { bump(exchanges_); }
    void countAttempt() { bump(attempts_); }
    // Result of one attempt as the engine saw it (-102, -103, -104, -106 or 0).
    void countAttemptResult(int result) {
        switch (result) {
        case KAVU_E_TIMEOUT: bump(timeouts_); break;
        case KAVU_E_CRC: bump(crcErrors_); break;
        case KAVU_E_BAD_REPLY: bump(badReplies_); break;
        case KAVU_E_DEVICE_ERROR: bump(deviceErrors_); break;
        default: break;
        }
    }
    // Final result of an operation after its reply checks (-101, -105).
    void countCheckResult(int result) {
        if (result == KAVU_E_REPLY_FORMAT) bump(badReplies_);
        else if (result == KAVU_E_EXCEPTION) bump(exceptions_);
    }
    // A complete frame came back `us` microseconds after the request was sent.
    void countReplyTime(std::int64_t us) {
        if (us < 0) us = 0;
        bump(bins_[binOf(us)]);
        const auto capped = static_cast<std::uint32_t>(us > 0xFFFFFFFFLL ? 0xFFFFFFFFLL : us);
        if (capped > worstUs_.load(std::memory_order_relaxed)) worstUs_.store(capped, std::memory_order_relaxed);
    }

    void read(KavuLinkStats& out) const;
    void reset();

    static int binOf(std::int64_t us) {
        int bin = 0;
        while (bin < KAVU_REPLY_TIME_BINS - 1 && us >= kBinUpperMs[bin] * 1000LL) ++bin;
        return bin;
    }

    static constexpr int kBinUpperMs[KAVU_REPLY_TIME_BINS - 1] = {5, 10, 20, 50, 100, 200, 500};

private:
    using Counter = std::atomic<std::uint32_t>;
    static void bump(Counter& c) { c.store(c.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed); }

    Counter exchanges_{0};
    Counter attempts_{0};
    Counter timeouts_{0};
    Counter crcErrors_{0};
    Counter badReplies_{0};
    Counter deviceErrors_{0};
    Counter exceptions_{0};
    Counter bins_[KAVU_REPLY_TIME_BINS] = {};
    Counter worstUs_{0};
};

}  // namespace kavu
