#pragma once

#include <QMetaType>
#include <QtGlobal>

// The link-health counters of the serial line as the configurator keeps
// them: sums over the ports the workers opened (the library's counters end
// with each port, so the workers take them before every close and after
// every poll cycle and hand the sums to the GUI thread by signal).
struct LinkCounts
{
    static constexpr int binCount = 8;

    quint64 exchanges = 0;
    quint64 attempts = 0;
    quint64 timeouts = 0;
    quint64 crcErrors = 0;
    quint64 badReplies = 0;
    quint64 deviceErrors = 0;
    // Error replies that answered the program's own name checks (does the
    // device know NAME without an index?): expected answers, not faults.
    quint64 nameChecks = 0;
    quint64 exceptions = 0;
    quint64 replyTimeBins[binCount] = {};
    quint32 worstReplyUs = 0;

    LinkCounts &operator+=(const LinkCounts &other);
    bool isEmpty() const { return attempts == 0; }
    quint64 replies() const;
    // Share of attempts that were repeats of a failed one, 0..1.
    double retryRate() const;
    // The bin holding the median reply time; -1 without replies.
    int medianBin() const;
    // Upper bound of a bin in ms; 0 for the last, open bin (>= 500 ms).
    static int binUpperMs(int bin);
};
Q_DECLARE_METATYPE(LinkCounts)

// Adds the counters of the calling thread's current library port to *counts
// and zeroes them there. Call it from the thread that owns the port (a
// worker); false when the thread has no usable port.
bool takeLinkCounts(LinkCounts *counts);

// Notes, on the calling worker thread, that an error reply just received
// answered a name check: the next takeLinkCounts counts it as such.
void noteNameCheckRefusal();

// What the counters suggest about the line.
enum class LinkCause {
    Unknown,       // too few attempts to say
    Good,          // nothing stands out
    NoReplies,     // many time-outs, no damaged frames: address, speed or wiring
    DamagedFrames, // CRC errors or bad frames: speed, parity, termination or noise
};
// Error replies and exception values are left out: they are the device's
// answers about parameters (unknown names, sensor breaks), not line faults.
LinkCause likelyCause(const LinkCounts &counts);
