#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// The command line of hrc417: one command, its arguments, and options that
// may stand anywhere ("--name value" or "--name=value").
struct CliOptions
{
    QString command;       // "" when none was given
    QStringList arguments; // the command's positional arguments
    QStringList only;      // write --only SET|NAME ...
    QHash<QString, QString> values; // options with a value, without "--"
    bool help = false;
    bool version = false;
    bool json = false;
    bool dryRun = false;
    bool forget = false; // --forget: what was kept about the device is dropped first
    bool all = false; // scan --all: every device, not only the first
    bool verbose = false; // the workers' diagnostics on standard error
    // Not an option: the library slot a fleet's site binds its named port to,
    // so that sites on different ports run side by side (-1: the shared one).
    int librarySlot = -1;

    bool has(const QString &name) const { return values.contains(name); }
    QString value(const QString &name) const { return values.value(name); }

    // Parses args (without the program name). False with *error set for an
    // unknown option, a missing value, or an option the command does not take.
    static bool parse(const QStringList &args, CliOptions *options, QString *error);

    // The commands and the options each one takes besides the link options.
    static const QStringList &commands();
};
