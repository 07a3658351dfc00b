/*
 * kavu_io — the Kavu serial-line protocol library.
 *
 * Plain C interface, usable from C and C++. Every function returns an int:
 * 0 for success or a negative result code (table below); outputs are written
 * through caller-supplied pointers into caller-owned buffers. The library
 * allocates nothing that the caller frees.
 *
 * Texts: every text the library writes (LastErrToStr, ReadRTC, GetBufferRTC)
 * is zero-terminated single-byte text. LastErrToStr texts are Cyrillic in the
 * Windows-1251 code page on every platform (callers convert them); RTC texts
 * are plain ASCII.
 *
 * Calling convention: on Windows every function uses __stdcall (callee pops)
 * and is exported from the DLL under its decorated name _Name@N and, except
 * ReadStoredDotEx and WriteStoredDotEx, under its plain name as well. On
 * Linux the functions are exported under their plain names with default
 * visibility; nothing else is exported from libkavu_io.so.
 *
 * Result codes
 *     0    success
 *    -1    invalid argument; in per-thread mode also a port that failed to open
 *    -2    no usable port for the calling thread (none selected, not open)
 *    -3    the per-thread record could not be created (out of memory)
 *    -4    port or slot already in use
 *    -5    the port failed to open (slot mode)
 *    -6    function not available in the current API mode
 *    -7    buffer too short for the encoding
 *    -8    null buffer pointer
 *    -9    value cannot be encoded as StoredDot
 *  -100    general exchange error
 *  -101    reply has the wrong length or cannot be decoded
 *  -102    no complete reply within the time-out
 *  -103    CRC mismatch in the reply
 *  -104    the device sent an error reply (see GetDeviceLastErr)
 *  -105    the device sent an exception value (see GetExtendedLastErr)
 *  -106    any other bad reply (framing, characters, size, hash mismatch)
 *
 * API modes and ports
 *   Mode 0 (per-thread, default): OpenPort binds a new port to the calling
 *   thread; the port is closed when the thread ends. Mode 1 (slot table):
 *   256 slots indexed by port number; OpenPort fills a slot, SelectPort makes
 *   a slot the calling thread's current port, several threads may select the
 *   same slot (they must take turns for exchanges themselves); a thread's end
 *   leaves slot ports open. Every exchange works on the calling thread's
 *   current port. Opening, closing, selecting and mode changes are guarded by
 *   one library lock; exchanges take no lock.
 *
 * Linux serial ports
 *   Port number n opens "/dev/ttyS<n>" unless SetPortName bound it to another
 *   device. The device is opened read/write, O_NOCTTY, exclusively (TIOCEXCL
 *   and an flock, so a second opener fails even as root); its line settings,
 *   modem lines and low-latency flag are saved on open and restored on close.
 *   The line is put into raw mode (no echo, no signals, no software or
 *   hardware flow control, no CR/LF translation, no HUPCL). All speeds of the
 *   speed index are set exactly (14400 and 28800 bit/s through termios2).
 *   1.5 stop bits: Linux serial drivers offer 1 and 2 stop bits only (the
 *   UART itself sends 1.5 only with 5 data bits when asked for two); code 1
 *   is accepted and sets two stop bits, which every receiver that expects
 *   1.5 accepts as well.
 *   On open the library asks the driver for low latency (ASYNC_LOW_LATENCY),
 *   which makes USB-serial converters hand over a reply at once instead of
 *   after their latency timer; drivers without it are left as they are.
 *   A pseudo-terminal can be used as a port (with direction control 1);
 *   modem-line requests it rejects do not fail the open.
 *
 * Ports behind a serial device server
 *   SetPortName also takes the address of an RS-485/RS-232-to-Ethernet
 *   server in place of a device path:
 *     tcp://HOST:PORT      transparent ("TCP server" mode): the frames go to
 *                          the server as they would go to the line; the line
 *                          settings are the server's own, OpenPort's speed
 *                          only sets the time-outs;
 *     rfc2217://HOST:PORT  Telnet with the COM-PORT-OPTION (RFC 2217):
 *                          OpenPort's speed, data bits, parity and stop bits
 *                          are set on the server and must be confirmed by it
 *                          (1.5 stop bits may come back as two); purges go
 *                          to the server too: its receive buffer, whenever
 *                          something may be left there (after connecting,
 *                          after a reply that stopped short or bytes that
 *                          came late), confirmed by the server before the
 *                          request is sent; IAC bytes are escaped both ways.
 *   HOST is a name, an IPv4 address or an IPv6 address in brackets. Options
 *   follow after '?', joined by '&': connect=MS (connect time-out,
 *   1..600000, default 3000) and rtt=MS (the link's round trip, 0..60000,
 *   instead of the measured one), e.g. "rfc2217://[fd00::7]:4001?connect=8000".
 *   The stream has TCP_NODELAY and keep-alive probes. The direction argument
 *   has no effect (the server switches its line driver; the frame is sent
 *   whole). A failed connect is a failed open; GetLastOpenSysErr tells why:
 *   Linux EINVAL (address not well formed, or settings the server refused),
 *   getaddrinfo's EAI_* code (negative: the name was not found),
 *   ECONNREFUSED (no server on that port), EHOSTUNREACH / ENETUNREACH,
 *   ETIMEDOUT (no answer within the connect time-out); ECONNRESET when the
 *   server took the connection and closed it (busy with another client).
 *   Windows gives the WSA forms (WSAEINVAL, WSAHOST_NOT_FOUND,
 *   WSAECONNREFUSED, WSAEHOSTUNREACH, WSAENETUNREACH, WSAETIMEDOUT,
 *   WSAECONNRESET). A connection that fails or that the server closes during
 *   an exchange is a lost port: the exchange ends with -102 and
 *   GetLastIoSysErr gives the system's reason (ECONNRESET for a close), not
 *   0 as for a silent device; the next exchange connects again (and, over
 *   RFC 2217, sets the line again). A close found while the port was idle is
 *   reconnected at the start of the next exchange without failing it.
 *
 * Timing (per port, fixed when the port is opened)
 *   Reply time-out T = 528000 / speed + 260 + extra time-out (SetTimeout), ms.
 *   A read of k characters ends when they are in, after 20 ms without a
 *   character once one has arrived, or after k + T ms in total. A reply is
 *   read with at most two such reads. A failed attempt (time-out, CRC
 *   mismatch, bad reply) is repeated up to GetMaxRetriesGlobal() more times,
 *   with a sleep of 10 + 10*i ms after attempt i.
 *   Network ports add a round-trip allowance A = 2 * R + 100 ms (at most
 *   30 s) to both the total time of a read and the gap between characters
 *   (20 + A ms), so that a reply split across TCP segments still decodes.
 *   R is the rtt=MS of the address if given, else an estimate kept up to
 *   date: it starts with the time of the TCP handshake and follows the
 *   system's own smoothed round trip of the connection (Linux) and, over
 *   RFC 2217, the time the server takes to confirm a purge.
 *
 * Threads
 *   Any thread may call the library. Settings (repeats, extra time-out) are
 *   plain process-wide values: set them before exchanges start. Two threads
 *   must not run exchanges on the same port at the same time.
 */
