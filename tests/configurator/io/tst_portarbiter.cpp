// The port arbiter: alone with plain threads (turns, the monitor's yielding,
// cancel and shutdown while waiting), then shared by two trees' workers
// against hrc417-sim, as the application shares it between its windows.
#include "HrcTree.h"
#include "HrcTreeWorkers.h"
#include "IoTestSupport.h"
#include "KavuIOhelper.h"
#include "KavuMon.h"
#include "PortArbiter.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

using namespace iotest;

namespace {

using Claimant = PortArbiter::Claimant;

// A worker of the test: a thread that asks for the port and records whether
// it got it, in the order the requests were granted.
struct Requester
{
    Requester(PortArbiter &arbiter, Claimant claimant, std::vector<char> &grants, std::mutex &grantsMutex,
              char name)
    {
        thread = std::thread([&arbiter, claimant, &grants, &grantsMutex, name, this] {
            const bool got = arbiter.acquire(claimant, [this] { return cancelled.load(); });
            if (got) {
                std::lock_guard<std::mutex> lock(grantsMutex);
                grants.push_back(name);
            }
            result.store(got ? 1 : 0);
        });
    }
    ~Requester()
    {
        if (thread.joinable())
            thread.join();
    }
    bool finished() const { return result.load() >= 0; }
    bool granted() const { return result.load() == 1; }

    std::atomic<bool> cancelled{false};
    std::atomic<int> result{-1};
    std::thread thread;
};

// A window's tree with its workers on the port the application shares.
struct Window
{
    Window(const QString &port, bool withMonitor, const std::shared_ptr<PortArbiter> &arbiter)
        : document(loadDocument())
        , tree(document.document())
    {
        connectTo(document, port, 5);
        document.paramValue("timescan", "200");
        tree.buildTree();
        workers.reset(new HrcTreeWorkers(&tree, withMonitor, arbiter));
        recorder.reset(new JobRecorder(helper(), document));
    }
    ~Window()
    {
        if (KavuMon *mon = workers ? workers->monitor() : nullptr) {
            mon->terminate();
            mon->wait(10000);
        }
    }
    KavuIOhelper *helper() const { return workers->ioHelper(); }
    void start(const QString &names, KavuComm::KavuCommOperation op)
    {
        recorder->reset();
        helper()->setJob(names, op, false);
        helper()->startJob(false);
    }

    HrcDocument document;
    HrcTree tree;
    std::unique_ptr<HrcTreeWorkers> workers;
    std::unique_ptr<JobRecorder> recorder;
};

QMap<QString, QString> deviceState(const QString &file)
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

} // namespace

class TestPortArbiter : public QObject
{
    Q_OBJECT

private slots:
    // The arbiter alone.
    void requestsAreServedInTurnAndTheMonitorYields();
    void cancelAndShutdownEndEveryWait();
    // Two windows' workers and the monitor on one simulated device.
    void writeJobsOfTwoWindowsAndPollingLoseNoExchange();
    void jobCancelledOrDeletedWhileWaitingForThePort();

private:
    QTemporaryDir dir;
};

void TestPortArbiter::requestsAreServedInTurnAndTheMonitorYields()
{
    PortArbiter arbiter;
    std::vector<char> grants;
    std::mutex grantsMutex;
    const auto never = [] { return false; };

    // A job holds the port; the monitor asks, then a second job.
    QVERIFY(arbiter.acquire(Claimant::Job, never));
    QVERIFY(arbiter.ioBusy());
    QVERIFY(!arbiter.monBusy());
    Requester monitor(arbiter, Claimant::Monitor, grants, grantsMutex, 'M');
    QTRY_COMPARE(arbiter.waiting(), 1);
    QVERIFY(!arbiter.jobWaiting());
    Requester job(arbiter, Claimant::Job, grants, grantsMutex, 'J');
    QTRY_COMPARE(arbiter.waiting(), 2);
    QVERIFY(arbiter.jobWaiting());

    // The monitor asked first, so it has its turn before the second job:
    // jobs in a row cannot keep it out.
    arbiter.release();
    QTRY_VERIFY(monitor.finished());
    QVERIFY(monitor.granted());
    QVERIFY(arbiter.monBusy());
    QVERIFY(arbiter.ioBusy()); // the job waiting
    QVERIFY(!job.finished());

    // The monitor's pause ends at once for the waiting job (a minute would
    // outlast the test's timeout).
    arbiter.pauseUnlessJobWaits(60000, never);
    arbiter.release();
    QTRY_VERIFY(job.finished());
    QVERIFY(job.granted());
    QVERIFY(!arbiter.monBusy());
    QVERIFY(arbiter.ioBusy());
    QCOMPARE(arbiter.waiting(), 0);

    // A job that asks while the monitor pauses with the port ends the pause.
    arbiter.release();
    QVERIFY(!arbiter.ioBusy());
    QVERIFY(arbiter.acquire(Claimant::Monitor, never));
    std::atomic<bool> pauseEnded{false};
    std::thread pausing([&] {
        arbiter.pauseUnlessJobWaits(60000, never);
        pauseEnded.store(true);
        arbiter.release();
    });
    QVERIFY(!pauseEnded.load());
    Requester late(arbiter, Claimant::Job, grants, grantsMutex, 'L');
    QTRY_VERIFY(late.finished());
    pausing.join();
    QVERIFY(pauseEnded.load());
    QVERIFY(late.granted());
    QCOMPARE(QString::fromLatin1(grants.data(), int(grants.size())), QString("MJL"));
    arbiter.release();
    QVERIFY(!arbiter.ioBusy());
    QVERIFY(!arbiter.monBusy());
}

