// Each calling thread's record: its current slot. Created when the thread
// opens or selects a port, freed when it no longer has one (its port closed,
// a failed open, its port detached) or when the thread ends.
#pragma once

#include <atomic>

namespace kavu {

struct Slot;

struct ThreadRecord {
    std::atomic<Slot*> current{nullptr};
    unsigned generation = 0;   // mode generation in which `current` was set
};

}  // namespace kavu
