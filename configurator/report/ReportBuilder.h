#pragma once

#include "LinkHealth.h"
#include "ReportContent.h"

#include <QCoreApplication>
#include <QDomElement>
#include <QHash>
#include <QString>

class HrcDocument;
class VisitLog;

// Who the report is for, as the engineer entered it.
struct ReportPeople
{
    QString plant;
    QString engineer;
    QString remark;
};

// Fills a report from what was exchanged with the device: the configurator's
// visit record, or a read of the device compared with a backup. Values come
// from the device's replies (the visit record, ioValue with result 0); the
// document's own values only stand in for graph points nothing was read for,
// and the report says so.
class ReportBuilder
{
    Q_DECLARE_TR_FUNCTIONS(ReportBuilder)

public:
    // The configurator's visit: first read, written, read-back result.
    static ReportContent fromVisit(HrcDocument &document, const VisitLog &visit, const ReportPeople &people);

    // hrc417 report: the document holds a fresh read of the device (ioValue,
    // ioLastErrCode); backup maps names to the newest backup's values
    // (backupFile empty: there is none).
    static ReportContent fromDevice(HrcDocument &document, const QHash<QString, QString> &backup,
                                    const QString &backupFile, const LinkCounts &link, const ReportPeople &people);

    // "порт …, … бит/с, …": the link settings in force.
    static QString linkText(HrcDocument &document);

    // The folder name of a device's backups: "<Dev>_<ver>_a<Addr>_<port
    // base name>", every character outside [A-Za-z0-9._-] made "_".
    static QString deviceFolderName(const QString &dev, const QString &ver, const QString &address,
                                    const QString &port);
    // The folder of a device's backups (where its reports are saved too).
    static QString backupFolder(const QString &deviceFolder);
    // The newest backup file of the device ("" when there is none).
    static QString newestBackup(const QString &deviceFolder);

    // The parameters of the reported sets, by the set's title.
    static QVector<QPair<QString, QVector<QDomElement>>> reportedSets(HrcDocument &document);
};
