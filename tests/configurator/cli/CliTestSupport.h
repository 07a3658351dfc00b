// What the tests of hrc417 keep of a run of the program, the user it runs
// as, and a count of lines in the simulator's log.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <string>

namespace clitest {

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

// A user of the test's own: HOME, and the configuration and data folders
// (the configurator's last configuration, the backups) inside it.
inline void useOwnHome(QProcess &p, const QString &home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    p.setProcessEnvironment(env);
}

// Waits for a started run (killed after timeoutMs) and keeps what it left.
inline Run finished(QProcess &p, int timeoutMs)
{
    if (!p.waitForFinished(timeoutMs))
        p.kill();
    Run r;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// How often needle occurs in text.
inline int count(const std::string &text, const std::string &needle)
{
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++n;
    return n;
}

} // namespace clitest
