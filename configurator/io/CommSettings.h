#pragma once

#include <QString>

class HrcDocument;

// The communication settings as they stand in the document (values of PrtY,
// LEn, Port, bPS, Sbit, Addr and A.Len). Taken in the GUI thread whenever a job
// or the monitor starts and published process-wide, so that every worker
// reads the settings of the latest start without touching the document.
struct CommSettings
{
    QString parity;      // PrtY
    QString dataBits;    // LEn
    QString port;        // Port
    QString speed;       // bPS
    QString stopBits;    // Sbit
    QString address;     // Addr
    QString addressMode; // A.Len

    // The settings in force: a device setting's undoValue where it has one
    // (edited, not yet written), else its value, else its factory value; the
    // local "Port" always its value (it is never written to the device).
    // GUI thread only.
    static CommSettings fromDocument(HrcDocument &document);

    // A parameter's value, or its factory value while it has none (nothing
    // restored, read or edited yet). GUI thread only.
    static QString valueOrDefault(HrcDocument &document, const QString &name);

    // Takes a setting by its parameter name; false for another name.
    bool set(const QString &name, const QString &value);

    // Whether every write job reads back what it wrote (key "VerifyWrites"
    // of the program's settings, on by default; off for slow lines).
    static bool verifyWrites();
    static void setVerifyWrites(bool on);

    static void publish(const CommSettings &settings);
    static CommSettings published();
};
