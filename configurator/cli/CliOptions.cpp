#include "CliOptions.h"

#include <QCoreApplication>
#include <QSet>

namespace {

QString text(const char *source)
{
    return QCoreApplication::translate("CliOptions", source);
}

// Options with a value, for every command.
const QSet<QString> &linkOptions()
{
    static const QSet<QString> names{QStringLiteral("port"),      QStringLiteral("baud"),
                                     QStringLiteral("address"),   QStringLiteral("parity"),
                                     QStringLiteral("data-bits"), QStringLiteral("stop-bits"),
                                     QStringLiteral("timeout"),   QStringLiteral("lang")};
    return names;
}

// Options with a value a command takes of its own.
QSet<QString> commandOptions(const QString &command)
{
    if (command == QLatin1String("read"))
        return {QStringLiteral("output")};
    if (command == QLatin1String("get"))
        return {QStringLiteral("type")};
    if (command == QLatin1String("monitor"))
        return {QStringLiteral("interval"), QStringLiteral("count"), QStringLiteral("csv")};
    if (command == QLatin1String("scan"))
        return {QStringLiteral("addresses"), QStringLiteral("speeds")};
    if (command == QLatin1String("report"))
        return {QStringLiteral("output"), QStringLiteral("plant"), QStringLiteral("engineer"), QStringLiteral("remark")};
    if (command == QLatin1String("fleet"))
        return {QStringLiteral("dir"), QStringLiteral("jobs"), QStringLiteral("plant"), QStringLiteral("engineer"),
                QStringLiteral("remark")};
    return {};
}

// Any option with a value, whatever the command.
bool takesValue(const QString &name)
{
    if (linkOptions().contains(name))
        return true;
    for (const char *command : {"read", "get", "monitor", "scan", "report", "fleet"}) {
        if (commandOptions(QLatin1String(command)).contains(name))
            return true;
    }
    return false;
}

// The short options with a value: -o (--output), -d and -j (fleet's --dir
// and --jobs).
bool shortOption(const QString &a)
{
    return a == QLatin1String("-o") || a == QLatin1String("-d") || a == QLatin1String("-j");
}

} // namespace

const QStringList &CliOptions::commands()
{
    static const QStringList names{QStringLiteral("info"), QStringLiteral("read"),    QStringLiteral("get"),
                                   QStringLiteral("set"),  QStringLiteral("write"),   QStringLiteral("diff"),
                                   QStringLiteral("monitor"), QStringLiteral("scan"),
                                   QStringLiteral("report"), QStringLiteral("fleet")};
    return names;
}

bool CliOptions::parse(const QStringList &args, CliOptions *options, QString *error)
{
    CliOptions o;
    // First find the command, so its options can be told from the others.
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (!a.startsWith(QLatin1Char('-'))) {
            o.command = a;
            break;
        }
        // Skip the value of an option written as two arguments.
        if (!a.contains(QLatin1Char('=')) && (shortOption(a) || takesValue(a.mid(2))))
            ++i;
    }
    if (!o.command.isEmpty() && !commands().contains(o.command)) {
        *error = text("неизвестная команда %1").arg(o.command);
        return false;
    }
    const QSet<QString> own = commandOptions(o.command);
    bool commandSeen = false;
    bool inOnly = false;
    for (int i = 0; i < args.size(); ++i) {
        QString a = args.at(i);
        if (a == QLatin1String("-o"))
            a = QStringLiteral("--output");
        else if (a == QLatin1String("-d") && o.command == QLatin1String("fleet"))
            a = QStringLiteral("--dir");
        else if (a == QLatin1String("-j") && o.command == QLatin1String("fleet"))
            a = QStringLiteral("--jobs");
        if (!a.startsWith(QLatin1Char('-')) || a == QLatin1String("-")) {
            if (!commandSeen && a == o.command) {
                commandSeen = true;
                continue;
            }
            if (inOnly)
                o.only.append(a);
            else
                o.arguments.append(a);
            continue;
        }
        inOnly = false;
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            o.help = true;
            continue;
        }
        if (a == QLatin1String("--version")) {
            o.version = true;
            continue;
        }
        if (a == QLatin1String("--json")) {
            o.json = true;
            continue;
        }
        if (a == QLatin1String("--forget")) {
            o.forget = true;
            continue;
        }
        if (a == QLatin1String("--verbose")) {
            o.verbose = true;
            continue;
        }
        const bool writes = o.command == QLatin1String("write") || o.command == QLatin1String("fleet");
        if (a == QLatin1String("--dry-run") && writes) {
            o.dryRun = true;
            continue;
        }
        if (a == QLatin1String("--all") && o.command == QLatin1String("scan")) {
            o.all = true;
            continue;
        }
        if (a == QLatin1String("--only") && writes) {
            inOnly = true;
            continue;
        }
        if (!a.startsWith(QLatin1String("--"))) {
            *error = text("неизвестный параметр командной строки %1").arg(a);
            return false;
        }
        QString name = a.mid(2);
        QString value;
        bool inlineValue = false;
        const int eq = name.indexOf(QLatin1Char('='));
        if (eq >= 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
            inlineValue = true;
        }
        if (!linkOptions().contains(name) && !own.contains(name)) {
            *error = text("неизвестный параметр командной строки %1").arg(QStringLiteral("--") + name);
            return false;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) {
                *error = text("у параметра %1 нет значения").arg(QStringLiteral("--") + name);
                return false;
            }
            value = args.at(++i);
        }
        o.values.insert(name, value);
    }
    *options = o;
    return true;
}
