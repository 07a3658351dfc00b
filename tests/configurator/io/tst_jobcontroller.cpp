// The life of a job without a window: the job controller over the real
// worker and library, against hrc417-sim on a pseudo-terminal.
#include "IoTestSupport.h"
#include "JobController.h"
#include "KavuIOhelper.h"

#include <QSignalSpy>
#include <QtTest>

using namespace iotest;

namespace {

// A worker with its controller on a fresh document; the backups it asks
// for are recorded, with what had been reported of the job by then.
struct Jobs
{
    explicit Jobs(const QString &port, int timeoutSec = 3)
        : document(loadDocument())
    {
        connectTo(document, port, timeoutSec);
        helper = std::make_unique<KavuIOhelper>(document);
        controller = std::make_unique<JobController>(helper.get(), document);
        controller->setBackupSaver([this](const QString &action) {
            backups << action + (jobStarted ? QStringLiteral("@end") : QStringLiteral("@start"));
        });
        QObject::connect(controller.get(), &JobController::started, [this] { jobStarted = true; });
        QObject::connect(controller.get(), &JobController::progress, [this](const QVector<JobProgress> &updates) {
            ++batches;
            for (const JobProgress &u : updates)
                done << u.done;
        });
        QObject::connect(controller.get(), &JobController::finished, [this](const JobEnd &e) {
            end = e;
            ++ends;
        });
    }

    bool run(const JobRequest &request, int waitMs = 60000)
    {
        jobStarted = false;
        backups.clear();
        done.clear();
        batches = 0;
        const int before = ends;
        if (!controller->start(request))
            return false;
        return QTest::qWaitFor([&] { return ends > before; }, waitMs);
    }

    HrcDocument document;
    std::unique_ptr<KavuIOhelper> helper;
    std::unique_ptr<JobController> controller;
    QStringList backups;
    bool jobStarted = false;
    QList<int> done;
    int batches = 0;
    JobEnd end;
    int ends = 0;
};

JobRequest readAll(bool keepDocument = false)
{
    JobRequest request;
    request.names = QString::fromLatin1(HrcDocument::allSets);
    request.keepDocument = keepDocument;
    return request;
}

} // namespace

class TestJobController : public QObject
{
    Q_OBJECT

private slots:
    void offlineEditsAreOfferedACompareOnceAndKeptThroughARead();
    void progressComesInBatchesAndAllOfItBeforeTheEnd();
    void writeIsBackedUpBeforeItStarts();
    void silentDeviceEndsUnconnectedWithoutABackup();
    void cancelEndsTheJobWithHowFarItGot();
};

void TestJobController::offlineEditsAreOfferedACompareOnceAndKeptThroughARead()
{
    Simulator sim;
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    Jobs jobs(sim.path());
    JobController &c = *jobs.controller;

    // The engineer changed a value without the device ("Работа offline").
    const QString edited = QStringLiteral("Tin.F");
    QDomElement element = jobs.document.findParameter(edited);
    QVERIFY(!element.isNull());
    const QString engineersValue = distinctValue(element);
    QVERIFY(!engineersValue.isEmpty());
    element.setAttribute(QStringLiteral("value"), engineersValue);
    c.setWorkedOffline(true);
    QVERIFY(c.hasOfflineChanges());

    // A read that keeps the document overwrites nothing: no offer for it.
    QVERIFY(!c.offerCompareBefore(readAll(true)));
    // A write or a plain full read would: offered once, then no more.
    JobRequest write;
    write.names = edited;
    write.operation = KavuComm::opWrite;
    QVERIFY(c.offerCompareBefore(write));
    QVERIFY(!c.offerCompareBefore(write));
    QVERIFY(!c.offerCompareBefore(readAll()));
    QVERIFY(!c.offerCompareAfterCheck());

    QVERIFY(jobs.run(readAll(true)));
    QVERIFY(jobs.end.isClean());
    QCOMPARE(jobs.end.errors, 0);
    // The device's value was read; the engineer's edit is back, as a change.
    QVERIFY(!element.attribute(QStringLiteral("ioValue")).isEmpty());
    QVERIFY(element.attribute(QStringLiteral("ioValue")) != engineersValue);
    QCOMPARE(element.attribute(QStringLiteral("value")), engineersValue);
    QCOMPARE(element.attribute(QStringLiteral("undoValue")), element.attribute(QStringLiteral("ioValue")));
    bool keptEdited = false;
    for (const HrcDocument::KeptValue &kept : jobs.end.kept)
        keptEdited |= kept.name == edited && kept.wasRead;
    QVERIFY(keptEdited);
    // A clean full read is backed up after it; the device is known now.
    QCOMPARE(jobs.backups, QStringList{QStringLiteral("read@end")});
    QVERIFY(!c.hasOfflineChanges());

    // Another offline session: known device values end the rule at once.
    c.setWorkedOffline(true);
    QVERIFY(!c.offerCompareBefore(write));
}