#ifndef KAVU_IO_H
#define KAVU_IO_H

#if defined(_WIN32)
#  define KAVU_CALL __stdcall
#  if defined(KAVU_IO_BUILD) || defined(KAVU_IO_STATIC)
     /* The DLL's exports are listed in its module-definition file (decorated
      * and plain names); dllexport would add the compiler's own spelling. */
#    define KAVU_API
#  else
#    define KAVU_API __declspec(dllimport)
#  endif
#else
#  define KAVU_CALL
#  if defined(KAVU_IO_BUILD) && (defined(__GNUC__) || defined(__clang__))
#    define KAVU_API __attribute__((visibility("default")))
#  else
#    define KAVU_API
#  endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes. */
#define KAVU_OK                    0
#define KAVU_E_ARGUMENT          (-1)
#define KAVU_E_NO_PORT           (-2)
#define KAVU_E_NO_MEMORY         (-3)
#define KAVU_E_BUSY              (-4)
#define KAVU_E_OPEN              (-5)
#define KAVU_E_NOT_SUPPORTED     (-6)
#define KAVU_E_BUFFER_SHORT      (-7)
#define KAVU_E_NULL_POINTER      (-8)
#define KAVU_E_STORED_DOT        (-9)
#define KAVU_E_EXCHANGE        (-100)
#define KAVU_E_REPLY_FORMAT    (-101)
#define KAVU_E_TIMEOUT         (-102)
#define KAVU_E_CRC             (-103)
#define KAVU_E_DEVICE_ERROR    (-104)
#define KAVU_E_EXCEPTION       (-105)
#define KAVU_E_BAD_REPLY       (-106)

