#include "KavuIOhelper.h"

#include "CommSettings.h"
#include "ErrorText.h"
#include "HrcLog.h"
#include "ValueCodec.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QThread>

namespace {

// Milliseconds on a monotonic clock, so deadlines survive midnight and clock
// changes.
qint64 nowMs()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

} // namespace

KavuIOhelper::KavuIOhelper(const HrcDocument &doc, std::shared_ptr<PortArbiter> sharedArbiter)
    : KavuComm(std::move(sharedArbiter))
    , document(doc)
    , guiSide(new QObject)
    , thread(new QThread)
{
    CommSettings::publish(CommSettings::fromDocument(document));
    readPortSettings();
    qRegisterMetaType<LinkCounts>("LinkCounts");
    qRegisterMetaType<JobResult>("JobResult");
    connect(thread.get(), &QThread::started, this, &KavuIOhelper::doExecIO);
    connect(this, &KavuIOhelper::stopExecute, thread.get(), &QThread::quit);

    // Outcomes reach the document and the windows in the GUI thread, in the
    // order the worker produced them.
    connect(this, &KavuIOhelper::workStarting, guiSide.get(),
            [this](int, int totalCount) { emit kavuIOStarting(totalCount); }, Qt::QueuedConnection);
    connect(this, &KavuIOhelper::workSetEntered, guiSide.get(),
            [this](int, uint treeID) { emit kavuIOUpdating(treeID, -1, -1); }, Qt::QueuedConnection);
    connect(this, &KavuIOhelper::workParameterDone, guiSide.get(),
            [this](int job, int parameter, bool transferred, const QString &ioValue, int code,
                   int doneCount, int totalCount) {
                uint treeID = 0;
                const QVector<QDomElement> elements = jobElements.value(job);
                if (parameter >= 0 && parameter < elements.size()) {
                    QDomElement element = elements.at(parameter);
                    if (transferred) {
                        element.setAttribute(QStringLiteral("ioValue"), ioValue);
                        setResultCode(element, code);
                        // A communication setting just exchanged is the one
                        // in force on the device: no earlier one to return to.
                        if (code == codeSuccess && element.hasAttribute(QStringLiteral("commparam")))
                            element.removeAttribute(QStringLiteral("undoValue"));
                    }
                    treeID = element.attribute(QStringLiteral("treeID")).toUInt();
                }
                if (elements.size() == 1 && jobTestFlags.value(job))
                    emit kavuIOUpdating(testJobUpdateId, 1, 1);
                else
                    emit kavuIOUpdating(treeID, doneCount, totalCount);
            },
            Qt::QueuedConnection);
    connect(this, &KavuIOhelper::workVerifying, guiSide.get(),
            [this](int, int verifiedSoFar, int count) { emit kavuIOVerifying(verifiedSoFar, count); },
            Qt::QueuedConnection);
    connect(this, &KavuIOhelper::workParameterVerified, guiSide.get(),
            [this](int job, int parameter, const QString &ioValue, int code, int outcome, int doneCount,
                   int totalCount) {
                const QVector<QDomElement> elements = jobElements.value(job);
                if (parameter < 0 || parameter >= elements.size())
                    return;
                QDomElement element = elements.at(parameter);
                const QString name = element.attribute(QStringLiteral("namekavu"));
                const QString writtenValue = element.attribute(QStringLiteral("value"));
                // Without a read-back the element keeps what the write left.
                const bool readBack = !(outcome == verifyNotChecked && code == codeSuccess);
                if (readBack) {
                    element.setAttribute(QStringLiteral("ioValue"), ioValue);
                    setResultCode(element, code);
                }
                emit parameterVerified(name, writtenValue, readBack ? ioValue : QString(), outcome);
                if (!readBack)
                    return;
                if (elements.size() == 1 && jobTestFlags.value(job))
                    emit kavuIOUpdating(testJobUpdateId, 1, 1);
                else
                    emit kavuIOUpdating(element.attribute(QStringLiteral("treeID")).toUInt(), doneCount, totalCount);
            },
            Qt::QueuedConnection);
    connect(this, &KavuIOhelper::workFinished, guiSide.get(),
            [this](int job, const QString &msg, int count, int totalCount, const JobResult &result) {
                jobElements.remove(job);
                jobTestFlags.remove(job);
                finishedResult = result;
                emit kavuIOFinished(msg, count, totalCount);
            },
            Qt::QueuedConnection);

    moveToThread(thread.get());
}

