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

    // GUI thread only.
    static CommSettings fromDocument(HrcDocument &document);

    static void publish(const CommSettings &settings);
    static CommSettings published();
};
