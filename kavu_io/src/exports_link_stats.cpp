// Exported link-health functions: reading and resetting the counters of the
// calling thread's current port.
#include "kavu_io.h"

#include "LinkCounters.h"
#include "PortRegistry.h"

#include <initializer_list>

namespace kavu {

void LinkCounters::read(KavuLinkStats& out) const {
    out.exchanges = exchanges_.load(std::memory_order_relaxed);
    out.attempts = attempts_.load(std::memory_order_relaxed);
    out.timeouts = timeouts_.load(std::memory_order_relaxed);
    out.crcErrors = crcErrors_.load(std::memory_order_relaxed);
    out.badReplies = badReplies_.load(std::memory_order_relaxed);
    out.deviceErrors = deviceErrors_.load(std::memory_order_relaxed);
    out.exceptions = exceptions_.load(std::memory_order_relaxed);
    for (int i = 0; i < KAVU_REPLY_TIME_BINS; ++i) out.replyTimeBins[i] = bins_[i].load(std::memory_order_relaxed);
    out.worstReplyUs = worstUs_.load(std::memory_order_relaxed);
}

void LinkCounters::reset() {
    for (Counter* c : {&exchanges_, &attempts_, &timeouts_, &crcErrors_, &badReplies_, &deviceErrors_, &exceptions_,
                       &worstUs_})
        c->store(0, std::memory_order_relaxed);
    for (Counter& c : bins_) c.store(0, std::memory_order_relaxed);
}

}  // namespace kavu

extern "C" {

KAVU_API int KAVU_CALL GetLinkStats(KavuLinkStats* stats) {
    if (stats == nullptr) return KAVU_E_NULL_POINTER;
    if (stats->size < sizeof(KavuLinkStats)) return KAVU_E_ARGUMENT;
    kavu::PortLease lease = kavu::PortRegistry::instance().leaseCurrent();
    if (lease.port() == nullptr) return KAVU_E_NO_PORT;
    lease.port()->counters.read(*stats);
    stats->size = sizeof(KavuLinkStats);
    return KAVU_OK;
}

KAVU_API int KAVU_CALL ResetLinkStats(void) {
    kavu::PortLease lease = kavu::PortRegistry::instance().leaseCurrent();
    if (lease.port() == nullptr) return KAVU_E_NO_PORT;
    lease.port()->counters.reset();
    return KAVU_OK;
}

}  // extern "C"
