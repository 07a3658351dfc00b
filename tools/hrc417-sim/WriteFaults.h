// Writes the simulated device gets wrong on purpose (--write-faults), so that
// a client's read-back verification can be tested: a named parameter ignores
// a write, clamps it to a narrower range, or stores it shifted. The reply
// still reports the written value, as a faulty device would.
#pragma once

#include "DeviceDescription.h"

#include <QHash>
#include <QString>

struct WriteFault {
    enum Kind { Ignore, Clamp, Offset };
    Kind kind = Ignore;
    double step = 0;  // Offset: added to the written number (each half of a point)
};

class WriteFaults {
public:
    // Parses "ignore=NAME,clamp=NAME,offset=NAME:STEP,..." (names as the
    // description writes them, any case). False with a message in error.
    bool parse(const QString& spec, QString& error);
    // Checks the names against the description: every name known, clamp and
    // offset only on numbers. False with a message in error.
    bool check(const DeviceDescription& description, QString& error) const;

    // What the device stores for a written text: true when text is to be
    // stored (possibly changed), false when the write is ignored. Clamp keeps
    // a number at most in the middle of its limits; offset adds the step.
    bool apply(const ParameterSpec& spec, QString& text) const;

private:
    QHash<QString, WriteFault> faults_;  // key: lower-case name
};