KavuIOhelper::~KavuIOhelper()
{
    terminate();
    thread->quit();
    thread->wait();
    // QThread::wait orders the worker's last job before this point inside
    // Qt; the flag makes that order one ThreadSanitizer sees as well.
    (void)jobEnded.load(std::memory_order_acquire);
}

void KavuIOhelper::setJob(const QString &jobNames, KavuComm::KavuCommOperation op, bool withCommParams)
{
    std::lock_guard<std::mutex> lock(jobMutex);
    names = jobNames;
    jobOperation = op;
    includeCommParams = withCommParams;
}

void KavuIOhelper::startJob(bool changedOnly)
{
    qCDebug(lcIo) << "run IO thread ...";
    if (thread->isRunning()) {
        // The previous job has returned; its thread idles in its event loop.
        emit stopExecute();
        thread->wait();
    }
    onlyChanged = changedOnly;

    // The worker waits for the port in its own thread; the job's settings
    // are published only once it holds the port, so they never change under
    // another worker's running job.
    IoJob job = buildJob(changedOnly);
    // A new job starts from the idle state; a cancel from now on is honoured.
    state.store(stateIdle);
    {
        std::lock_guard<std::mutex> lock(jobMutex);
        pendingJob = std::move(job);
    }
    thread->start(QThread::InheritPriority);
}

bool KavuIOhelper::qualifies(const QDomElement &element, bool changedOnly) const
{
    if (!HrcDocument::isParameter(element) || element.hasAttribute(QStringLiteral("localparam")))
        return false;
    if (changedOnly && !(changedTest && changedTest(element.attribute(QStringLiteral("namekavu")))))
        return false;
    if (!includeCommParams && element.hasAttribute(QStringLiteral("commparam")))
        return false;
    // Polled operating values belong to the device: a write job leaves them out.
    if (jobOperation == KavuComm::opWrite && element.hasAttribute(QStringLiteral("ivparam")))
        return false;
    // Nor is a read-only value: a text (the device's names) is only ever read,
    // so a write job still reads it; any other kind would be sent.
    if (jobOperation == KavuComm::opWrite) {
        const ParameterSpec spec = ParameterSpec::fromElement(element);
        if (spec.readOnly && spec.kind != ValueKind::Text)
            return false;
    }
    return true;
}

IoJob::Node KavuIOhelper::buildNode(const QDomElement &element, IoJob &job, bool changedOnly,
                                    QVector<QDomElement> &elements)
{
    IoJob::Node node;
    if (element.isNull())
        return node;
    auto parameterNode = [&](const QDomElement &e) {
        IoJob::Node n;
        n.kind = IoJob::Node::Parameter;
        n.parameter = job.parameters.size();
        job.parameters.append(IoParameter::fromElement(e));
        elements.append(e);
        return n;
    };
    if (HrcDocument::isSet(element)) {
        node.kind = IoJob::Node::Set;
        node.treeID = element.attribute(QStringLiteral("treeID")).toUInt();
        for (QDomElement child = element.firstChildElement(); !child.isNull(); child = child.nextSiblingElement()) {
            if (HrcDocument::isSet(child))
                node.children.append(buildNode(child, job, changedOnly, elements));
            else if (qualifies(child, changedOnly))
                node.children.append(parameterNode(child));
        }
    } else if (qualifies(element, changedOnly)) {
        node = parameterNode(element);
    }
    return node;
}

