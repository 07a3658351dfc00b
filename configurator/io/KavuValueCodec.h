#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Conversions between the document's value texts and what the controller
// sends and receives for each transfer kind. Pure functions, safe from any
// thread. Every encoder refuses (returns false) a text that does not fit what
// is sent, so that a value is never silently changed on its way to the device.
namespace KavuValueCodec {

// A point "x;y" (decimal commas) packed into one 32-bit word: x in the low
// and y in the high 16 bits, each as sign (bit 15) and magnitude of
// part * scale * 10 truncated toward zero. A missing half counts as 0.
// False when a half is not a number or its magnitude exceeds 15 bits.
bool encodePoint(const QString &text, int scale, quint32 *word);
QString decodePoint(quint32 word, int scale);
// scaleFloat attribute: an integer, 1 when absent or not a positive number.
int pointScale(const QString &scaleFloat);

// A float as the document stores it: format 'g', six digits, decimal comma.
QString floatText(float value);
// A finite float written with a decimal comma or point.
bool parseFloat(const QString &text, float *value);

// An unsigned decimal not above max.
bool parseUnsigned(const QString &text, quint32 max, quint32 *value);

// Time of day: ReadUInt holds hours in bits 24-31, minutes 16-23, seconds
// 8-15; written as "hh:mm:ss". The write sends hours, minutes, seconds, 0x31.
QString decodeTime(quint32 packed);
bool encodeTime(const QString &text, unsigned char bytes[4]);

// Date and time "yyyy/MM/dd/hh:mm:ss": seven bytes year - 2000 (signed),
// month - 1, day - 1, hour, minute, second and 0x61 on a write.
QString decodeDateTime(const unsigned char *bytes, int count);
bool encodeDateTime(const QString &text, unsigned char bytes[7]);

// Raw bytes as upper-case hexadecimal, two digits per byte.
QString rawText(const unsigned char *bytes, int count);
// An even number of hexadecimal digits (either case), at most maxBytes bytes.
bool encodeRaw(const QString &text, int maxBytes, QByteArray *bytes);

// A device text: the reply's bytes in reverse order up to the first zero
// byte, in the controller's code page (Windows-1251), whitespace simplified.
QString deviceText(const unsigned char *bytes, int count);

// What a parameter of the device description takes: its type attributes,
// value set and limits as the document writes them.
struct ValueForm
{
    QString type;
    QString subtype;
    QString valueSet;
    QString minValue;
    QString maxValue;
    QString scaleFloat;
};

// Why text is not a value the parameter takes before anything is sent: the
// form of its type, its limits (each half of a point) and its value set.
// Empty when the value is good. Translated texts (context "KavuValueCodec").
QString valueProblem(const ValueForm &form, const QString &text);

} // namespace KavuValueCodec
