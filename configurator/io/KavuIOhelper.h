#pragma once

#include "HrcDocument.h"
#include "IoJob.h"
#include "KavuComm.h"

#include <QDomElement>
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>

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

    // How the job that kavuIOFinished reports ended: cancelled by the
    // engineer or not, and how many parameters it exchanged successfully.
    // Valid in the slots of kavuIOFinished and until the next job ends.
    struct Outcome
    {
        bool cancelled = false;
        int succeeded = 0;
    };
    Outcome finishedJobOutcome() const { return finishedOutcome; }

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

    // Worker thread to GUI thread.
    void workStarting(int job, int total);
    void workSetEntered(int job, uint treeID);
    void workParameterDone(int job, int parameter, bool transferred, QString ioValue, QString ioLastErrCode,
                           int done, int total);
    void workFinished(int job, QString msg, int count, int total, bool cancelled, int succeeded);

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
    bool beforeDeadline(qint64 deadlineMs) const;

    // GUI thread only.
    HrcDocument document;
    ChangedTest changedTest;
    QHash<int, QVector<QDomElement>> jobElements;
    QHash<int, bool> jobTestFlags;
    std::unique_ptr<QObject> guiSide; // context of the result slots
    int nextJobId = 1;
    Outcome finishedOutcome;

    // Job description, handed from the GUI thread to the worker.
    QMutex jobMutex;
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
    QVector<bool> handled; // per job parameter: reported to the GUI thread
    int timeoutSec = 0;
    qint64 jobStartMs = 0;
    std::unique_ptr<QThread> thread;
};
