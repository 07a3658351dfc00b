// Read and write jobs end to end: the job worker against hrc417-sim on a
// pseudo-terminal, through the real library.
#include "ErrorText.h"
#include "HrcTree.h"
#include "HrcTreeWorkers.h"
#include "IoTestSupport.h"
#include "KavuIOhelper.h"

#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace iotest;

namespace {

// Names and codes of the parameters that failed, for failure messages.
QString failures(HrcDocument &doc, const QString &names)
{
    QStringList out;
    for (const QDomElement &p : parametersOf(doc, names)) {
        const QString code = p.attribute("ioLastErrCode");
        if (!code.isEmpty() && code != "0")
            out << p.attribute("namekavu") + "=" + p.attribute("value") + ":" + code;
    }
    return out.join(' ');
}

// The main window's tree with its worker, on a fresh document.
struct Workspace
{
    explicit Workspace(const QString &port, int timeoutSec = 3)
        : document(loadDocument())
        , tree(document.document())
    {
        connectTo(document, port, timeoutSec);
        tree.buildTree();
        workers.reset(new HrcTreeWorkers(&tree, false));
        recorder.reset(new JobRecorder(helper(), document));
    }
    KavuIOhelper *helper() const { return workers->ioHelper(); }

    bool run(const QString &names, KavuComm::KavuCommOperation op, bool withComm, bool onlyChanged = false,
             int waitMs = 60000)
    {
        recorder->reset();
        helper()->setJob(names, op, withComm);
        helper()->startJob(onlyChanged);
        return recorder->waitFinished(waitMs);
    }
    QDomElement element(const QString &name) const { return document.findParameter(name); }
    QString code(const QString &name) const { return element(name).attribute("ioLastErrCode"); }

    HrcDocument document;
    HrcTree tree;
    std::unique_ptr<HrcTreeWorkers> workers;
    std::unique_ptr<JobRecorder> recorder;
};

// Writes a simulator state file in which every writable parameter of the
// four sets differs from its factory value.
QMap<QString, QString> writeDistinctState(const QString &file)
{
    HrcDocument doc = loadDocument();
    QMap<QString, QString> values;
    QSettings s(file, QSettings::IniFormat);
    for (const QDomElement &p : parametersOf(doc, HrcDocument::allSets)) {
        if (p.hasAttribute("commparam") || p.hasAttribute("localparam") || p.attribute("type") == "datetime")
            continue;
        const QString v = distinctValue(p);
        if (v.isEmpty())
            continue;
        values.insert(p.attribute("namekavu"), v);
        s.setValue("hrc417/" + p.attribute("namekavu"), v);
    }
    s.sync();
    return values;
}

QMap<QString, QString> readState(const QString &file)
{
    QMap<QString, QString> values;
    QSettings s(file, QSettings::IniFormat);
    s.beginGroup("hrc417");
    for (const QString &key : s.childKeys()) {
        const QVariant v = s.value(key);
        values.insert(key, v.userType() == QMetaType::QStringList ? v.toStringList().join(',') : v.toString());
    }
    return values;
}

int qualifyingCount(HrcDocument &doc, bool withComm)
{
    int n = 0;
    for (const QDomElement &p : parametersOf(doc, HrcDocument::allSets))
        if (!p.hasAttribute("localparam") && (withComm || !p.hasAttribute("commparam")))
            ++n;
    return n;
}

} // namespace

class TestKavuIOhelper : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    // Reading and writing whole configurations.
    void readAllLandsTheSimulatorsValues();
    void writeAllThenReadBackGivesTheSameValues();
    void onlyChangedWritesExactlyTheChangedParameters();
    void faultsOnTheLineStillEndWithEveryValueRight();
    // The link counters a job hands over against what the simulator injected.
    void linkCountsMatchTheInjectedFaults();

    // Ending a job early.
    void cancelMidJob();
    void cancelDuringReadBackMarksTheRestUnverified();
    void timeoutZeroConnectsOnceAndTransfersNothing();
    void unreachablePortFailsTheConnection();
    void cancelWhileConnecting();

    // A later job of the same worker after the settings were changed.
    void changedPortIsUsedByTheNextJob();
    void changedAddressIsUsedByTheNextJob();

    // Checks of names and values.
    void nameChecks();
    void enumOutOfRangeAndEmptyWrite();
    void unknownTypeCountsAsError();
    void valuesThatDoNotFitAreNeverSent();
    void commParameterWriteReconnectsWithTheNewSettings();
    void testJobReportsItsOwnTotals();
    void baseNameChecksAreAskedOncePerSession();

private:
    QTemporaryDir dir;
};

void TestKavuIOhelper::initTestCase()
{
    QVERIFY(dir.isValid());
}

