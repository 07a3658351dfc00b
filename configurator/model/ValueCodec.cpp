#include "ValueCodec.h"

#include "value_codec.h"

#include <QCoreApplication>
#include <QDate>
#include <QRegularExpression>
#include <QTime>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cmath>
#include <limits>

namespace ValueCodec {

namespace {

const quint32 halfMagnitudeMax = 0x7FFF;
// Data bytes one frame carries; an index takes two of them.
const int maxDataBytes = 15;

QString tr(const char *text)
{
    return QCoreApplication::translate("ValueCodec", text);
}

int maxValueBytes(const ParameterSpec &spec)
{
    return maxDataBytes - (spec.index >= 0 ? 2 : 0);
}

quint32 widthMax(ValueKind kind)
{
    return kind == ValueKind::Short || kind == ValueKind::Word ? 0xFFFF : 0xFF;
}

// One half of a point text; "" counts as 0 (a missing half).
bool encodeHalf(const QString &text, int scale, quint16 *half)
{
    double part = 0.0;
    if (!text.trimmed().isEmpty() && !parseFloatText(text, part))
        return false;
    // The nearest step: a decimal text such as "1,15" is 1.1499999... in
    // binary, so truncating would lose a whole step.
    const double v = std::round(part * scale * 10.0);
    if (std::fabs(v) > halfMagnitudeMax)
        return false;
    const qint32 iv = static_cast<qint32>(v);
    *half = iv < 0 ? static_cast<quint16>(0x8000 - iv) : static_cast<quint16>(iv);
    return true;
}

double decodeHalf(quint16 half, int scale)
{
    const quint16 magnitude = half & 0x7FFF;
    const double v = (half & 0x8000) ? -double(magnitude) : double(magnitude);
    // One division, so the text is the step's shortest decimal form; 0x8000
    // (a negative zero) reads as 0.
    return magnitude ? v / (10.0 * scale) : 0.0;
}

bool parseFields(const QString &text, const QRegularExpression &form, int count, int *fields)
{
    const QRegularExpressionMatch m = form.match(text.trimmed());
    if (!m.hasMatch())
        return false;
    for (int i = 0; i < count; ++i)
        fields[i] = m.captured(i + 1).toInt();
    return true;
}

// "" when v lies within the limit texts, compared at the precision the value
// travels in (a float 0.1 must pass a maximum of "0,1").
QString floatLimitProblem(float v, const QString &minText, const QString &maxText)
{
    double limit = 0;
    if (!minText.isEmpty() && parseFloatText(minText, limit) && v < float(limit))
        return tr("меньше минимума %1").arg(minText);
    if (!maxText.isEmpty() && parseFloatText(maxText, limit) && v > float(limit))
        return tr("больше максимума %1").arg(maxText);
    return QString();
}

QString integerLimitProblem(quint32 v, const ParameterSpec &spec)
{
    quint32 limit = 0;
    if (!spec.minValue.isEmpty() && parseUnsigned(spec.minValue, UINT_MAX, &limit) && v < limit)
        return tr("меньше минимума %1").arg(spec.minValue);
    if (!spec.maxValue.isEmpty() && parseUnsigned(spec.maxValue, UINT_MAX, &limit) && v > limit)
        return tr("больше максимума %1").arg(spec.maxValue);
    return QString();
}

QByteArray bigEndian(quint32 v, int bytes)
{
    QByteArray out;
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out.append(char((v >> shift) & 0xFF));
    return out;
}

quint32 fromBigEndian(const QByteArray &bytes)
{
    quint32 v = 0;
    for (const char b : bytes)
        v = (v << 8) | quint8(b);
    return v;
}

} // namespace

QString withDecimalComma(const QString &text)
{
    return QString(text).replace(QLatin1Char('.'), QLatin1Char(','));
}

QString withDecimalPoint(const QString &text)
{
    return QString(text).replace(QLatin1Char(','), QLatin1Char('.'));
}

QString typedNumber(const QString &text)
{
    return withDecimalComma(text.trimmed());
}

QString typedValue(const ParameterSpec &spec, const QString &text)
{
    if (spec.kind != ValueKind::Float && spec.kind != ValueKind::Point)
        return text;
    // A point's halves are typed numbers each ("1.5; 2" -> "1,5;2").
    QStringList parts = text.split(QLatin1Char(';'));
    for (QString &part : parts)
        part = typedNumber(part);
    return parts.join(QLatin1Char(';'));
}

QString floatText(double value)
{
    return withDecimalComma(QString::number(value, 'g', 6));
}

bool parseFloatText(const QString &text, double &value)
{
    bool ok = false;
    const double v = withDecimalPoint(text.trimmed()).toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

bool parseFloat(const QString &text, float *value)
{
    double v = 0;
    // Every finite float, up to the largest (3,40282e+38 as shown).
    if (!parseFloatText(text, v) || std::fabs(v) > double(std::numeric_limits<float>::max()))
        return false;
    *value = float(v);
    return true;
}

bool parseUnsigned(const QString &text, quint32 max, quint32 *value)
{
    bool ok = false;
    const qulonglong v = text.trimmed().toULongLong(&ok, 10);
    if (!ok || v > max)
        return false;
    *value = quint32(v);
    return true;
}

QString bitmaskText(uint value)
{
    QString text(8, QLatin1Char('0'));
    for (int bit = 0; bit < 8; ++bit) {
        if (value & (1u << bit))
            text[bit] = QLatin1Char('1');
    }
    return text;
}

QString part(const QString &text, int index)
{
    return text.section(QLatin1Char(';'), index, index);
}

QStringList entries(const QString &valueSet)
{
    return valueSet.split(QLatin1Char(';'));
}

int pointScale(const QString &scaleFloat)
{
    bool ok = false;
    const int s = scaleFloat.trimmed().toInt(&ok);
    return ok && s > 0 ? s : 1;
}

bool encodePoint(const QString &text, int scale, quint32 *word)
{
    const QStringList parts = text.split(QLatin1Char(';'));
    quint16 x = 0, y = 0;
    if (parts.size() > 2 || !encodeHalf(parts.value(0), scale, &x) || !encodeHalf(parts.value(1), scale, &y))
        return false;
    *word = quint32(x) | (quint32(y) << 16);
    return true;
}

QString decodePoint(quint32 word, int scale)
{
    return floatText(decodeHalf(quint16(word & 0xFFFF), scale)) + QLatin1Char(';')
           + floatText(decodeHalf(quint16(word >> 16), scale));
}

QString decodeTime(quint32 packed)
{
    auto two = [](quint32 v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    return two((packed >> 24) & 0xFF) + QLatin1Char(':') + two((packed >> 16) & 0xFF) + QLatin1Char(':')
           + two((packed >> 8) & 0xFF);
}

QTime parseTime(const QString &text)
{
    unsigned char bytes[4];
    return encodeTime(text, bytes) ? QTime(bytes[0], bytes[1], bytes[2]) : QTime();
}

QString timeText(const QTime &value)
{
    return value.toString(QStringLiteral("hh:mm:ss"));
}

bool encodeTime(const QString &text, unsigned char bytes[4])
{
    static const QRegularExpression form(QStringLiteral("^(\\d{1,2}):(\\d{1,2}):(\\d{1,2})$"));
    int f[3];
    if (!parseFields(text, form, 3, f) || f[0] > 23 || f[1] > 59 || f[2] > 59)
        return false;
    bytes[0] = static_cast<unsigned char>(f[0]);
    bytes[1] = static_cast<unsigned char>(f[1]);
    bytes[2] = static_cast<unsigned char>(f[2]);
    bytes[3] = 0x31;
    return true;
}

QString decodeDateTime(const unsigned char *bytes, int count)
{
    if (count < 6)
        return QString();
    const int year = 2000 + static_cast<signed char>(bytes[0]);
    return QStringLiteral("%1/%2/%3/%4:%5:%6")
        .arg(year, 4, 10, QLatin1Char('0'))
        .arg(bytes[1] + 1, 2, 10, QLatin1Char('0'))
        .arg(bytes[2] + 1, 2, 10, QLatin1Char('0'))
        .arg(bytes[3], 2, 10, QLatin1Char('0'))
        .arg(bytes[4], 2, 10, QLatin1Char('0'))
        .arg(bytes[5], 2, 10, QLatin1Char('0'));
}

bool encodeDateTime(const QString &text, unsigned char bytes[7])
{
    static const QRegularExpression form(
        QStringLiteral("^(\\d{4})/(\\d{1,2})/(\\d{1,2})/(\\d{1,2}):(\\d{1,2}):(\\d{1,2})$"));
    int f[6];
    if (!parseFields(text, form, 6, f))
        return false;
    if (!QDate(f[0], f[1], f[2]).isValid() || !QTime(f[3], f[4], f[5]).isValid())
        return false;
    if (f[0] - 2000 < -128 || f[0] - 2000 > 127)
        return false;
    bytes[0] = static_cast<unsigned char>(static_cast<signed char>(f[0] - 2000));
    bytes[1] = static_cast<unsigned char>(f[1] - 1);
    bytes[2] = static_cast<unsigned char>(f[2] - 1);
    bytes[3] = static_cast<unsigned char>(f[3]);
    bytes[4] = static_cast<unsigned char>(f[4]);
    bytes[5] = static_cast<unsigned char>(f[5]);
    bytes[6] = 0x61;
    return true;
}

QDateTime parseDateTime(const QString &text)
{
    unsigned char b[7];
    if (!encodeDateTime(text, b))
        return QDateTime();
    return QDateTime(QDate(2000 + static_cast<signed char>(b[0]), b[1] + 1, b[2] + 1), QTime(b[3], b[4], b[5]));
}

QString dateTimeText(const QDateTime &value)
{
    return value.toString(QStringLiteral("yyyy/MM/dd/hh:mm:ss"));
}

QString rawText(const unsigned char *bytes, int count)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(bytes), qMax(0, count)).toHex().toUpper());
}

