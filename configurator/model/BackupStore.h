#pragma once

#include <QCoreApplication>
#include <QDateTime>
#include <QDomElement>
#include <QHash>
#include <QMap>
#include <QString>
#include <QVector>

#include <functional>

class HrcDocument;

// The actions a backup's file is named by: what the job after (a write) or
// before it (a read) did.
namespace BackupAction {
inline QString read() { return QStringLiteral("read"); }
inline QString write() { return QStringLiteral("write"); }
inline QString writeChanged() { return QStringLiteral("write-changed"); }
inline QString writeBranch() { return QStringLiteral("write-branch"); }
inline QString writeOne() { return QStringLiteral("write-one"); }
inline QString init() { return QStringLiteral("init"); }
} // namespace BackupAction

// Automatic backups of a device's values: configuration files (the format
// ConfigStore writes) under the user's data directory, one folder per device
// identity, one file per read or write job:
//   <AppDataLocation>/backups/<Dev>_<ver>_a<Addr>_<port>/<yyyy-MM-dd_HH-mm-ss>_<action>.hrc417
// Every backup starts with a group "backup" whose "sequence" counts the
// backups of its folder in the order they were written. Only the newest
// "BackupKeep" files (200 unless set) of a device are kept, newest by that
// count, not by the clock; a file without the mark (a user's own, however it
// is named) is never removed.
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
        qint64 sequence = 0; // the store's count; 0: not written by the store
    };

    static const int defaultKeep = 200;
    static const char *const keepKey; // "BackupKeep"

    // <AppDataLocation>/backups
    static QString root();
    // The folder name of a device as it reads: "HRC417 2.14 адрес 16 (ttyUSB0)"
    // (the version as its number, the port by its base name), with the
    // characters no file name may hold replaced by "_". A folder of the
    // earlier form of the name ("HRC417____._2.14_a16_ttyUSB0") is renamed
    // to this one when this one does not exist yet.
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

    // Writes the values as a backup and removes the oldest backups beyond
    // keep() (never the one just written). Returns the file written, or ""
    // with *errorString set. When an old backup could not be removed,
    // *warning (when given) says which and why, once per file.
    static QString save(const QString &device, const QString &action, const Values &values,
                        const QDateTime &stamp, QString *errorString, QString *warning = nullptr);
    // save() in a background thread (one at a time, in the order asked), so
    // a job never waits for the disk. onFailure runs in the caller's thread
    // with the reason, once per failed backup; onWarning (when given) with
    // save()'s warning. Empty values save nothing.
    static void saveLater(const QString &device, const QString &action, const Values &values, QObject *context,
                          std::function<void(QString)> onFailure, std::function<void(QString)> onWarning = {});
    // Blocks until every backup asked for so far is written (tests, exit).
    static void waitForPending();

    // The backups of one device folder, or of every device when empty;
    // newest first: the store's own by their count, then files without the
    // mark by the time in their names.
    static QVector<Entry> list(const QString &device = QString());
    static QStringList devices();
    // The values of a backup (or of any configuration file); false with
    // *errorString when it cannot be read.
    static bool load(const QString &path, Values *values, QString *errorString);

    // What the I/O layer found out about a device's base names (known
    // without an index: true; only with one: false), kept in the device's
    // folder (file "name-checks.txt") with the identity it holds for, so a
    // later session with the same device sends no check. Any thread.
    struct NameChecks
    {
        QString device;  // Dev as the device answered it at connect
        QString version; // ver as the device answered it
        QString address;
        QString port;
        QHash<QByteArray, bool> knownWithoutIndex;
    };
    // The newest checks kept for the device named device at address on port
    // (whatever its version); false when there are none.
    static bool loadNameChecks(const QString &device, const QString &address, const QString &port,
                               NameChecks *checks);
    // Writes the checks into the folder of their identity; false with
    // *errorString when it cannot.
    static bool saveNameChecks(const NameChecks &checks, QString *errorString);
    // Removes the checks kept for any device at address on port; how many.
    static int forgetNameChecks(const QString &address, const QString &port);

    // The retention setting, read from the program's settings.
    static int keep();

    // The message shown once when a backup cannot be written.
    static QString failedText(const QString &reason)
    {
        return tr("Резервная копия параметров прибора не сохранена:\n%1").arg(reason);
    }
    // The message shown once when an old backup cannot be removed.
    static QString cleanupFailedText(const QString &reason)
    {
        return tr("Старая резервная копия не удалена:\n%1").arg(reason);
    }
};