void TestKavuIOhelper::readAllLandsTheSimulatorsValues()
{
    const QString state = dir.filePath("read.state");
    const QMap<QString, QString> written = writeDistinctState(state);
    QVERIFY(written.size() > 100);
    Simulator sim({"--state", state});
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    Workspace ws(sim.path());
    QVERIFY(ws.run(HrcDocument::allSets, KavuComm::opRead, true));

    const int expected = qualifyingCount(ws.document, true);
    QCOMPARE(ws.recorder->message, QString("Операция завершена"));
    QCOMPARE(ws.recorder->count, 0);
    QCOMPARE(ws.recorder->total, expected);
    QCOMPARE(ws.recorder->starting, (QList<int>{0, expected}));

    // Every element's result was in the document when its update arrived;
    // a set is announced with -1, -1.
    int parameterUpdates = 0, setUpdates = 0;
    for (const JobRecorder::Update &u : ws.recorder->updates) {
        if (u.done == -1) {
            QCOMPARE(u.total, -1);
            QVERIFY(HrcDocument::isSet(ws.document.findByTreeId(u.id)));
            ++setUpdates;
        } else {
            ++parameterUpdates;
            QCOMPARE(u.done, parameterUpdates);
            QCOMPARE(u.total, expected);
            QCOMPARE(u.ioLastErrCode, QString("0"));
        }
    }
    QCOMPARE(parameterUpdates, expected);
    QVERIFY(setUpdates >= 4);

    QCOMPARE(sim.stop(), 0);
    const QMap<QString, QString> device = readState(state);
    int compared = 0;
    for (const QDomElement &p : parametersOf(ws.document, HrcDocument::allSets)) {
        const QString name = p.attribute("namekavu");
        if (p.hasAttribute("localparam"))
            continue;
        QCOMPARE(p.attribute("ioLastErrCode"), QString("0"));
        if (p.attribute("type") == "datetime")
            continue; // the device's clock runs on
        QVERIFY2(sameValue(p, p.attribute("ioValue"), device.value(name)),
                 qPrintable(name + ": " + p.attribute("ioValue") + " vs " + device.value(name)));
        if (written.contains(name)) {
            QVERIFY2(sameValue(p, p.attribute("ioValue"), written.value(name)), qPrintable(name));
            ++compared;
        }
    }
    QCOMPARE(compared, written.size());
    // The worker never writes "value".
    QCOMPARE(ws.element("Tin.F").attribute("value"), QString());
}

void TestKavuIOhelper::writeAllThenReadBackGivesTheSameValues()
{
    const QString state = dir.filePath("write.state");
    Simulator sim({"--state", state});
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    Workspace ws(sim.path());
    QMap<QString, QString> written;
    for (QDomElement p : parametersOf(ws.document, HrcDocument::allSets)) {
        const QString v = distinctValue(p);
        if (!v.isEmpty() && !p.hasAttribute("commparam") && !p.hasAttribute("localparam")
            && !p.hasAttribute("readonly")) {
            ws.document.paramValue(p.attribute("namekavu"), v);
            written.insert(p.attribute("namekavu"), v);
        }
    }
    // The device's own texts, as a read leaves them (a text is only ever read).
    for (const char *text : {"Dev", "ver", "p.ver"})
        ws.document.paramValue(text, "read before");
    QVERIFY(ws.run(HrcDocument::allSets, KavuComm::opWrite, false));
    QCOMPARE(ws.recorder->message, QString("Операция завершена"));
    QVERIFY2(ws.recorder->count == 0, qPrintable(failures(ws.document, HrcDocument::allSets)));
    QCOMPARE(ws.recorder->total, qualifyingCount(ws.document, false));
    QCOMPARE(sim.writesOf("Addr"), 0); // writes of whole branches leave communication alone

    QVERIFY(ws.run(HrcDocument::allSets, KavuComm::opRead, false));
    QCOMPARE(ws.recorder->count, 0);
    for (auto it = written.cbegin(); it != written.cend(); ++it) {
        const QDomElement p = ws.element(it.key());
        if (p.attribute("type") == "datetime")
            continue;
        QVERIFY2(sameValue(p, p.attribute("ioValue"), it.value()),
                 qPrintable(it.key() + ": " + p.attribute("ioValue") + " vs " + it.value()));
    }
    QCOMPARE(sim.stop(), 0);
    const QMap<QString, QString> device = readState(state);
    for (auto it = written.cbegin(); it != written.cend(); ++it) {
        const QDomElement p = ws.element(it.key());
        if (p.attribute("type") != "datetime")
            QVERIFY2(sameValue(p, device.value(it.key()), it.value()), qPrintable(it.key()));
        else
            QVERIFY2(device.value(it.key()).startsWith("2024/02/03/04:0"), qPrintable(device.value(it.key())));
    }
}

