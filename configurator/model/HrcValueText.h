#pragma once

#include <QString>
#include <QStringList>

// Text forms of parameter values and names as the device description stores
// them: decimal comma in floats, ";" between the halves of a point and between
// enumeration entries, bitmasks as decimal numbers. Pure functions; safe from
// any thread.
class HrcValueText
{
public:
    // Eight characters "1"/"0" for bits 0 to 7 in that order (5 -> "10100000").
    static QString bitmaskText(uint value);

    // The index-th ";"-part of a point or list text; "" when there is none.
    static QString part(const QString &text, int index);

    // Entries of a valueset text (split at ";", empty parts kept).
    static QStringList entries(const QString &valueSet);

    // A float as stored in the document: format 'g', six digits, decimal comma.
    static QString floatText(double value);

    // Reads a float written with a decimal comma or point.
    static double toFloat(const QString &text, bool *ok = nullptr);

    // The part of a name before the first "[" ("Thpd[2]" -> "Thpd").
    static QString baseName(const QString &name);

    // The device's name of a parameter: the part before ":" and "[".
    static QString deviceName(const QString &name);

    // The protocol name rule: at most four characters that are not "." plus at
    // most four ".", no blank, no "..", eight characters at most. Applied to the
    // part before any "[" or ":".
    static bool isValidDeviceName(const QString &name);
};
