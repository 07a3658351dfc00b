#include "FleetFile.h"

#include <QFile>
#include <QSet>

namespace {

// One record of the file: its fields and the line it starts on.
struct Record
{
    QStringList fields;
    int line = 0;
};

// Splits the text into records (RFC 4180: a quoted field may hold the
// separator, a quote written twice and line breaks). Comment lines and empty
// lines give no record. False with *line set where a quote is not closed.
bool records(const QString &text, QChar separator, QVector<Record> *out, int *badLine)
{
    int line = 1;
    int i = 0;
    const int n = text.size();
    while (i < n) {
        // At the start of a line: a comment or an empty line is skipped.
        if (text.at(i) == QLatin1Char('#') || text.at(i) == QLatin1Char('\n') || text.at(i) == QLatin1Char('\r')) {
            while (i < n && text.at(i) != QLatin1Char('\n'))
                ++i;
            if (i < n)
                ++i;
            ++line;
            continue;
        }
        Record r;
        r.line = line;
        QString field;
        bool quoted = false;
        bool wasQuoted = false;
        for (;;) {
            if (i >= n) {
                if (quoted) {
                    *badLine = r.line;
                    return false;
                }
                r.fields << (wasQuoted ? field : field.trimmed());
                break;
            }
            const QChar c = text.at(i++);
            if (quoted) {
                if (c == QLatin1Char('"')) {
                    if (i < n && text.at(i) == QLatin1Char('"')) {
                        field += c;
                        ++i;
                    } else {
                        quoted = false;
                    }
                } else {
                    if (c == QLatin1Char('\n'))
                        ++line;
                    field += c;
                }
                continue;
            }
            if (c == QLatin1Char('"') && field.trimmed().isEmpty() && !wasQuoted) {
                quoted = true;
                wasQuoted = true;
                field.clear();
            } else if (c == separator) {
                r.fields << (wasQuoted ? field : field.trimmed());
                field.clear();
                wasQuoted = false;
            } else if (c == QLatin1Char('\n')) {
                ++line;
                r.fields << (wasQuoted ? field : field.trimmed());
                break;
            } else if (c != QLatin1Char('\r')) {
                if (!wasQuoted)
                    field += c;
            }
        }
        out->append(r);
    }
    return true;
}

// Characters a folder name may not hold on any system the sites' backups
// may be copied to.
bool usableFolderName(const QString &name)
{
    static const QString forbidden = QStringLiteral("/\\:*?\"<>|");
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name) {
        if (forbidden.contains(c) || c.unicode() < 32)
            return false;
    }
    return true;
}

} // namespace

const QStringList &FleetFile::columns()
{
    static const QStringList names{QStringLiteral("name"),      QStringLiteral("port"),      QStringLiteral("address"),
                                   QStringLiteral("baud"),      QStringLiteral("parity"),    QStringLiteral("data-bits"),
                                   QStringLiteral("stop-bits"), QStringLiteral("timeout")};
    return names;
}

bool FleetFile::load(const QString &path, const QStringList &speeds, QVector<FleetSite> *sites, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = tr("%1: файл не открыт: %2").arg(path, file.errorString());
        return false;
    }
    return parse(file.readAll(), path, speeds, sites, error);
}

bool FleetFile::parse(const QByteArray &bytes, const QString &fileName, const QStringList &speeds,
                      QVector<FleetSite> *sites, QString *error)
{
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF))) // a spreadsheet's byte-order mark
        text.remove(0, 1);
    auto fail = [&](int line, const QString &column, const QString &why) {
        *error = column.isEmpty() ? tr("%1:%2: %3").arg(fileName).arg(line).arg(why)
                                  : tr("%1:%2: столбец %3: %4").arg(fileName).arg(line).arg(column, why);
        return false;
    };
    // The separator is the header row's: the first line that is not a
    // comment or empty.
    QChar separator = QLatin1Char(',');
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const QString t = line.trimmed();
        if (t.isEmpty() || t.startsWith(QLatin1Char('#')))
            continue;
        if (t.contains(QLatin1Char(';')))
            separator = QLatin1Char(';');
        break;
    }
    QVector<Record> rows;
    int badLine = 0;
    if (!records(text, separator, &rows, &badLine))
        return fail(badLine, QString(), tr("кавычка не закрыта"));
    if (rows.isEmpty())
        return fail(1, QString(), tr("нет строки заголовка (name%1port%1address ...)").arg(separator));

    const Record header = rows.takeFirst();
    QStringList names;
    for (const QString &field : header.fields) {
        const QString column = field.trimmed().toLower();
        if (!columns().contains(column))
            return fail(header.line, field, tr("неизвестный столбец (ожидаются %1)").arg(columns().join(QStringLiteral(", "))));
        if (names.contains(column))
            return fail(header.line, field, tr("столбец повторяется"));
        names << column;
    }
    for (int i = 0; i < 3; ++i) {
        if (!names.contains(columns().at(i)))
            return fail(header.line, columns().at(i), tr("обязательный столбец отсутствует"));
    }

    QVector<FleetSite> result;
    QSet<QString> seen;
    for (const Record &row : rows) {
        if (row.fields.join(QString()).trimmed().isEmpty())
            continue; // a line of blanks or of separators only
        if (row.fields.size() > names.size())
            return fail(row.line, QString(), tr("полей %1, а столбцов в заголовке %2").arg(row.fields.size()).arg(names.size()));
        FleetSite site;
        site.line = row.line;
        for (int c = 0; c < names.size(); ++c) {
            const QString value = row.fields.value(c).trimmed();
            const QString &column = names.at(c);
            const bool required = columns().indexOf(column) < 3;
            if (value.isEmpty()) {
                if (required)
                    return fail(row.line, column, tr("значение не задано"));
                continue;
            }
            auto number = [&](int low, int high) {
                bool ok = false;
                const int v = value.toInt(&ok);
                return ok && v >= low && v <= high;
            };
            if (column == QLatin1String("name")) {
                if (!usableFolderName(value))
                    return fail(row.line, column, tr("%1 не годится для имени папки (нельзя / \\ : * ? \" < > |)").arg(value));
                if (seen.contains(value.toLower()))
                    return fail(row.line, column, tr("имя %1 уже встречалось").arg(value));
                seen.insert(value.toLower());
                site.name = value;
                continue;
            }
            QString why;
            if (column == QLatin1String("address") && !number(1, 2047))
                why = tr("ожидается число от 1 до 2047");
            else if (column == QLatin1String("baud") && !speeds.isEmpty() && !speeds.contains(value))
                why = tr("скорость %1 не поддерживается (%2)").arg(value, speeds.join(QStringLiteral(", ")));
            else if (column == QLatin1String("parity")
                     && !QStringList{QStringLiteral("none"), QStringLiteral("even"), QStringLiteral("odd")}.contains(value))
                why = tr("ожидается none, even или odd");
            else if (column == QLatin1String("data-bits") && !number(7, 8))
                why = tr("ожидается 7 или 8");
            else if (column == QLatin1String("stop-bits") && !number(1, 2))
                why = tr("ожидается 1 или 2");
            else if (column == QLatin1String("timeout") && !number(0, 600))
                why = tr("ожидается число от 0 до 600");
            if (!why.isEmpty())
                return fail(row.line, column, why);
            site.values.insert(column, value);
        }
        result << site;
    }
    if (result.isEmpty())
        return fail(header.line, QString(), tr("ни одного объекта: после заголовка нет строк"));
    *sites = result;
    return true;
}