void TestKavuIOhelper::onlyChangedWritesExactlyTheChangedParameters()
{
    Simulator sim;
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    Workspace ws(sim.path());
    const QStringList changed{"Tin.F", "Grtp[2]", "Tm.dy", "Thpd[4]"};
    for (const QString &name : changed) {
        ws.document.paramValue(name, distinctValue(ws.element(name)));
        QTreeWidgetItem *item = ws.tree.findItem(name);
        QVERIFY(item);
        ws.tree.setItemColour(item, HrcTree::changedColour());
    }
    ws.document.paramValue("Ind.i", "3"); // edited, but not shown as changed
    QVERIFY(ws.run(HrcDocument::allSets, KavuComm::opWrite, false, true));
    QCOMPARE(ws.recorder->count, 0);
    QCOMPARE(ws.recorder->total, changed.size());
    // The simulator's log is read asynchronously.
    QTRY_COMPARE(sim.log().count(" write "), changed.size());
    const QString log = sim.log();
    QCOMPARE(sim.writesOf("Tin.F"), 1);
    QCOMPARE(sim.writesOf("Grtp"), 1);
    QCOMPARE(sim.writesOf("Tm.dy"), 1);
    QCOMPARE(sim.writesOf("Thpd"), 1);
    QVERIFY(log.contains(" write Thpd[4]"));
}

void TestKavuIOhelper::faultsOnTheLineStillEndWithEveryValueRight()
{
    const QString state = dir.filePath("faults.state");
    const QMap<QString, QString> written = writeDistinctState(state);
    Simulator sim({"--state", state, "--faults", "drop=0.1,crc=0.1,garbage=0.05", "--seed", "7"});
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    Workspace ws(sim.path(), 10);
    QVERIFY(ws.run(HrcDocument::allSets, KavuComm::opRead, true, false, 300000));
    QCOMPARE(ws.recorder->count, 0);
    QVERIFY(sim.log().contains("[fault:"));
    for (auto it = written.cbegin(); it != written.cend(); ++it) {
        const QDomElement p = ws.element(it.key());
        QCOMPARE(p.attribute("ioLastErrCode"), QString("0"));
        QVERIFY2(sameValue(p, p.attribute("ioValue"), it.value()), qPrintable(it.key()));
    }
}

void TestKavuIOhelper::linkCountsMatchTheInjectedFaults()
{
    struct Case {
        const char *faults;
        LinkCause cause;
    } cases[] = {{"drop=0.2", LinkCause::NoReplies}, {"crc=0.2", LinkCause::DamagedFrames}, {"", LinkCause::Good}};
    for (const Case &c : cases) {
        QStringList args{"--seed", "11"};
        if (*c.faults)
            args << "--faults" << c.faults;
        Simulator sim(args);
        QVERIFY2(sim.started(), qPrintable(sim.error()));
        Workspace ws(sim.path(), 30);
        LinkCounts counts;
        int handed = 0;
        connect(ws.helper(), &KavuIOhelper::linkCountsTaken, this, [&](const LinkCounts &taken) {
            counts += taken;
            ++handed;
        });
        QVERIFY(ws.run("configuration;GeneralParam", KavuComm::opRead, true, false, 120000));
        QCOMPARE(ws.recorder->count, 0);
        QCOMPARE(handed, 1);
        // The simulator's log is read asynchronously: wait until it holds
        // every request the library counted before comparing the rest.
        const QRegularExpression requestLine("^\\[[ 0-9.]+\\] #\\d+ ", QRegularExpression::MultilineOption);
        QTRY_COMPARE_WITH_TIMEOUT(quint64(sim.log().count(requestLine)), counts.attempts, 5000);
        const QString log = sim.log();
        const quint64 requests = log.count(requestLine);
        const quint64 drops = log.count("[fault: dropped]");
        const quint64 crcs = log.count("[fault: corrupted CRC]");
        QVERIFY2(*c.faults == 0 || drops + crcs > 0, c.faults);
        QCOMPARE(counts.attempts, requests);
        QCOMPARE(counts.timeouts, drops);
        QCOMPARE(counts.crcErrors, crcs);
        QCOMPARE(counts.badReplies, quint64(0));
        // Every failed attempt but an exchange's last is repeated.
        QVERIFY(counts.attempts - counts.exchanges <= drops + crcs);
        QCOMPARE(counts.attempts > counts.exchanges, drops + crcs > 0);
        QCOMPARE(counts.replies(), requests - drops);
        QCOMPARE(int(likelyCause(counts)), int(c.cause));
    }
}

