// One device parameter as the simulator knows it from the device description.
#pragma once

#include <QString>
#include <QStringList>

enum class ValueKind { Byte, Short, Word, Enum, Float, Point, Text, Time, DateTime, Raw };

struct ParameterSpec {
    QString name;      // namekavu as written in the description, e.g. "r.cor:3"
    QString baseName;  // the device name: "r.cor", "Thpd"
    int index = -1;    // NAME[i]; -1 without brackets
    int channel = 0;   // NAME:i, answered at address + i
    ValueKind kind = ValueKind::Byte;
    bool bitmask = false;
    bool enumIndex = false;
    QString defaultValue;
    QString minValue, maxValue;
    QStringList valueSet;
    int scale = 1;          // scaleFloat of a point
    bool readOnly = false;  // any non-empty readonly attribute
    bool polled = false;    // ivparam: an operating value computed by the device
    bool commParam = false;
};
