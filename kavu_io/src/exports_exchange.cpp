// Exported exchange functions: the raw exchange, Listen and the typed
// reads and writes with their value encodings and reply checks.
#include "kavu_io.h"

#include "TypedOperation.h"
#include "value_codec.h"

#include <cstring>

using kavu::KavuPort;
using kavu::PortLease;
using kavu::PortRegistry;
using kavu::ReplyData;
using kavu::runTypedOperation;
namespace codec = kavu::codec;

namespace {

constexpr bool kRead = true;
constexpr bool kWrite = false;

int noCheck(KavuPort&, const ReplyData&) { return 0; }

int exceptionOfRead(KavuPort& port, const ReplyData& reply) {
    port.deviceError = -1;
    port.extendedError = codec::exceptionCodeOfRead(reply.bytes, reply.count);
    return KAVU_E_EXCEPTION;
}

int exceptionOfWrite(KavuPort& port, const ReplyData& reply) {
    port.deviceError = -1;
    port.extendedError = codec::exceptionCodeOfWrite(reply.bytes, reply.count);
    return KAVU_E_EXCEPTION;
}

// Float24 and IEEE32 writes: the device echoes the value (or an exception).
int checkEchoedFloat(KavuPort& port, const ReplyData& reply, int expectedCount) {
    if (reply.count != expectedCount) return KAVU_E_REPLY_FORMAT;
    if (codec::isExceptionValue(reply.bytes, reply.count)) return exceptionOfWrite(port, reply);
    return 0;
}

}  // namespace

