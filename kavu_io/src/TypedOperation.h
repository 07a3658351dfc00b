// The common course of every exchange function: find the calling thread's
// port, reset its exchange state, put value bytes and index into the data
// field, build and exchange the request, check the reply, store the result
// as the slot's last result.
#pragma once

#include "KavuPort.h"
#include "kavu_io.h"
#include "PortRegistry.h"
#include "frame_codec.h"

#include <cstdint>
#include <cstring>

namespace kavu {

// The reply's data field as a typed operation sees it: the index bytes of
// an indexed request already dropped. count < 0 means the reply was too
// short to hold the index it must echo.
struct ReplyData {
    const std::uint8_t* bytes;
    int count;
};

constexpr int kNoIndex = -1;

template <typename Check>
int runTypedOperation(int address, int mode, const char* name, bool read, const std::uint8_t* value,
                      int valueLength, int index, Check&& check) {
    PortRegistry& registry = PortRegistry::instance();
    PortLease lease = registry.leaseCurrent();
    KavuPort* port = lease.port();
    if (port == nullptr) return KAVU_E_NO_PORT;
    port->resetExchange();
    std::uint8_t data[codec::kMaxData];
    int length = valueLength;
    if (length > 0) std::memcpy(data, value, static_cast<std::size_t>(length));
    bool indexed = false;
    if (index != kNoIndex && length + 2 <= codec::kMaxData) {
        data[length++] = static_cast<std::uint8_t>((index >> 8) & 0xFF);
        data[length++] = static_cast<std::uint8_t>(index & 0xFF);
        indexed = true;
    }
    port->buildRequest(codec::nameHash(name), read, address, mode, data, length);
    int result = port->exchange(registry.repeats.load());
    if (result == 0) {
        const codec::FrameFields& reply = port->reply();
        result = check(*port, ReplyData{reply.data(), reply.dataLength - (indexed ? 2 : 0)});
    }
    lease.slot()->lastResult.store(result);
    return result;
}

}  // namespace kavu
