#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

// Why a connection to the device failed, told apart so that the engineer
// knows what to do: the device file is missing, access is denied, another
// program holds the port, the file is no serial port, or the port opened but
// the device did not answer. One place for the rule and the texts, shared by
// the windows and the command-line tool.
class PortFailure
{
    Q_DECLARE_TR_FUNCTIONS(PortFailure)

public:
    enum Kind { None, NoDeviceFile, PermissionDenied, HeldByAnotherProgram, NotSerialDevice, OpenFailed, NoAnswer };

    Kind kind = None;
    QString port;         // the port as the engineer named it ("COM1", "ttyUSB0", a path)
    int systemError = 0;  // the system's error code of the failed open (PortOpenError.h)
    QStringList holders;  // "name (PID n)" of the programs that have the port open

    // A failed open of `port` with the system's error code (GetLastOpenSysErr).
    // For a port held by another program, looks up which (where the system
    // tells) among the processes listed under procRoot (empty: the system's).
    static PortFailure openFailed(const QString &port, const QByteArray &device, int systemError,
                                  const QString &procRoot = QString());
    // The port opened but no valid reply came.
    static PortFailure noAnswer(const QString &port);

    // The kind of a failed open from the system's error code.
    static Kind classify(int systemError);

    // Programs other than this one that have `device` (after following
    // symbolic links) open, as "name (PID n)" (procRoot: see openFailed).
    // Empty where the system does not tell (other users' processes, Windows).
    static QStringList holdersOf(const QByteArray &device, const QString &procRoot = QString());
    // Whether this system can name a port's holders at all (Windows cannot;
    // the text then says so).
    static bool holdersCanBeNamed();

    // The text shown to the engineer, in the language the program is set to.
    QString text() const;
};
