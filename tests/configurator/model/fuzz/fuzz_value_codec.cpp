// libFuzzer target over the value codec's text parsing, for every kind of
// value, in both directions:
//   byte 0: the kind (and the enumindex/bitmask flags), byte 1: a point's
//   scale, byte 2: an index or not; the rest is the text (UTF-8) and, read
//   the other way, the data bytes of a write request.
// A text the codec accepts must come back from its wire form as a text that
// goes on the wire the same way (floats: the shown text is stable); wire bytes
// the codec accepts must give a text that encodes back to the same text.
#include "ValueCodec.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

ParameterSpec specFor(const std::uint8_t *data)
{
    static const ValueKind kinds[] = {ValueKind::Byte,  ValueKind::Short, ValueKind::Word,
                                      ValueKind::Enum,  ValueKind::Float, ValueKind::Point,
                                      ValueKind::Text,  ValueKind::Time,  ValueKind::DateTime,
                                      ValueKind::Raw,   ValueKind::Unknown};
    ParameterSpec spec;
    spec.kind = kinds[(data[0] & 0x0F) % (sizeof kinds / sizeof kinds[0])];
    spec.enumIndex = data[0] & 0x10;
    spec.bitmask = data[0] & 0x20;
    spec.valueSet = QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("9600"), QString()};
    spec.scale = data[1] == 0 ? 1 : data[1];
    spec.index = data[2] & 1 ? 3 : -1;
    return spec;
}

void textDirection(const ParameterSpec &spec, const QString &text)
{
    const QString why = ValueCodec::problem(spec, text);
    const QByteArray wire = ValueCodec::encode(spec, text);
    if (!why.isEmpty() || spec.kind == ValueKind::Unknown)
        return;
    QString shown;
    check(ValueCodec::decode(spec, wire, shown) == ValueCodec::Check::Ok);
    check(ValueCodec::problem(spec, shown).isEmpty());
    const QByteArray again = ValueCodec::encode(spec, shown);
    if (spec.kind == ValueKind::Float || spec.kind == ValueKind::Text) {
        // Six digits, or a device text cut and simplified: stable once shown.
        QString shownAgain;
        check(ValueCodec::decode(spec, again, shownAgain) == ValueCodec::Check::Ok);
        check(shownAgain == shown);
    } else {
        check(again == wire);
    }
}

void wireDirection(const ParameterSpec &spec, const QByteArray &bytes)
{
    QString text;
    if (ValueCodec::decode(spec, bytes, text) != ValueCodec::Check::Ok)
        return;
    check(ValueCodec::problem(spec, text).isEmpty());
    QString again;
    check(ValueCodec::decode(spec, ValueCodec::encode(spec, text), again) == ValueCodec::Check::Ok);
    if (spec.kind == ValueKind::Text) {
        // A byte the code page leaves undefined shows as U+FFFD and goes
        // back as "?": stable from then on.
        QString third;
        check(ValueCodec::decode(spec, ValueCodec::encode(spec, again), third) == ValueCodec::Check::Ok);
        check(third == again);
    } else {
        check(again == text);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 3 || size > 512)
        return 0;
    const ParameterSpec spec = specFor(data);
    const QByteArray rest(reinterpret_cast<const char *>(data + 3), int(size - 3));
    textDirection(spec, QString::fromUtf8(rest));
    wireDirection(spec, rest);

    // The typed conversions the I/O service calls directly.
    quint32 word = 0;
    if (ValueCodec::encodePoint(QString::fromUtf8(rest), spec.scale, &word)) {
        quint32 back = 0;
        check(ValueCodec::encodePoint(ValueCodec::decodePoint(word, spec.scale), spec.scale, &back) && back == word);
    }
    ValueCodec::deviceText(reinterpret_cast<const unsigned char *>(rest.constData()), rest.size());
    ValueCodec::decodeDateTime(reinterpret_cast<const unsigned char *>(rest.constData()), rest.size());
    return 0;
}