IoJob KavuIOhelper::buildJob(bool changedOnly)
{
    std::lock_guard<std::mutex> lock(jobMutex);
    IoJob job;
    job.id = nextJobId++;
    job.operation = jobOperation;
    job.timeoutSec = qMax(0, CommSettings::valueOrDefault(document, QStringLiteral("TimeOut")).toInt());
    job.settings = CommSettings::fromDocument(document);
    job.verify = jobOperation == KavuComm::opWrite && readBackEnabled && CommSettings::verifyWrites();

    QVector<QDomElement> elements;
    if (names == QLatin1String("testParam")) {
        job.testJob = true;
        const QDomElement test = document.testParam();
        job.parameters.append(IoParameter::fromElement(test));
        elements.append(test);
    } else {
        for (const QString &name : names.split(QLatin1Char(';')))
            job.roots.append(buildNode(document.findParameter(name), job, changedOnly, elements));
    }
    jobElements.insert(job.id, elements);
    jobTestFlags.insert(job.id, job.testJob);
    return job;
}

bool KavuIOhelper::beforeDeadline(qint64 deadlineMs) const
{
    return nowMs() < deadlineMs;
}

void KavuIOhelper::doExecIO()
{
    const auto markEnded = qScopeGuard([this] { jobEnded.store(true, std::memory_order_release); });
    IoJob job;
    {
        std::lock_guard<std::mutex> lock(jobMutex);
        job = std::move(pendingJob);
        pendingJob = IoJob();
    }
    done = 0;
    total = 0;
    errors = 0;
    succeeded = 0;
    firstError = 0;
    handled = QVector<bool>(job.parameters.size(), false);
    writtenAtMs = QVector<qint64>(job.parameters.size(), -1);
    verifiedDone = QVector<bool>(job.parameters.size(), false);
    written = 0;
    toVerify = 0;
    verifiedCount = 0;
    confirmed = 0;
    differing = 0;
    jobStartMs = nowMs();
    timeoutSec = job.timeoutSec;
    portLost = false;
    operation = job.operation;
    lastErr = codeNotConnected;

    preciseTimersForThisThread();
    qCDebug(lcIo) << "IOHelper::doExecIO";
    // Wait for the port (the monitor gives it up between two parameters,
    // another window's job when it ends); a cancel meanwhile ends the job as
    // one that never connected.
    if (!arbiter->acquire(PortArbiter::Claimant::Job, cancelRequested())) {
        JobResult result;
        result.cancelled = true;
        result.verified = job.verify;
        emit workFinished(job.id, errorText(lastErr), -1, job.testJob ? int(HrcDocument::testParamTreeId) : 0,
                          result);
        qCDebug(lcIo) << "IO thread terminating ...";
        return;
    }
    // The settings as this job took them: port, speed and address may have
    // changed since the last job, whose session must not be reused.
    useSettings(job.settings);
    readPortSettings();
    // The time spent waiting for the port is not taken from the connection's.
    jobStartMs = nowMs();

    emit workStarting(job.id, 0);
    const qint64 connectDeadline = jobStartMs + qint64(timeoutSec) * 1000;
    bool connected = false;
    for (;;) {
        connected = tryConnect();
        if (connected || isTerminating() || !beforeDeadline(connectDeadline))
            break;
        // A port that fails to open fails at once: the next attempt comes
        // 10 ms later, or never when the job is cancelled meanwhile.
        arbiter->pause(10, cancelRequested());
    }
    const int finishTotal = job.testJob ? int(HrcDocument::testParamTreeId) : 0;
    if (!connected) {
        const bool cancelled = isTerminating();
        closeSession();
        emit linkCountsTaken(takeGatheredLinkCounts());
        // Why the port did not open or the device did not answer, where known.
        const QString why = !cancelled && connectFailure().kind != PortFailure::None
            ? connectFailure().text()
            : errorText(lastErr);
        JobResult result;
        result.cancelled = cancelled;
        result.verified = job.verify;
        emit workFinished(job.id, why, -1, finishTotal, result);
    } else {
        if (job.testJob) {
            total = 1;
            emit workStarting(job.id, 1);
            handleParameter(job, 0, nowMs() + qint64(timeoutSec) * 1000);
        } else {
            total = job.parameters.size();
            emit workStarting(job.id, total);
            for (const IoJob::Node &root : job.roots) {
                if (root.kind == IoJob::Node::Set)
                    emit workSetEntered(job.id, root.treeID);
                process(job, root);
                if (stopped())
                    break;
            }
        }
        if (job.verify && !stopped() && written > 0) {
            // One pass after all writes: the sets again, each within its own
            // deadline, reading only what was written.
            toVerify = written;
            emit workVerifying(job.id, 0, toVerify);
            operation = opRead;
            if (job.testJob) {
                if (writtenAtMs.at(0) >= 0)
                    verifyParameter(job, 0, nowMs() + qint64(timeoutSec) * 1000);
            } else {
                for (const IoJob::Node &root : job.roots) {
                    readBack(job, root);
                    if (isTerminating())
                        break;
                }
            }
            operation = opWrite;
        }
        for (int i = 0; i < job.parameters.size(); ++i) {
            if (writtenAtMs.at(i) >= 0 && !verifiedDone.at(i))
                reportUnverified(job, i);
        }
        const int T = job.testJob ? int(HrcDocument::testParamTreeId) : total;
        emit linkCountsTaken(takeGatheredLinkCounts());
        if (portLost) {
            // The port is gone: the job ends here, and what it did not reach
            // says why.
            for (int i = 0; i < job.parameters.size(); ++i) {
                if (!handled.at(i))
                    markNotExchanged(job, i, codePortLost);
            }
            finishJob(job, portLostText(), T, false);
        } else if (!isTerminating()) {
            finishJob(job, tr("Операция завершена"), T, false);
        } else {
            // What the cancel left out is marked, so the engineer sees what
            // still waits to be exchanged.
            for (int i = 0; i < job.parameters.size(); ++i) {
                if (!handled.at(i))
                    markNotExchanged(job, i, codeJobCancelled);
            }
            finishJob(job, tr("Прервано пользователем"), T, true);
        }
        closeSession();
    }
    arbiter->release();
    qCDebug(lcIo) << "IO thread terminating ...";
}

