// Windows stand-in for the tests' pseudo-terminal peer, with the same
// interface, so the library's exchange tests run unchanged under Wine (or
// on Windows with null-modem pairs). The line is a pair of COM ports joined
// outside the program (under Wine: two pseudo-terminals joined by socat,
// mapped to COM ports): the library opens one end by its name
// (slaveName()), the peer reads and writes the other end.
// KAVU_TEST_PEER_PAIRS lists the pairs, "COM7:COM8,COM9:COM10"
// (library end first); each live peer holds one pair.
#pragma once

#include "PeerFrames.h"

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace kavu::test {

class PtyPeer {
public:
    PtyPeer();   // throws std::runtime_error when no pair is free
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    // The COM port the library is to open.
    const std::string& slaveName() const { return slaveName_; }

    // Reads one request: skips everything before '#', then up to and
    // including CR. Returns "" when nothing complete came within timeoutMs.
    std::string readRequest(int timeoutMs);
    // Reads whatever arrives within timeoutMs.
    std::string readAny(int timeoutMs);
    void write(const std::string& text);
    void writeBytes(const void* data, std::size_t length);
    // Discards what the library sent and has not been read yet.
    void drain();

    // Runs script(*this) in a peer thread; join() waits for it to end.
    // finish() makes its reads return once nothing more is queued, then
    // joins.
    void run(std::function<void(PtyPeer&)> script);
    void join();
    void finish();

private:
    // Reads into buffer what arrives within one short slice; 0 if nothing.
    int readSome(char* buffer, int size);
    bool stopping() const;

    void* port_ = nullptr;    // HANDLE of the peer's end
    void* stop_ = nullptr;    // manual-reset event: finish() was called
    void* readEvent_ = nullptr;
    void* writeEvent_ = nullptr;
    int pair_ = -1;
    std::string slaveName_;
    std::thread thread_;
};

double nowMs();

}  // namespace kavu::test
