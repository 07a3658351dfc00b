// Reading hrc417-sim's exchange log (--verbose) in the Qt tests.
#pragma once

#include <QRegularExpression>
#include <QSet>
#include <QString>

namespace simlog {

// The name checks in a piece of the log (reads of a base name alone whose
// indexed names were asked for too), and all its exchanges.
inline int nameChecksIn(const QString &log, int *exchanges)
{
    static const QRegularExpression indexed(QStringLiteral(" read ([^ \\[]+)\\[\\d+\\] -> "));
    static const QRegularExpression plain(QStringLiteral(" read ([^ \\[]+) -> "));
    static const QRegularExpression exchange(QStringLiteral(" (read|write) "));
    QSet<QString> bases;
    for (auto it = indexed.globalMatch(log); it.hasNext();)
        bases.insert(it.next().captured(1));
    int checks = 0;
    for (auto it = plain.globalMatch(log); it.hasNext();)
        checks += bases.contains(it.next().captured(1)) ? 1 : 0;
    *exchanges = log.count(exchange);
    return checks;
}

} // namespace simlog