void TestJobController::progressComesInBatchesAndAllOfItBeforeTheEnd()
{
    Simulator sim;
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    Jobs jobs(sim.path());
    QVERIFY(jobs.controller->start(readAll()));
    QVERIFY(jobs.controller->isRunning());
    QVERIFY2(!jobs.controller->start(readAll()), "a second job while one runs");
    QVERIFY(QTest::qWaitFor([&] { return jobs.ends == 1; }, 60000));
    QVERIFY(!jobs.controller->isRunning());

    // Every parameter once, in order, all before the end; fewer reports than
    // parameters when the line is faster than a window repaints.
    const int total = jobs.end.total;
    QVERIFY(total > 100);
    QCOMPARE(jobs.done.size(), total);
    for (int i = 0; i < total; ++i)
        QCOMPARE(jobs.done.at(i), i + 1);
    QVERIFY2(jobs.batches < total, qPrintable(QString::number(jobs.batches)));
    QCOMPARE(jobs.end.request.names, QString::fromLatin1(HrcDocument::allSets));
    QCOMPARE(jobs.end.shownTotal(), total);
}

void TestJobController::writeIsBackedUpBeforeItStarts()
{
    Simulator sim;
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    Jobs jobs(sim.path());
    // What the device holds must be known for a backup to hold anything.
    QVERIFY(jobs.run(readAll()));
    QDomElement element = jobs.document.findParameter(QStringLiteral("Tin.F"));
    element.setAttribute(QStringLiteral("value"), distinctValue(element));
    JobRequest write;
    write.names = QStringLiteral("Tin.F");
    write.operation = KavuComm::opWrite;
    write.backupAction = QStringLiteral("write-branch");
    QVERIFY(jobs.run(write));
    QVERIFY2(jobs.end.isClean(), qPrintable(QStringLiteral("%1 errors, first %2: %3")
                                                .arg(jobs.end.errors)
                                                .arg(jobs.end.result.firstError)
                                                .arg(jobs.end.message)));
    QCOMPARE(jobs.backups, QStringList{QStringLiteral("write-branch@start")});
    // A write's read-back reports the values it confirmed.
    QCOMPARE(jobs.end.result.written, 1);
    QCOMPARE(jobs.end.result.confirmed, jobs.end.result.written);
    QVERIFY(jobs.end.differing.isEmpty());
}

void TestJobController::silentDeviceEndsUnconnectedWithoutABackup()
{
    SilentDevice sim;
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    Jobs jobs(sim.path(), 1);
    QVERIFY(jobs.run(readAll()));
    QVERIFY(!jobs.end.result.connected);
    QVERIFY(!jobs.end.isClean());
    QVERIFY(!jobs.end.message.isEmpty());
    QVERIFY(jobs.backups.isEmpty());
    QVERIFY(jobs.done.isEmpty());
}

void TestJobController::cancelEndsTheJobWithHowFarItGot()
{
    Simulator sim({QStringLiteral("--baud"), QStringLiteral("9600")});
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    Jobs jobs(sim.path());
    QObject::connect(jobs.controller.get(), &JobController::progress, jobs.controller.get(),
                     [&] { jobs.controller->cancel(); });
    QVERIFY(jobs.run(readAll()));
    QVERIFY(jobs.end.result.cancelled);
    QVERIFY(jobs.end.result.connected);
    QVERIFY(jobs.end.result.succeeded < jobs.end.total);
    QVERIFY(!jobs.end.isClean());
    QVERIFY2(jobs.backups.isEmpty(), "a cancelled read is no backup");
}

QTEST_GUILESS_MAIN(TestJobController)
#include "tst_jobcontroller.moc"