/* Trace flags of SetDbgIndication; traces go to standard output. */
#define KAVU_TRACE_FRAMES      0x01 /* "send frame ..." / "recv frame ..." */
#define KAVU_TRACE_SEND_DATA   0x02 /* "send data  XX XX ..." packet bytes */
#define KAVU_TRACE_RECV_DATA   0x04 /* "recv data  XX XX ..." packet bytes */
#define KAVU_TRACE_RECV_SHOW   0x08 /* prints "SHOW_RVCED_DATA not supported" */
#define KAVU_TRACE_RESULT      0x10 /* the check result of every reply */
#define KAVU_TRACE_RAW         0x20 /* "recv raw   ..." every received character */

/* Size LastErrToStr's buffer must have. */
#define KAVU_ERROR_TEXT_SIZE   300
/* Size ReadRTC's and GetBufferRTC's text must have (22 characters + 0). */
#define KAVU_RTC_TEXT_SIZE      23
/* Largest data field of a frame. */
#define KAVU_MAX_DATA           15

/* ---------------------------------------------------------------- settings */

/* Selects the API mode: 0 = per-thread ports (default), 1 = slot table.
 * Returns 0; -1 for any other value. Setting the current mode again does
 * nothing; changing it first closes every open port of the old mode (threads
 * holding them then get -2). */
KAVU_API int KAVU_CALL SetApiMode(int mode);

/* Sets the number of repeats after a failed attempt, 0..20 (default 1, i.e.
 * two attempts). Returns 0; -1 if n, taken as unsigned, exceeds 20 (so -1
 * is rejected too); the setting is then unchanged. */
KAVU_API int KAVU_CALL SetMaxRetriesGlobal(int n);

/* Returns the current number of repeats. */
KAVU_API int KAVU_CALL GetMaxRetriesGlobal(void);

/* Sets the extra reply time in ms added to the reply time-out of every port
 * opened (or reopened by SetupPort) afterwards; ports already open keep
 * theirs. Returns 0; any value is accepted. Default 0. */
KAVU_API int KAVU_CALL SetTimeout(int ms);

/* Returns the current extra reply time in ms. */
KAVU_API int KAVU_CALL GetTimeout(void);

/* ------------------------------------------------------------------- ports */

/* Binds library port number `port` (0..255) to a device path, or to the
 * address of a serial device server (tcp://HOST:PORT, rfc2217://HOST:PORT;
 * see above), used by later OpenPort/SetupPort calls for that number. A null or empty device restores
 * the default ("/dev/ttyS<port>" on Linux, "\\.\COM<port+1>" on Windows).
 * Returns 0, or -1 for a port outside 0..255 or a name of 256 characters or
 * more (the binding is then unchanged). Process-wide. Ports already open are
 * not affected. */
KAVU_API int KAVU_CALL SetPortName(int port, const char* device);

/* Opens port number `port` and makes it the calling thread's current port.
 *   speed:     0 = 2400, 1 = 4800, 2 = 9600, 3 = 14400, 4 = 19200,
 *              5 = 28800, 6 = 38400, 7 = 57600, 8 = 115200 bit/s; other = 9600
 *   parity:    0 = none, 1 = even, 2 = odd; other = none
 *   dataBits:  0 = 7 bits, 1 = 8 bits; other = 8 bits
 *   stopBits:  0 = 1, 1 = 1.5 (two on Linux, see above), 2 = 2; other = 1
 *   direction: 0 = RTS switches the RS-485 line driver, 1 = the converter
 *              switches by itself (whole frame written at once), 2 = DTR
 *              switches the line driver, other = characters sent one by one
 *              without switching a line. Modes other than 1 calibrate their
 *              busy-wait delays on open (a few hundred ms) and send the
 *              frame one character at a time.
 * Per-thread mode: -4 if the thread already has a current port; -1 if the
 *   port fails to open (or port is outside 0..255); -3 if the thread record
 *   cannot be created; 0.
 * Slot mode: -2 if port > 255 (or negative); -4 if that slot already holds a
 *   port (it stays open); -5 if the port fails to open; 0. */
