#pragma once

#include "ValueCodec.h"

#include <QString>
#include <QStringList>

// Names as the device description writes them, and short names for the value
// texts of ValueCodec (which does every conversion). Pure functions; safe from
// any thread.
class HrcValueText
{
public:
    // Eight characters "1"/"0" for bits 0 to 7 in that order (5 -> "10100000").
    static QString bitmaskText(uint value) { return ValueCodec::bitmaskText(value); }

    // The index-th ";"-part of a point or list text; "" when there is none.
    static QString part(const QString &text, int index) { return ValueCodec::part(text, index); }

    // Entries of a valueset text (split at ";", empty parts kept).
    static QStringList entries(const QString &valueSet) { return ValueCodec::entries(valueSet); }

    // A float as stored in the document: format 'g', six digits, decimal comma.
    static QString floatText(double value) { return ValueCodec::floatText(value); }

    // Reads a finite float written with a decimal comma or point (0 if none).
    static double toFloat(const QString &text, bool *ok = nullptr)
    {
        double value = 0;
        const bool parsed = ValueCodec::parseFloatText(text, value);
        if (ok)
            *ok = parsed;
        return parsed ? value : 0.0;
    }

    // The part of a name before the first "[" ("Thpd[2]" -> "Thpd").
    static QString baseName(const QString &name);

    // The device's name of a parameter: the part before ":" and "[".
    static QString deviceName(const QString &name);

    // The protocol name rule: at most four characters that are not "." plus at
    // most four ".", no blank, no "..", eight characters at most. Applied to the
    // part before any "[" or ":".
    static bool isValidDeviceName(const QString &name);
};
