#include "PortRegistry.h"
#include "kavu_io.h"

#include <cstring>
#include <new>

namespace kavu {
namespace {

constexpr int kBaudOfIndex[] = {2400, 4800, 9600, 14400, 19200, 28800, 38400, 57600, 115200};

void onThreadEnd(void* value) {
    PortRegistry::instance().threadEnded(static_cast<ThreadRecord*>(value));
}

}  // namespace

PortRegistry& PortRegistry::instance() {
    static PortRegistry registry;
    return registry;
}

bool PortRegistry::load() {
    if (loaded_) return true;
    lock_ = platform::lockCreate();
    leaseLock_ = platform::lockCreate();
    leaseEnded_ = platform::conditionCreate();
    if (lock_ == nullptr || leaseLock_ == nullptr || leaseEnded_ == nullptr
        || !platform::tlsCreate(&onThreadEnd)) {
        destroyLocks();
        return false;
    }
    listHead_.next = listHead_.previous = &listHead_;
    apiMode_ = 0;
    repeats = 1;
    extraTimeoutMs = 0;
    loaded_ = true;
    return true;
}

void PortRegistry::unload() {
    if (!loaded_) return;
    if (auto* own = static_cast<ThreadRecord*>(platform::tlsGet())) {
        platform::tlsSet(nullptr);
        threadEnded(own);
    }
    {
        RegistryLock hold(lock_);
        closeAllLocked(apiMode_.load());
        while (freeSlots_ != nullptr) {
            Slot* s = freeSlots_;
            freeSlots_ = s->next;
            delete s;
        }
    }
    destroyLocks();
    platform::tlsDestroy();
    loaded_ = false;
}

void PortRegistry::destroyLocks() {
    platform::conditionDestroy(leaseEnded_);
    platform::lockDestroy(leaseLock_);
    platform::lockDestroy(lock_);
    leaseEnded_ = nullptr;
    leaseLock_ = nullptr;
    lock_ = nullptr;
}

ThreadRecord* PortRegistry::record(bool create) {
    auto* r = static_cast<ThreadRecord*>(platform::tlsGet());
    if (r != nullptr || !create || !loaded_) return r;
    r = new (std::nothrow) ThreadRecord;
    if (r == nullptr) return nullptr;
    if (!platform::tlsSet(r)) {
        delete r;
        return nullptr;
    }
    return r;
}

Slot* PortRegistry::currentSlot(const ThreadRecord* r) const {
    if (r == nullptr || r->generation != generation_.load()) return nullptr;
    return r->current.load();
}

void PortRegistry::makeCurrent(ThreadRecord* r, Slot* slot) {
    Slot* previous = currentSlot(r);
    if (previous != nullptr && previous != slot) {
        ThreadRecord* expected = r;
        previous->owner.compare_exchange_strong(expected, nullptr);
    }
    r->generation = generation_.load();
    r->current.store(slot);
    if (slot != nullptr) slot->owner.store(r);
}

PortLease PortRegistry::leaseCurrent() {
    ThreadRecord* r = record(false);
    Slot* slot = currentSlot(r);
    if (slot == nullptr) return {};
    slot->users.fetch_add(1);
    if (currentSlot(r) != slot) {   // taken away meanwhile
        endLease(slot);
        return {};
    }
    KavuPort* port = slot->port.load();
    if (port != nullptr && !port->isOpen()) port = nullptr;
    return PortLease(slot, port);
}

int PortRegistry::setPortName(int port, const char* device) {
    if (port < 0 || port >= kSlotCount) return KAVU_E_ARGUMENT;
    const std::size_t length = device != nullptr ? std::strlen(device) : 0;
    if (length >= kDeviceNameSize) return KAVU_E_ARGUMENT;
    if (!loaded_) return KAVU_E_ARGUMENT;
    RegistryLock hold(lock_);
    std::memset(names_[port], 0, kDeviceNameSize);
    if (length > 0) std::memcpy(names_[port], device, length);
    return 0;
}

bool PortRegistry::settingsFor(const OpenArguments& a, PortSettings& s) {
    if (a.port < 0 || a.port >= kSlotCount) return false;
    if (names_[a.port][0] != '\0') std::memcpy(s.device, names_[a.port], kDeviceNameSize);
    else platform::defaultDeviceName(a.port, s.device, kDeviceNameSize);
    s.line.baud = (a.speedIndex >= 0 && a.speedIndex <= 8) ? kBaudOfIndex[a.speedIndex] : 9600;
    s.line.parity = a.parity == 1 ? platform::Parity::Even
                  : a.parity == 2 ? platform::Parity::Odd
                                  : platform::Parity::None;
    s.line.dataBits = a.dataBits == 0 ? 7 : 8;
    s.line.stopBits = a.stopBits == 1 ? platform::StopBits::OnePointFive
                    : a.stopBits == 2 ? platform::StopBits::Two
                                      : platform::StopBits::One;
    s.direction = a.direction;
    return true;
}

void PortRegistry::endLease(Slot* slot) {
    if (slot->users.fetch_sub(1) != 1) return;
    // The wake-up is sent under the wait's lock: a waiter that saw the count
    // above zero holds that lock until it sleeps, so it cannot miss it.
    RegistryLock hold(leaseLock_);
    platform::conditionWakeAll(leaseEnded_);
}

void PortRegistry::waitUntilUnleased(Slot* slot) {
    RegistryLock hold(leaseLock_);
    while (slot->users.load() != 0) platform::conditionWait(leaseEnded_, leaseLock_);
}

void PortRegistry::retirePort(Slot* slot) {
    KavuPort* port = slot->port.exchange(nullptr);
    // A running exchange still uses the port: wait until it has finished.
    waitUntilUnleased(slot);
    delete port;
}

Slot* PortRegistry::newListSlot() {
    Slot* s = freeSlots_;
    if (s != nullptr) {
        freeSlots_ = s->next;
    } else {
        s = new (std::nothrow) Slot;
        if (s == nullptr) return nullptr;
    }
    s->next = s->previous = nullptr;
    s->owner.store(nullptr);
    s->lastResult.store(0);
    return s;
}

void PortRegistry::unlinkAndRecycle(Slot* s) {
    if (s->previous != nullptr) {
        s->previous->next = s->next;
        s->next->previous = s->previous;
    }
    s->previous = nullptr;
    // Slots are kept for reuse: a thread that read a stale current pointer
    // never touches freed memory.
    s->next = freeSlots_;
    freeSlots_ = s;
}

bool PortRegistry::inList(const Slot* slot) const {
    for (const Slot* s = listHead_.next; s != &listHead_; s = s->next)
        if (s == slot) return true;
    return false;
}

void PortRegistry::closeAllLocked(int mode) {
    if (mode == 1) {
        for (Slot& s : table_) {
            retirePort(&s);
            if (ThreadRecord* owner = s.owner.exchange(nullptr)) owner->current.store(nullptr);
        }
    } else {
        while (listHead_.next != &listHead_) {
            Slot* s = listHead_.next;
            retirePort(s);
            if (ThreadRecord* owner = s->owner.exchange(nullptr)) owner->current.store(nullptr);
            unlinkAndRecycle(s);
        }
    }
    generation_.fetch_add(1);   // every other thread's current pointer is stale now
}

int PortRegistry::setApiMode(int mode) {
    if (!loaded_) return KAVU_E_ARGUMENT;
    if (mode == apiMode_.load()) return 0;
    if (mode != 0 && mode != 1) return KAVU_E_ARGUMENT;
    RegistryLock hold(lock_);
    if (mode == apiMode_.load()) return 0;
    // The new mode is visible before the ports go, so that a thread that
    // finds its port gone already sees the mode it is in now.
    const int previous = apiMode_.exchange(mode);
    closeAllLocked(previous);
    return 0;
}

void PortRegistry::releaseIfIdle(ThreadRecord* r) {
    // Without a current slot no slot names the record as its owner: nothing
    // but the thread's own storage refers to it.
    if (r == nullptr || currentSlot(r) != nullptr) return;
    platform::tlsSet(nullptr);
    delete r;
}

int PortRegistry::openPort(const OpenArguments& a) {
    if (!loaded_) return KAVU_E_NO_MEMORY;
    // Opening holds the lock throughout (also across the calibration of
    // the character-by-character modes), so the mode cannot change meanwhile.
    RegistryLock hold(lock_);
    const int result = openLocked(a);
    if (result != 0) releaseIfIdle(record(false));
    return result;
}

int PortRegistry::openLocked(const OpenArguments& a) {
    if (apiMode_.load() == 0) {
        ThreadRecord* r = record(true);
        if (currentSlot(r) != nullptr) return KAVU_E_BUSY;
        PortSettings settings;
        if (!settingsFor(a, settings)) return KAVU_E_ARGUMENT;
        auto* port = new (std::nothrow) KavuPort;
        if (port == nullptr) return KAVU_E_ARGUMENT;
        port->setRequested(settings);
        if (!port->open(extraTimeoutMs.load())) {
            delete port;
            return KAVU_E_ARGUMENT;
        }
        Slot* s = r != nullptr ? newListSlot() : nullptr;
        if (s == nullptr) {
            delete port;
            return KAVU_E_NO_MEMORY;
        }
        s->port.store(port);
        s->previous = listHead_.previous;
        s->next = &listHead_;
        listHead_.previous->next = s;
        listHead_.previous = s;
        makeCurrent(r, s);
        return 0;
    }

    if (a.port < 0 || a.port >= kSlotCount) return KAVU_E_NO_PORT;
    Slot& s = table_[a.port];
    if (s.port.load() != nullptr) return KAVU_E_BUSY;
    ThreadRecord* r = record(true);
    if (r == nullptr) return KAVU_E_NO_MEMORY;
    PortSettings settings;
    settingsFor(a, settings);
    auto* port = new (std::nothrow) KavuPort;
    if (port == nullptr) return KAVU_E_OPEN;
    port->setRequested(settings);
    if (!port->open(extraTimeoutMs.load())) {
        delete port;
        return KAVU_E_OPEN;
    }
    s.port.store(port);
    makeCurrent(r, &s);
    return 0;
}

int PortRegistry::setupPort(const OpenArguments& a) {
    if (!loaded_) return KAVU_E_NO_PORT;
    RegistryLock hold(lock_);
    if (apiMode_.load() == 0) return KAVU_E_NOT_SUPPORTED;
    if (a.port < 0 || a.port >= kSlotCount) return KAVU_E_NO_PORT;
    Slot& s = table_[a.port];
    KavuPort* port = s.port.exchange(nullptr);
    if (port == nullptr) return KAVU_E_NO_PORT;
    waitUntilUnleased(&s);
    PortSettings settings;
    settingsFor(a, settings);
    port->close();
    port->setRequested(settings);
    const int result = port->open(extraTimeoutMs.load()) ? KAVU_OK : KAVU_E_ARGUMENT;
    s.port.store(port);   // a failed reopen leaves the closed port in its slot
    s.lastResult.store(result);
    return result;
}

int PortRegistry::selectPort(int port) {
    if (!loaded_ || apiMode_.load() == 0) return KAVU_E_ARGUMENT;
    if (port < 0 || port >= kSlotCount) return KAVU_E_NO_PORT;
    ThreadRecord* r = record(true);
    if (r == nullptr) return KAVU_E_NO_MEMORY;
    if (currentSlot(r) == &table_[port]) return 0;
    RegistryLock hold(lock_);
    if (apiMode_.load() == 0) return KAVU_E_ARGUMENT;
    makeCurrent(r, &table_[port]);
    return 0;
}

int PortRegistry::closePort() {
    if (!loaded_) return KAVU_E_NO_PORT;
    ThreadRecord* r = record(false);
    RegistryLock hold(lock_);
    Slot* s = currentSlot(r);
    if (apiMode_.load() == 0) {
        if (s == nullptr) return 0;
        if (s->port.load() == nullptr) return KAVU_E_NO_PORT;
        retirePort(s);
        s->owner.store(nullptr);
        r->current.store(nullptr);
        unlinkAndRecycle(s);
        releaseIfIdle(r);
        return 0;
    }
    if (s == nullptr || s->port.load() == nullptr) return KAVU_E_NO_PORT;
    retirePort(s);
    ThreadRecord* expected = r;
    s->owner.compare_exchange_strong(expected, nullptr);
    r->current.store(nullptr);
    releaseIfIdle(r);
    return 0;
}

void* PortRegistry::detachFromThread() {
    if (!loaded_ || apiMode_.load() != 0) return nullptr;
    ThreadRecord* r = record(false);
    RegistryLock hold(lock_);
    if (apiMode_.load() != 0) return nullptr;
    Slot* s = currentSlot(r);
    if (s == nullptr) return nullptr;
    s->owner.store(nullptr);
    r->current.store(nullptr);
    releaseIfIdle(r);
    return s;
}

int PortRegistry::attachToThread(void* handle) {
    if (!loaded_) return KAVU_E_ARGUMENT;
    if (apiMode_.load() != 0) return KAVU_E_NOT_SUPPORTED;
    ThreadRecord* r = record(false);
    RegistryLock hold(lock_);
    if (apiMode_.load() != 0) return KAVU_E_NOT_SUPPORTED;
    Slot* current = currentSlot(r);
    if (current == nullptr) return KAVU_E_ARGUMENT;
    auto* s = static_cast<Slot*>(handle);
    // Only a detached slot of the list: a stale or foreign handle is refused.
    if (s == nullptr || !inList(s) || s->owner.load() != nullptr) return KAVU_E_ARGUMENT;
    current->owner.store(nullptr);   // stays open and linked, detached
    makeCurrent(r, s);
    return 0;
}

void PortRegistry::threadEnded(ThreadRecord* r) {
    if (r == nullptr) return;
    if (loaded_) {
        RegistryLock hold(lock_);
        Slot* s = currentSlot(r);
        if (s != nullptr) {
            if (apiMode_.load() == 0) {
                retirePort(s);
                s->owner.store(nullptr);
                unlinkAndRecycle(s);
            } else {
                ThreadRecord* expected = r;
                s->owner.compare_exchange_strong(expected, nullptr);
            }
        }
        r->current.store(nullptr);
    }
    delete r;
}

PortLease::~PortLease() {
    if (slot_ != nullptr) PortRegistry::instance().endLease(slot_);
}

}  // namespace kavu

namespace kavu::platform {
bool libraryLoad() { return PortRegistry::instance().load(); }
void libraryUnload() { PortRegistry::instance().unload(); }
}  // namespace kavu::platform