KAVU_API int KAVU_CALL OpenPort(int port, int speed, int parity, int dataBits,
                                int stopBits, int direction);

/* Slot mode only: gives the port held in slot `port` the new settings
 * (arguments as OpenPort) and reopens it; the slot need not be the caller's
 * current one. Returns 0; -1 if reopening failed (the port is then closed
 * but stays in its slot; SetupPort may be called again); -2 if port is
 * outside 0..255 or the slot holds no port; -6 in per-thread mode. The
 * slot's last result is set to 0 or -1. */
KAVU_API int KAVU_CALL SetupPort(int port, int speed, int parity, int dataBits,
                                 int stopBits, int direction);

/* Slot mode only: makes slot `port` (0..255) the calling thread's current
 * port. The slot need not hold a port (exchanges then return -2).
 * Returns 0; -2 if port is outside 0..255; -3 if the thread record cannot
 * be created; -1 in per-thread mode. */
KAVU_API int KAVU_CALL SelectPort(int port);

/* Closes the calling thread's current port.
 * Per-thread mode: 0 (also when the thread has no port).
 * Slot mode: 0; -2 if the current slot holds no port (or there is none). */
KAVU_API int KAVU_CALL ClosePort(void);

/* Per-thread mode: detaches the calling thread's current port and returns it
 * as an opaque handle (the thread then has no port). Returns null if the
 * thread has none, and always null in slot mode. The port stays open until
 * a thread that took it over closes it, or the API mode changes. */
KAVU_API void* KAVU_CALL RS485FromThread(void);

/* Per-thread mode: makes a handle from RS485FromThread the calling thread's
 * current port. The calling thread must already have a current port, which
 * the handle replaces (the replaced port stays open, detached, and can be
 * taken over again with its own handle). Returns 0; -1 if the thread has no
 * current port or the handle is not a detached port of this library (for
 * example null, or freed by a mode change); -6 in slot mode. */
KAVU_API int KAVU_CALL RS485ToThread(void* handle);

/* Sets the trace flags (KAVU_TRACE_*) of the calling thread's current port.
 * Returns 0; -2 without a usable port. Does not change the last result. */
KAVU_API int KAVU_CALL SetDbgIndication(int flags);

/* ------------------------------------------------------------ raw exchange */

/* Sends one request for `name` to device `address` (mode 0 = 8-bit address,
 * other = 11-bit address) with the request flag set when `read` is non-zero,
 * carrying the first *size bytes of `buffer` as the data field (an index must
 * be put there by the caller), and waits for the reply with repeats.
 * buffer must hold 15 bytes. Afterwards, whatever the result, *size and
 * buffer hold the data field of the last decoded frame (the reply's data, or
 * the request's own bytes when no reply was decoded).
 * Returns the exchange result (0, -102, -103, -104, -106); -1 for a null
 * buffer or size pointer or a size outside 0..15 (nothing sent, outputs
 * untouched); -2 without a usable port. */
KAVU_API int KAVU_CALL KavuIO(int address, int mode, int read, const char* name,
                              unsigned char* buffer, int* size);

/* Receives one frame on the current port without sending anything, with the
 * reading rules of a reply. `timeout` has no effect. Any of hash, request
 * and address may be null; data (15 bytes) and size are required. On 0 and
 * -104 the frame's hash, request flag (0/1), decoded address and data
 * (size = data length) are reported.
 * Returns 0 for a complete frame that passes size and CRC checks, -104 for
 * an error reply, -102/-103/-106 as for a reply; -1 for a null data or size
 * pointer; -2 without a usable port. Does not change the last result. */
KAVU_API int KAVU_CALL Listen(int timeout, unsigned short* hash, int* request,
                              int* address, unsigned char* data, int* size);

