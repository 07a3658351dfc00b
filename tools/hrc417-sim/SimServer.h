// The simulator's main loop: receives request frames on the line, lets the
// device answer them, and sends the replies paced at the line's speed with
// the injected faults, until a stop is requested.
#pragma once

#include "DeviceResponder.h"
#include "FaultInjector.h"
#include "SerialLine.h"
#include "SimOptions.h"

#include <csignal>
#include <cstdint>
#include <random>

class SimServer {
public:
    SimServer(const SimOptions& options, SerialLine& line, DeviceState& state,
              OperatingValues& plant, uint64_t seed);

    // Serves until stopRequested() becomes true or the line fails.
    // Returns false on a line failure (message in error).
    bool run(int wakeFd, volatile std::sig_atomic_t& stopRequested, QString& error);

    // Line settings of a serial device from the device's parameters.
    static LineSettings lineSettingsOf(const DeviceState& state, int baudOverride);

private:
    void receive(char c, int64_t arrivalNs);
    void handleFrame(int64_t endNs);
    void transmit(const std::vector<WireSegment>& segments, int64_t startNs);
    void log(const QString& line);
    void writeOut(const char* bytes, size_t count);
    // A network client came, or the pty client changed the line's speed.
    void acceptClient();
    void noteClientBaud();
    int64_t now() const;          // ns since the start
    static int64_t monotonicNs();
    bool sleepUntil(int64_t deadlineNs);

    const SimOptions& options_;
    SerialLine& line_;
    DeviceState& state_;
    OperatingValues& plant_;
    DeviceResponder responder_;
    FaultInjector faults_;
    int64_t epochNs_ = 0;         // monotonic time of the start
    volatile std::sig_atomic_t* stop_ = nullptr;

    int64_t charNs_ = 0;          // wire time of one character; 0 = unpaced
    int64_t inputFreeNs_ = 0;     // when the last received character ended
    int64_t outputFreeNs_ = 0;    // when the last sent character ended
    char frame_[kavu::codec::kMaxFrameText];
    int frameLength_ = 0;         // 0 = not inside a frame
    unsigned long exchanges_ = 0;
    int clientBaud_ = 0;          // last speed seen on the pty (0 = none yet)
    std::mt19937_64 latencyRandom_;
};
