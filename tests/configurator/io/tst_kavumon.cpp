// The polling monitor end to end against hrc417-sim: what it reads, the log
// file byte for byte, and the hand-over of the port to jobs.
#include "HrcTree.h"
#include "HrcTreeWorkers.h"
#include "IoTestSupport.h"
#include "KavuIOhelper.h"
#include "KavuMon.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <memory>

using namespace iotest;

namespace {

struct PollingWorkspace
{
    PollingWorkspace(const QString &port, const QString &logFile, const QString &timescan = "200")
        : document(loadDocument())
        , tree(document.document())
    {
        connectTo(document, port, 2);
        document.paramValue("logfile", logFile);
        document.paramValue("timescan", timescan);
        tree.buildTree();
        workers.reset(new HrcTreeWorkers(&tree, true));
    }
    ~PollingWorkspace() { stop(); }

    KavuMon *monitor() const { return workers->monitor(); }
    void tick(const QString &name)
    {
        QTreeWidgetItem *item = tree.findItem(name);
        QVERIFY2(item, qPrintable(name));
        item->setCheckState(0, Qt::Checked);
    }
    bool stop()
    {
        monitor()->terminate();
        return monitor()->wait(10000);
    }
    QByteArray logBytes(const QString &file) const
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    HrcDocument document;
    HrcTree tree;
    std::unique_ptr<HrcTreeWorkers> workers;
};

// A signal the monitor emits in its own thread, recorded in the test thread
// (a QSignalSpy would append in the emitting thread while the test reads).
template <typename T>
struct Received
{
    template <typename Signal>
    Received(KavuMon *monitor, Signal signal)
    {
        QObject::connect(monitor, signal, &context, [this](T value) { values << value; });
    }
    bool waitFor(int count, int ms)
    {
        QElapsedTimer clock;
        clock.start();
        while (values.size() < count && clock.elapsed() < ms)
            QTest::qWait(10);
        return values.size() >= count;
    }

    QObject context;
    QList<T> values;
};

// The polled parameters in document order.
QStringList polledNames(HrcDocument &doc)
{
    QStringList names;
    for (const QDomElement &p : parametersOf(doc, "paramters_interview"))
        if (p.hasAttribute("ivparam"))
            names << p.attribute("namekavu");
    return names;
}

} // namespace

class TestKavuMon : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void logFileByteForByte();
    void failingParameterLogsItsCode();
    void headerOnlyWhenNothingIsTicked();
    void logFileThatCannotBeOpened();
    void jobPausesPollingAndPollingResumes();
    void noDeviceNothingLoggedNothingChanged();
    void restartedPollingUsesTheChangedPort();
    void startWhileStoppingRunsOnceTheThreadHasEnded();
    void lostLineIsReopenedWhenTheDeviceIsBack();
    void workersDeletedWhilePolling();

private:
    QTemporaryDir dir;
};

void TestKavuMon::initTestCase()
{
    QVERIFY(dir.isValid());
}