/* ------------------------------------------------------- typed operations */
/*
 * All take the device address and address mode first and return -2 without
 * a usable port; `name` is a zero-terminated parameter name (a name that
 * cannot be hashed is sent with hash 0); `index` -1 means none, any other
 * value is appended to the request as two bytes, high byte first, and the
 * two index bytes at the end of the reply's data are dropped before
 * decoding. Results: the exchange result (0, -102, -103, -104, -106), or
 * after a successful exchange the reply check (-101, -105). Outputs are
 * left untouched on failure unless said otherwise. A null output pointer
 * returns -8 before anything is sent. Every typed operation sets the last
 * result of its port.
 */

/* Writes value & 0xFF. */
KAVU_API int KAVU_CALL WriteByte(int address, int mode, const char* name, int value, int index);
/* Writes (value >> 8) & 0xFF, value & 0xFF. */
KAVU_API int KAVU_CALL WriteWord(int address, int mode, const char* name, int value, int index);
/* Reads an unsigned integer of all data bytes (big-endian, low 32 bits).
 * *out is written on failure too (0). */
KAVU_API int KAVU_CALL ReadUInt(int address, int mode, const char* name, int* out, int index);
/* Reads a sign-and-magnitude integer in the StoredDot layout (1..3 bytes,
 * truncated toward zero; other lengths give 0). */
KAVU_API int KAVU_CALL ReadSInt(int address, int mode, const char* name, int* out, int index);
/* Writes the three high bytes of the IEEE 754 single. Reply data must be 3
 * bytes (5 with index), else -101; an exception reply gives -105 with the
 * 12-bit extended code. */
KAVU_API int KAVU_CALL WriteFloat24(int address, int mode, const char* name, float value, int index);
/* Reads a Float24. Reply data 3 bytes (5 with index), else -101; exception
 * (first byte 0xF?) gives -105 with the 16-bit extended code 0xF000..0xFFFF. */
KAVU_API int KAVU_CALL ReadFloat24(int address, int mode, const char* name, float* out, int index);
/* Writes an IEEE 754 single. Reply data 4 bytes (6 with index), else -101;
 * exception gives -105 with the 12-bit extended code. */
KAVU_API int KAVU_CALL WriteIEEE32(int address, int mode, const char* name, float value, int index);
/* Reads an IEEE 754 single. After dropping the index: 4 bytes -> value,
 * *tail = -1; 5 bytes -> Float24 of the first three, *tail = last two as an
 * unsigned 16-bit value; 6 bytes -> IEEE32 of the first four, *tail = last
 * two; fewer than 4 or more than 6 -> -101. Exception -> -105 (16-bit code).
 * tail may be null when the caller does not want it. */
KAVU_API int KAVU_CALL ReadIEEE32(int address, int mode, const char* name, float* out, int* tail, int index);
/* Writes StoredDot with the automatic exponent; -9 (nothing sent) if |value|
 * exceeds 9999 or is not a number. */
KAVU_API int KAVU_CALL WriteStoredDotS(int address, int mode, const char* name, float value, int index);
/* Writes StoredDot with the given exponent 0..7; -9 (nothing sent) if the
 * exponent is outside 0..7 or the mantissa exceeds 9999. */
KAVU_API int KAVU_CALL WriteStoredDotEx(int address, int mode, const char* name, float value, int exponent, int index);
/* Reads a StoredDot value (1..3 data bytes; other counts give 0). */
KAVU_API int KAVU_CALL ReadStoredDotS(int address, int mode, const char* name, float* out, int index);
/* Reads 1 byte: unsigned byte; 2: unsigned 16-bit; 3: Float24; 4 or more:
 * IEEE32 of the first four; none: 0. */
KAVU_API int KAVU_CALL ReadStoredDotU(int address, int mode, const char* name, float* out, int index);
/* Reads a StoredDot value and its exponent; a count outside 1..3 -> -101.
 * exponent may be null. */