// The writes are all done when the read-back starts; a cancel in it leaves
// the values not yet read back marked as such, each reported once.
void TestKavuIOhelper::cancelDuringReadBackMarksTheRestUnverified()
{
    Simulator sim({"--baud", "9600"});
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    Workspace ws(sim.path());
    for (const QDomElement &p : parametersOf(ws.document, "otopKontur1"))
        ws.document.paramValue(p.attribute("namekavu"), p.attribute("defaultvalue"));
    QSignalSpy verified(ws.helper(), &KavuIOhelper::parameterVerified);
    QList<int> verifying;
    connect(ws.helper(), &KavuIOhelper::kavuIOVerifying, this, [&](int done, int count) {
        verifying << count;
        if (done == 3)
            ws.helper()->terminate();
    });
    QVERIFY(ws.run("otopKontur1", KavuComm::opWrite, false));
    disconnect(ws.helper(), &KavuIOhelper::kavuIOVerifying, this, nullptr);

    const JobResult outcome = ws.helper()->finishedJobResult();
    QCOMPARE(ws.recorder->message, QString("Прервано пользователем"));
    QVERIFY(outcome.cancelled && outcome.verified);
    // Every write went out before the read-back began.
    QCOMPARE(outcome.written, outcome.succeeded);
    QVERIFY(outcome.written > 10);
    QCOMPARE(verifying.first(), outcome.written);
    QVERIFY2(outcome.confirmed >= 3 && outcome.confirmed <= 4, qPrintable(QString::number(outcome.confirmed)));
    QCOMPARE(outcome.differing, 0);
    QCOMPARE(verified.size(), outcome.written);
    int notChecked = 0;
    for (const QList<QVariant> &args : verified) {
        const QString code = ws.code(args.at(0).toString());
        if (args.at(3).toInt() == KavuComm::verifyNotChecked) {
            ++notChecked;
            QCOMPARE(code, QString("-1004"));
            QVERIFY(args.at(2).toString().isEmpty());
        } else {
            QCOMPARE(args.at(3).toInt(), int(KavuComm::verifyConfirmed));
            QCOMPARE(code, QString("0"));
            QCOMPARE(args.at(2).toString(), ws.element(args.at(0).toString()).attribute("ioValue"));
        }
    }
    QCOMPARE(notChecked, outcome.written - outcome.confirmed);
    QCOMPARE(ws.recorder->count, ws.recorder->total - outcome.confirmed);
}

void TestKavuIOhelper::cancelMidJob()
{
    Simulator sim({"--baud", "9600"});
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    Workspace ws(sim.path());
    ws.recorder->reset();
    connect(ws.helper(), &KavuIOhelper::kavuIOUpdating, this, [&](uint, int done, int) {
        if (done == 5)
            ws.helper()->terminate();
    });
    ws.helper()->setJob(HrcDocument::allSets, KavuComm::opRead, true);
    ws.helper()->startJob(false);
    QVERIFY(ws.recorder->waitFinished());
    disconnect(ws.helper(), &KavuIOhelper::kavuIOUpdating, this, nullptr);
    const int expected = qualifyingCount(ws.document, true);
    QCOMPARE(ws.recorder->message, QString("Прервано пользователем"));
    QCOMPARE(ws.recorder->total, expected);
    // The job stopped after five or six parameters; every other one is
    // reported as left out by the cancel and counted as failed.
    const JobResult outcome = ws.helper()->finishedJobResult();
    QVERIFY(outcome.cancelled && outcome.connected);
    QVERIFY2(outcome.succeeded >= 5 && outcome.succeeded <= 6, qPrintable(QString::number(outcome.succeeded)));
    QCOMPARE(ws.recorder->count, expected - outcome.succeeded);
    QCOMPARE(outcome.asked, expected);
    QCOMPARE(outcome.failed, expected - outcome.succeeded);
    QCOMPARE(outcome.firstError, int(codeJobCancelled));
    int lastDone = 0;
    for (const JobRecorder::Update &u : ws.recorder->updates)
        lastDone = qMax(lastDone, u.done);
    QCOMPARE(lastDone, expected);
    QCOMPARE(ws.code("corr[7]"), QString("-1002"));
    QCOMPARE(ws.recorder->finishedCount, 1);

    // The next job runs normally.
    QVERIFY(ws.run("Tin.F", KavuComm::opRead, false));
    QCOMPARE(ws.recorder->message, QString("Операция завершена"));
    QCOMPARE(ws.code("Tin.F"), QString("0"));
}

void TestKavuIOhelper::timeoutZeroConnectsOnceAndTransfersNothing()
{
    Simulator sim;
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    Workspace ws(sim.path(), 0);
    QVERIFY(ws.run("configuration", KavuComm::opRead, true));
    QCOMPARE(ws.recorder->message, QString("Операция завершена"));
    // Nothing was read: every parameter is left out by its set's deadline
    // and counts as failed, not as read.
    QCOMPARE(ws.recorder->count, ws.recorder->total);
    QVERIFY(ws.recorder->total > 0);
    // The simulator's log reaches the test a little after its reply.
    QTRY_COMPARE(sim.log().count(" read Dev"), 1);
    const QString log = sim.log();
    QCOMPARE(log.count(QRegularExpression(" (read|write) ")), 1);
    int reported = 0;
    for (const JobRecorder::Update &u : ws.recorder->updates)
        if (u.done > 0)
            ++reported;
    QCOMPARE(reported, ws.recorder->total);
    QCOMPARE(ws.code("Tin.F"), QString("-1001"));
}

