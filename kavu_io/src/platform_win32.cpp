// Windows implementation of the platform seam: communication ports through
// the Win32 serial interface with overlapped I/O, non-blocking Winsock
// streams (connect with a time-out, TCP_NODELAY, keep-alive), the performance counter,
// critical sections and a condition variable, thread-local storage, and
// DllMain, which drives the library's load/unload and each thread's end.
#include "platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <new>

namespace kavu::platform {

namespace {

DWORD g_tlsIndex = TLS_OUT_OF_INDEXES;
ThreadEndHook g_threadEnd = nullptr;

bool supportedBaud(int baud)
{
    switch (baud) {
    case 2400: case 4800: case 9600: case 14400: case 19200:
    case 28800: case 38400: case 57600: case 115200:
        return true;
    default:
        return false;
    }
}

// Runs the thread-end hook for the calling thread's record, if it has one.
void endCallingThread()
{
    if (g_tlsIndex == TLS_OUT_OF_INDEXES || !g_threadEnd)
        return;
    void* record = TlsGetValue(g_tlsIndex);
    if (!record)
        return;
    TlsSetValue(g_tlsIndex, nullptr);
    g_threadEnd(record);
}

}  // namespace

// ------------------------------------------------------------ serial port

struct SerialPort {
    HANDLE handle = INVALID_HANDLE_VALUE;
    DCB savedState{};
    COMMTIMEOUTS savedTimeouts{};
    // One overlapped record with its own manual-reset event per direction.
    OVERLAPPED writeOverlapped{};
    OVERLAPPED readOverlapped{};
    DWORD ioError = 0;   // see serialIoError
};

namespace {

void freePort(SerialPort* port)
{
    if (port->handle != INVALID_HANDLE_VALUE)
        CloseHandle(port->handle);
    if (port->writeOverlapped.hEvent)
        CloseHandle(port->writeOverlapped.hEvent);
    if (port->readOverlapped.hEvent)
        CloseHandle(port->readOverlapped.hEvent);
    delete port;
}

// Keeps the first failure since the last clear (GetLastError of the failed
// call); later ones follow from it.
void noteIoError(SerialPort* port)
{
    const DWORD error = GetLastError();
    if (port->ioError == 0)
        port->ioError = error != 0 ? error : ERROR_GEN_FAILURE;
}

// Waits for an overlapped operation that ReadFile/WriteFile started.
// A serial time-out completes the operation with the bytes transferred so
// far and the status STATUS_TIMEOUT, a success code; Windows reports it as
// success, Wine as the error ERROR_TIMEOUT. Both count as a completion.
bool finishOverlapped(SerialPort* port, OVERLAPPED* ov, BOOL started, DWORD* transferred)
{
    if (started)
        return true;
    if (GetLastError() != ERROR_IO_PENDING)
        return false;
    if (GetOverlappedResult(port->handle, ov, transferred, TRUE))
        return true;
    if (GetLastError() == ERROR_TIMEOUT) {
        *transferred = static_cast<DWORD>(ov->InternalHigh);
        return true;
    }
    return false;
}

void prepareOverlapped(OVERLAPPED* ov)
{
    HANDLE event = ov->hEvent;
    std::memset(ov, 0, sizeof *ov);
    ov->hEvent = event;
    ResetEvent(event);
}

// Why the calling thread's last open failed (see serialLastOpenError).
thread_local int t_lastOpenError = 0;

// Keeps the system's error of a failed step before cleaning up can change it.
void noteOpenFailure(DWORD fallback)
{
    const DWORD error = GetLastError();
    t_lastOpenError = static_cast<int>(error != 0 ? error : fallback);
}

}  // namespace

int serialLastOpenError()
{
    return t_lastOpenError;
}

void defaultDeviceName(int port, char* out, std::size_t size)
{
    std::snprintf(out, size, "\\\\.\\COM%d", port + 1);
}

SerialPort* serialOpen(const char* device)
{
    if (!device || !*device) {
        t_lastOpenError = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }

    // "COM10" and above open only through the device namespace, so a bare
    // name is looked up there; full paths ("\\.\COM3") are used as given.
    char path[300];
    const char* prefix = device[0] == '\\' ? "" : "\\\\.\\";
    if (std::strlen(prefix) + std::strlen(device) >= sizeof path) {
        t_lastOpenError = ERROR_FILENAME_EXCED_RANGE;
        return nullptr;
    }
    std::strcpy(path, prefix);
    std::strcat(path, device);

    auto* port = new (std::nothrow) SerialPort;
    if (!port) {
        t_lastOpenError = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    port->writeOverlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    port->readOverlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!port->writeOverlapped.hEvent || !port->readOverlapped.hEvent) {
        noteOpenFailure(ERROR_NOT_ENOUGH_MEMORY);
        freePort(port);
        return nullptr;
    }

    // Read and write, not shared, existing device only, overlapped I/O.
    port->handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port->handle == INVALID_HANDLE_VALUE) {
        noteOpenFailure(ERROR_FILE_NOT_FOUND);
        freePort(port);
        return nullptr;
    }

