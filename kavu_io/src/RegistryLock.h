// Scoped hold of one of the library's locks.
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
