#include "DeviceText.h"

#include <QRegularExpression>

QString DeviceText::withEscapedControls(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const ushort u = c.unicode();
        const bool control = (u < 0x20 && u != '\t' && u != '\n') || u == 0x7f || (u >= 0x80 && u <= 0x9f);
        if (control)
            shown += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

QString DeviceText::csvField(const QString &text, QChar separator)
{
    // Numbers, points ("-25;90") and negative values stay numbers.
    static const QRegularExpression number(
        QStringLiteral("^[-+]?\\d+([.,]\\d+)?(;[-+]?\\d+([.,]\\d+)?)*$"));
    QString field = text;
    // A lone "-" is the placeholder of a value not polled, not a formula.
    if (field.size() > 1 && QStringLiteral("=+-@").contains(field.at(0)) && !number.match(field).hasMatch())
        field.prepend(QLatin1Char('\''));
    if (field.contains(separator) || field.contains(QLatin1Char('"')) || field.contains(QLatin1Char('\n'))
        || field.contains(QLatin1Char('\r'))) {
        field.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        field = QLatin1Char('"') + field + QLatin1Char('"');
    }
    return field;
}
