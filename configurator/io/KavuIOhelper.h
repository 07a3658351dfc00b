#pragma once

#include "HrcDocument.h"
#include "JobResult.h"
#include "IoJob.h"
#include "KavuComm.h"

#include <QDomElement>
#include <QHash>
#include <QObject>
#include <QString>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

class QThread;

// The job worker: reads or writes lists of parameters in a thread of its own.
//
// A window describes a job (setJob), starts it (startJob) and follows it
// through kavuIOStarting, kavuIOUpdating and kavuIOFinished. The document is
// only touched in the GUI thread: startJob copies what the job needs, the
// worker transfers the copies, and each outcome is written into its element
// in the GUI thread right before the signal that names the element, so a
// window may read ioValue and ioLastErrCode in its slot. The progress signals
// are emitted in the thread that created the worker (the GUI thread).
class KavuIOhelper : public QObject, public KavuComm
{
    Q_OBJECT

public:
    // GUI thread. Decides, for the commands that write only changed
    // parameters, whether a parameter's tree item shows the changed colour.
    using ChangedTest = std::function<bool(const QString &name)>;

    // The worker waits for the serial port at the arbiter; without one it
    // has a port of its own.
    explicit KavuIOhelper(const HrcDocument &document, std::shared_ptr<PortArbiter> arbiter = nullptr);
    ~KavuIOhelper() override;

    void setJob(const QString &names, KavuComm::KavuCommOperation operation, bool includeCommParams);
    void startJob(bool onlyChanged);
    void setChangedTest(ChangedTest test) { changedTest = std::move(test); }
    // Whether write jobs read back what they wrote, as "VerifyWrites" says
    // (true, the default), or never (a caller that reads back on its own).
    void setReadBackEnabled(bool enabled) { readBackEnabled = enabled; }

    // How the job that kavuIOFinished reports ended. Valid in the slots of
    // kavuIOFinished and until the next job ends.
    JobResult finishedJobResult() const { return finishedResult; }
    // "записано N, подтверждено M, расхождений K" for a write job (or that
    // the read-back is off); empty for a read.
    static QString writeCountsText(const JobResult &result, bool write);

    // The identifier of the test job's one update (-100 as unsigned).
    static const uint testJobUpdateId = 4294967196u;

signals:
    void kavuIOStarting(int total);
    void kavuIOUpdating(uint treeID, int done, int total);
    void kavuIOFinished(QString msg, int count, int total);
    void stopExecute();
    // The link counters of a job, emitted in the worker thread just before
    // the job's end is reported.
    void linkCountsTaken(LinkCounts counts);
    // Once the read-back of a written parameter is done (outcome: a
    // KavuComm::VerifyOutcome; verifyNotChecked when the read-back is off or
    // the job was cancelled first). The element already holds the outcome.
    void parameterVerified(QString name, QString written, QString deviceHolds, int outcome);
    // Progress of the read-back that ends a write job: emitted with 0 when it
    // starts and after every parameter.
    void kavuIOVerifying(int verified, int total);

    // Worker thread to GUI thread.
    void workStarting(int job, int total);
    void workSetEntered(int job, uint treeID);
    void workParameterDone(int job, int parameter, bool transferred, QString ioValue, int resultCode,
                           int done, int total);
    void workVerifying(int job, int verified, int total);
    void workParameterVerified(int job, int parameter, QString ioValue, int resultCode, int outcome,
                               int done, int total);
    // count and total as kavuIOFinished gives them.
    void workFinished(int job, QString msg, int count, int total, JobResult result);

public slots:
    void doExecIO();

private:
    IoJob buildJob(bool onlyChanged);
    IoJob::Node buildNode(const QDomElement &element, IoJob &job, bool onlyChanged,
                          QVector<QDomElement> &elements);
    bool qualifies(const QDomElement &element, bool onlyChanged) const;
    void process(IoJob &job, const IoJob::Node &node);
    void handleParameter(IoJob &job, int parameter, qint64 deadlineMs);
    // Records that the job left the parameter out (reason: a code of its own)
    // and counts it as failed.
    void markNotExchanged(IoJob &job, int parameter, int reason);
    // Counts a failed parameter, keeping the first failure's code.
    void countFailure(int code);
    bool beforeDeadline(qint64 deadlineMs) const;
    // Cancelled, or the port is gone: nothing more is sent.
    bool stopped() const { return isTerminating() || portLost; }
    // The read-back: every parameter this job wrote is read again, set by set
    // with the same deadlines as the writes, and compared by value.
    void readBack(IoJob &job, const IoJob::Node &node);
    void verifyParameter(IoJob &job, int parameter, qint64 deadlineMs);
    // Reports a written parameter the read-back did not reach (or that was
    // not to be read back) and marks it unverified where it was to be.
    void reportUnverified(IoJob &job, int parameter);
    void reportVerified(IoJob &job, int parameter, int outcome);
    void finishJob(IoJob &job, const QString &msg, int totalCount, bool cancelled);

    // GUI thread only.
    HrcDocument document;
    ChangedTest changedTest;
    bool readBackEnabled = true;
    QHash<int, QVector<QDomElement>> jobElements;
    QHash<int, bool> jobTestFlags;
    std::unique_ptr<QObject> guiSide; // context of the result slots
    int nextJobId = 1;
    JobResult finishedResult;

    // Job description, handed from the GUI thread to the worker.
    std::mutex jobMutex;
    QString names;
    KavuComm::KavuCommOperation jobOperation = KavuComm::opRead;
    bool includeCommParams = false;
    bool onlyChanged = false;
    IoJob pendingJob;

    // Worker thread.
    int done = 0;
    int total = 0;
    int errors = 0;
    int succeeded = 0;
    int firstError = 0;
    QVector<bool> handled; // per job parameter: reported to the GUI thread
    // Per job parameter: its value was sent (when, on the monotonic clock),
    // and whether its read-back has been reported.
    QVector<qint64> writtenAtMs;
    QVector<bool> verifiedDone;
    int written = 0;
    int toVerify = 0;
    int verifiedCount = 0;
    int confirmed = 0;
    int differing = 0;
    int timeoutSec = 0;
    bool portLost = false;
    qint64 jobStartMs = 0;
    std::unique_ptr<QThread> thread;
    std::atomic<bool> jobEnded{false}; // set by the worker when a job returns
};
