#pragma once

#include <QCoreApplication>
#include <QDateTime>
#include <QDomElement>
#include <QMap>
#include <QString>
#include <QVector>

#include <functional>

class HrcDocument;

// Automatic backups of a device's values: configuration files (the format
// ConfigStore writes) under the user's data directory, one folder per device
// identity, one file per read or write job:
//   <AppDataLocation>/backups/<Dev>_<ver>_a<Addr>_<port>/<yyyy-MM-dd_HH-mm-ss>_<action>.hrc417
// Only the newest "BackupKeep" files (200 unless set) of a device are kept.
// Qt Core and Xml only; the functions that take no DOM may run in any thread.
class BackupStore
{
    Q_DECLARE_TR_FUNCTIONS(BackupStore)

public:
    // Parameter name (namekavu) to value text.
    using Values = QMap<QString, QString>;

    struct Entry
    {
        QString path;
        QString device; // the folder name
        QDateTime stamp;
        QString action;
    };

    static const int defaultKeep = 200;
    static const char *const keepKey; // "BackupKeep"

    // <AppDataLocation>/backups
    static QString root();
    // The folder name of a device: the parts joined by "_", every character
    // outside [A-Za-z0-9._-] replaced by "_"; the port by its base name.
    static QString deviceFolder(const QString &device, const QString &version, const QString &address,
                                const QString &port);
    // The same from the document: name and version as the device reported
    // them last, address and port as set.
    static QString deviceFolder(const HrcDocument &document);
    static QString fileName(const QDateTime &stamp, const QString &action);

    // The values the device reported in its last successful exchange of each
    // parameter (ioValue); parameters not exchanged yet, polled values and
    // the program's own settings are left out.
    static Values deviceValues(const QDomElement &allParams);
    // The document's working values of the same parameters.
    static Values documentValues(const QDomElement &allParams);

    // Writes the values as a backup and removes the oldest files beyond
    // keep(). Returns the file written, or "" with *errorString set.
    static QString save(const QString &device, const QString &action, const Values &values,
                        const QDateTime &stamp, QString *errorString);
    // save() in a background thread (one at a time, in the order asked), so
    // a job never waits for the disk. onFailure runs in the caller's thread
    // with the reason, once per failed backup. Empty values save nothing.
    static void saveLater(const QString &device, const QString &action, const Values &values, QObject *context,
                          std::function<void(QString)> onFailure);
    // Blocks until every backup asked for so far is written (tests, exit).
    static void waitForPending();

    // The backups of one device folder, or of every device when empty;
    // newest first.
    static QVector<Entry> list(const QString &device = QString());
    static QStringList devices();
    // The values of a backup (or of any configuration file); false with
    // *errorString when it cannot be read.
    static bool load(const QString &path, Values *values, QString *errorString);

    // The retention setting, read from the program's settings.
    static int keep();

    // The message shown once when a backup cannot be written.
    static QString failedText(const QString &reason)
    {
        return tr("Резервная копия параметров прибора не сохранена:\n%1").arg(reason);
    }
};