void TestPortArbiter::cancelAndShutdownEndEveryWait()
{
    PortArbiter arbiter;
    std::vector<char> grants;
    std::mutex grantsMutex;
    const auto never = [] { return false; };

    // A cancelled request gives up its place and never gets the port; the
    // one behind it moves up.
    QVERIFY(arbiter.acquire(Claimant::Monitor, never));
    auto cancelled = std::make_unique<Requester>(arbiter, Claimant::Job, grants, grantsMutex, 'C');
    QTRY_COMPARE(arbiter.waiting(), 1);
    Requester behind(arbiter, Claimant::Job, grants, grantsMutex, 'B');
    QTRY_COMPARE(arbiter.waiting(), 2);
    cancelled->cancelled.store(true);
    arbiter.wakeWaiters();
    QTRY_VERIFY(cancelled->finished());
    QVERIFY(!cancelled->granted());
    QCOMPARE(arbiter.waiting(), 1);
    arbiter.release();
    QTRY_VERIFY(behind.finished());
    QVERIFY(behind.granted());

    // A request cancelled before it asks does not wait at all.
    std::atomic<bool> yes{true};
    QVERIFY(!arbiter.acquire(Claimant::Job, [&] { return yes.load(); }));

    // Shutdown: every waiter returns without the port, pauses end, and no
    // request is granted afterwards, not even on a free port.
    Requester monitor(arbiter, Claimant::Monitor, grants, grantsMutex, 'M');
    Requester job(arbiter, Claimant::Job, grants, grantsMutex, 'J');
    QTRY_COMPARE(arbiter.waiting(), 2);
    std::atomic<bool> pauseEnded{false};
    std::thread pausing([&] {
        arbiter.pause(60000, never);
        pauseEnded.store(true);
    });
    arbiter.shutdown();
    QTRY_VERIFY(monitor.finished() && job.finished());
    pausing.join();
    QVERIFY(pauseEnded.load());
    QVERIFY(!monitor.granted());
    QVERIFY(!job.granted());
    QCOMPARE(arbiter.waiting(), 0);
    arbiter.release();
    QVERIFY(!arbiter.acquire(Claimant::Job, never));
    QVERIFY(!arbiter.ioBusy());
    QCOMPARE(QString::fromLatin1(grants.data(), int(grants.size())), QString("B"));
}

