#include "KavuValueCodec.h"

#include <QCoreApplication>
#include <QDate>
#include <QRegularExpression>
#include <QStringList>
#include <QTextCodec>
#include <QTime>

#include <cmath>

namespace KavuValueCodec {

namespace {

const quint32 halfMagnitudeMax = 0x7FFF;

// Parses a decimal with comma or point; "" counts as 0 (a missing half).
bool parseHalf(const QString &text, double *value)
{
    const QString t = text.trimmed();
    if (t.isEmpty()) {
        *value = 0.0;
        return true;
    }
    bool ok = false;
    *value = QString(t).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    return ok && std::isfinite(*value);
}

bool encodeHalf(const QString &text, int scale, quint16 *half)
{
    double part = 0.0;
    if (!parseHalf(text, &part))
        return false;
    // The product of a decimal text and the scale is meant to be exact;
    // the small nudge keeps binary rounding (2.3 * 10 = 22.999...) from
    // truncating it one step toward zero.
    const double scaled = part * scale * 10.0;
    const double v = std::trunc(scaled + (scaled >= 0 ? 1e-7 : -1e-7));
    if (std::fabs(v) > halfMagnitudeMax)
        return false;
    const qint32 iv = static_cast<qint32>(v);
    *half = iv < 0 ? static_cast<quint16>(0x8000 - iv) : static_cast<quint16>(iv);
    return true;
}

double decodeHalf(quint16 half, int scale)
{
    // Bit 15 is the sign; 0x8000 is a negative zero.
    const quint16 magnitude = half & 0x7FFF;
    const double v = (half & 0x8000) && magnitude ? -double(magnitude) : double(magnitude);
    return v / 10.0 / scale;
}

QString gText(double v)
{
    return QString::number(v, 'g', 6).replace(QLatin1Char('.'), QLatin1Char(','));
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

} // namespace

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
    if (!encodeHalf(parts.value(0), scale, &x) || !encodeHalf(parts.value(1), scale, &y))
        return false;
    *word = quint32(x) | (quint32(y) << 16);
    return true;
}

QString decodePoint(quint32 word, int scale)
{
    return gText(decodeHalf(quint16(word & 0xFFFF), scale)) + QLatin1Char(';')
           + gText(decodeHalf(quint16(word >> 16), scale));
}

QString floatText(float value)
{
    return gText(double(value));
}

bool parseFloat(const QString &text, float *value)
{
    bool ok = false;
    const double v = QString(text.trimmed()).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    if (!ok || !std::isfinite(v) || std::fabs(v) > 3.4e38)
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

QString decodeTime(quint32 packed)
{
    auto two = [](quint32 v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    return two((packed >> 24) & 0xFF) + QLatin1Char(':') + two((packed >> 16) & 0xFF) + QLatin1Char(':')
           + two((packed >> 8) & 0xFF);
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
    // "yyyy/MM/dd/hh:mm:ss"; single-digit fields are accepted as well.
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

QString deviceText(const unsigned char *bytes, int count)
{
    QByteArray reversed;
    for (int i = count - 1; i >= 0 && bytes[i] != 0; --i)
        reversed.append(static_cast<char>(bytes[i]));
    static QTextCodec *const cp1251 = QTextCodec::codecForName("Windows-1251");
    const QString text = cp1251 ? cp1251->toUnicode(reversed) : QString::fromLatin1(reversed);
    return text.simplified();
}

namespace {

QString codecText(const char *text)
{
    return QCoreApplication::translate("KavuValueCodec", text);
}

// A number against the limit texts (either may be empty), compared as the
// value travels: a float as a float, an integer exactly.
QString limitProblem(const QString &text, double value, bool asFloat, const QString &minText,
                     const QString &maxText)
{
    auto limit = [asFloat](const QString &t, double *v) {
        bool ok = false;
        *v = QString(t.trimmed()).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
        if (asFloat)
            *v = double(float(*v));
        return ok;
    };
    double low = 0, high = 0;
    const bool hasLow = limit(minText, &low);
    const bool hasHigh = limit(maxText, &high);
    if ((hasLow && value < low) || (hasHigh && value > high)) {
        return codecText("значение %1 вне пределов %2 … %3")
            .arg(text, hasLow ? minText : QStringLiteral("-"), hasHigh ? maxText : QStringLiteral("-"));
    }
    return QString();
}

} // namespace

QString valueProblem(const ValueForm &form, const QString &text)
{
    const QString t = text.trimmed();
    if (form.subtype == QLatin1String("parpoint")) {
        quint32 word = 0;
        const QStringList halves = t.split(QLatin1Char(';'));
        if (halves.size() != 2 || !encodePoint(t, pointScale(form.scaleFloat), &word))
            return codecText("значение %1 не точка: ожидаются два числа через \";\" (например -25,0;90,0)").arg(text);
        for (int i = 0; i < 2; ++i) {
            float v = 0;
            if (!parseFloat(halves[i], &v))
                return codecText("значение %1 не точка: ожидаются два числа через \";\" (например -25,0;90,0)").arg(text);
            const QString problem = limitProblem(text, double(v), true, form.minValue.section(QLatin1Char(';'), i, i),
                                                 form.maxValue.section(QLatin1Char(';'), i, i));
            if (!problem.isEmpty())
                return problem;
        }
        return QString();
    }
    const QString &type = form.type;
    if (type == QLatin1String("float")) {
        float v = 0;
        if (!parseFloat(t, &v))
            return codecText("значение %1 не число").arg(text);
        return limitProblem(text, double(v), true, form.minValue, form.maxValue);
    }
    if (type == QLatin1String("byte") || type == QLatin1String("short") || type == QLatin1String("word")) {
        quint32 v = 0;
        if (!parseUnsigned(t, type == QLatin1String("byte") ? 0xFF : 0xFFFF, &v))
            return codecText("значение %1 не целое число от 0 до %2")
                .arg(text)
                .arg(type == QLatin1String("byte") ? 255 : 65535);
        return limitProblem(text, double(v), false, form.minValue, form.maxValue);
    }
    if (type == QLatin1String("enum")) {
        const QStringList entries = form.valueSet.split(QLatin1Char(';'));
        if (form.subtype == QLatin1String("enumindex")) {
            quint32 v = 0;
            if (!parseUnsigned(t, 0xFF, &v) || v >= quint32(entries.size()))
                return codecText("значение %1 не номер одного из значений от 0 до %2").arg(text).arg(entries.size() - 1);
            return QString();
        }
        if (!form.valueSet.isEmpty() && !entries.contains(t))
            return codecText("значение %1 не одно из значений %2").arg(text, form.valueSet);
        return QString();
    }
    if (type == QLatin1String("time")) {
        unsigned char bytes[4];
        if (!encodeTime(t, bytes))
            return codecText("значение %1 не время чч:мм:сс").arg(text);
        return QString();
    }
    if (type == QLatin1String("datetime")) {
        unsigned char bytes[7];
        if (!encodeDateTime(t, bytes))
            return codecText("значение %1 не дата и время гггг/ММ/дд/чч:мм:сс").arg(text);
        return QString();
    }
    if (type == QLatin1String("raw")) {
        QByteArray bytes;
        if (!encodeRaw(t, 15, &bytes))
            return codecText("значение %1 не шестнадцатеричные байты (не более 15)").arg(text);
        return QString();
    }
    return codecText("параметр типа %1 не записывается").arg(type);
}

} // namespace KavuValueCodec
