// The data bytes of each value type as the device sends and takes them, and
// the conversion to and from the value texts of the description and of
// configuration files (decimal comma, "x;y" points, "hh:mm:ss", ...).
#pragma once

#include "ParameterSpec.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace ValueCodec {

enum class Check { Ok, BadLength, OutOfRange, BadValue };

// Data bytes of a read reply for the stored text (no index). A datetime is
// encoded from clock, not from text.
QByteArray encode(const ParameterSpec& spec, const QString& text, const QDateTime& clock = {});

// Decodes the value bytes of a write request into the stored text form and
// checks them against the type, the limits and the value set.
Check decode(const ParameterSpec& spec, const QByteArray& bytes, QString& text);

// Whether a stored or loaded text is a valid value of the parameter.
bool isValidText(const ParameterSpec& spec, const QString& text);

// Number texts with a decimal comma, as the configurator stores them.
QString floatText(double value);
bool parseFloatText(const QString& text, double& value);

// Date-time texts "yyyy/MM/dd/hh:mm:ss".
QDateTime parseDateTime(const QString& text);
QString dateTimeText(const QDateTime& value);

// Texts of the device in Windows-1251, as its display and protocol use them.
QByteArray toDeviceText(const QString& text);
QString fromDeviceText(const QByteArray& bytes);

}  // namespace ValueCodec
