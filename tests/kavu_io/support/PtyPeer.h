// The device side of a pseudo-terminal for exchange tests and benchmarks:
// the library opens the slave by name, the peer reads requests and writes
// replies on the master. A scripted peer runs a function in its own thread.
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
    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    const std::string& slaveName() const { return slaveName_; }
    int masterFd() const { return master_; }
    // A slave descriptor held open by the peer, so that the line stays up
    // while the library closes and reopens it, and termios can be read.
    int slaveKeeperFd() const { return keeper_; }

    // Reads one request: skips everything before '#' (e.g. the spaces a
    // character-by-character port sends while calibrating), then up to and
    // including CR. Returns "" when nothing complete came within timeoutMs.
    std::string readRequest(int timeoutMs);
    // Reads whatever arrives within timeoutMs (to prove that nothing came).
    std::string readAny(int timeoutMs);
    void write(const std::string& text);
    void writeBytes(const void* data, std::size_t length);
    // Discards what the library sent and has not been read yet.
    void drain();

    // Runs script(*this) in a peer thread; join() waits for it to end.
    // finish() tells it that nothing more will be sent: its reads return
    // at once when the master holds no more characters; then it joins.
    void run(std::function<void(PtyPeer&)> script);
    void join();
    void finish();
    // Closes the master, as a device that goes away does (a USB adapter
    // pulled): the slave side is hung up. Nothing can be read or written
    // through the peer afterwards.
    void hangUp();

private:
    int master_ = -1;
    int keeper_ = -1;
    int stop_ = -1;   // eventfd: readable once finish() was called
    std::string slaveName_;
    std::thread thread_;
};

// Monotonic milliseconds (for timing bounds).
double nowMs();

}  // namespace kavu::test