    port->savedState.DCBlength = sizeof port->savedState;
    if (!GetCommState(port->handle, &port->savedState)
        || !GetCommTimeouts(port->handle, &port->savedTimeouts)) {
        noteOpenFailure(ERROR_INVALID_FUNCTION); // not a serial device
        freePort(port);
        return nullptr;
    }
    t_lastOpenError = 0;
    SetCommMask(port->handle, EV_TXEMPTY);
    return port;
}

bool serialConfigure(SerialPort* port, const LineSettings& settings)
{
    if (!port)
        return false;
    if (!supportedBaud(settings.baud) || settings.dataBits < 5 || settings.dataBits > 8) {
        t_lastOpenError = ERROR_INVALID_PARAMETER;
        return false;
    }

    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port->handle, &dcb)) {
        noteOpenFailure(ERROR_INVALID_FUNCTION);
        return false;
    }

    // Binary, parity checked, DTR under program control, RTS enabled (the
    // engine lowers it right after), no hardware or software flow control,
    // no null stripping; every other flag stays as found.
    dcb.fBinary = TRUE;
    dcb.fParity = TRUE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;

    switch (settings.parity) {
    case Parity::Even: dcb.Parity = EVENPARITY; break;
    case Parity::Odd:  dcb.Parity = ODDPARITY;  break;
    case Parity::None: dcb.Parity = NOPARITY;   break;
    }
    dcb.ByteSize = static_cast<BYTE>(settings.dataBits);
    dcb.BaudRate = static_cast<DWORD>(settings.baud);
    switch (settings.stopBits) {
    case StopBits::One:          dcb.StopBits = ONESTOPBIT;   break;
    case StopBits::OnePointFive: dcb.StopBits = ONE5STOPBITS; break;
    case StopBits::Two:          dcb.StopBits = TWOSTOPBITS;  break;
    }

    if (SetCommState(port->handle, &dcb))
        return true;
    // PC UARTs send 1.5 stop bits only with 5 data bits and two otherwise;
    // drivers refuse the 1.5 request for longer words. Two stop bits are
    // what such a UART would send, and every receiver expecting 1.5 takes
    // them.
    if (settings.stopBits == StopBits::OnePointFive) {
        dcb.StopBits = TWOSTOPBITS;
        if (SetCommState(port->handle, &dcb))
            return true;
    }
    noteOpenFailure(ERROR_INVALID_PARAMETER);
    return false;
}

bool serialSetTimeouts(SerialPort* port, const Timeouts& timeouts)
{
    if (!port)
        return false;
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = static_cast<DWORD>(timeouts.interCharMs);
    t.ReadTotalTimeoutMultiplier = static_cast<DWORD>(timeouts.readPerCharMs);
    t.ReadTotalTimeoutConstant = static_cast<DWORD>(timeouts.readConstantMs);
    t.WriteTotalTimeoutMultiplier = static_cast<DWORD>(timeouts.writePerCharMs);
    t.WriteTotalTimeoutConstant = static_cast<DWORD>(timeouts.writeConstantMs);
    return SetCommTimeouts(port->handle, &t) != FALSE;
}

