#pragma once

#include "HrcDocument.h"
#include "JobResult.h"
#include "KavuComm.h"

#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

class KavuIOhelper;
class QTimer;

// One job as a window or the command-line tool asks for it.
struct JobRequest
{
    // ";"-separated sets or parameters; HrcDocument::allSets for every one.
    QString names;
    KavuComm::KavuCommOperation operation = KavuComm::opRead;
    bool includeCommParams = true;
    bool onlyChanged = false;
    // A write: the action the backup made before it is named by; none when empty.
    QString backupAction;
    // A read of every parameter that gives the engineer's values back after
    // it (the document's changes stay, as changes to write).
    bool keepDocument = false;
    // The connection check: a read of the device's identity only.
    bool checkConnection = false;

    bool isReadAll() const
    {
        return operation == KavuComm::opRead && names == QLatin1String(HrcDocument::allSets);
    }
};

// One parameter's result as the worker reported it.
struct JobProgress
{
    uint treeID;
    int done;
    int total;
};

// How a job ended: kavuIOFinished's message, error count and total, the
// worker's JobResult, and what the controller did at the end.
struct JobEnd
{
    JobRequest request; // empty names for a job the test panel started
    QString message;
    int errors = 0;
    int total = 0;
    JobResult result;
    // The parameters the read-back found different, in the order reported.
    QStringList differing;
    // keepDocument: the values given back to the document after the read.
    QVector<HrcDocument::KeptValue> kept;

    bool isTestJob() const { return total == int(HrcDocument::testParamTreeId); }
    // The number of parameters the job was about (the test job has one).
    int shownTotal() const { return isTestJob() ? 1 : total; }
    // Every parameter exchanged, nothing cancelled.
    bool isClean() const { return result.connected && errors == 0 && !result.cancelled; }
    bool connectionChecked() const { return request.checkConnection && errors == 0 && !result.cancelled; }
};

Q_DECLARE_METATYPE(JobProgress)
Q_DECLARE_METATYPE(JobEnd)

// The life of a job of one I/O worker, without widgets, shared by the main
// window, the wizard and hrc417: starting it, the progress batched to at most
// about 30 reports a second, cancelling, the backups before a write and
// after a read of everything, giving the engineer's values back after a read
// that keeps the document, and the rule that a document edited offline is
// compared with the device before its first write or full read. What the
// user sees of it (wording, colours, wait windows) stays with the caller.
class JobController : public QObject
{
    Q_OBJECT

public:
    // Saves a backup of the device's values as the document knows them,
    // named by action; set by the windows (the command-line tool has none).
    using BackupSaver = std::function<void(const QString &action)>;

    JobController(KavuIOhelper *helper, const HrcDocument &document, QObject *parent = nullptr);
    ~JobController() override;

    void setBackupSaver(BackupSaver saver) { backupSaver = std::move(saver); }

    bool isRunning() const { return running; }
    // The running job's request (or the last one's after it ended).
    const JobRequest &request() const { return current; }

    // Starts the job; false (nothing sent) while another job runs.
    bool start(const JobRequest &request);
    // A job the caller started on the worker itself (the test panel): it is
    // followed like the others; a write is backed up first.
    void noteStartedElsewhere(KavuComm::KavuCommOperation operation);
    // Asks the running job to stop; it ends through finished.
    void cancel();

    // The offline rule. The document was edited offline (the wizard's
    // "Работа offline") and no value of the device is known yet.
    void setWorkedOffline(bool offline);
    bool workedOffline() const { return offline; }
    bool hasOfflineChanges() const;
    // Whether the engineer is to be offered a compare before this job: a
    // write or a full read that would overwrite the document, the first time
    // only (true marks the offer as made).
    bool offerCompareBefore(const JobRequest &request);
    // After a connection check that succeeded: the same offer, once.
    bool offerCompareAfterCheck();

signals:
    void started(const JobRequest &request);
    // The results that came in since the last report, oldest first.
    void progress(const QVector<JobProgress> &updates);
    // The writes are done; the read-back of verified of total parameters is.
    void verifying(int verified, int total);
    void finished(const JobEnd &end);

private:
    void onUpdating(uint treeID, int done, int total);
    void onFinished(const QString &message, int errors, int total);
    void flushProgress();
    void begin(const JobRequest &request);

    KavuIOhelper *helper;
    HrcDocument document;
    BackupSaver backupSaver;
    JobRequest current;
    bool running = false;
    QStringList differing;
    QMap<QString, QString> documentBeforeRead; // keepDocument: the values as they stood
    bool offline = false;
    bool compareOffered = false;
    QVector<JobProgress> pendingProgress;
    QTimer *progressTimer;
};