bool encodeRaw(const QString &text, int maxBytes, QByteArray *bytes)
{
    static const QRegularExpression form(QStringLiteral("^([0-9A-Fa-f]{2})*$"));
    const QString t = text.trimmed();
    if (!form.match(t).hasMatch() || t.size() / 2 > maxBytes)
        return false;
    *bytes = QByteArray::fromHex(t.toLatin1());
    return true;
}

namespace {
// Windows-1251, the device's code page: the characters of bytes 0x80..0xFF
// (0x98 has none and reads as U+FFFD). Bytes below 0x80 are ASCII. A table of
// its own, because Qt 6 has no Windows-1251 converter without Qt5Compat.
constexpr char16_t cp1251High[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};
} // namespace

QByteArray toDeviceText(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const auto u : text.toUcs4()) {
        if (u < 0x80) {
            bytes.append(static_cast<char>(u));
            continue;
        }
        const auto *const end = std::end(cp1251High);
        const auto *const hit = u == 0xFFFD || u > 0xFFFF ? end : std::find(std::begin(cp1251High), end, char16_t(u));
        bytes.append(hit == end ? '?' : static_cast<char>(0x80 + (hit - std::begin(cp1251High))));
    }
    return bytes;
}

QString fromDeviceText(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char b : bytes) {
        const auto byte = static_cast<unsigned char>(b);
        text.append(QChar(byte < 0x80 ? char16_t(byte) : cp1251High[byte - 0x80]));
    }
    return text;
}