void KavuIOhelper::process(IoJob &job, const IoJob::Node &node)
{
    const qint64 deadline = nowMs() + qint64(timeoutSec) * 1000;
    if (stopped())
        return;
    if (node.kind == IoJob::Node::Parameter) {
        handleParameter(job, node.parameter, deadline);
        return;
    }
    for (const IoJob::Node &child : node.children) {
        if (stopped())
            return;
        if (child.kind == IoJob::Node::Set) {
            emit workSetEntered(job.id, child.treeID);
            process(job, child);
        } else if (child.kind == IoJob::Node::Parameter) {
            handleParameter(job, child.parameter, deadline);
        }
    }
}

void KavuIOhelper::handleParameter(IoJob &job, int index, qint64 deadlineMs)
{
    IoParameter &p = job.parameters[index];
    bool attempted = false;
    int result = codeNotExchanged;
    for (;;) {
        if (isTerminating() || !beforeDeadline(deadlineMs))
            break;
        result = transferParameter(p);
        attempted = true;
        // An answer stays the answer (the device refused the parameter, the
        // value is out of range, the type unknown): only what the line lost
        // is asked again.
        if (!isLineFault(result))
            break;
    }
    if (!attempted) {
        markNotExchanged(job, index, isTerminating() ? codeJobCancelled : codeSetDeadlinePassed);
        return;
    }
    if (result == codePortLost)
        portLost = true;
    handled[index] = true;
    if (result == 0 && job.operation == opWrite && p.spec.kind != ValueKind::Text) {
        writtenAtMs[index] = nowMs();
        ++written;
    }
    if (result == 0)
        ++succeeded;
    else
        countFailure(result);
    ++done;
    emit workParameterDone(job.id, index, true, p.ioValue, p.resultCode, done, total);
}

void KavuIOhelper::countFailure(int code)
{
    if (errors == 0)
        firstError = code;
    ++errors;
}

void KavuIOhelper::markNotExchanged(IoJob &job, int index, int reason)
{
    IoParameter &p = job.parameters[index];
    handled[index] = true;
    p.ioValue.clear();
    p.resultCode = reason;
    countFailure(reason);
    ++done;
    emit workParameterDone(job.id, index, true, p.ioValue, p.resultCode, done, total);
}