void TestKavuIOhelper::unreachablePortFailsTheConnection()
{
    for (const QString &port : {QString("/dev/hrc417-no-such-tty"), QString("COM200")}) {
        Workspace ws(port, 1);
        QElapsedTimer t;
        t.start();
        QVERIFY(ws.run("configuration", KavuComm::opRead, true));
        QCOMPARE(ws.recorder->count, -1);
        QCOMPARE(ws.recorder->total, 0);
        QVERIFY(!ws.helper()->finishedJobResult().connected);
        // The finish message says why: no such device (a missing file, or a
        // COM number the library maps to a /dev/ttyS that is not there).
        QCOMPARE(ws.recorder->message, ws.helper()->connectFailure().text());
        QCOMPARE(ws.helper()->connectFailure().kind, PortFailure::NoDeviceFile);
        QVERIFY(ws.recorder->message.startsWith(QString("Порт %1 не найден").arg(port)));
        QCOMPARE(ws.helper()->lastError(), -2);
        QVERIFY(ws.recorder->updates.isEmpty());
        QCOMPARE(ws.recorder->starting, QList<int>{0});
        QVERIFY(t.elapsed() < 10000);
    }
}

void TestKavuIOhelper::cancelWhileConnecting()
{
    Workspace ws("/dev/hrc417-no-such-tty", 30);
    QElapsedTimer t;
    t.start();
    ws.helper()->setJob("configuration", KavuComm::opRead, true);
    ws.helper()->startJob(false);
    QTRY_VERIFY(!ws.recorder->starting.isEmpty());
    ws.helper()->terminate();
    QVERIFY(ws.recorder->waitFinished(10000));
    QCOMPARE(ws.recorder->count, -1);
    QCOMPARE(ws.helper()->sessionState(), int(KavuComm::stateTerminating));
    QVERIFY(t.elapsed() < 10000);
}

void TestKavuIOhelper::changedPortIsUsedByTheNextJob()
{
    Simulator device;
    QVERIFY2(device.started(), qPrintable(device.error()));
    // A terminal on which nothing ever answers.
    SilentDevice silent;
    QVERIFY2(silent.started(), qPrintable(silent.error()));
    Workspace ws(device.path(), 1);

    QVERIFY(ws.run("Tin.F", KavuComm::opRead, false));
    QCOMPARE(ws.recorder->count, 0);
    QCOMPARE(ws.code("Tin.F"), QString("0"));
    const QRegularExpression exchange(" (read|write) ");
    QTRY_COMPARE(device.log().count(" read Tin.F"), 1);
    const int firstJobExchanges = device.log().count(exchange);

    ws.document.paramValue("Port", silent.path());
    ws.element("Tin.F").removeAttribute("ioLastErrCode");
    QVERIFY(ws.run("Tin.F", KavuComm::opRead, false));
    QCOMPARE(ws.recorder->count, -1);
    QVERIFY(ws.helper()->lastError() != 0);
    QCOMPARE(ws.recorder->message, PortFailure::noAnswer(silent.path()).text());
    QVERIFY(!ws.element("Tin.F").hasAttribute("ioLastErrCode"));
    QVERIFY(silent.log().contains(" read Dev"));

    // And back to the device; its log then shows this job right after the
    // first one, nothing of the failed job between them.
    ws.document.paramValue("Port", device.path());
    QVERIFY(ws.run("Tin.F", KavuComm::opRead, false));
    QCOMPARE(ws.recorder->count, 0);
    QCOMPARE(ws.code("Tin.F"), QString("0"));
    QTRY_COMPARE(device.log().count(" read Tin.F"), 2);
    QCOMPARE(device.log().count(exchange), 2 * firstJobExchanges);
}

void TestKavuIOhelper::changedAddressIsUsedByTheNextJob()
{
    Simulator device;
    QVERIFY2(device.started(), qPrintable(device.error()));
    Workspace ws(device.path(), 1);
    const QString address = "16"; // the simulator's own
    ws.document.paramValue("Addr", address);

    QVERIFY(ws.run("Tin.F", KavuComm::opRead, false));
    QCOMPARE(ws.recorder->count, 0);
    const QString oldAddress = QString("addr %1 ").arg(address);
    QTRY_COMPARE(device.log().count(" read Tin.F"), 1);
    const int firstJobExchanges = device.log().count(oldAddress);

    // The document now names a device the line does not have (an address
    // below the device's own is none of its channels).
    const QString otherAddress = "15";
    ws.document.paramValue("Addr", otherAddress);
    QVERIFY(ws.run("Tin.F", KavuComm::opRead, false));
    QCOMPARE(ws.recorder->count, -1);
    QTRY_VERIFY(device.log().contains("ignored: address " + otherAddress + " "));

    ws.document.paramValue("Addr", address);
    QVERIFY(ws.run("Tin.F", KavuComm::opRead, false));
    QCOMPARE(ws.recorder->count, 0);
    QTRY_COMPARE(device.log().count(" read Tin.F"), 2);
    QCOMPARE(device.log().count(oldAddress), 2 * firstJobExchanges);
}