QString deviceText(const unsigned char *bytes, int count)
{
    QByteArray reversed;
    for (int i = count - 1; i >= 0 && bytes[i] != 0; --i)
        reversed.append(static_cast<char>(bytes[i]));
    return fromDeviceText(reversed).simplified();
}

bool enumAccepts(const ParameterSpec &spec, const QString &text)
{
    if (spec.enumIndex) {
        quint32 index = 0;
        return parseUnsigned(text, 0xFF, &index) && index < quint32(spec.valueSet.size());
    }
    return spec.valueSet.contains(text);
}

QString problem(const ParameterSpec &spec, const QString &text)
{
    switch (spec.kind) {
    case ValueKind::Enum: {
        // On the line an enumeration is a byte: its index, or its entry
        // written as a number.
        quint32 v = 0;
        return enumAccepts(spec, text) && parseUnsigned(text, 0xFF, &v) ? QString() : tr("нет в списке значений");
    }
    case ValueKind::Byte:
    case ValueKind::Short:
    case ValueKind::Word: {
        quint32 v = 0;
        if (!parseUnsigned(text, widthMax(spec.kind), &v))
            return tr("не целое число от 0 до %1").arg(widthMax(spec.kind));
        return integerLimitProblem(v, spec);
    }
    case ValueKind::Float: {
        float v = 0;
        if (!parseFloat(text, &v))
            return tr("не число");
        return floatLimitProblem(v, spec.minValue, spec.maxValue);
    }
    case ValueKind::Point: {
        quint32 word = 0;
        if (text.count(QLatin1Char(';')) != 1 || !encodePoint(text, spec.scale, &word))
            return tr("не точка «x;y» с половинами до %1").arg(floatText(halfMagnitudeMax / (10.0 * spec.scale)));
        for (int i = 0; i < 2; ++i) {
            float v = 0;
            parseFloat(part(text, i), &v);
            const QString why = floatLimitProblem(v, part(spec.minValue, i), part(spec.maxValue, i));
            if (!why.isEmpty())
                return (i == 0 ? QStringLiteral("x: ") : QStringLiteral("y: ")) + why;
        }
        return QString();
    }
    case ValueKind::Time: {
        unsigned char b[4];
        if (!encodeTime(text, b))
            return tr("не время чч:мм:сс");
        // Limits are "hh:mm:ss" texts, which compare like the times they name.
        const QString t = decodeTime((quint32(b[0]) << 24) | (quint32(b[1]) << 16) | (quint32(b[2]) << 8));
        if (!spec.minValue.isEmpty() && t < spec.minValue)
            return tr("меньше минимума %1").arg(spec.minValue);
        if (!spec.maxValue.isEmpty() && t > spec.maxValue)
            return tr("больше максимума %1").arg(spec.maxValue);
        return QString();
    }
    case ValueKind::DateTime: {
        unsigned char b[7];
        return encodeDateTime(text, b) ? QString() : tr("не дата и время гггг/ММ/дд/чч:мм:сс");
    }
    case ValueKind::Raw: {
        QByteArray bytes;
        return encodeRaw(text, maxValueBytes(spec), &bytes)
                   ? QString()
                   : tr("не шестнадцатеричные байты (не больше %1)").arg(maxValueBytes(spec));
    }
    case ValueKind::Text:
        return QString();
    case ValueKind::Unknown:
        break;
    }
    return tr("неизвестный тип «%1»").arg(spec.type);
}