void KavuIOhelper::finishJob(IoJob &job, const QString &msg, int totalCount, bool cancelled)
{
    JobResult result;
    result.connected = true;
    result.cancelled = cancelled;
    result.portLost = portLost;
    result.verified = job.verify;
    result.asked = total;
    result.succeeded = succeeded;
    result.failed = errors;
    result.written = written;
    result.confirmed = confirmed;
    result.differing = differing;
    result.firstError = firstError;
    emit workFinished(job.id, msg, errors, totalCount, result);
}

void KavuIOhelper::readBack(IoJob &job, const IoJob::Node &node)
{
    const qint64 deadline = nowMs() + qint64(timeoutSec) * 1000;
    if (isTerminating())
        return;
    if (node.kind == IoJob::Node::Parameter) {
        if (writtenAtMs.at(node.parameter) >= 0)
            verifyParameter(job, node.parameter, deadline);
        return;
    }
    for (const IoJob::Node &child : node.children) {
        if (isTerminating())
            return;
        if (child.kind == IoJob::Node::Set)
            readBack(job, child);
        else if (child.kind == IoJob::Node::Parameter && writtenAtMs.at(child.parameter) >= 0)
            verifyParameter(job, child.parameter, deadline);
    }
}

void KavuIOhelper::verifyParameter(IoJob &job, int index, qint64 deadlineMs)
{
    IoParameter &p = job.parameters[index];
    IoParameter back = p;
    bool attempted = false;
    int result = codeNotExchanged;
    for (;;) {
        if (isTerminating() || !beforeDeadline(deadlineMs))
            break;
        result = transferParameter(back);
        attempted = true;
        if (!isLineFault(result))
            break;
    }
    if (!attempted) {
        reportUnverified(job, index);
        return;
    }
    int outcome = verifyFailed;
    if (result != 0) {
        p.ioValue.clear();
        p.resultCode = back.resultCode;
        countFailure(p.resultCode);
    } else {
        bool same;
        if (p.spec.kind == ValueKind::DateTime) {
            // The device's clock runs on from the time written: it may be
            // ahead by the time since the write (and one second of rounding).
            const QDateTime sent = ValueCodec::parseDateTime(p.value);
            const QDateTime held = ValueCodec::parseDateTime(back.ioValue);
            const qint64 ahead = sent.isValid() && held.isValid() ? sent.secsTo(held) : -1;
            same = ahead >= 0 && ahead <= (nowMs() - writtenAtMs.at(index)) / 1000 + 1;
        } else {
            same = ValueCodec::sameText(p.spec, p.value, back.ioValue);
        }
        p.ioValue = back.ioValue;
        if (same) {
            outcome = verifyConfirmed;
            p.resultCode = codeSuccess;
            ++confirmed;
        } else {
            outcome = verifyDiffers;
            p.resultCode = codeReadBackDiffers;
            ++differing;
            countFailure(p.resultCode);
        }
    }
    reportVerified(job, index, outcome);
}

void KavuIOhelper::reportUnverified(IoJob &job, int index)
{
    IoParameter &p = job.parameters[index];
    if (!job.verify) {
        reportVerified(job, index, verifyNotChecked);
        return;
    }
    // Sent, but what the device holds is not known: counted as a failure,
    // shown so, and cancelled ones told apart from a passed deadline.
    p.ioValue.clear();
    p.resultCode = codeNotVerified;
    countFailure(p.resultCode);
    reportVerified(job, index, isTerminating() ? verifyNotChecked : verifyFailed);
}

void KavuIOhelper::reportVerified(IoJob &job, int index, int outcome)
{
    const IoParameter &p = job.parameters.at(index);
    verifiedDone[index] = true;
    if (job.verify)
        ++verifiedCount;
    emit workParameterVerified(job.id, index, p.ioValue, p.resultCode, outcome, done, total);
    if (job.verify)
        emit workVerifying(job.id, verifiedCount, toVerify);
}

QString KavuIOhelper::writeCountsText(const JobResult &result, bool write)
{
    if (!write)
        return QString();
    if (!result.verified)
        return tr("записано %1, проверка чтением выключена").arg(result.written);
    return tr("записано %1, подтверждено %2, расхождений %3")
        .arg(result.written)
        .arg(result.confirmed)
        .arg(result.differing);
}
