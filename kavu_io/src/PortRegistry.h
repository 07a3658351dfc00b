// The library's process-wide state: API mode, repeats, extra time-out, port
// names, the 256-slot table (slot mode), the circular slot list (per-thread
// mode), each thread's record with its current slot, and the one lock that
// guards slots, list and mode. Exchanges take no lock: they lease the
// current slot (an atomic use count) so that a thread closing the port
// waits until a running exchange has finished with it. That wait sleeps on
// a condition variable that the end of every slot's last lease wakes.
#pragma once

#include "KavuPort.h"
#include "PortLease.h"
#include "RegistryLock.h"
#include "Slot.h"
#include "ThreadRecord.h"
#include "platform.h"

#include <atomic>

namespace kavu {

// Arguments of OpenPort/SetupPort as the caller gives them (indices).
struct OpenArguments {
    int port = 0;
    int speedIndex = 2;
    int parity = 0;
    int dataBits = 1;
    int stopBits = 0;
    int direction = 1;
};

class PortRegistry {
public:
    static constexpr int kSlotCount = 256;

    static PortRegistry& instance();

    bool load();
    void unload();

    // Settings
    int setApiMode(int mode);
    int apiMode() const { return apiMode_.load(); }
    std::atomic<int> repeats{1};
    std::atomic<int> extraTimeoutMs{0};
    int setPortName(int port, const char* device);

    // Ports
    int openPort(const OpenArguments& arguments);
    int setupPort(const OpenArguments& arguments);
    int selectPort(int port);
    int closePort();
    void* detachFromThread();
    int attachToThread(void* handle);

    // The calling thread's current slot (null slot: none) and its usable
    // port (null: none, empty slot or closed port).
    PortLease leaseCurrent();
    // Ends a lease of the slot (PortLease does it); the last one wakes a
    // thread waiting to retire the slot's port.
    void endLease(Slot* slot);

    void threadEnded(ThreadRecord* record);

private:
    PortRegistry() = default;
    ThreadRecord* record(bool create);
    Slot* currentSlot(const ThreadRecord* record) const;
    void makeCurrent(ThreadRecord* record, Slot* slot);
    // Frees the calling thread's record once it has no current slot (lock
    // held): a thread that has closed or handed on its port keeps nothing
    // of the library, so its end has nothing left to do here.
    void releaseIfIdle(ThreadRecord* record);
    int openLocked(const OpenArguments& arguments);
    bool settingsFor(const OpenArguments& arguments, PortSettings& settings);
    void retirePort(Slot* slot);
    // Returns once no lease on the slot is left (its port already taken out).
    void waitUntilUnleased(Slot* slot);
    void closeAllLocked(int mode);
    Slot* newListSlot();
    void unlinkAndRecycle(Slot* slot);
    bool inList(const Slot* slot) const;
    void destroyLocks();

    platform::Lock* lock_ = nullptr;
    // Ends of leases: the lock of the wait (taken inside lock_, never the
    // other way round) and the condition the last lease of a slot wakes.
    platform::Lock* leaseLock_ = nullptr;
    platform::Condition* leaseEnded_ = nullptr;
    bool loaded_ = false;
    std::atomic<int> apiMode_{0};
    std::atomic<unsigned> generation_{1};
    Slot table_[kSlotCount];
    Slot listHead_;                 // sentinel of the circular slot list
    Slot* freeSlots_ = nullptr;     // recycled list slots (never freed while loaded)
    char names_[kSlotCount][kDeviceNameSize] = {};
};

}  // namespace kavu