void TestKavuIOhelper::nameChecks()
{
    Simulator sim;
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    Workspace ws(sim.path(), 1);
    QDomElement test = ws.document.testParam();
    // Five letters: refused before anything is sent.
    test.setAttribute("namekavu", "Thpdx");
    QVERIFY(ws.run("testParam", KavuComm::opRead, false));
    QCOMPARE(test.attribute("ioLastErrCode"), QString("-905"));
    QCOMPARE(ws.recorder->count, 1);
    for (const char *bad : {"A..B", "Tin F", "a.b.c.d.e", "Thpd[x]", "r.cor:x"}) {
        test.setAttribute("namekavu", bad);
        QVERIFY(ws.run("testParam", KavuComm::opRead, false));
        QCOMPARE(test.attribute("ioLastErrCode"), QString("-905"));
    }
    QCOMPARE(sim.log().count(QRegularExpression(" read (?!Dev)")), 0);

    // An index on a name the device knows without one.
    test.setAttribute("namekavu", "Tin.F[0]");
    QVERIFY(ws.run("testParam", KavuComm::opRead, false));
    QCOMPARE(test.attribute("ioLastErrCode"), QString("-906"));

    // Channel and index reach the device.
    test.setAttribute("namekavu", "r.cor:3");
    test.setAttribute("type", "float");
    QVERIFY(ws.run("testParam", KavuComm::opRead, false));
    QCOMPARE(test.attribute("ioLastErrCode"), QString("0"));
    QTRY_VERIFY(sim.log().contains("addr 19 read r.cor"));
    test.setAttribute("namekavu", "Thpd[2]");
    test.setAttribute("type", "byte");
    QVERIFY(ws.run("testParam", KavuComm::opRead, false));
    QCOMPARE(test.attribute("ioLastErrCode"), QString("0"));
    QTRY_VERIFY(sim.log().contains("read Thpd[2]"));
}

void TestKavuIOhelper::enumOutOfRangeAndEmptyWrite()
{
    Simulator sim;
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    Workspace ws(sim.path(), 1);
    // The device holds Beep = 1; a description with one entry cannot show it.
    ws.element("Beep").setAttribute("valueset", "Выключить");
    QVERIFY(ws.run("Beep;Tin.F", KavuComm::opRead, false));
    QCOMPARE(ws.code("Beep"), QString("-950"));
    QCOMPARE(ws.element("Beep").attribute("ioValue"), QString());
    QCOMPARE(ws.code("Tin.F"), QString("0"));
    QCOMPARE(ws.recorder->count, 1); // the failure is counted, not reported as success

    // LEn is never checked against its entries.
    ws.element("LEn").setAttribute("valueset", "");
    QVERIFY(ws.run("LEn", KavuComm::opRead, true));
    QCOMPARE(ws.code("LEn"), QString("0"));

    // Nothing to write: retried until the set's deadline, then one error.
    ws.document.paramValue("Tin.F", "");
    ws.element("Tin.F").setAttribute("value", "");
    QVERIFY(ws.run("Tin.F", KavuComm::opWrite, false));
    QCOMPARE(ws.code("Tin.F"), QString("-915"));
    QCOMPARE(ws.recorder->count, 1);
    QCOMPARE(sim.writesOf("Tin.F"), 0);

    // The device's texts are read, not written, so a write job does not need
    // a value for them (after a factory reset they have none).
    for (const char *text : {"Dev", "ver", "p.ver"})
        ws.element(text).setAttribute("value", "");
    QVERIFY(ws.run("Dev;ver;p.ver", KavuComm::opWrite, false));
    QCOMPARE(ws.recorder->count, 0);
    QCOMPARE(ws.code("Dev"), QString("0"));
    QCOMPARE(ws.element("Dev").attribute("ioValue"), QString("HRC417"));
    QCOMPARE(sim.writesOf("Dev"), 0);
}

void TestKavuIOhelper::unknownTypeCountsAsError()
{
    Simulator sim;
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    Workspace ws(sim.path(), 1);
    ws.element("Tin.F").setAttribute("type", "double");
    QVERIFY(ws.run("Tin.F;Ind.i", KavuComm::opRead, false));
    QCOMPARE(ws.code("Tin.F"), QString("-901"));
    QCOMPARE(ws.code("Ind.i"), QString("0"));
    QCOMPARE(ws.recorder->count, 1);
}

