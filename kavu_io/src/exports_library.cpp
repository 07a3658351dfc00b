// Exported settings, port management and error functions.
#include "kavu_io.h"

#include "PortRegistry.h"
#include "error_texts.h"

using kavu::OpenArguments;
using kavu::PortRegistry;

extern "C" {

KAVU_API int KAVU_CALL SetApiMode(int mode) { return PortRegistry::instance().setApiMode(mode); }

KAVU_API int KAVU_CALL SetMaxRetriesGlobal(int n) {
    if (static_cast<unsigned>(n) > 20u) return KAVU_E_ARGUMENT;
    PortRegistry::instance().repeats.store(n);
    return 0;
}

KAVU_API int KAVU_CALL GetMaxRetriesGlobal(void) { return PortRegistry::instance().repeats.load(); }

KAVU_API int KAVU_CALL SetTimeout(int ms) {
    PortRegistry::instance().extraTimeoutMs.store(ms);
    return 0;
}

KAVU_API int KAVU_CALL GetTimeout(void) { return PortRegistry::instance().extraTimeoutMs.load(); }

KAVU_API int KAVU_CALL SetPortName(int port, const char* device) {
    return PortRegistry::instance().setPortName(port, device);
}

KAVU_API int KAVU_CALL OpenPort(int port, int speed, int parity, int dataBits, int stopBits, int direction) {
    return PortRegistry::instance().openPort(OpenArguments{port, speed, parity, dataBits, stopBits, direction});
}

KAVU_API int KAVU_CALL SetupPort(int port, int speed, int parity, int dataBits, int stopBits, int direction) {
    return PortRegistry::instance().setupPort(OpenArguments{port, speed, parity, dataBits, stopBits, direction});
}

KAVU_API int KAVU_CALL SelectPort(int port) { return PortRegistry::instance().selectPort(port); }

KAVU_API int KAVU_CALL ClosePort(void) { return PortRegistry::instance().closePort(); }

KAVU_API void* KAVU_CALL RS485FromThread(void) { return PortRegistry::instance().detachFromThread(); }

KAVU_API int KAVU_CALL RS485ToThread(void* handle) { return PortRegistry::instance().attachToThread(handle); }

KAVU_API int KAVU_CALL SetDbgIndication(int flags) {
    kavu::PortLease lease = PortRegistry::instance().leaseCurrent();
    if (lease.port() == nullptr) return KAVU_E_NO_PORT;
    lease.port()->traceFlags = flags;
    return 0;
}

KAVU_API int KAVU_CALL GetDeviceLastErr(void) {
    kavu::PortLease lease = PortRegistry::instance().leaseCurrent();
    return lease.port() != nullptr ? lease.port()->deviceError : KAVU_E_NO_PORT;
}

KAVU_API int KAVU_CALL GetExtendedLastErr(void) {
    kavu::PortLease lease = PortRegistry::instance().leaseCurrent();
    return lease.port() != nullptr ? lease.port()->extendedError : KAVU_E_NO_PORT;
}

KAVU_API int KAVU_CALL GetLastOpenSysErr(void) { return kavu::platform::serialLastOpenError(); }

KAVU_API int KAVU_CALL GetLastIoSysErr(void) {
    kavu::PortLease lease = PortRegistry::instance().leaseCurrent();
    return lease.port() != nullptr ? lease.port()->ioSysError : KAVU_E_NO_PORT;
}

KAVU_API int KAVU_CALL LastErrToStr(char* buffer) {
    if (buffer == nullptr) return KAVU_E_NULL_POINTER;
    kavu::PortLease lease = PortRegistry::instance().leaseCurrent();
    kavu::Slot* slot = lease.slot();
    if (slot == nullptr) {
        const char* noPort = kavu::findLibraryText(kavu::TextKind::Device, kavu::kNoPortTextId);
        std::size_t i = 0;
        for (; noPort[i] != '\0' && i + 1 < KAVU_ERROR_TEXT_SIZE; ++i) buffer[i] = noPort[i];
        buffer[i] = '\0';
        return 0;
    }
    // The lease keeps the port alive even if it is closed meanwhile.
    const kavu::KavuPort* port = slot->port.load();
    kavu::formatLastError(slot->lastResult.load(), port != nullptr ? port->deviceError : 0,
                          port != nullptr ? port->extendedError : 0, buffer, KAVU_ERROR_TEXT_SIZE);
    return 0;
}

}  // extern "C"