// Ports without modem lines refuse these; that is not an error here.
void serialSetRts(SerialPort* port, bool raised)
{
    if (port)
        EscapeCommFunction(port->handle, raised ? SETRTS : CLRRTS);
}

void serialSetDtr(SerialPort* port, bool raised)
{
    if (port)
        EscapeCommFunction(port->handle, raised ? SETDTR : CLRDTR);
}

void serialPurge(SerialPort* port)
{
    if (!port)
        return;
    PurgeComm(port->handle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    // A line error (framing, overrun) halts all I/O on a port whose driver
    // aborts on errors until it is cleared; clearing it here keeps one bad
    // reply from failing every later exchange.
    DWORD errors = 0;
    // A port whose device went away (a USB adapter pulled) fails here first.
    if (!ClearCommError(port->handle, &errors, nullptr))
        noteIoError(port);
    SetCommMask(port->handle, EV_TXEMPTY);
}

int serialIoError(const SerialPort* port)
{
    return port ? static_cast<int>(port->ioError) : 0;
}

void serialClearIoError(SerialPort* port)
{
    if (port)
        port->ioError = 0;
}

bool serialWriteAll(SerialPort* port, const void* data, std::size_t length)
{
    if (!port || (!data && length))
        return false;
    if (length == 0)
        return true;
    prepareOverlapped(&port->writeOverlapped);
    DWORD written = 0;
    const BOOL started = WriteFile(port->handle, data, static_cast<DWORD>(length), &written,
                                   &port->writeOverlapped);
    if (!finishOverlapped(port, &port->writeOverlapped, started, &written)) {
        noteIoError(port);
        return false;
    }
    return written == length;
}

bool serialTransmitChar(SerialPort* port, char c)
{
    if (!port)
        return false;
    if (TransmitCommChar(port->handle, c))
        return true;
    // The driver takes one immediate character at a time; should the last
    // one still be waiting, the character goes out as ordinary output.
    return serialWriteAll(port, &c, 1);
}

int serialRead(SerialPort* port, void* buffer, std::size_t wanted)
{
    if (!port || !buffer)
        return kSerialFailed;
    if (wanted == 0)
        return 0;
    prepareOverlapped(&port->readOverlapped);
    DWORD got = 0;
    const BOOL started = ReadFile(port->handle, buffer, static_cast<DWORD>(wanted), &got,
                                  &port->readOverlapped);
    if (!finishOverlapped(port, &port->readOverlapped, started, &got)) {
        noteIoError(port);
        return kSerialFailed;
    }
    return static_cast<int>(got);
}

void serialClose(SerialPort* port)
{
    if (!port)
        return;
    if (port->handle != INVALID_HANDLE_VALUE) {
        SetCommState(port->handle, &port->savedState);
        SetCommTimeouts(port->handle, &port->savedTimeouts);
        PurgeComm(port->handle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    }
    freePort(port);
}

// ------------------------------------------------------------ TCP sockets

struct Socket {
    SOCKET handle = INVALID_SOCKET;
};

void setLastOpenError(int error)
{
    t_lastOpenError = error;
}

int socketClosedError()
{
    return WSAECONNRESET;
}

int socketTimedOutError()
{
    return WSAETIMEDOUT;
}

int socketInvalidError()
{
    return WSAEINVAL;
}

namespace {

// Winsock is started once, on the first connect (never from DllMain, where
// it must not be); the system ends it with the process.
bool winsockReady()
{
    static const bool ready = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ready;
}

// Milliseconds left until the deadline (0 when it has passed).
long msLeft(std::int64_t deadlineNs)
{
    const std::int64_t left = deadlineNs - monotonicNs();
    return left <= 0 ? 0 : static_cast<long>((left + 999999) / 1000000);
}

// Waits until the socket can be read (write = false) or written, or has
// failed, until the deadline. Returns 1 ready, 0 time-out, -1 error.
int waitSocket(SOCKET s, bool write, std::int64_t deadlineNs)
{
    for (;;) {
        const long ms = msLeft(deadlineNs);
        fd_set ready;
        fd_set failed;
        FD_ZERO(&ready);
        FD_ZERO(&failed);
        FD_SET(s, &ready);
        FD_SET(s, &failed);
        timeval tv;
        tv.tv_sec = ms / 1000;
        tv.tv_usec = (ms % 1000) * 1000;
        const int r = select(0, write ? nullptr : &ready, write ? &ready : nullptr, &failed, &tv);
        if (r == SOCKET_ERROR)
            return -1;
        if (r > 0)
            return 1;
        if (ms == 0)
            return 0;
    }
}

int connectOne(SOCKET s, const addrinfo* ai, std::int64_t deadlineNs)
{
    if (connect(s, ai->ai_addr, static_cast<int>(ai->ai_addrlen)) == 0)
        return 0;
    const int started = WSAGetLastError();
    if (started != WSAEWOULDBLOCK && started != WSAEINPROGRESS)
        return started;
    const int ready = waitSocket(s, true, deadlineNs);
    if (ready < 0)
        return WSAGetLastError();
    int error = 0;
    int length = sizeof error;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0)
        return WSAGetLastError();
    if (error != 0)
        return error;
    // A connect still under way when the time ran out: select reports
    // failures on the exception set and success on the write set only.
    return ready == 0 ? WSAETIMEDOUT : 0;
}

}  // namespace

Socket* socketConnect(const char* host, int port, int timeoutMs, int* error)
{
    if (!winsockReady()) {
        *error = WSANOTINITIALISED;
        return nullptr;
    }
    const std::int64_t deadline = monotonicNs() + static_cast<std::int64_t>(timeoutMs) * 1000000;
    char service[16];
    std::snprintf(service, sizeof service, "%d", port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const int resolved = getaddrinfo(host, service, &hints, &found);
    if (resolved != 0) {
        *error = resolved;   // a WSA code: WSAHOST_NOT_FOUND, WSANO_DATA, ...
        return nullptr;
    }
    int last = WSAETIMEDOUT;
    for (const addrinfo* ai = found; ai; ai = ai->ai_next) {
        if (monotonicNs() >= deadline) {
            last = WSAETIMEDOUT;
            break;
        }
        const SOCKET s = socket(ai->ai_family, ai->ai_socktype, ai->ai_protocol);
        if (s == INVALID_SOCKET) {
            last = WSAGetLastError();
            continue;
        }
        u_long nonBlocking = 1;
        ioctlsocket(s, FIONBIO, &nonBlocking);
        last = connectOne(s, ai, deadline);
        if (last != 0) {
            closesocket(s);
            continue;
        }
        freeaddrinfo(found);
        const BOOL on = TRUE;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
        setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on);
        auto* socket = new (std::nothrow) Socket;
        if (!socket) {
            closesocket(s);
            *error = WSA_NOT_ENOUGH_MEMORY;
            return nullptr;
        }
        socket->handle = s;
        return socket;
    }
    freeaddrinfo(found);
    *error = last;
    return nullptr;
}

bool socketSendAll(Socket* socket, const void* data, std::size_t length, std::int64_t deadlineNs, int* error)
{
    const char* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < length) {
        const int n = send(socket->handle, bytes + done, static_cast<int>(length - done), 0);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        const int failure = WSAGetLastError();
        if (failure != WSAEWOULDBLOCK) {
            *error = failure;
            return false;
        }
        const int ready = waitSocket(socket->handle, true, deadlineNs);
        if (ready <= 0) {
            *error = ready == 0 ? WSAETIMEDOUT : WSAGetLastError();
            return false;
        }
    }
    return true;
}

