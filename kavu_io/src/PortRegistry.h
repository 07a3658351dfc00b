// The library's process-wide state: API mode, repeats, extra time-out, port
// names, the 256-slot table (slot mode), the circular slot list (per-thread
// mode), each thread's record with its current slot, and the one lock that
// guards slots, list and mode. Exchanges take no lock: they lease the
// current slot (an atomic use count) so that a thread closing the port
// waits until a running exchange has finished with it.
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

    void threadEnded(ThreadRecord* record);

private:
    PortRegistry() = default;
    ThreadRecord* record(bool create);
    Slot* currentSlot(const ThreadRecord* record) const;
    void makeCurrent(ThreadRecord* record, Slot* slot);
    bool settingsFor(const OpenArguments& arguments, PortSettings& settings);
    static void retirePort(Slot* slot);
    void closeAllLocked(int mode);
    Slot* newListSlot();
    void unlinkAndRecycle(Slot* slot);
    bool inList(const Slot* slot) const;

    platform::Lock* lock_ = nullptr;
    bool loaded_ = false;
    std::atomic<int> apiMode_{0};
    std::atomic<unsigned> generation_{1};
    Slot table_[kSlotCount];
    Slot listHead_;                 // sentinel of the circular slot list
    Slot* freeSlots_ = nullptr;     // recycled list slots (never freed while loaded)
    char names_[kSlotCount][kDeviceNameSize] = {};
};

}  // namespace kavu