extern "C" {

KAVU_API int KAVU_CALL KavuIO(int address, int mode, int read, const char* name, unsigned char* buffer, int* size) {
    if (buffer == nullptr || size == nullptr || *size < 0 || *size > codec::kMaxData) return KAVU_E_ARGUMENT;
    PortRegistry& registry = PortRegistry::instance();
    PortLease lease = registry.leaseCurrent();
    KavuPort* port = lease.port();
    if (port == nullptr) return KAVU_E_NO_PORT;
    port->resetExchange();
    port->buildRequest(codec::nameHash(name), read != 0, address, mode, buffer, *size);
    const int result = port->exchange(registry.repeats.load());
    if (port->replyDecoded()) {
        const codec::FrameFields& reply = port->reply();
        std::memcpy(buffer, reply.data(), static_cast<std::size_t>(reply.dataLength));
        *size = reply.dataLength;
    } else {
        *size = port->requestDataLength();   // the request's own bytes stay in buffer
    }
    lease.slot()->lastResult.store(result);
    return result;
}

KAVU_API int KAVU_CALL Listen(int timeout, unsigned short* hash, int* request, int* address, unsigned char* data,
                              int* size) {
    (void)timeout;   // the reply time-outs of the port apply
    if (data == nullptr || size == nullptr) return KAVU_E_ARGUMENT;
    PortLease lease = PortRegistry::instance().leaseCurrent();
    KavuPort* port = lease.port();
    if (port == nullptr) return KAVU_E_NO_PORT;
    port->resetExchange();
    const int result = port->listen();
    if (port->replyDecoded()) {
        const codec::FrameFields& frame = port->reply();
        if (hash != nullptr) *hash = frame.hash;
        if (request != nullptr) *request = frame.requestFlag ? 1 : 0;
        if (address != nullptr) *address = frame.address;
        std::memcpy(data, frame.data(), static_cast<std::size_t>(frame.dataLength));
        *size = frame.dataLength;
    }
    return result;
}

KAVU_API int KAVU_CALL WriteByte(int address, int mode, const char* name, int value, int index) {
    std::uint8_t bytes[1];
    const int n = codec::encodeByte(value, bytes);
    return runTypedOperation(address, mode, name, kWrite, bytes, n, index, noCheck);
}

KAVU_API int KAVU_CALL WriteWord(int address, int mode, const char* name, int value, int index) {
    std::uint8_t bytes[2];
    const int n = codec::encodeWord(value, bytes);
    return runTypedOperation(address, mode, name, kWrite, bytes, n, index, noCheck);
}

KAVU_API int KAVU_CALL ReadUInt(int address, int mode, const char* name, int* out, int index) {
    if (out == nullptr) return KAVU_E_NULL_POINTER;
    *out = 0;
    return runTypedOperation(address, mode, name, kRead, nullptr, 0, index,
                             [out](KavuPort&, const ReplyData& reply) {
                                 if (reply.count < 0) return KAVU_E_REPLY_FORMAT;
                                 *out = static_cast<int>(codec::decodeUInt(reply.bytes, reply.count));
                                 return 0;
                             });
}

KAVU_API int KAVU_CALL ReadSInt(int address, int mode, const char* name, int* out, int index) {
    if (out == nullptr) return KAVU_E_NULL_POINTER;
    return runTypedOperation(address, mode, name, kRead, nullptr, 0, index,
                             [out](KavuPort&, const ReplyData& reply) {
                                 if (reply.count < 0) return KAVU_E_REPLY_FORMAT;
                                 *out = codec::decodeSInt(reply.bytes, reply.count);
                                 return 0;
                             });
}

KAVU_API int KAVU_CALL WriteFloat24(int address, int mode, const char* name, float value, int index) {
    std::uint8_t bytes[3];
    codec::encodeFloat24(value, bytes);
    return runTypedOperation(address, mode, name, kWrite, bytes, 3, index,
                             [](KavuPort& port, const ReplyData& reply) { return checkEchoedFloat(port, reply, 3); });
}

KAVU_API int KAVU_CALL ReadFloat24(int address, int mode, const char* name, float* out, int index) {
    if (out == nullptr) return KAVU_E_NULL_POINTER;
    return runTypedOperation(address, mode, name, kRead, nullptr, 0, index,
                             [out](KavuPort& port, const ReplyData& reply) {
                                 if (reply.count != 3) return KAVU_E_REPLY_FORMAT;
                                 if (codec::isExceptionValue(reply.bytes, reply.count))
                                     return exceptionOfRead(port, reply);
                                 *out = codec::decodeFloat24(reply.bytes);
                                 return 0;
                             });
}

KAVU_API int KAVU_CALL WriteIEEE32(int address, int mode, const char* name, float value, int index) {
    std::uint8_t bytes[4];
    codec::encodeIEEE32(value, bytes);
    return runTypedOperation(address, mode, name, kWrite, bytes, 4, index,
                             [](KavuPort& port, const ReplyData& reply) { return checkEchoedFloat(port, reply, 4); });
}

KAVU_API int KAVU_CALL ReadIEEE32(int address, int mode, const char* name, float* out, int* tail, int index) {
    if (out == nullptr) return KAVU_E_NULL_POINTER;
    return runTypedOperation(address, mode, name, kRead, nullptr, 0, index,
                             [out, tail](KavuPort& port, const ReplyData& reply) {
                                 if (reply.count < 4 || reply.count > 6) return KAVU_E_REPLY_FORMAT;
                                 if (codec::isExceptionValue(reply.bytes, reply.count))
                                     return exceptionOfRead(port, reply);
                                 int tailValue = -1;
                                 if (reply.count == 5) {
                                     *out = codec::decodeFloat24(reply.bytes);
                                     tailValue = codec::decodeWord(reply.bytes + 3);
                                 } else {
                                     *out = codec::decodeIEEE32(reply.bytes);
                                     if (reply.count == 6) tailValue = codec::decodeWord(reply.bytes + 4);
                                 }
                                 if (tail != nullptr) *tail = tailValue;
                                 return 0;
                             });
}

KAVU_API int KAVU_CALL WriteStoredDotS(int address, int mode, const char* name, float value, int index) {
    std::uint8_t bytes[codec::kStoredDotMaxBytes];
    const int n = codec::encodeStoredDotAuto(value, bytes);
    if (n == 0) return KAVU_E_STORED_DOT;
    return runTypedOperation(address, mode, name, kWrite, bytes, n, index, noCheck);
}

KAVU_API int KAVU_CALL WriteStoredDotEx(int address, int mode, const char* name, float value, int exponent,
                                        int index) {
    std::uint8_t bytes[codec::kStoredDotMaxBytes];
    const int n = codec::encodeStoredDotWithExponent(value, exponent, bytes);
    if (n == 0) return KAVU_E_STORED_DOT;
    return runTypedOperation(address, mode, name, kWrite, bytes, n, index, noCheck);
}

KAVU_API int KAVU_CALL ReadStoredDotS(int address, int mode, const char* name, float* out, int index) {
    if (out == nullptr) return KAVU_E_NULL_POINTER;
    return runTypedOperation(address, mode, name, kRead, nullptr, 0, index,
                             [out](KavuPort&, const ReplyData& reply) {
                                 if (reply.count < 0) return KAVU_E_REPLY_FORMAT;
                                 float value = 0.0f;
                                 int exponent = 0;
                                 if (!codec::decodeStoredDot(reply.bytes, reply.count, value, exponent)) value = 0.0f;
                                 *out = value;
                                 return 0;
                             });
}

KAVU_API int KAVU_CALL ReadStoredDotU(int address, int mode, const char* name, float* out, int index) {
    if (out == nullptr) return KAVU_E_NULL_POINTER;
    return runTypedOperation(address, mode, name, kRead, nullptr, 0, index,
                             [out](KavuPort&, const ReplyData& reply) {
                                 if (reply.count < 0) return KAVU_E_REPLY_FORMAT;
                                 switch (reply.count) {
                                 case 0: *out = 0.0f; break;
                                 case 1: *out = static_cast<float>(reply.bytes[0]); break;
                                 case 2: *out = static_cast<float>(codec::decodeWord(reply.bytes)); break;
                                 case 3: *out = codec::decodeFloat24(reply.bytes); break;
                                 default: *out = codec::decodeIEEE32(reply.bytes); break;
                                 }
                                 return 0;
                             });
}

KAVU_API int KAVU_CALL ReadStoredDotEx(int address, int mode, const char* name, float* out, int* exponent,
                                       int index) {
    if (out == nullptr) return KAVU_E_NULL_POINTER;
    return runTypedOperation(address, mode, name, kRead, nullptr, 0, index,
                             [out, exponent](KavuPort&, const ReplyData& reply) {
                                 float value = 0.0f;
                                 int e = 0;
                                 if (!codec::decodeStoredDot(reply.bytes, reply.count, value, e)) return KAVU_E_REPLY_FORMAT;
                                 *out = value;
                                 if (exponent != nullptr) *exponent = e;
                                 return 0;
                             });
}

KAVU_API int KAVU_CALL ReadPkpBCD(int address, int mode, const char* name, float* out) {
    if (out == nullptr) return KAVU_E_NULL_POINTER;
    return runTypedOperation(address, mode, name, kRead, nullptr, 0, kavu::kNoIndex,
                             [out](KavuPort&, const ReplyData& reply) {
                                 if (reply.count != 3) return KAVU_E_REPLY_FORMAT;
                                 *out = codec::decodePkpBCD(reply.bytes);
                                 return 0;
                             });
}

KAVU_API int KAVU_CALL ReadSI8BCD(int address, int mode, const char* name, int* out) {
    if (out == nullptr) return KAVU_E_NULL_POINTER;
    return runTypedOperation(address, mode, name, kRead, nullptr, 0, kavu::kNoIndex,
                             [out](KavuPort&, const ReplyData& reply) {
                                 if (reply.count != 4) return KAVU_E_REPLY_FORMAT;
                                 *out = codec::decodeSI8BCD(reply.bytes);
                                 return 0;
                             });
}

KAVU_API int KAVU_CALL ReadDTMR(int address, int mode, int* a, int* b, int* c, int* d) {
    if (a == nullptr || b == nullptr || c == nullptr || d == nullptr) return KAVU_E_NULL_POINTER;
    return runTypedOperation(address, mode, "DTMR", kRead, nullptr, 0, kavu::kNoIndex,
                             [a, b, c, d](KavuPort&, const ReplyData& reply) {
                                 if (reply.count != 7) return KAVU_E_REPLY_FORMAT;
                                 const codec::Dtmr v = codec::decodeDTMR(reply.bytes);
                                 *a = v.a;
                                 *b = v.b;
                                 *c = v.c;
                                 *d = v.d;
                                 return 0;
                             });
}

KAVU_API int KAVU_CALL WriteCSET(int address, int mode, int value) {
    std::uint8_t bytes[2];
    if (!codec::encodeCSET(value, bytes)) return KAVU_E_ARGUMENT;
    return runTypedOperation(address, mode, "CSET", kWrite, bytes, 2, kavu::kNoIndex,
                             [](KavuPort&, const ReplyData& reply) { return reply.count == 2 ? KAVU_OK : KAVU_E_REPLY_FORMAT; });
}

KAVU_API int KAVU_CALL ReadRTC(int address, int mode, char* text) {
    if (text == nullptr) return KAVU_E_ARGUMENT;
    text[0] = '\0';
    return runTypedOperation(address, mode, "RTC", kRead, nullptr, 0, kavu::kNoIndex,
                             [text](KavuPort&, const ReplyData& reply) {
                                 return codec::decodeRTC(reply.bytes, reply.count, text) ? KAVU_OK : KAVU_E_REPLY_FORMAT;
                             });
}

}  // extern "C"
