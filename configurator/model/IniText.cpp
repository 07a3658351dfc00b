#include "IniText.h"

#include "FileConventions.h"
#include "QtCompat.h"

#include <QDataStream>
#include <QIODevice>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QStringList>

namespace {

const char hexDigits[] = "0123456789ABCDEF";

// A key or group name: [A-Za-z0-9_.-] as they are, "/" as "\", other
// characters as %XX or %UXXXX.
void appendKey(const QString &key, QByteArray &out)
{
    for (const QChar c : key) {
        uint ch = c.unicode();
        if (ch == '/') {
            out += '\\';
        } else if ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '_'
                   || ch == '-' || ch == '.') {
            out += char(ch);
        } else if (ch <= 0xFF) {
            out += '%';
            out += hexDigits[ch / 16];
            out += hexDigits[ch % 16];
        } else {
            out += "%U";
            char code[4];
            for (int i = 3; i >= 0; --i) {
                code[i] = hexDigits[ch % 16];
                ch >>= 4;
            }
            out.append(code, 4);
        }
    }
}

// A value as the text QSettings stores: strings with a leading "@" doubled,
// other kinds tagged ("@ByteArray(...)", "@Rect(...)", "@Variant(...)").
QString variantText(const QVariant &value)
{
    switch (value.userType()) {
    case QMetaType::UnknownType:
        return QStringLiteral("@Invalid()");
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return QStringLiteral("@ByteArray(") + QLatin1String(bytes.constData(), bytes.size()) + QLatin1Char(')');
    }
    case QMetaType::QString:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Bool:
    case QMetaType::Double: {
        QString text = value.toString();
        if (text.contains(QChar::Null))
            return QStringLiteral("@String(") + text + QLatin1Char(')');
        if (text.startsWith(QLatin1Char('@')))
            text.prepend(QLatin1Char('@'));
        return text;
    }
    case QMetaType::QRect: {
        const QRect r = value.toRect();
        return QStringLiteral("@Rect(%1 %2 %3 %4)").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    }
    case QMetaType::QSize: {
        const QSize s = value.toSize();
        return QStringLiteral("@Size(%1 %2)").arg(s.width()).arg(s.height());
    }
    case QMetaType::QPoint: {
        const QPoint p = value.toPoint();
        return QStringLiteral("@Point(%1 %2)").arg(p.x()).arg(p.y());
    }
    default: {
        const bool dateTime = value.userType() == QMetaType::QDateTime;
        QByteArray bytes;
        {
            QDataStream stream(&bytes, QIODevice::WriteOnly);
            stream.setVersion(dateTime ? QDataStream::Qt_5_6 : QDataStream::Qt_4_0);
            stream << value;
        }
        return QLatin1String(dateTime ? "@DateTime(" : "@Variant(") + QLatin1String(bytes.constData(), bytes.size())
               + QLatin1Char(')');
    }
    }
}

// A stored text: control characters escaped, the whole quoted when it holds
// ";", "," or "=" or starts or ends with a space. Tagged binary values never
// go through the codec (a date's, as the Qt in use does it).
void appendString(const QString &text, QByteArray &out, bool utf8)
{
    if (text.startsWith(QLatin1String("@ByteArray(")) || text.startsWith(QLatin1String("@Variant("))
        || (QtCompat::iniEscapesDateTime && text.startsWith(QLatin1String("@DateTime("))))
        utf8 = false;
    const int start = out.size();
    bool needsQuotes = false;
    bool escapeNextIfDigit = false;
    for (int i = 0; i < text.size(); ++i) {
        const uint ch = text.at(i).unicode();
        if (ch == ';' || ch == ',' || ch == '=')
            needsQuotes = true;
        // After a \x escape a hexadecimal digit would read as part of it.
        if (escapeNextIfDigit && ((ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F'))) {
            out += "\\x" + QByteArray::number(ch, 16);
            continue;
        }
        escapeNextIfDigit = false;
        switch (ch) {
        case '\0':
            out += "\\0";
            escapeNextIfDigit = true;
            break;
        case '\a': out += "\\a"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\v': out += "\\v"; break;
        case '"':
        case '\\':
            out += '\\';
            out += char(ch);
            break;
        default:
            if (ch <= 0x1F || (ch >= 0x7F && !utf8)) {
                out += "\\x" + QByteArray::number(ch, 16);
                escapeNextIfDigit = true;
            } else if (utf8) {
                out += QString(text.at(i)).toUtf8();
            } else {
                out += char(ch);
            }
        }
    }
    if (needsQuotes || (start < out.size() && (out.at(start) == ' ' || out.at(out.size() - 1) == ' '))) {
        out.insert(start, '"');
        out += '"';
    }
}

void appendValue(const QVariant &value, QByteArray &out, bool utf8)
{
    if (value.userType() != QMetaType::QStringList && (value.userType() != QMetaType::QVariantList || value.toList().size() == 1)) {
        appendString(variantText(value), out, utf8);
        return;
    }
    const QVariantList items = value.toList();
    if (items.isEmpty()) {
        out += "@Invalid()";
        return;
    }
    for (int i = 0; i < items.size(); ++i) {
        if (i != 0)
            out += ", ";
        appendString(variantText(items.at(i)), out, utf8);
    }
}

} // namespace

QByteArray IniText::make(const Entries &entries, bool utf8)
{
    const char *const eol = FileConventions::lineEnd();
    // Groups in name order, keys in name order within each.
    QMap<QString, QMap<QString, QVariant>> groups;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        const int slash = it.key().indexOf(QLatin1Char('/'));
        if (slash < 0)
            groups[QString()].insert(it.key(), it.value());
        else
            groups[it.key().left(slash)].insert(it.key().mid(slash + 1), it.value());
    }
    QByteArray out;
    bool first = true;
    for (auto group = groups.cbegin(); group != groups.cend(); ++group) {
        QByteArray name;
        appendKey(group.key(), name);
        if (name.isEmpty())
            name = "[General]";
        else if (qstricmp(name.constData(), "general") == 0)
            name = "[%General]";
        else
            name = '[' + name + ']';
        if (!first)
            out += eol;
        first = false;
        out += name;
        out += eol;
        for (auto entry = group.value().cbegin(); entry != group.value().cend(); ++entry) {
            appendKey(entry.key(), out);
            out += '=';
            appendValue(entry.value(), out, utf8);
            out += eol;
        }
    }
    return out;
}