KAVU_API int KAVU_CALL ReadStoredDotEx(int address, int mode, const char* name, float* out, int* exponent, int index);
/* Reads PkpBCD (reply data must be 3 bytes, else -101). No index. */
KAVU_API int KAVU_CALL ReadPkpBCD(int address, int mode, const char* name, float* out);
/* Reads SI8BCD (reply data must be 4 bytes, else -101). No index. */
KAVU_API int KAVU_CALL ReadSI8BCD(int address, int mode, const char* name, int* out);
/* Reads the parameter "DTMR" (reply data must be 7 bytes, else -101) and
 * decodes its first six bytes into a, b, c, d. */
KAVU_API int KAVU_CALL ReadDTMR(int address, int mode, int* a, int* b, int* c, int* d);
/* Writes the parameter "CSET" with value 0..1000 as four BCD digits; -1 for
 * a value outside 0..1000 (nothing sent); a reply whose data is not 2 bytes
 * gives -101. */
KAVU_API int KAVU_CALL WriteCSET(int address, int mode, int value);
/* Reads the parameter "RTC" into text (KAVU_RTC_TEXT_SIZE bytes), e.g.
 * "2011/10/05/06:09:46". -1 for a null text; the text is set to "" first
 * (also when the exchange fails); an undecodable reply gives -101. */
KAVU_API int KAVU_CALL ReadRTC(int address, int mode, char* text);

/* --------------------------------------------------------- buffer decoders */
/*
 * Decode bytes the caller already holds (e.g. from KavuIO); no port, no
 * error state is touched. Result: the number of bytes the value occupies;
 * 0 when count is 0 (the output is then set to 0), -8 for a null byte or
 * output pointer, -7 when count is too small (also for a negative count).
 */
KAVU_API int KAVU_CALL GetBufferByte(const unsigned char* bytes, int count, char* out);
KAVU_API int KAVU_CALL GetBufferWord(const unsigned char* bytes, int count, unsigned short* out);
/* All bytes, big-endian; more than 4 keep the low 32 bits. Returns count. */
KAVU_API int KAVU_CALL GetBufferUInt(const unsigned char* bytes, int count, int* out);
/* SInt of all bytes (1..3; other counts give 0). Returns count. */
KAVU_API int KAVU_CALL GetBufferSInt(const unsigned char* bytes, int count, int* out);
KAVU_API int KAVU_CALL GetBufferFloat24(const unsigned char* bytes, int count, float* out);
KAVU_API int KAVU_CALL GetBufferIEEE32(const unsigned char* bytes, int count, float* out);
/* Both give the unsigned integer value of all bytes as a float. */
KAVU_API int KAVU_CALL GetBufferStoredDotS(const unsigned char* bytes, int count, float* out);
KAVU_API int KAVU_CALL GetBufferStoredDotU(const unsigned char* bytes, int count, float* out);
/* No zero-count shortcut: count 0 gives -7. */
KAVU_API int KAVU_CALL GetBufferPkpBCD(const unsigned char* bytes, int count, float* out);
KAVU_API int KAVU_CALL GetBufferSI8BCD(const unsigned char* bytes, int count, int* out);
KAVU_API int KAVU_CALL GetBufferDTMR(const unsigned char* bytes, int count, int* a, int* b, int* c, int* d);
/* RTC text into text (KAVU_RTC_TEXT_SIZE bytes). Returns count (also for
 * bytes that are no valid RTC value: the text is then empty; count 0 gives
 * an empty text and 0). */
KAVU_API int KAVU_CALL GetBufferRTC(const unsigned char* bytes, int count, char* text);

/* ---------------------------------------------------------------- errors */

/* Device error code of the current port: the first data byte of the last
 * error reply (-1 if it had none or the last reply was no error reply),
 * 0 after a time-out or before any exchange; -2 without a usable port. */
KAVU_API int KAVU_CALL GetDeviceLastErr(void);

/* Extended error code of the current port, set by an exception reply
 * (reads: 16 bits 0xF000..0xFFFF; writes: 12 bits); 0 otherwise;
 * -2 without a usable port. */
KAVU_API int KAVU_CALL GetExtendedLastErr(void);

