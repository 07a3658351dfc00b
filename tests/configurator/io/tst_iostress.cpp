// Polling, jobs and the user's edits at the same time, many times over: the
// workers must never race the GUI thread on the document (run it under
// AddressSanitizer).
#include "HrcTree.h"
#include "HrcTreeWorkers.h"
#include "IoTestSupport.h"
#include "KavuIOhelper.h"
#include "KavuMon.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace iotest;

class TestIoStress : public QObject
{
    Q_OBJECT

private slots:
    void pollingJobsAndEditsTogether();
};

void TestIoStress::pollingJobsAndEditsTogether()
{
    QTemporaryDir dir;
    Simulator sim({"--seed", "11"});
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    HrcDocument document = loadDocument();
    connectTo(document, sim.path(), 3);
    document.paramValue("logfile", dir.filePath("stress.csv"));
    document.paramValue("timescan", "200");
    // Every value present, as after the wizard restored a configuration.
    for (QDomElement p : parametersOf(document, HrcDocument::allSets))
        if (p.attribute("value").isEmpty() && !p.attribute("defaultvalue").isEmpty() && !p.hasAttribute("commparam"))
            document.paramValue(p.attribute("namekavu"), distinctValue(p));
    HrcTree tree(document.document());
    tree.buildTree();
    HrcTreeWorkers workers(&tree, true);
    auto tickAll = [&] {
        for (const QDomElement &p : parametersOf(document, "paramters_interview"))
            if (QTreeWidgetItem *item = tree.findItem(p.attribute("namekavu")))
                item->setCheckState(0, Qt::Checked);
    };
    tickAll();
    workers.monitor()->start();

    KavuIOhelper *helper = workers.ioHelper();
    JobRecorder recorder(helper, document);
    QRandomGenerator random(42);
    QList<QDomElement> editable;
    for (const QDomElement &p : parametersOf(document, HrcDocument::allSets))
        if (!p.hasAttribute("commparam"))
            editable << p;
    const QStringList jobs{"addParam", "Tin.F;Beep;Grtp[1]", "ConditionsEngine", "Thpd[0];Tm.dy;corr[3]"};
    const int iterations = qEnvironmentVariableIsSet("HRC_STRESS_ITERATIONS")
                               ? qEnvironmentVariableIntValue("HRC_STRESS_ITERATIONS")
                               : 1000;
    int edits = 0;
    int polledDuringJobs = 0;
    QSignalSpy polled(workers.monitor(), &KavuMon::kavuMonUpdating);

    // One edit as the user makes it, and the events of the GUI thread.
    auto editOnce = [&] {
        QDomElement p = editable[random.bounded(editable.size())];
        const QString v = distinctValue(p);
        if (!v.isEmpty() && !p.attribute("defaultvalue").isEmpty()) {
            const bool factory = random.bounded(2) && p.attribute("type") != "datetime";
            document.paramValue(p.attribute("namekavu"), factory ? p.attribute("defaultvalue") : v);
            if (QTreeWidgetItem *item = tree.findItem(p.attribute("namekavu"))) {
                tree.updateItems(item, true, p.attribute("value"), true, false);
                tree.setItemColour(item, HrcTree::changedColour());
            }
            ++edits;
        }
        if (edits % 997 == 0) {
            tree.buildTree(); // renumbers every item, clears the polling boxes
            tickAll();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    };

    for (int i = 0; i < iterations; ++i) {
        if (i % 5 == 0) {
            // Let the monitor take the port back between jobs now and then.
            const int before = polled.count();
            QElapsedTimer t;
            t.start();
            while (polled.count() < before + 3 && t.elapsed() < 10000)
                editOnce();
            QVERIFY2(polled.count() >= before + 3, "the monitor did not resume");
        }
        recorder.reset();
        const bool write = i % 3 == 1;
        helper->setJob(jobs[i % jobs.size()], write ? KavuComm::opWrite : KavuComm::opRead, false);
        helper->startJob(i % 7 == 3);
        while (recorder.finishedCount == 0)
            editOnce(); // the user keeps editing while the job runs
        QString failed;
        for (const QDomElement &p : parametersOf(document, jobs[i % jobs.size()])) {
            const QString code = p.attribute("ioLastErrCode");
            if (code != "0" && !code.isEmpty())
                failed += p.attribute("namekavu") + "=" + p.attribute("value") + ":" + code + " ";
        }
        QVERIFY2(recorder.count == 0, qPrintable(QString("job %1: %2 %3").arg(i).arg(recorder.message, failed)));
        QCOMPARE(recorder.message, QString("Операция завершена"));
        polledDuringJobs = polled.count();
    }
    workers.monitor()->terminate();
    QVERIFY(workers.monitor()->wait(10000));
    qInfo("%d jobs, %d edits, %d polled values", iterations, edits, polledDuringJobs);
    QVERIFY(edits >= 1000);
    QVERIFY(polledDuringJobs > 0);
}

QTEST_MAIN(TestIoStress)
#include "tst_iostress.moc"
