// The calling thread's current slot and port while an operation uses
// them: holding the lease keeps the port from being freed under it (a
// closing thread waits until every lease on the slot has ended).
#pragma once

#include "KavuPort.h"
#include "Slot.h"

namespace kavu {

class PortLease {
public:
    PortLease() = default;
    PortLease(Slot* slot, KavuPort* port) : slot_(slot), port_(port) {}
    PortLease(PortLease&& other) noexcept : slot_(other.slot_), port_(other.port_) {
        other.slot_ = nullptr;
        other.port_ = nullptr;
    }
    PortLease(const PortLease&) = delete;
    PortLease& operator=(const PortLease&) = delete;
    PortLease& operator=(PortLease&&) = delete;
    ~PortLease();   // PortRegistry::endLease
    Slot* slot() const { return slot_; }
    KavuPort* port() const { return port_; }   // null: no usable port

private:
    Slot* slot_ = nullptr;
    KavuPort* port_ = nullptr;
};

}  // namespace kavu
