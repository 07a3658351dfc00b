// Command line of hrc417-sim.
#pragma once

#include "WriteFaults.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>

// Probabilities (0..1) of each line fault per reply.
struct FaultRates {
    double drop = 0;      // no reply at all
    double crc = 0;       // reply with a corrupted CRC
    double garbage = 0;   // noise characters ahead of the reply
    double split = 0;     // reply sent in two parts with a gap
    double truncate = 0;  // reply breaks off before its end
    int splitGapMs = 50;  // the gap of a split reply

    bool any() const { return drop > 0 || crc > 0 || garbage > 0 || split > 0 || truncate > 0; }
};

struct SimOptions {
    QString device;        // serve on this serial device instead of a pty
    QString link;          // symbolic link to the pty, removed on exit
    QString description;   // device description; empty = the built-in one
    QString stateFile;     // values loaded at start and saved on exit
    int address = -1;      // start address overriding the stored one
    int baud = 0;          // line pacing in bit/s; 0 = no pacing
    int turnaroundMs = 0;  // response delay of the device
    // Serving a TCP port instead of a pty (--listen tcp:HOST:PORT), as a
    // serial device server in transparent mode does: one client at a time;
    // a second one waits in the backlog, or is refused (closed at once).
    QString listen;
    bool refuseSecondClient = false;
    // A cellular link: each reply delayed by latencyMs +- jitterMs, and sent
    // in pieces of segmentBytes (0 = as the line delivers it).
    int latencyMs = 0;
    int jitterMs = 0;
    int segmentBytes = 0;
    FaultRates faults;
    WriteFaults writeFaults;
    // Parameters the device lacks (--missing), as named; main() resolves
    // them against the description into missingParameters.
    QStringList missing;
    QSet<int> missingParameters;
    uint64_t seed = 0;
    bool seedGiven = false;
    bool verbose = false;
    // On a pty: requests sent at another line speed than the device's are
    // not understood (no reply), as on a real wire.
    bool speedCheck = false;
};

// Parses the arguments (without the program name's special meaning: args[0]
// is the program). Returns false with a message in error; sets helpShown
// when --help or --version printed their text and the program should exit 0.
bool parseSimOptions(const QStringList& args, SimOptions& options, QString& error,
                     bool& helpShown);

// Parses a --faults specification such as "drop=0.1,crc=0.05,gap=40".
bool parseFaultRates(const QString& spec, FaultRates& rates, QString& error);
