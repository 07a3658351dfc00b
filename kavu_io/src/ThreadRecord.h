// Each calling thread's record: its current slot. Created on first use,
// freed when the thread ends.
#pragma once

#include <atomic>

namespace kavu {

struct Slot;

struct ThreadRecord {
    std::atomic<Slot*> current{nullptr};
    unsigned generation = 0;   // mode generation in which `current` was set
};

}  // namespace kavu
