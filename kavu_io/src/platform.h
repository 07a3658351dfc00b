// The operating-system seam of kavu_io: serial ports, TCP sockets, clock, sleep, the
// library's locks and condition variable, thread-local storage with a
// thread-end hook, and the load/unload hooks. One file per OS implements it (platform_posix.cpp,
// platform_win32.cpp); nothing else in the library includes an OS header.
// Everything here is internal: nothing is exported from the shared library.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kavu::platform {

// ------------------------------------------------------------ serial port

enum class Parity { None, Even, Odd };
enum class StopBits { One, OnePointFive, Two };

// Line settings the engine asks for. Everything not named here is raw:
// binary, no echo, no signals, no CR/LF translation, no software or
// hardware flow control, parity errors checked, DTR/RTS under program
// control, no null stripping, no hang-up on close.
struct LineSettings {
    int baud = 9600;          // 2400, 4800, 9600, 14400, 19200, 28800, 38400, 57600, 115200
    int dataBits = 8;         // 5..8
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
};

// Read and write time-outs in milliseconds, in the form of the engine:
// a read of k characters ends when k characters are in, when
// interCharMs pass without a character after the first one, or when
// k * readPerCharMs + readConstantMs pass in total; a write of k characters
// may take k * writePerCharMs + writeConstantMs.
struct Timeouts {
    int interCharMs = 20;
    int readPerCharMs = 1;
    int readConstantMs = 0;
    int writePerCharMs = 1;
    int writeConstantMs = 0;
};

// An open serial device with the state found on it before opening.
struct SerialPort;

// Writes the device name library port number `port` (0..255) opens when no
// name was bound to it: the OS's name of serial port `port` ("COM<port+1>"
// on Windows, /dev/ttyS<port> on Linux). `out` holds `size` characters.
void defaultDeviceName(int port, char* out, std::size_t size);

// Opens an existing device by name for reading and writing, exclusively
// (a second opener fails), without making it a controlling terminal, and
// remembers its line settings, time-outs and control state so that
// serialClose can restore them. Asks the driver for low latency where it
// offers that. Returns null on failure (nothing stays open).
SerialPort* serialOpen(const char* device);

// The system's error code (errno / GetLastError) of the calling thread's last
// failed serialOpen or serialConfigure; 0 after a successful open or before
// any attempt. Each thread has its own.
int serialLastOpenError();

// Applies the line settings (raw mode as described at LineSettings).
// Returns false if the driver refuses any of them or a value is not
// supported (unknown speed, data bits outside 5..8).
bool serialConfigure(SerialPort* port, const LineSettings& settings);

// Sets the read and write time-outs used by serialRead/serialWriteAll.
bool serialSetTimeouts(SerialPort* port, const Timeouts& timeouts);

// Raise (true) or lower (false) RTS / DTR. A device without modem lines
// (e.g. a pseudo-terminal) is not an error: the request is ignored.
void serialSetRts(SerialPort* port, bool raised);
void serialSetDtr(SerialPort* port, bool raised);

// Discards everything in the driver's input and output buffers (and
// aborts pending operations where the OS has such).
void serialPurge(SerialPort* port);

// Writes the whole buffer and waits until the driver has sent it (bounded
// by the write time-outs). Returns false if not all of it left.
bool serialWriteAll(SerialPort* port, const void* data, std::size_t length);

// Transmits one character at once (ahead of any buffered output where the
// OS allows; otherwise as the next character). Does not wait for it to
// leave the wire.
bool serialTransmitChar(SerialPort* port, char c);

// Reads up to `wanted` characters into `buffer` with the time-outs of
// serialSetTimeouts. Returns as soon as `wanted` characters are in.
// Returns the count read (0 = time-out), or kSerialFailed if the device failed.
constexpr int kSerialFailed = -1;
int serialRead(SerialPort* port, void* buffer, std::size_t wanted);

// The system's error code (errno / GetLastError) of the first read, write or
// purge on the port that failed since the last serialClearIoError; 0 when all
// worked. A line hung up without an error code (a USB adapter pulled: the
// device reports end of file) counts as EIO on POSIX. Tells a port that is
// gone from a device that is silent (a read that only waited its time).
int serialIoError(const SerialPort* port);
void serialClearIoError(SerialPort* port);

