#pragma once

#include <QCoreApplication>
#include <QString>

// A "Порт компьютера" value that names a serial device server instead of a
// serial port: tcp://HOST:PORT (transparent) or rfc2217://HOST:PORT (Telnet
// with the COM-PORT-OPTION), HOST a name, an IPv4 address or an [IPv6]
// address, options ?connect=MS&rtt=MS. The form check the editor runs as the
// engineer types, the texts for a failed connect and a lost connection with
// what to check, and whether the port sets the line's speed.
class NetworkPort
{
    Q_DECLARE_TR_FUNCTIONS(NetworkPort)

public:
    // Starts with tcp:// or rfc2217:// (any case); the rest may be wrong.
    static bool isAddress(const QString &port);
    // Transparent: the server's own line settings, OpenPort's speed unused.
    static bool isTransparent(const QString &port);
    // What is wrong with the form of an address (empty: nothing).
    static QString formProblem(const QString &port);

    // Why the connect to `port` failed (GetLastOpenSysErr), with a hint.
    static QString connectFailureText(const QString &port, int systemError);
    // Connected, but no reply came (the server may also hold the connection
    // waiting while it serves another client).
    static QString noAnswerText(const QString &port);
    // The connection broke during a job.
    static QString lostText(const QString &port);
};
