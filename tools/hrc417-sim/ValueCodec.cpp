#include "ValueCodec.h"

#include "DeviceCodec.h"

#include <QStringList>
#include <QTextCodec>

#include <cmath>

namespace ValueCodec {

namespace {

constexpr int kMaxData = 15;

uint32_t widthLimit(ValueKind kind)
{
    return kind == ValueKind::Short || kind == ValueKind::Word ? 0xFFFF : 0xFF;
}

// The number the device keeps for an integer-like text: an enumeration
// stores its index, or, without "enumindex", the entry text as a number.
bool integerOf(const QString& text, uint32_t& value)
{
    bool ok = false;
    const qulonglong v = text.trimmed().toULongLong(&ok);
    if (!ok || v > 0xFFFFFFFFull)
        return false;
    value = uint32_t(v);
    return true;
}

bool integerAllowed(const ParameterSpec& spec, uint32_t value, Check& why)
{
    why = Check::OutOfRange;
    if (value > widthLimit(spec.kind))
        return false;
    if (spec.kind == ValueKind::Enum) {
        if (spec.enumIndex)
            return value < uint32_t(spec.valueSet.size());
        return spec.valueSet.contains(QString::number(value));
    }
    uint32_t limit = 0;
    if (!spec.minValue.isEmpty() && integerOf(spec.minValue, limit) && value < limit)
        return false;
    if (!spec.maxValue.isEmpty() && integerOf(spec.maxValue, limit) && value > limit)
        return false;
    return true;
}

QString part(const QString& text, int i)
{
    const QStringList parts = text.split(';');
    return i < parts.size() ? parts[i] : QString();
}

// Whether v lies within the limit texts, compared at the precision the
// value travels in (a float 0.1 must pass a maximum of "0,1").
bool withinLimits(float v, const QString& minText, const QString& maxText)
{
    double limit = 0;
    if (!minText.isEmpty() && parseFloatText(minText, limit) && v < float(limit))
        return false;
    if (!maxText.isEmpty() && parseFloatText(maxText, limit) && v > float(limit))
        return false;
    return true;
}

uint16_t pointHalf(double coordinate, int scale)
{
    double scaled = std::trunc(coordinate * scale * 10.0);
    scaled = std::max(-32767.0, std::min(32767.0, scaled));
    const int v = int(scaled);
    if (v >= 0)
        return uint16_t(v);
    return uint16_t(0x8000 - v);
}

double pointCoordinate(uint16_t half, int scale)
{
    const int v = half > 32768 ? -(int(half) - 32768) : int(half);
    return v / 10.0 / scale;
}

bool parseTime(const QString& text, int& h, int& m, int& s)
{
    const QStringList parts = text.split(':');
    if (parts.size() != 3)
        return false;
    bool ok1, ok2, ok3;
    h = parts[0].toInt(&ok1);
    m = parts[1].toInt(&ok2);
    s = parts[2].toInt(&ok3);
    return ok1 && ok2 && ok3 && h >= 0 && h < 24 && m >= 0 && m < 60 && s >= 0 && s < 60;
}

QString timeText(int h, int m, int s)
{
    return QStringLiteral("%1:%2:%3").arg(h, 2, 10, QChar('0')).arg(m, 2, 10, QChar('0'))
        .arg(s, 2, 10, QChar('0'));
}

QTextCodec* deviceCodec()
{
    static QTextCodec* codec = QTextCodec::codecForName("Windows-1251");
    return codec;
}

}  // namespace

QString floatText(double value)
{
    return QString::number(value, 'g', 6).replace('.', ',');
}

bool parseFloatText(const QString& text, double& value)
{
    bool ok = false;
    const double v = QString(text).replace(',', '.').trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

QDateTime parseDateTime(const QString& text)
{
    QDateTime dt = QDateTime::fromString(text, "yyyy/M/d/h:m:s");
    if (!dt.isValid())
        dt = QDateTime::fromString(text, "yyyy/MM/dd/hh:mm:ss");
    return dt;
}

QString dateTimeText(const QDateTime& value)
{
    return value.toString("yyyy/MM/dd/hh:mm:ss");
}

QByteArray toDeviceText(const QString& text)
{
    return deviceCodec() ? deviceCodec()->fromUnicode(text) : text.toLatin1();
}

QString fromDeviceText(const QByteArray& bytes)
{
    return deviceCodec() ? deviceCodec()->toUnicode(bytes) : QString::fromLatin1(bytes);
}

QByteArray encode(const ParameterSpec& spec, const QString& text, const QDateTime& clock)
{
    QByteArray out;
    switch (spec.kind) {
    case ValueKind::Byte:
    case ValueKind::Enum:
    case ValueKind::Short:
    case ValueKind::Word: {
        uint32_t v = 0;
        integerOf(text, v);
        if (spec.kind == ValueKind::Short || spec.kind == ValueKind::Word)
            out.append(char((v >> 8) & 0xFF));
        out.append(char(v & 0xFF));
        break;
    }
    case ValueKind::Float: {
        double v = 0;
        parseFloatText(text, v);
        out = ieee32Bytes(float(v));
        break;
    }
    case ValueKind::Point: {
        double x = 0, y = 0;
        parseFloatText(part(text, 0), x);
        parseFloatText(part(text, 1), y);
        const uint32_t word = uint32_t(pointHalf(x, spec.scale))
                            | (uint32_t(pointHalf(y, spec.scale)) << 16);
        for (int shift = 24; shift >= 0; shift -= 8)
            out.append(char((word >> shift) & 0xFF));
        break;
    }
    case ValueKind::Text: {
        // The configurator reads a text's bytes in reverse order.
        QByteArray bytes = toDeviceText(text).left(kMaxData - (spec.index >= 0 ? 2 : 0));
        std::reverse(bytes.begin(), bytes.end());
        out = bytes;
        break;
    }
    case ValueKind::Time: {
        int h = 0, m = 0, s = 0;
        parseTime(text, h, m, s);
        out.append(char(h)).append(char(m)).append(char(s)).append(char(0x31));
        break;
    }
    case ValueKind::DateTime: {
        const QDate d = clock.date();
        const QTime t = clock.time();
        out.append(char(d.year() - 2000)).append(char(d.month() - 1)).append(char(d.day() - 1));
        out.append(char(t.hour())).append(char(t.minute())).append(char(t.second()));
        out.append(char(0x61));
        break;
    }
    case ValueKind::Raw:
        out = QByteArray::fromHex(text.toLatin1()).left(kMaxData - (spec.index >= 0 ? 2 : 0));
        break;
    }
    return out;
}

Check decode(const ParameterSpec& spec, const QByteArray& bytes, QString& text)
{
    const auto* b = reinterpret_cast<const uint8_t*>(bytes.constData());
    const int n = bytes.size();
    switch (spec.kind) {
    case ValueKind::Byte:
    case ValueKind::Enum:
    case ValueKind::Short:
    case ValueKind::Word: {
        if (n < 1 || n > 4)
            return Check::BadLength;
        uint32_t v = 0;
        for (int i = 0; i < n; ++i)
            v = (v << 8) | b[i];
        Check why;
        if (!integerAllowed(spec, v, why))
            return why;
        text = QString::number(v);
        return Check::Ok;
    }
    case ValueKind::Float: {
        if (n != 4 && n != 3)
            return Check::BadLength;
        QByteArray four = bytes;
        if (n == 3)
            four.append('\0');  // a Float24 write drops the lowest mantissa byte
        const float v = ieee32Value(reinterpret_cast<const uint8_t*>(four.constData()));
        if (!std::isfinite(v))
            return Check::BadValue;
        if (!withinLimits(v, spec.minValue, spec.maxValue))
            return Check::OutOfRange;
        text = floatText(v);
        return Check::Ok;
    }
    case ValueKind::Point: {
        if (n != 4)
            return Check::BadLength;
        const uint32_t word = (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
        const double x = pointCoordinate(uint16_t(word & 0xFFFF), spec.scale);
        const double y = pointCoordinate(uint16_t(word >> 16), spec.scale);
        if (!withinLimits(float(x), part(spec.minValue, 0), part(spec.maxValue, 0))
            || !withinLimits(float(y), part(spec.minValue, 1), part(spec.maxValue, 1)))
            return Check::OutOfRange;
        text = floatText(x) + ";" + floatText(y);
        return Check::Ok;
    }
    case ValueKind::Text: {
        QByteArray reversed(bytes);
        std::reverse(reversed.begin(), reversed.end());
        const int zero = reversed.indexOf('\0');
        if (zero >= 0)
            reversed.truncate(zero);
        text = fromDeviceText(reversed);
        return Check::Ok;
    }
    case ValueKind::Time: {
        if (n != 3 && n != 4)
            return Check::BadLength;
        if (b[0] > 23 || b[1] > 59 || b[2] > 59)
            return Check::BadValue;
        const QString candidate = timeText(b[0], b[1], b[2]);
        // Limits are "hh:mm:ss" texts, which compare like the times they name.
        if ((!spec.minValue.isEmpty() && candidate < spec.minValue)
            || (!spec.maxValue.isEmpty() && candidate > spec.maxValue))
            return Check::OutOfRange;
        text = candidate;
        return Check::Ok;
    }
    case ValueKind::DateTime: {
        if (n != 6 && n != 7)
            return Check::BadLength;
        const QDate date(2000 + int8_t(b[0]), b[1] + 1, b[2] + 1);
        const QTime time(b[3], b[4], b[5]);
        if (!date.isValid() || !time.isValid())
            return Check::BadValue;
        text = dateTimeText(QDateTime(date, time));
        return Check::Ok;
    }
    case ValueKind::Raw:
        text = QString::fromLatin1(bytes.toHex().toUpper());
        return Check::Ok;
    }
    return Check::BadValue;
}

bool isValidText(const ParameterSpec& spec, const QString& text)
{
    switch (spec.kind) {
    case ValueKind::Byte:
    case ValueKind::Enum:
    case ValueKind::Short:
    case ValueKind::Word: {
        uint32_t v = 0;
        Check why;
        return integerOf(text, v) && integerAllowed(spec, v, why);
    }
    case ValueKind::Float: {
        double v = 0;
        return parseFloatText(text, v);
    }
    case ValueKind::Point: {
        double x = 0, y = 0;
        return text.count(';') == 1 && parseFloatText(part(text, 0), x) && parseFloatText(part(text, 1), y);
    }
    case ValueKind::Text:
        return true;
    case ValueKind::Time: {
        int h, m, s;
        return parseTime(text, h, m, s);
    }
    case ValueKind::DateTime:
        return parseDateTime(text).isValid();
    case ValueKind::Raw:
        return text.size() % 2 == 0 && QByteArray::fromHex(text.toLatin1()).toHex().toUpper() == text.toUpper().toLatin1();
    }
    return false;
}

}  // namespace ValueCodec