int socketReceive(Socket* socket, void* buffer, std::size_t size, std::int64_t deadlineNs, int* error)
{
    for (;;) {
        const int n = recv(socket->handle, static_cast<char*>(buffer), static_cast<int>(size), 0);
        if (n > 0)
            return n;
        if (n == 0) {
            *error = WSAECONNRESET;   // the server closed the connection
            return kSerialFailed;
        }
        const int failure = WSAGetLastError();
        if (failure != WSAEWOULDBLOCK) {
            *error = failure;
            return kSerialFailed;
        }
        const int ready = waitSocket(socket->handle, false, deadlineNs);
        if (ready == 0)
            return 0;
        if (ready < 0) {
            *error = WSAGetLastError();
            return kSerialFailed;
        }
    }
}

int socketRoundTripUs(Socket*)
{
    return -1;   // SIO_TCP_INFO exists on newer systems only: the engine measures its own
}

void socketClose(Socket* socket)
{
    if (!socket)
        return;
    if (socket->handle != INVALID_SOCKET)
        closesocket(socket->handle);
    delete socket;
}

// ------------------------------------------------------------- clock, sleep

std::int64_t monotonicNs()
{
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart > 0 ? f.QuadPart : 1;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    // Whole seconds and the remainder apart, so the product cannot overflow.
    const LONGLONG seconds = now.QuadPart / frequency;
    const LONGLONG rest = now.QuadPart % frequency;
    return static_cast<std::int64_t>(seconds) * 1000000000LL
         + static_cast<std::int64_t>(rest * 1000000000LL / frequency);
}