void TestKavuMon::logFileByteForByte()
{
    Simulator sim({"--seed", "5"});
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    const QString logFile = dir.filePath("poll.csv");
    PollingWorkspace ws(sim.path(), logFile);
    const QStringList names = polledNames(ws.document);
    QCOMPARE(names.size(), 24);
    ws.tick("r.cor:0");
    ws.tick("r.Cn");
    ws.tick("r.h");
    ws.tick("logfile");

    // What the tree was told, in the order it was told, as the log shows it.
    QStringList shown;
    connect(ws.monitor(), &KavuMon::kavuMonUpdating, this, [&](uint id, int, int) {
        const QDomElement e = ws.document.findByTreeId(id);
        QCOMPARE(e.attribute("ioLastErrCode"), QString("0"));
        shown << e.attribute("namekavu") + "=" + ws.document.displayText(e, "ioValue");
    });
    QSignalSpy updates(ws.monitor(), &KavuMon::kavuMonUpdating);
    ws.monitor()->start();
    QTRY_VERIFY_WITH_TIMEOUT(updates.count() >= 9, 20000);
    QVERIFY(ws.stop());
    QCoreApplication::processEvents();

    const QByteArray bytes = ws.logBytes(logFile);
    const QByteArray header = "\n" + ws.tree.logHeader().toLocal8Bit() + "\n";
    QVERIFY2(bytes.startsWith(header), bytes.left(300).constData());
    QCOMPARE(ws.tree.logHeader(), ws.document.logHeader());
    QVERIFY(ws.tree.logHeader().startsWith(QString::fromUtf8("Время;")));
    QCOMPARE(ws.tree.logHeader().count(';'), 24);

    const QList<QByteArray> lines = bytes.mid(header.size()).split('\n');
    QVERIFY(lines.size() >= 3);
    QVERIFY(lines.last().isEmpty()); // every line ends with "\r\n"
    QStringList logged;
    for (int i = 0; i + 1 < lines.size(); ++i) {
        QByteArray line = lines[i];
        QVERIFY(line.endsWith('\r'));
        line.chop(1);
        const QString text = QString::fromLocal8Bit(line);
        const QStringList fields = text.split(';');
        // Time with the caption's "-", a field per polled parameter, and the
        // empty field after the last ";".
        QVERIFY2(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d-$").match(fields[0]).hasMatch(), qPrintable(text));
        if (fields.size() != names.size() + 2)
            continue; // the last line may end where polling stopped
        QCOMPARE(fields.last(), QString());
        for (int f = 0; f < names.size(); ++f) {
            const QString &field = fields[f + 1];
            const bool ticked = names[f] == "r.cor:0" || names[f] == "r.Cn" || names[f] == "r.h";
            if (!ticked) {
                QCOMPARE(field, QString("-"));
                continue;
            }
            logged << names[f] + "=" + field;
        }
        if (names.indexOf("r.Cn") >= 0)
            QVERIFY(QRegularExpression("^[01]{8}$").match(fields[names.indexOf("r.Cn") + 1]).hasMatch());
    }
    QVERIFY(logged.size() >= 6);
    QCOMPARE(shown.mid(0, logged.size()), logged);
}

void TestKavuMon::failingParameterLogsItsCode()
{
    Simulator sim;
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    const QString logFile = dir.filePath("err.csv");
    PollingWorkspace ws(sim.path(), logFile);
    // A name the protocol cannot carry fails its check in every cycle.
    ws.document.findParameter("Sp.h").setAttribute("namekavu", "Sp.hxyz");
    ws.workers.reset(new HrcTreeWorkers(&ws.tree, true));
    ws.tree.buildTree();
    ws.tick("Sp.hxyz");
    ws.tick("logfile");
    QSignalSpy updates(ws.monitor(), &KavuMon::kavuMonUpdating);
    ws.monitor()->start();
    QVERIFY(updates.wait(10000));
    QVERIFY(updates.wait(10000));
    QVERIFY(ws.stop());
    QCoreApplication::processEvents();
    const QString text = QString::fromLocal8Bit(ws.logBytes(logFile));
    QVERIFY2(text.contains(";err(-905);"), qPrintable(text));
    QCOMPARE(ws.document.findParameter("Sp.hxyz").attribute("ioLastErrCode"), QString("-905"));
    QTreeWidgetItem *item = ws.tree.findItem("Sp.hxyz");
    QCOMPARE(HrcTree::itemColour(item), HrcTree::problemColour());
}

void TestKavuMon::headerOnlyWhenNothingIsTicked()
{
    Simulator sim;
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    const QString logFile = dir.filePath("header.csv");
    PollingWorkspace ws(sim.path(), logFile);
    ws.tick("logfile");
    Received<bool> opened(ws.monitor(), &KavuMon::kavuMonLogFileState);
    ws.monitor()->start();
    QVERIFY(opened.waitFor(1, 10000));
    QCOMPARE(opened.values.first(), true);
    QVERIFY(ws.stop());
    QCOMPARE(ws.logBytes(logFile), "\n" + ws.tree.logHeader().toLocal8Bit() + "\n");
    QCOMPARE(sim.log().count(QRegularExpression(" read (?!Dev)")), 0);
}

void TestKavuMon::logFileThatCannotBeOpened()
{
    Simulator sim;
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    PollingWorkspace ws(sim.path(), dir.filePath("no/such/dir/poll.csv"));
    ws.tick("r.cor:1");
    ws.tick("logfile");
    Received<bool> state(ws.monitor(), &KavuMon::kavuMonLogFileState);
    QSignalSpy updates(ws.monitor(), &KavuMon::kavuMonUpdating);
    ws.monitor()->start();
    QVERIFY(state.waitFor(1, 10000));
    QCOMPARE(state.values.first(), false);
    QTreeWidgetItem *item = ws.tree.findItem("logfile");
    QCOMPARE(HrcTree::itemColour(item), HrcTree::problemColour());
    QCOMPARE(item->text(7), QString("Невозможно открыть файл"));
    // Polling goes on; the open is not retried until the name changes.
    QTRY_VERIFY_WITH_TIMEOUT(updates.count() >= 3, 10000);
    QCOMPARE(state.values.size(), 1);
    const QString good = dir.filePath("renamed.csv");
    ws.monitor()->onLogFileNameChanged(good);
    QVERIFY(state.waitFor(2, 10000));
    QCOMPARE(state.values.last(), true);
    QCOMPARE(HrcTree::itemColour(item), HrcTree::normalColour());
    QCOMPARE(item->text(7), QString());
    QVERIFY(ws.stop());
    QVERIFY(QFile::exists(good));
}

void TestKavuMon::jobPausesPollingAndPollingResumes()
{
    Simulator sim;
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    PollingWorkspace ws(sim.path(), dir.filePath("pause.csv"));
    for (const QString &name : polledNames(ws.document))
        ws.tick(name);
    QSignalSpy updates(ws.monitor(), &KavuMon::kavuMonUpdating);
    ws.monitor()->start();
    QTRY_VERIFY_WITH_TIMEOUT(updates.count() >= 30, 20000);

    KavuIOhelper *helper = ws.workers->ioHelper();
    JobRecorder recorder(helper, ws.document);
    bool monitorHeldPortDuringJob = false;
    int updatesDuringJob = -1;
    connect(helper, &KavuIOhelper::kavuIOStarting, this, [&](int total) {
        if (total > 0) {
            monitorHeldPortDuringJob = helper->portArbiter()->monBusy();
            updatesDuringJob = updates.count();
        }
    });
    // Looked at in the worker thread, while the job holds the port: a queued
    // progress signal may arrive after the job has given the port back.
    std::atomic<bool> monitorHeldPortDuringExchange{false};
    connect(helper, &KavuIOhelper::workParameterDone, this, [&] {
        if (helper->portArbiter()->monBusy())
            monitorHeldPortDuringExchange = true;
    }, Qt::DirectConnection);
    helper->setJob(HrcDocument::allSets, KavuComm::opRead, true);
    helper->startJob(false);
    QVERIFY(recorder.waitFinished());
    QCOMPARE(recorder.count, 0);
    QVERIFY(!monitorHeldPortDuringJob);
    QVERIFY(!monitorHeldPortDuringExchange);
    // At most the parameter in flight when the job began is reported late.
    QVERIFY(updates.count() - updatesDuringJob <= 1);

    const int afterJob = updates.count();
    QTRY_VERIFY_WITH_TIMEOUT(updates.count() >= afterJob + 5, 20000);
    QVERIFY(ws.stop());
}

void TestKavuMon::noDeviceNothingLoggedNothingChanged()
{
    const QString logFile = dir.filePath("nodevice.csv");
    PollingWorkspace ws("/dev/hrc417-no-such-tty", logFile);
    ws.tick("r.cor:0");
    ws.tick("logfile");
    QSignalSpy updates(ws.monitor(), &KavuMon::kavuMonUpdating);
    Received<bool> finished(ws.monitor(), &KavuMon::kavuMonFinished);
    ws.monitor()->start();
    QVERIFY(!updates.wait(2500));
    ws.monitor()->terminate();
    QVERIFY(finished.waitFor(1, 5000));
    QVERIFY(ws.monitor()->wait(5000));
    QVERIFY(!QFile::exists(logFile));
    QVERIFY(!ws.document.findParameter("r.cor:0").hasAttribute("ioLastErrCode"));
}

void TestKavuMon::restartedPollingUsesTheChangedPort()
{
    Simulator device;
    QVERIFY2(device.started(), qPrintable(device.error()));
    SilentDevice silent;
    QVERIFY2(silent.started(), qPrintable(silent.error()));
    PollingWorkspace ws(device.path(), dir.filePath("restart.csv"));
    ws.tick("r.cor:0");
    QSignalSpy updates(ws.monitor(), &KavuMon::kavuMonUpdating);
    ws.monitor()->start();
    QVERIFY(updates.wait(10000));
    QVERIFY(ws.stop());

    // Polling again on a line nobody answers on: no value from the old device.
    ws.document.paramValue("Port", silent.path());
    updates.clear();
    ws.monitor()->start();
    QTRY_VERIFY_WITH_TIMEOUT(silent.log().contains(" read Dev"), 10000);
    QCOMPARE(updates.count(), 0);
    QVERIFY(ws.stop());

    ws.document.paramValue("Port", device.path());
    ws.monitor()->start();
    QVERIFY(updates.wait(10000));
    QVERIFY(ws.stop());
}

// Back from the wizard before the stopped monitor's exchange has ended: the
// GUI thread does not wait for it; polling starts again, on the settings
// of that moment, once the thread has ended, unless stopped once more.
void TestKavuMon::startWhileStoppingRunsOnceTheThreadHasEnded()
{
    Simulator device;
    QVERIFY2(device.started(), qPrintable(device.error()));
    SilentDevice silent;
    QVERIFY2(silent.started(), qPrintable(silent.error()));
    PollingWorkspace ws(silent.path(), dir.filePath("startwhilestopping.csv"));
    ws.tick("r.cor:0");
    QSignalSpy updates(ws.monitor(), &KavuMon::kavuMonUpdating);
    for (const bool stopAgain : {true, false}) {
        ws.document.paramValue("Port", silent.path());
        ws.monitor()->start();
        // Waiting for the silent device's reply: the exchange takes its
        // time-out and repeats.
        const int asked = silent.log().count(" read Dev");
        QTRY_VERIFY_WITH_TIMEOUT(silent.log().count(" read Dev") > asked, 10000);
        ws.monitor()->terminate();
        ws.document.paramValue("Port", device.path());
        ws.monitor()->start();
        QVERIFY(ws.monitor()->isTerminating()); // the old thread still ends
        if (stopAgain) {
            ws.monitor()->terminate();
            QTRY_VERIFY_WITH_TIMEOUT(!ws.monitor()->isRunning(), 10000);
            QCoreApplication::processEvents(); // its finished() is delivered
            QVERIFY(!ws.monitor()->isRunning());
            QCOMPARE(updates.count(), 0);
        } else {
            QVERIFY(updates.wait(10000));
            QVERIFY(ws.stop());
        }
    }
}

// The device goes away under polling (the simulator ends, as a USB adapter
// pulled out) and comes back on the same link: the monitor says so both
// times and polls again by itself.
void TestKavuMon::lostLineIsReopenedWhenTheDeviceIsBack()
{
    const QString link = dir.filePath("ttyUSB-by-id");
    const QStringList args{"--link", link};
    auto device = std::make_unique<Simulator>(args);
    QVERIFY2(device->started(), qPrintable(device->error()));
    const QString logFile = dir.filePath("lost.csv");
    PollingWorkspace ws(link, logFile);
    ws.tick("r.cor:0");
    ws.tick("logfile");
    QSignalSpy updates(ws.monitor(), &KavuMon::kavuMonUpdating);
    Received<QString> lost(ws.monitor(), &KavuMon::linkLost);
    Received<QString> restored(ws.monitor(), &KavuMon::linkRestored);
    ws.monitor()->start();
    QVERIFY(updates.wait(10000));

    device->stop();
    QVERIFY(lost.waitFor(1, 10000));
    QCOMPARE(lost.values.first(), QString("Связь потеряна: адаптер отключён (%1)").arg(link));
    const QDomElement polled = ws.document.findParameter("r.cor:0");
    QTRY_COMPARE_WITH_TIMEOUT(polled.attribute("ioLastErrCode"), QString("-907"), 5000);
    QCOMPARE(restored.values.size(), 0);

    device = std::make_unique<Simulator>(args);
    QVERIFY2(device->started(), qPrintable(device->error()));
    QVERIFY(restored.waitFor(1, 10000));
    QCOMPARE(restored.values.first(), QString("Связь с прибором восстановлена (%1)").arg(link));
    QTRY_COMPARE_WITH_TIMEOUT(polled.attribute("ioLastErrCode"), QString("0"), 5000);
    QCOMPARE(lost.values.size(), 1);
    QVERIFY(ws.stop());
    // The log has the cycle that found the line gone, and values again after it.
    const QByteArray bytes = ws.logBytes(logFile);
    QVERIFY2(bytes.contains(";err(-907);"), bytes.constData());
    QVERIFY2(QRegularExpression("-;err\\(-907\\);[-;]*\r\n\\d\\d:\\d\\d:\\d\\d-;-?\\d+(,\\d+)?;[-;]*\r\n")
                 .match(QString::fromLocal8Bit(bytes))
                 .hasMatch(),
             bytes.constData());
}

void TestKavuMon::workersDeletedWhilePolling()
{
    Simulator sim;
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    HrcDocument document = loadDocument();
    connectTo(document, sim.path(), 2);
    auto *tree = new HrcTree(document.document());
    tree->buildTree();
    auto *workers = new HrcTreeWorkers(tree, true);
    const std::shared_ptr<PortArbiter> arbiter = workers->monitor()->portArbiter();
    tree->findItem("r.cor:2")->setCheckState(0, Qt::Checked);
    QSignalSpy updates(workers->monitor(), &KavuMon::kavuMonUpdating);
    workers->monitor()->start();
    QVERIFY(updates.wait(10000));
    QVERIFY(arbiter->monBusy());
    delete workers; // as the window does before its tree: both workers stop
    QCOMPARE(tree->monitor(), nullptr);
    QCOMPARE(tree->ioWorker(), nullptr);
    delete tree;
    QCoreApplication::processEvents(); // results still queued find no receiver
    QCOMPARE(arbiter->monBusy(), false);
}

QTEST_MAIN(TestKavuMon)
#include "tst_kavumon.moc"