void TestPortArbiter::writeJobsOfTwoWindowsAndPollingLoseNoExchange()
{
    const QString state = dir.filePath("shared.state");
    // A slow line, so that the second job surely asks while the first runs.
    Simulator sim({"--state", state, "--baud", "9600"});
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    const auto arbiter = std::make_shared<PortArbiter>();
    Window main(sim.path(), true, arbiter);
    Window wizard(sim.path(), false, arbiter);

    // Every exchange is checked in the thread that makes it: the monitor
    // polls only while it holds the port, a job transfers only while the
    // monitor does not; and every one of them succeeds.
    std::atomic<int> polls{0}, failedPolls{0}, pollsWithoutPort{0}, transfersBesideMonitor{0};
    std::atomic<bool> otherJobWaited{false};
    KavuMon *monitor = main.workers->monitor();
    connect(monitor, &KavuMon::monParameterPolled, this,
            [&](int, const QString &, int code) {
                ++polls;
                if (code != codeSuccess)
                    ++failedPolls;
                if (!arbiter->monBusy())
                    ++pollsWithoutPort;
            },
            Qt::DirectConnection);
    for (Window *w : {&main, &wizard}) {
        connect(w->helper(), &KavuIOhelper::workParameterDone, this,
                [&](int, int, bool, const QString &, int, int, int) {
                    if (arbiter->monBusy())
                        ++transfersBesideMonitor;
                    if (arbiter->jobWaiting())
                        otherJobWaited.store(true);
                },
                Qt::DirectConnection);
    }
    for (const QDomElement &p : parametersOf(main.document, "paramters_interview"))
        if (p.hasAttribute("ivparam"))
            main.tree.findItem(p.attribute("namekavu"))->setCheckState(0, Qt::Checked);
    monitor->start();
    QTRY_VERIFY_WITH_TIMEOUT(polls.load() >= 20, 20000);

    // Each window writes a branch of its own; the wizard asks for the port
    // while the main window's job holds it.
    QMap<QString, QString> written;
    auto prepare = [&](Window &w, const QString &set) {
        for (const QDomElement &p : parametersOf(w.document, set)) {
            const QString v = distinctValue(p);
            if (!v.isEmpty() && !p.hasAttribute("commparam") && !p.hasAttribute("localparam")
                && !p.hasAttribute("readonly") && p.attribute("type") != "datetime") {
                w.document.paramValue(p.attribute("namekavu"), v);
                written.insert(p.attribute("namekavu"), v);
            }
        }
    };
    prepare(main, "otopKontur1");
    prepare(wizard, "otopKontur2");
    QVERIFY(written.size() > 20);
    QStringList order;
    for (Window *w : {&main, &wizard}) {
        const QString name = w == &main ? "main" : "wizard";
        connect(w->helper(), &KavuIOhelper::kavuIOStarting, this, [&order, name](int total) {
            if (total == 0)
                order << name + " starting";
        });
        connect(w->helper(), &KavuIOhelper::kavuIOFinished, this, [&order, name] { order << name + " finished"; });
    }
    main.start("otopKontur1", KavuComm::opWrite);
    QTRY_VERIFY(main.recorder->starting.size() == 2); // connected: the port is the main window's
    wizard.start("otopKontur2", KavuComm::opWrite);
    QVERIFY(main.recorder->waitFinished());
    QVERIFY(wizard.recorder->waitFinished());
    // The wizard's job waited for the main window's to end.
    QVERIFY(otherJobWaited.load());
    QCOMPARE(order, QStringList({"main starting", "main finished", "wizard starting", "wizard finished"}));
    QCOMPARE(main.recorder->message, QString("Операция завершена"));
    QCOMPARE(main.recorder->count, 0);
    QCOMPARE(wizard.recorder->message, QString("Операция завершена"));
    QCOMPARE(wizard.recorder->count, 0);

    // Polling took the port back.
    const int afterJobs = polls.load();
    QTRY_VERIFY_WITH_TIMEOUT(polls.load() >= afterJobs + 10, 20000);
    monitor->terminate();
    QVERIFY(monitor->wait(10000));
    QCOMPARE(failedPolls.load(), 0);
    QCOMPARE(pollsWithoutPort.load(), 0);
    QCOMPARE(transfersBesideMonitor.load(), 0);
    QVERIFY(!arbiter->ioBusy());
    QVERIFY(!arbiter->monBusy());

    // Every value written is the device's.
    QCOMPARE(sim.stop(), 0);
    const QMap<QString, QString> device = deviceState(state);
    for (auto it = written.cbegin(); it != written.cend(); ++it) {
        const QDomElement p = main.document.findParameter(it.key());
        QVERIFY2(sameValue(p, device.value(it.key()), it.value()),
                 qPrintable(it.key() + ": " + device.value(it.key()) + " vs " + it.value()));
    }
}

void TestPortArbiter::jobCancelledOrDeletedWhileWaitingForThePort()
{
    Simulator sim({"--baud", "9600"});
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    const auto arbiter = std::make_shared<PortArbiter>();
    Window main(sim.path(), false, arbiter);
    Window wizard(sim.path(), false, arbiter);

    // The main window's long read holds the port.
    QSignalSpy mainStarting(main.helper(), &KavuIOhelper::kavuIOStarting);
    main.start(HrcDocument::allSets, KavuComm::opRead);
    QTRY_VERIFY(mainStarting.count() == 2);

    // The wizard's job waits; the engineer cancels it: it ends as a job that
    // never connected, while the main window's job goes on.
    wizard.start("Dev;ver;p.ver", KavuComm::opRead);
    QTRY_VERIFY(arbiter->jobWaiting());
    wizard.helper()->terminate();
    QVERIFY(wizard.recorder->waitFinished(10000));
    QCOMPARE(wizard.recorder->count, -1);
    QVERIFY(wizard.helper()->finishedJobResult().cancelled);
    QVERIFY(wizard.recorder->starting.isEmpty());
    QCOMPARE(main.recorder->finishedCount, 0);
    QVERIFY(!arbiter->jobWaiting());

    // A waiting job whose window goes away: the workers stop without a hang.
    wizard.start("Dev;ver;p.ver", KavuComm::opRead);
    QTRY_VERIFY(arbiter->jobWaiting());
    QElapsedTimer t;
    t.start();
    wizard.workers.reset();
    QVERIFY(t.elapsed() < 5000);
    QVERIFY(!arbiter->jobWaiting());
    QCOMPARE(main.recorder->finishedCount, 0);

    // The job that held the port was never disturbed.
    QVERIFY(main.recorder->waitFinished());
    QCOMPARE(main.recorder->message, QString("Операция завершена"));
    QCOMPARE(main.recorder->count, 0);
    // The end is reported just before the port is given back.
    QTRY_VERIFY(!arbiter->ioBusy());
    QCoreApplication::processEvents(); // results of the deleted worker find no receiver
}

QTEST_MAIN(TestPortArbiter)
#include "tst_portarbiter.moc"