void TestKavuIOhelper::valuesThatDoNotFitAreNeverSent()
{
    Simulator sim;
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    Workspace ws(sim.path(), 1);
    const QList<QPair<QString, QString>> bad{
        {"Tin.F", "256"},                    // byte
        {"Tin.F", "12a"},
        {"Beep", "300"},                     // enum
        {"Tm.dy", "25:00:00"},               // time
        {"Tm.dy", "07:30"},
        {"Rtc", "2024/13/01/00:00:00"},      // date-time
        {"Rtc", "00:00:00"},
        {"Grtp[0]", "-3300;20"},             // 15 bits
        {"corr[0]", "40;0"},                 // scaled by 100
    };
    for (const auto &entry : bad) {
        ws.document.paramValue(entry.first, entry.second);
        QVERIFY(ws.run(entry.first, KavuComm::opWrite, false));
        QVERIFY2(ws.code(entry.first) == "-1", qPrintable(entry.first + "=" + entry.second));
        QCOMPARE(ws.recorder->count, 1);
    }
    const QString log = sim.log();
    QVERIFY2(!log.contains(" write "), qPrintable(log.right(2000)));

    // A float with a stray character is refused as well.
    const QDomElement floats = ws.document.findParameter("Hy.b1[0]");
    QCOMPARE(floats.attribute("type"), QString("float"));
    ws.document.paramValue("Hy.b1[0]", "3,5x");
    QVERIFY(ws.run("Hy.b1[0]", KavuComm::opWrite, false));
    QCOMPARE(ws.code("Hy.b1[0]"), QString("-1"));
    QCOMPARE(sim.writesOf("Hy.b1"), 0);
}

void TestKavuIOhelper::commParameterWriteReconnectsWithTheNewSettings()
{
    const QString state = dir.filePath("comm.state");
    Simulator sim({"--state", state});
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    Workspace ws(sim.path());
    // 11-bit addresses first; then 300 needs two bytes: a short above 255 is
    // written as a word. Each write moves the port to the new setting.
    // As the editor leaves them: the previous setting in undoValue.
    ws.element("A.Len").setAttribute("undoValue", "0");
    ws.element("Addr").setAttribute("undoValue", "16");
    ws.document.paramValue("A.Len", "1");
    ws.document.paramValue("Addr", "300");
    ws.document.paramValue("Tin.F", "12");
    QVERIFY(ws.run("A.Len;Addr;Tin.F", KavuComm::opWrite, true));
    QVERIFY2(ws.recorder->count == 0, qPrintable(failures(ws.document, "A.Len;Addr;Tin.F") + sim.log().right(1500)));
    QCOMPARE(ws.code("A.Len"), QString("0"));
    QCOMPARE(ws.code("Addr"), QString("0"));
    QCOMPARE(ws.code("Tin.F"), QString("0"));
    // The simulator writes its log as it goes; under load it may lag the reply.
    QTRY_VERIFY2(sim.log().contains("addr 300 write Tin.F"), qPrintable(sim.log().right(1500)));
    QVERIFY(!ws.element("Addr").hasAttribute("undoValue")); // 300 is in force now
    QVERIFY(ws.run("Addr", KavuComm::opRead, true));
    QCOMPARE(ws.element("Addr").attribute("ioValue"), QString("300"));
    QCOMPARE(sim.stop(), 0);
    QCOMPARE(readState(state).value("Addr"), QString("300"));
}

void TestKavuIOhelper::testJobReportsItsOwnTotals()
{
    Simulator sim;
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    Workspace ws(sim.path(), 1);
    QDomElement test = ws.document.testParam();
    test.setAttribute("namekavu", "Tin.F");
    test.setAttribute("type", "byte");
    QVERIFY(ws.run("testParam", KavuComm::opRead, false));
    QCOMPARE(ws.recorder->message, QString("Операция завершена"));
    QCOMPARE(ws.recorder->count, 0);
    QCOMPARE(ws.recorder->total, 50000);
    QCOMPARE(ws.recorder->starting, (QList<int>{0, 1}));
    QCOMPARE(ws.recorder->updates.size(), 1);
    QCOMPARE(ws.recorder->updates.first().id, 4294967196u);
    QCOMPARE(ws.recorder->updates.first().done, 1);
    QCOMPARE(ws.recorder->updates.first().total, 1);
    QCOMPARE(test.attribute("ioValue"), QString("10"));

    // Written and read back through the scratch parameter.
    test.setAttribute("value", "17");
    QVERIFY(ws.run("testParam", KavuComm::opWrite, false));
    QCOMPARE(test.attribute("ioLastErrCode"), QString("0"));
    QVERIFY(ws.run("Tin.F", KavuComm::opRead, false));
    QCOMPARE(ws.element("Tin.F").attribute("ioValue"), QString("17"));

    // Without a device the test job fails its connection with its own total.
    Workspace offline("/dev/hrc417-no-such-tty", 0);
    QVERIFY(offline.run("testParam", KavuComm::opRead, false));
    QCOMPARE(offline.recorder->count, -1);
    QCOMPARE(offline.recorder->total, 50000);
}