QByteArray encode(const ParameterSpec &spec, const QString &text)
{
    switch (spec.kind) {
    case ValueKind::Byte:
    case ValueKind::Enum:
    case ValueKind::Short:
    case ValueKind::Word: {
        quint32 v = 0;
        parseUnsigned(text, UINT_MAX, &v);
        return bigEndian(v, spec.kind == ValueKind::Short || spec.kind == ValueKind::Word ? 2 : 1);
    }
    case ValueKind::Float: {
        float v = 0;
        parseFloat(text, &v);
        std::uint8_t out[4];
        kavu::codec::encodeIEEE32(v, out);
        return QByteArray(reinterpret_cast<const char *>(out), 4);
    }
    case ValueKind::Point: {
        quint32 word = 0;
        encodePoint(text, spec.scale, &word);
        return bigEndian(word, 4);
    }
    case ValueKind::Text: {
        QByteArray bytes = toDeviceText(text).left(maxValueBytes(spec));
        std::reverse(bytes.begin(), bytes.end());
        return bytes;
    }
    case ValueKind::Time: {
        unsigned char b[4] = {0, 0, 0, 0x31};
        encodeTime(text, b);
        return QByteArray(reinterpret_cast<const char *>(b), 4);
    }
    case ValueKind::DateTime: {
        unsigned char b[7] = {0, 0, 0, 0, 0, 0, 0x61};
        encodeDateTime(text, b);
        return QByteArray(reinterpret_cast<const char *>(b), 7);
    }
    case ValueKind::Raw: {
        QByteArray bytes;
        encodeRaw(text, INT_MAX, &bytes);
        return bytes.left(maxValueBytes(spec));
    }
    case ValueKind::Unknown:
        break;
    }
    return QByteArray();
}