void sleepMs(int ms)
{
    Sleep(ms > 0 ? static_cast<DWORD>(ms) : 0);
}

// -------------------------------------------------------------------- lock

struct Lock {
    CRITICAL_SECTION section;
};

Lock* lockCreate()
{
    auto* lock = new (std::nothrow) Lock;
    if (lock)
        InitializeCriticalSection(&lock->section);
    return lock;
}

void lockDestroy(Lock* lock)
{
    if (!lock)
        return;
    DeleteCriticalSection(&lock->section);
    delete lock;
}

void lockAcquire(Lock* lock)
{
    EnterCriticalSection(&lock->section);
}

void lockRelease(Lock* lock)
{
    LeaveCriticalSection(&lock->section);
}

struct Condition {
    CONDITION_VARIABLE variable;
};

Condition* conditionCreate()
{
    auto* condition = new (std::nothrow) Condition;
    if (condition)
        InitializeConditionVariable(&condition->variable);
    return condition;
}

void conditionDestroy(Condition* condition)
{
    delete condition;   // a Windows condition variable holds no resources
}

void conditionWait(Condition* condition, Lock* lock)
{
    SleepConditionVariableCS(&condition->variable, &lock->section, INFINITE);
}

void conditionWakeAll(Condition* condition)
{
    WakeAllConditionVariable(&condition->variable);
}

// ------------------------------------------- thread-local storage, hooks

bool tlsCreate(ThreadEndHook threadEnd)
{
    if (g_tlsIndex != TLS_OUT_OF_INDEXES)
        return false;
    g_tlsIndex = TlsAlloc();
    if (g_tlsIndex == TLS_OUT_OF_INDEXES)
        return false;
    g_threadEnd = threadEnd;
    return true;
}

void tlsDestroy()
{
    if (g_tlsIndex != TLS_OUT_OF_INDEXES)
        TlsFree(g_tlsIndex);
    g_tlsIndex = TLS_OUT_OF_INDEXES;
    g_threadEnd = nullptr;
}

void* tlsGet()
{
    return g_tlsIndex == TLS_OUT_OF_INDEXES ? nullptr : TlsGetValue(g_tlsIndex);
}

bool tlsSet(void* value)
{
    return g_tlsIndex != TLS_OUT_OF_INDEXES && TlsSetValue(g_tlsIndex, value);
}

}  // namespace kavu::platform

// ------------------------------------------------------------------ DllMain

// Load: the library core sets itself up (CRC table, thread-local index,
// lock); the DLL refuses to load when it cannot. Thread detach: the ending
// thread's record is handed to the thread-end hook, which closes or
// releases its port. Unload: the core ends the unloading thread's record,
// closes every port and frees its lock and index. Thread records are made
// on a thread's first call, so thread attach has nothing to do.
extern "C" BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, LPVOID /*reserved*/)
{
    using namespace kavu::platform;
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        return libraryLoad() ? TRUE : FALSE;
    case DLL_THREAD_DETACH:
        endCallingThread();
        break;
    case DLL_PROCESS_DETACH:
        libraryUnload();
        break;
    default:
        break;
    }
    return TRUE;
}