// Restores the saved line settings, time-outs and control state, discards
// both buffers and closes the device. Null is allowed (does nothing).
void serialClose(SerialPort* port);

// ------------------------------------------------------------ TCP sockets

// A connected TCP stream to a serial device server (see NetLine.h).
struct Socket;

// Sets the calling thread's last open error (see serialLastOpenError) for
// an open that failed outside this file (a network port's connect or its
// line settings refused by the server).
void setLastOpenError(int error);

// Resolves `host` (a name or a numeric IPv4/IPv6 address without brackets)
// and connects to `port`, trying each address found, within `timeoutMs` in
// all. The stream is non-blocking, without the Nagle delay (TCP_NODELAY)
// and with keep-alive probes. Returns null on failure with *error set to
// the system's reason: a name that cannot be resolved gives the resolver's
// code (POSIX: getaddrinfo's EAI_* value, negative; Windows: WSAHOST_NOT_FOUND
// or WSANO_DATA), a refusal ECONNREFUSED / WSAECONNREFUSED, an unreachable
// host or network EHOSTUNREACH / ENETUNREACH (WSA forms on Windows), and no
// answer within the time ETIMEDOUT / WSAETIMEDOUT.
Socket* socketConnect(const char* host, int port, int timeoutMs, int* error);

// Sends all bytes, waiting for room until the absolute monotonic deadline.
// Returns false with *error set when the stream failed or the time ran out
// (ETIMEDOUT / WSAETIMEDOUT).
bool socketSendAll(Socket* socket, const void* data, std::size_t length, std::int64_t deadlineNs, int* error);

// Receives up to `size` bytes, waiting until the absolute monotonic deadline
// for the first one (a deadline in the past takes only what is there).
// Returns the count (0: nothing came in time) or kSerialFailed with *error
// set: the system's error, or socketClosedError() when the server closed
// the connection.
int socketReceive(Socket* socket, void* buffer, std::size_t size, std::int64_t deadlineNs, int* error);

// The code reported for a connection the server closed: ECONNRESET /
// WSAECONNRESET.
int socketClosedError();
// The code reported for a time that ran out: ETIMEDOUT / WSAETIMEDOUT.
int socketTimedOutError();
// The code reported for a network address that is not well formed and for
// line settings a server refused: EINVAL / WSAEINVAL.
int socketInvalidError();

// The system's smoothed round-trip time of the connection in microseconds,
// or -1 where the system does not tell it.
int socketRoundTripUs(Socket* socket);

// Closes the stream. Null is allowed.
void socketClose(Socket* socket);

// ------------------------------------------------------------- clock, sleep

// Monotonic clock in nanoseconds (arbitrary origin, resolution 1 µs or
// better).
std::int64_t monotonicNs();

// Sleeps the calling thread for at least `ms` milliseconds.
void sleepMs(int ms);

// ------------------------------------------------------ locks, condition

// A lock (not recursive). The library core creates its locks in
// libraryLoad and destroys them in libraryUnload.
struct Lock;
Lock* lockCreate();
void lockDestroy(Lock* lock);
void lockAcquire(Lock* lock);
void lockRelease(Lock* lock);

// A condition variable used with a Lock: conditionWait releases the lock
// (held by the caller), sleeps until woken and takes the lock again before
// it returns. It may also return without a wake-up, so the caller tests
// what it waits for in a loop.
struct Condition;
Condition* conditionCreate();
void conditionDestroy(Condition* condition);
void conditionWait(Condition* condition, Lock* lock);
void conditionWakeAll(Condition* condition);

// ------------------------------------------- thread-local storage, hooks

// One thread-local slot holding each thread's record. `threadEnd` is called
// in a thread that ends while its slot is non-null, with that value (the
// slot is null afterwards). Returns false if no slot is available.
using ThreadEndHook = void (*)(void* value);
bool tlsCreate(ThreadEndHook threadEnd);
void tlsDestroy();
void* tlsGet();
bool tlsSet(void* value);

// ------------------------------------------------- load and unload hooks

// Implemented by the library core, called by the platform file: on POSIX
// from the shared object's constructor and destructor, on Windows from
// DllMain (process attach/detach; thread detach calls the ThreadEndHook).
// libraryLoad returns false when the library cannot work (no thread-local
// slot); the platform then refuses to load where it can.
bool libraryLoad();
void libraryUnload();

}  // namespace kavu::platform