/* Operating-system error code of the calling thread's last failed attempt to
 * open a device (OpenPort, SetupPort, and a reopen after a mode change): errno
 * on Linux, GetLastError() on Windows, taken where the system refused. Tells
 * why a port did not open, for example on Linux ENOENT (no such device file),
 * EACCES (no permission), EBUSY or EWOULDBLOCK (held exclusively by another
 * program), ENOTTY (not a serial device); on Windows ERROR_FILE_NOT_FOUND,
 * ERROR_ACCESS_DENIED (held by another program). 0 when the thread's last
 * attempt to open a device succeeded or it has made none; an open refused
 * before the system is asked (port number outside 0..255, port already in use)
 * leaves the value unchanged. Per thread; the result codes of the other
 * functions are not affected. */
KAVU_API int KAVU_CALL GetLastOpenSysErr(void);

/* Operating-system error code with which a read or write of the calling
 * thread's current port failed during its last exchange (KavuIO, Listen or a
 * typed operation): errno on Linux, GetLastError() on Windows (of the failed
 * ReadFile, WriteFile or ClearCommError). Tells a port that is gone from a
 * device that is silent: both end as -102, but a USB adapter pulled out or a
 * line hung up makes the reads fail (Linux: EIO, ENXIO; a hang-up reported as
 * end of file counts as EIO), while a silent device only lets them wait their
 * time (0). A port that failed so is not asked again within that exchange;
 * it stays failed until it is closed and opened again. 0 when the last
 * exchange's reads and writes all worked, and before any exchange; -2
 * without a usable port. The result codes of the other functions are not
 * affected. */
KAVU_API int KAVU_CALL GetLastIoSysErr(void);

/* Writes the Windows-1251 text for the last result of the calling thread's
 * current port into buffer (KAVU_ERROR_TEXT_SIZE bytes): "Не открыт порт"
 * without a current port; for -104 the device error text; for -105 the
 * exception text; otherwise the result-code text, with formatted fallbacks
 * for codes without a text. A null buffer does nothing (returns -8);
 * otherwise returns 0. */
KAVU_API int KAVU_CALL LastErrToStr(char* buffer);

/* ------------------------------------------------------------ link health */

/* Counters of the calling thread's current port, kept by the exchange
 * engine without locks or allocation. They start at zero when the port is
 * opened, are kept across SetupPort and end with the port. Counted:
 *   exchanges     requests handed to the line (KavuIO and every typed
 *                 read or write; Listen is not counted)
 *   attempts      requests sent, repeats included (attempts - exchanges
 *                 = repeats)
 *   timeouts      attempts without a complete reply (-102)
 *   crcErrors     attempts whose reply had a CRC mismatch (-103)
 *   badReplies    attempts with any other bad reply (-106) and replies that
 *                 passed the frame checks but do not fit the operation (-101)
 *   deviceErrors  error replies of the device (-104)
 *   exceptions    exception values in a reply (-105)
 *   replyTimeBins complete replies by the time from the end of sending to
 *                 the last character: < 5, < 10, < 20, < 50, < 100, < 200,
 *                 < 500 and >= 500 ms
 *   worstReplyUs  the longest of those times, microseconds
 * Counters wrap at 2^32. Only the thread exchanging on a port writes its
 * counters; a reset while another thread exchanges on the same slot may
 * lose that exchange's counts. */
#define KAVU_REPLY_TIME_BINS 8

typedef struct KavuLinkStats {
    unsigned int size;   /* set by the caller to sizeof(KavuLinkStats); the
                            library sets it to the number of bytes it filled */
    unsigned int exchanges;
    unsigned int attempts;
    unsigned int timeouts;
    unsigned int crcErrors;
    unsigned int badReplies;
    unsigned int deviceErrors;
    unsigned int exceptions;
    unsigned int replyTimeBins[KAVU_REPLY_TIME_BINS];
    unsigned int worstReplyUs;
} KavuLinkStats;

/* Copies the current port's counters into *stats. Returns -8 for a null
 * pointer, -1 when stats->size is smaller than this version's structure
 * (nothing written), -2 without a usable port. Takes no lock. */
KAVU_API int KAVU_CALL GetLinkStats(KavuLinkStats* stats);

/* Sets every counter of the current port to zero; -2 without a usable port. */
KAVU_API int KAVU_CALL ResetLinkStats(void);

#ifdef __cplusplus
}
#endif

#endif /* KAVU_IO_H */