void TestKavuIOhelper::baseNameChecksAreAskedOncePerSession()
{
    const QString state = dir.filePath("checks.state");
    writeDistinctState(state);
    Simulator sim({"--state", state});
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    Workspace asked(sim.path());
    Workspace remembered(sim.path());
    asked.helper()->setRememberNameChecks(false);

    // Indexed names below the sets, and their base names.
    auto indexedNamesIn = [&](const QString &sets, QSet<QString> *bases) {
        int n = 0;
        for (const QDomElement &p : parametersOf(asked.document, sets)) {
            const QString name = p.attribute("namekavu");
            if (name.contains('[')) {
                ++n;
                bases->insert(name.left(name.indexOf('[')));
            }
        }
        return n;
    };
    QSet<QString> baseNames;
    const int indexedNames = indexedNamesIn(HrcDocument::allSets, &baseNames);
    QVERIFY(baseNames.size() > 10 && indexedNames > 2 * baseNames.size());
    // A check is a read of a base name without an index.
    const QRegularExpression read(" read ([^ \\[]+) -> ");
    auto checksSince = [&](int from) {
        int n = 0;
        for (auto it = read.globalMatch(sim.log().mid(from)); it.hasNext();)
            n += baseNames.contains(it.next().captured(1)) ? 1 : 0;
        return n;
    };
    auto exchanges = [&] { return sim.log().count(QRegularExpression(" (read|write) ")); };

    QVERIFY(asked.run(HrcDocument::allSets, KavuComm::opRead, true));
    QCOMPARE(asked.recorder->count, 0);
    QTRY_COMPARE(exchanges(), 1 + qualifyingCount(asked.document, true) + indexedNames);
    QCOMPARE(checksSince(0), indexedNames);

    int from = sim.log().size();
    QVERIFY(remembered.run(HrcDocument::allSets, KavuComm::opRead, true));
    QCOMPARE(remembered.recorder->count, 0);
    QTRY_COMPARE(exchanges(), 2 + 2 * qualifyingCount(asked.document, true) + indexedNames + baseNames.size());
    QCOMPARE(checksSince(from), baseNames.size());

    // The same values and codes land in the document either way.
    const QList<QDomElement> old = parametersOf(asked.document, HrcDocument::allSets);
    const QList<QDomElement> now = parametersOf(remembered.document, HrcDocument::allSets);
    QCOMPARE(now.size(), old.size());
    for (int i = 0; i < old.size(); ++i) {
        const QString name = old[i].attribute("namekavu");
        QCOMPARE(now[i].attribute("namekavu"), name);
        QVERIFY2(now[i].attribute("ioLastErrCode") == old[i].attribute("ioLastErrCode"), qPrintable(name));
        if (old[i].attribute("type") != "datetime") // the device's clock runs on
            QVERIFY2(now[i].attribute("ioValue") == old[i].attribute("ioValue"), qPrintable(name));
    }

    // The next job connects afresh and asks again.
    from = sim.log().size();
    QVERIFY(remembered.run("otopKontur1", KavuComm::opRead, false));
    QCOMPARE(remembered.recorder->count, 0);
    QSet<QString> contourBases;
    indexedNamesIn("otopKontur1", &contourBases);
    QVERIFY(contourBases.contains("Td.ti"));
    QTRY_COMPARE(checksSince(from), contourBases.size());
    QCOMPARE(sim.log().mid(from).count(" read Td.ti -> "), 1);

    // A base name the device knows without an index still fails its indexed
    // names, and the answer, once given, is not asked again in the session:
    // retrying until the deadline sends nothing.
    Workspace quick(sim.path(), 1);
    quick.element("Grtp[0]").setAttribute("namekavu", "Tin.F[0]");
    quick.element("Grtp[1]").setAttribute("namekavu", "Tin.F[1]");
    from = sim.log().size();
    QVERIFY(quick.run("Tin.F[0];Tin.F[1]", KavuComm::opRead, false));
    QCOMPARE(quick.recorder->count, 2);
    QCOMPARE(quick.code("Tin.F[0]"), QString("-906"));
    QCOMPARE(quick.code("Tin.F[1]"), QString("-906"));
    QTRY_COMPARE(sim.log().mid(from).count(" read Tin.F -> "), 1);
    QCOMPARE(sim.log().mid(from).count(QRegularExpression(" (read|write) ")), 2);
}

QTEST_MAIN(TestKavuIOhelper)
#include "tst_kavuiohelper.moc"
