#include "JobController.h"

#include "BackupStore.h"
#include "KavuIOhelper.h"

#include <QTimer>

namespace {

// Shortest time between two progress reports: about 30 a second, so that a
// fast line does not repaint a window for every parameter.
const int progressIntervalMs = 33;

} // namespace

JobController::JobController(KavuIOhelper *ioHelper, const HrcDocument &doc, QObject *parent)
    : QObject(parent)
    , helper(ioHelper)
    , document(doc)
    , progressTimer(new QTimer(this))
{
    qRegisterMetaType<JobProgress>("JobProgress");
    qRegisterMetaType<JobEnd>("JobEnd");
    progressTimer->setInterval(progressIntervalMs);
    connect(progressTimer, &QTimer::timeout, this, [this] {
        // Idle once nothing came in a whole interval, so that the next
        // result is reported at once.
        if (pendingProgress.isEmpty())
            progressTimer->stop();
        flushProgress();
    });
    connect(helper, &KavuIOhelper::kavuIOUpdating, this, &JobController::onUpdating);
    connect(helper, &KavuIOhelper::kavuIOFinished, this, &JobController::onFinished);
    connect(helper, &KavuIOhelper::kavuIOVerifying, this, [this](int verified, int total) {
        flushProgress(); // the writes' last results first
        emit verifying(verified, total);
    });
    connect(helper, &KavuIOhelper::parameterVerified, this,
            [this](const QString &name, const QString &, const QString &, int outcome) {
                if (outcome == KavuComm::verifyDiffers && !differing.contains(name))
                    differing << name;
            });
}

JobController::~JobController() = default;

void JobController::begin(const JobRequest &request)
{
    current = request;
    running = true;
    differing.clear();
    pendingProgress.clear();
    documentBeforeRead.clear();
    emit started(current);
}

bool JobController::start(const JobRequest &request)
{
    if (running)
        return false;
    // The device's values as last known, saved before they are overwritten.
    if (request.operation == KavuComm::opWrite && backupSaver && !request.backupAction.isEmpty())
        backupSaver(request.backupAction);
    helper->setJob(request.names, request.operation, request.includeCommParams);
    begin(request);
    if (request.keepDocument && request.isReadAll())
        documentBeforeRead = BackupStore::documentValues(document.allParams());
    helper->startJob(request.onlyChanged);
    return true;
}

void JobController::noteStartedElsewhere(KavuComm::KavuCommOperation operation)
{
    JobRequest request;
    request.operation = operation;
    if (operation == KavuComm::opWrite && backupSaver)
        backupSaver(BackupAction::writeOne());
    begin(request);
}

void JobController::cancel()
{
    if (running)
        helper->terminate();
}

void JobController::onUpdating(uint treeID, int done, int total)
{
    if (done == -1) // the job's start, no parameter yet
        return;
    pendingProgress.append({treeID, done, total});
    if (!progressTimer->isActive()) {
        flushProgress();
        progressTimer->start();
    }
}

void JobController::flushProgress()
{
    if (pendingProgress.isEmpty())
        return;
    const QVector<JobProgress> updates = std::move(pendingProgress);
    pendingProgress.clear();
    emit progress(updates);
}

void JobController::onFinished(const QString &message, int errors, int total)
{
    // The job's last results reach the caller before its end.
    progressTimer->stop();
    flushProgress();
    JobEnd end;
    end.request = current;
    end.message = message;
    end.errors = errors;
    end.total = total;
    end.result = helper->finishedJobResult();
    end.differing = differing;
    running = false;
    if (current.isReadAll() && end.isClean() && backupSaver)
        backupSaver(BackupAction::read());
    if (current.isReadAll() && current.keepDocument) {
        end.kept = document.keepValuesAfterRead(documentBeforeRead);
        documentBeforeRead.clear();
    }
    emit finished(end);
}

void JobController::setWorkedOffline(bool workedOffline)
{
    offline = workedOffline;
    compareOffered = false;
}

bool JobController::hasOfflineChanges() const
{
    return offline && BackupStore::deviceValues(document.allParams()).isEmpty();
}

bool JobController::offerCompareBefore(const JobRequest &request)
{
    const bool overwrites =
        request.operation == KavuComm::opWrite || (request.isReadAll() && !request.keepDocument);
    return overwrites && offerCompareAfterCheck();
}

bool JobController::offerCompareAfterCheck()
{
    if (compareOffered || !hasOfflineChanges())
        return false;
    compareOffered = true;
    return true;
}
