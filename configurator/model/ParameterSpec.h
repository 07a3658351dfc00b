#pragma once

#include <QDomElement>
#include <QString>
#include <QStringList>

// How a parameter's value travels: decided once from the type and subtype
// attributes, so no code compares those texts again.
enum class ValueKind { Byte, Short, Word, Enum, Float, Point, Text, Time, DateTime, Raw, Unknown };

// One parameter element of the device description, parsed once. Copies are
// plain values, safe to hand to worker threads.
struct ParameterSpec
{
    QString name;      // namekavu as written: "Thpd[2]", "r.cor:3"
    QString baseName;  // the device name before "[" and ":": "Thpd", "r.cor"
    int index = -1;    // NAME[i]; -1 without brackets
    int channel = 0;   // NAME:c, answered at the device address + c
    bool nameValid = true; // false for a malformed index or channel
    ValueKind kind = ValueKind::Unknown;
    QString type;      // the attribute texts, kept for display only
    QString subtype;
    bool bitmask = false;
    bool enumIndex = false; // an enumeration stored and sent as its index
    QString defaultValue;
    QString minValue, maxValue;
    QStringList valueSet;   // entries of an enumeration (empty otherwise)
    int scale = 1;          // scaleFloat of a point; 1 when absent or not positive
    bool readOnly = false;  // a readonly attribute other than "", "0" or "no"
    bool polled = false;    // ivparam: an operating value computed by the device
    bool commParam = false; // commparam: a link setting
    bool local = false;     // localparam: a setting of the program, never sent

    // The largest device address the 8-bit address mode carries.
    static constexpr int kShortAddressMax = 255;

    // The parameter as the description states it.
    static ParameterSpec fromElement(const QDomElement &element);
    // The same with the limits the document's other values set: Addr's
    // maximum follows the address mode (A.Len). For values the engineer types.
    static ParameterSpec inDocument(const QDomElement &element);
    // True when the document of anyParameter sets the 11-bit address mode
    // (A.Len = 1), or has no such setting.
    static bool longAddressMode(const QDomElement &anyParameter);
    // The kind named by a type and subtype attribute (Unknown for others).
    static ValueKind kindOf(const QString &type, const QString &subtype);
    // Splits "NAME[i]:c"; false for a malformed index or channel.
    static bool splitName(const QString &name, QString *base, int *index, int *channel);

    bool isInteger() const
    {
        return kind == ValueKind::Byte || kind == ValueKind::Short || kind == ValueKind::Word || kind == ValueKind::Enum;
    }
};
