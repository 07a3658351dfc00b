// Scoped hold of the library's one lock.
#pragma once

#include "platform.h"

namespace kavu {

class RegistryLock {
public:
    explicit RegistryLock(platform::Lock* lock) : lock_(lock) { platform::lockAcquire(lock_); }
    ~RegistryLock() { platform::lockRelease(lock_); }
    RegistryLock(const RegistryLock&) = delete;
    RegistryLock& operator=(const RegistryLock&) = delete;

private:
    platform::Lock* lock_;
};

}  // namespace kavu
