#pragma once

#include <QString>

// Names as the device description writes them. Pure functions; safe from any
// thread. Values are converted by ValueCodec alone.
class HrcValueText
{
public:
    // The part of a name before the first "[" ("Thpd[2]" -> "Thpd").
    static QString baseName(const QString &name);

    // The device's name of a parameter: the part before ":" and "[".
    static QString deviceName(const QString &name);

    // The protocol name rule: at most four characters that are not "." plus at
    // most four ".", no blank, no "..", eight characters at most. Applied to the
    // part before any "[" or ":".
    static bool isValidDeviceName(const QString &name);
};
