// A slot of the library: a port of this protocol (or none), the thread
// that has it as its current port, the slot's last result and the count of
// exchanges running on its port; links of the per-thread slot list.
#pragma once

#include "KavuPort.h"

#include <atomic>

namespace kavu {

struct ThreadRecord;

struct Slot {
    std::atomic<KavuPort*> port{nullptr};          // non-null: holds a port of this protocol
    std::atomic<ThreadRecord*> owner{nullptr};     // thread that has this slot as current
    std::atomic<int> lastResult{0};
    std::atomic<int> users{0};                     // exchanges running on the port
    Slot* previous = nullptr;                      // slot list links (per-thread mode)
    Slot* next = nullptr;
};

}  // namespace kavu
