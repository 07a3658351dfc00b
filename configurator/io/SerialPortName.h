#pragma once

#include <QByteArray>
#include <QString>

// What the "Port" value means to the library.
//   "COMk"            library port k - 1 with the library's default device
//                     (a "COM" text without a number gives -1, which fails
//                     to open with -2);
//   an absolute path  (a stable by-id link, a pseudo-terminal) bound with
//                     SetPortName to boundPort;
//   tcp://HOST:PORT, rfc2217://HOST:PORT (with ?connect=MS, ?rtt=MS)
//                     a port behind a serial device server, bound as it
//                     stands to boundPort;
//   any other name    as the serial-port list shows it (ttyUSB0, ttyS0): the
//                     system's device of that name (PortNames.h), bound to
//                     boundPort.
struct SerialPortName
{
    // The library port the configurator binds named devices to.
    static constexpr int boundPort = 255;

    int portIndex = -1;
    QByteArray device; // empty: the library's default device of portIndex

    static SerialPortName resolve(const QString &portValue);
    // The library's own device of port portIndex (what a failed open names).
    static QByteArray defaultDevice(int portIndex);
    // The folder of the stable links naming USB adapters (empty: the system
    // has none).
    static QString stableLinkFolder();
};
