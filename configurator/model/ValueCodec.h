#pragma once

#include "ParameterSpec.h"

#include <QByteArray>
#include <QDateTime>
#include <QTime>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// The one conversion of parameter values between the texts of the document
// and of configuration files (decimal comma, "x;y" points, "hh:mm:ss", ...),
// the typed values the library's calls take, and the data bytes that travel
// on the line. The configurator, its tools and the simulator all convert
// through here. Pure functions, safe from any thread. Every encoder refuses
// (returns false) a text that does not fit what is sent, so that a value is
// never silently changed on its way to the device.
namespace ValueCodec {

// ---- Numbers ---------------------------------------------------------------

// A number text as typed with a decimal comma (the document's form) or with a
// decimal point (the form of number widgets and of C); nothing else changes.
QString withDecimalComma(const QString &text);
QString withDecimalPoint(const QString &text);
// A number as a person types it (an editor, a table cell, the command line)
// in the document's form: blanks around it dropped and a decimal point taken
// as the decimal comma ("2.5" -> "2,5"). Nothing else is changed or dropped,
// so a text that is no number stays one for parseFloatText to refuse.
QString typedNumber(const QString &text);
// typedNumber for a value of the parameter's kind: floats and both halves of
// a point; other kinds are returned as they are.
QString typedValue(const ParameterSpec &spec, const QString &text);

// A float as the document stores it: format 'g', six digits, decimal comma.
QString floatText(double value);
// A finite number written with a decimal comma or point.
bool parseFloatText(const QString &text, double &value);
// parseFloatText, also within the range of a float.
bool parseFloat(const QString &text, float *value);
// An unsigned decimal not above max.
bool parseUnsigned(const QString &text, quint32 max, quint32 *value);
// Eight characters "1"/"0" for bits 0 to 7 in that order (5 -> "10100000").
QString bitmaskText(uint value);

// The index-th ";"-part of a point or list text; "" when there is none.
QString part(const QString &text, int index);
// Entries of a valueset text (split at ";", empty parts kept).
QStringList entries(const QString &valueSet);

// ---- Points ----------------------------------------------------------------

// A point "x;y" packed into one 32-bit word: x in the low and y in the high
// 16 bits, each as sign (bit 15) and magnitude of part * scale * 10 rounded to
// the nearest step. A missing half counts as 0. False when a half is not a
// number or its magnitude exceeds 15 bits. The word travels as the bit
// pattern of an IEEE float.
bool encodePoint(const QString &text, int scale, quint32 *word);
// Each half divided by scale * 10; 0x8000 (a negative zero) reads as 0.
QString decodePoint(quint32 word, int scale);
// scaleFloat attribute: an integer, 1 when absent or not a positive number.
int pointScale(const QString &scaleFloat);

// ---- Times -----------------------------------------------------------------

// Time of day: a read gives hours in bits 24-31, minutes 16-23, seconds 8-15;
// written as "hh:mm:ss". The write sends hours, minutes, seconds, 0x31.
QString decodeTime(quint32 packed);
bool encodeTime(const QString &text, unsigned char bytes[4]);
// The same texts as QTime ("7:05:00" is 07:05:00; invalid when the text is no
// time of day), and a QTime as "hh:mm:ss".
QTime parseTime(const QString &text);
QString timeText(const QTime &value);

// Date and time "yyyy/MM/dd/hh:mm:ss" (single-digit fields accepted): seven
// bytes year - 2000 (signed), month - 1, day - 1, hour, minute, second and
// 0x61 on a write. Decoding needs six bytes ("" with fewer).
QString decodeDateTime(const unsigned char *bytes, int count);
bool encodeDateTime(const QString &text, unsigned char bytes[7]);
// The same texts as QDateTime (invalid when the text is no date-time).
QDateTime parseDateTime(const QString &text);
QString dateTimeText(const QDateTime &value);

// ---- Raw bytes and device texts -------------------------------------------

// Raw bytes as upper-case hexadecimal, two digits per byte.
QString rawText(const unsigned char *bytes, int count);
// An even number of hexadecimal digits (either case), at most maxBytes bytes.
bool encodeRaw(const QString &text, int maxBytes, QByteArray *bytes);

// Texts of the device in its code page (Windows-1251).
QByteArray toDeviceText(const QString &text);
QString fromDeviceText(const QByteArray &bytes);
// A device text as it travels: the bytes in reverse order; decoding stops at
// the first zero byte from the end and simplifies whitespace.
QString deviceText(const unsigned char *bytes, int count);

// ---- One parameter ---------------------------------------------------------

// Whether an enumeration accepts text: an index into the value set with
// "enumindex", otherwise one of its entries.
bool enumAccepts(const ParameterSpec &spec, const QString &text);

// What is wrong with text as a value of the parameter ("" when it is a valid
// value of its kind, within its limits and value set).
QString problem(const ParameterSpec &spec, const QString &text);

// The data bytes of the value as they travel in a reply or a write request
// (no index). Texts and raw bytes are cut to what one frame carries. A text
// the kind cannot encode gives the bytes of a zero value.
QByteArray encode(const ParameterSpec &spec, const QString &text);

enum class Check { Ok, BadLength, OutOfRange, BadValue };
// The text of the data bytes of a write request, checked against the kind
// (length, valid time or date), the value width, the value set and limits.
Check decode(const ParameterSpec &spec, const QByteArray &bytes, QString &text);

// Whether two texts are the same value of the parameter as the device holds
// it: numbers as numbers (a float to the six digits a read gives), points by
// their scaled steps, times and dates field by field, raw bytes as bytes.
// False when either text is no value of the kind.
bool sameValue(const ParameterSpec &spec, const QString &a, const QString &b);

// Whether two texts of documents, files or replies hold the same value: the
// program's one comparison (the read-back after a write, the compare and
// history windows, the report, hrc417). An empty text only matches an empty
// one; texts that are values of the kind compare by sameValue ("5" is "5,0",
// "-25;90" is "-25,0;90,0", "7:05:00" is "07:05:00"); any other text (an
// enumeration's entry) as trimmed text.
bool sameText(const ParameterSpec &spec, const QString &a, const QString &b);

// Whether a stored or loaded text is a complete valid value of its kind
// (a point needs both halves).
bool isValidText(const ParameterSpec &spec, const QString &text);

} // namespace ValueCodec