Check decode(const ParameterSpec &spec, const QByteArray &bytes, QString &text)
{
    const auto *b = reinterpret_cast<const unsigned char *>(bytes.constData());
    const int n = bytes.size();
    QString candidate;
    switch (spec.kind) {
    case ValueKind::Byte:
    case ValueKind::Enum:
    case ValueKind::Short:
    case ValueKind::Word: {
        if (n < 1 || n > 4)
            return Check::BadLength;
        candidate = QString::number(fromBigEndian(bytes));
        break;
    }
    case ValueKind::Float: {
        if (n != 4 && n != 3)
            return Check::BadLength;
        // A Float24 write drops the lowest mantissa byte.
        const std::uint8_t four[4] = {b[0], b[1], b[2], std::uint8_t(n == 4 ? b[3] : 0)};
        const float v = kavu::codec::decodeIEEE32(four);
        if (!std::isfinite(v))
            return Check::BadValue;
        if (!floatLimitProblem(v, spec.minValue, spec.maxValue).isEmpty())
            return Check::OutOfRange;
        text = floatText(v);
        return Check::Ok;
    }
    case ValueKind::Point:
        if (n != 4)
            return Check::BadLength;
        candidate = decodePoint(fromBigEndian(bytes), spec.scale);
        break;
    case ValueKind::Text:
        if (n > maxValueBytes(spec))
            return Check::BadLength;
        text = deviceText(b, n);
        return Check::Ok;
    case ValueKind::Time: {
        if (n != 3 && n != 4)
            return Check::BadLength;
        if (b[0] > 23 || b[1] > 59 || b[2] > 59)
            return Check::BadValue;
        candidate = decodeTime((quint32(b[0]) << 24) | (quint32(b[1]) << 16) | (quint32(b[2]) << 8));
        break;
    }
    case ValueKind::DateTime: {
        if (n != 6 && n != 7)
            return Check::BadLength;
        candidate = decodeDateTime(b, n);
        unsigned char check[7];
        if (!encodeDateTime(candidate, check))
            return Check::BadValue;
        break;
    }
    case ValueKind::Raw:
        if (n > maxValueBytes(spec))
            return Check::BadLength;
        text = rawText(b, n);
        return Check::Ok;
    case ValueKind::Unknown:
        return Check::BadValue;
    }
    if (!problem(spec, candidate).isEmpty())
        return Check::OutOfRange;
    text = candidate;
    return Check::Ok;
}

bool sameValue(const ParameterSpec &spec, const QString &a, const QString &b)
{
    switch (spec.kind) {
    case ValueKind::Byte:
    case ValueKind::Enum:
    case ValueKind::Short:
    case ValueKind::Word: {
        quint32 x = 0, y = 0;
        return parseUnsigned(a, UINT_MAX, &x) && parseUnsigned(b, UINT_MAX, &y) && x == y;
    }
    case ValueKind::Float: {
        float x = 0, y = 0;
        return parseFloat(a, &x) && parseFloat(b, &y) && floatText(x) == floatText(y);
    }
    case ValueKind::Point: {
        quint32 x = 0, y = 0;
        if (!encodePoint(a, spec.scale, &x) || !encodePoint(b, spec.scale, &y))
            return false;
        // A negative zero (the sign bit alone) is the step 0.
        auto step = [](quint32 word, int shift) {
            const quint16 half = quint16(word >> shift);
            return half == 0x8000 ? quint16(0) : half;
        };
        return step(x, 0) == step(y, 0) && step(x, 16) == step(y, 16);
    }
    case ValueKind::Time: {
        unsigned char x[4], y[4];
        return encodeTime(a, x) && encodeTime(b, y) && x[0] == y[0] && x[1] == y[1] && x[2] == y[2];
    }
    case ValueKind::DateTime: {
        const QDateTime x = parseDateTime(a), y = parseDateTime(b);
        return x.isValid() && y.isValid() && x == y;
    }
    case ValueKind::Raw: {
        QByteArray x, y;
        return encodeRaw(a, INT_MAX, &x) && encodeRaw(b, INT_MAX, &y) && x == y;
    }
    case ValueKind::Text:
        return a.simplified() == b.simplified();
    case ValueKind::Unknown:
        break;
    }
    return a == b;
}

bool sameText(const ParameterSpec &spec, const QString &a, const QString &b)
{
    const QString x = a.trimmed(), y = b.trimmed();
    if (x.isEmpty() || y.isEmpty())
        return x.isEmpty() && y.isEmpty();
    return x == y || sameValue(spec, x, y);
}

bool isValidText(const ParameterSpec &spec, const QString &text)
{
    if (spec.kind == ValueKind::Float || spec.kind == ValueKind::Point || spec.kind == ValueKind::Time) {
        // A stored number or time needs the right form; its limits are checked
        // when it is written.
        ParameterSpec unlimited = spec;
        unlimited.minValue.clear();
        unlimited.maxValue.clear();
        return problem(unlimited, text).isEmpty();
    }
    if (spec.kind == ValueKind::Raw) {
        QByteArray bytes;
        return encodeRaw(text, INT_MAX, &bytes);
    }
    return problem(spec, text).isEmpty();
}

} // namespace ValueCodec
