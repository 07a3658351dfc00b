// hrc417 fleet as a service engineer runs it over a fleet file: several
// simulated controllers, one silent and one that gets a write wrong, each on
// a pseudo-terminal of its own; the table, the files, the exit status and
// what reached the simulators.
#include "CliTestSupport.h"
#include "SimLog.h"
#include "SimProcess.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <signal.h>

namespace {

using clitest::count;
using clitest::Run;

} // namespace

class TstHrc417Fleet : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir home;
    std::unique_ptr<hrcsim::SimProcess> good;   // address 16
    std::unique_ptr<hrcsim::SimProcess> other;  // address 7
    std::unique_ptr<hrcsim::SimProcess> silent; // never answers
    std::unique_ptr<hrcsim::SimProcess> faulty; // ignores writes of Beep
    QString fleet;

    QString path(const QString &name) const { return home.filePath(name); }

    void start(QProcess &p, const QStringList &args) const
    {
        clitest::useOwnHome(p, home.path());
        p.start(QStringLiteral(HRC417_CLI_PATH), args);
        p.closeWriteChannel();
    }

    Run hrc417(const QStringList &args) const
    {
        QProcess p;
        start(p, args);
        return clitest::finished(p, 120000);
    }

    static std::unique_ptr<hrcsim::SimProcess> startSim(const std::vector<std::string> &args)
    {
        auto s = std::make_unique<hrcsim::SimProcess>(args);
        if (!s->start())
            qFatal("simulator: %s", s->error().c_str());
        return s;
    }

    static QString pty(const std::unique_ptr<hrcsim::SimProcess> &sim)
    {
        return QString::fromStdString(sim->ptyPath());
    }

    static QJsonObject siteOf(const QJsonObject &fleetJson, const QString &name)
    {
        for (const QJsonValue &v : fleetJson.value(QStringLiteral("sites")).toArray()) {
            if (v.toObject().value(QStringLiteral("name")).toString() == name)
                return v.toObject();
        }
        return {};
    }

    static QString tableRow(const QString &out, const QString &site)
    {
        for (const QString &line : out.split(QLatin1Char('\n'))) {
            if (line.startsWith(site + QLatin1Char(' ')))
                return line.simplified();
        }
        return QString();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(home.isValid());
        good = startSim({"--verbose"});
        other = startSim({"--verbose", "--address", "7"});
        silent = startSim({"--verbose", "--faults", "drop=1"});
        faulty = startSim({"--verbose", "--write-faults", "ignore=Beep"});
        // As a spreadsheet saves it: ";" between fields, a quoted name with
        // the separator in it, a comment, an empty line; the same device
        // asked at a second address on its port (no answer there).
        fleet = path(QStringLiteral("fleet.csv"));
        QFile f(fleet);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("name;port;address;timeout\n"
                               "# the boiler houses of the north district\n"
                               "north-1;%1;16;1\n"
                               "\"north;2\";%2;7;1\n"
                               "\n"
                               "dead;%3;16;1\n"
                               "faulty;%4;16;1\n"
                               "north-1b;%1;9;1\n")
                    .arg(pty(good), pty(other), pty(silent), pty(faulty))
                    .toUtf8());
    }

    // Backups of every site, a set-point changed on all of them, the morning's
    // check against the backups, and a dry run that sends nothing.
    void aNightAndAMorningOfAFleet()
    {
        const QString dir = path(QStringLiteral("backups"));
        Run r = hrc417({QStringLiteral("fleet"), fleet, QStringLiteral("read"), QStringLiteral("-d"), dir,
                        QStringLiteral("-j"), QStringLiteral("4")});
        // The silent site and the wrong address make the worst status "no device".
        QCOMPARE(r.status, 3);
        QVERIFY2(tableRow(r.out, QStringLiteral("north-1")).contains(QStringLiteral("готово")), qPrintable(r.out));
        QVERIFY2(tableRow(r.out, QStringLiteral("north;2")).contains(QStringLiteral("готово")), qPrintable(r.out));
        QVERIFY2(tableRow(r.out, QStringLiteral("faulty")).contains(QStringLiteral("готово")), qPrintable(r.out));
        QVERIFY2(tableRow(r.out, QStringLiteral("dead")).contains(QStringLiteral("нет связи")), qPrintable(r.out));
        QVERIFY2(tableRow(r.out, QStringLiteral("north-1b")).contains(QStringLiteral("нет связи")), qPrintable(r.out));
        QVERIFY2(r.err.contains(QStringLiteral("dead: ")), qPrintable(r.err));
        for (const char *site : {"north-1", "north;2", "faulty"}) {
            const QStringList files = QDir(QDir(dir).filePath(QLatin1String(site))).entryList({QStringLiteral("*.hrc417")});
            QCOMPARE(files.size(), 1);
            QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d\\.hrc417$")).match(files.first()).hasMatch());
            QSettings backup(QDir(QDir(dir).filePath(QLatin1String(site))).filePath(files.first()), QSettings::IniFormat);
            QCOMPARE(backup.value(QStringLiteral("hrc417/Beep")).toString(), QStringLiteral("1"));
        }
        QVERIFY(QDir(QDir(dir).filePath(QStringLiteral("dead"))).entryList({QStringLiteral("*.hrc417")}).isEmpty());

        // Before the heating season: a dry run shows what would change where
        // and sends no write.
        const int writesBefore = count(good->stderrText(), " write ");
        r = hrc417({QStringLiteral("fleet"), fleet, QStringLiteral("set"), QStringLiteral("Beep=0"), QStringLiteral("--dry-run"),
                    QStringLiteral("-j"), QStringLiteral("4")});
        QVERIFY2(r.out.contains(QStringLiteral("north-1\tBeep\t1 -> 0")), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("faulty\tBeep\t1 -> 0")), qPrintable(r.out));
        QCOMPARE(count(good->stderrText(), " write "), writesBefore);
        QCOMPARE(r.status, 3);

        // The change itself: the faulty device keeps its old value, which its
        // read-back finds.
        r = hrc417({QStringLiteral("fleet"), fleet, QStringLiteral("set"), QStringLiteral("Beep=0"), QStringLiteral("-j"),
                    QStringLiteral("4"), QStringLiteral("--json")});
        QCOMPARE(r.status, 3);
        const QJsonObject set = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(set.value(QStringLiteral("status")).toInt(), 3);
        const QJsonObject north = siteOf(set, QStringLiteral("north-1")).value(QStringLiteral("values")).toObject();
        QCOMPARE(north.value(QStringLiteral("written")).toInt(), 1);
        QCOMPARE(north.value(QStringLiteral("confirmed")).toInt(), 1);
        const QJsonObject wrong = siteOf(set, QStringLiteral("faulty"));
        QCOMPARE(wrong.value(QStringLiteral("status")).toInt(), 1);
        QCOMPARE(wrong.value(QStringLiteral("values")).toObject().value(QStringLiteral("differ")).toInt(), 1);
        QCOMPARE(siteOf(set, QStringLiteral("dead")).value(QStringLiteral("status")).toInt(), 3);
        QVERIFY(siteOf(set, QStringLiteral("north-1")).value(QStringLiteral("attempts")).toDouble() > 0);
        QCOMPARE(count(good->stderrText(), "write Beep"), 1);
        QCOMPARE(count(silent->stderrText(), "write Beep"), 0);

        // The morning: each site against its own newest backup. Those that
        // took the change now differ; the faulty one does not.
        r = hrc417({QStringLiteral("fleet"), fleet, QStringLiteral("diff"), QStringLiteral("-d"), dir, QStringLiteral("-j"),
                    QStringLiteral("2"), QStringLiteral("--json")});
        const QJsonObject diff = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(siteOf(diff, QStringLiteral("north-1")).value(QStringLiteral("status")).toInt(), 1);
        QCOMPARE(siteOf(diff, QStringLiteral("north-1")).value(QStringLiteral("values")).toObject().value(QStringLiteral("differing")).toInt(), 1);
        QCOMPARE(siteOf(diff, QStringLiteral("faulty")).value(QStringLiteral("status")).toInt(), 0);
        // No backup of the silent site: said, and no exchange needed to say it.
        QVERIFY(siteOf(diff, QStringLiteral("dead")).value(QStringLiteral("messages")).toArray().first().toString().contains(QStringLiteral("нет резервной копии")));
        QCOMPARE(siteOf(diff, QStringLiteral("dead")).value(QStringLiteral("status")).toInt(), 2);
        QCOMPARE(r.status, 2);

        // Only the reachable sites: exit status 1 when one differs.
        QFile reachable(path(QStringLiteral("reachable.csv")));
        QVERIFY(reachable.open(QIODevice::WriteOnly));
        reachable.write(QStringLiteral("name,port,address\nnorth-1,%1,16\nfaulty,%2,16\n").arg(pty(good), pty(faulty)).toUtf8());
        reachable.close();
        r = hrc417({QStringLiteral("fleet"), reachable.fileName(), QStringLiteral("diff"), QStringLiteral("-d"), dir,
                    QStringLiteral("--timeout"), QStringLiteral("1")});
        QCOMPARE(r.status, 1);
        QVERIFY2(tableRow(r.out, QStringLiteral("north-1")).contains(QStringLiteral("различается")), qPrintable(r.out));
        r = hrc417({QStringLiteral("fleet"), reachable.fileName(), QStringLiteral("info"), QStringLiteral("-j"), QStringLiteral("2")});
        QCOMPARE(r.status, 0);
        QVERIFY2(tableRow(r.out, QStringLiteral("faulty")).contains(QStringLiteral("HRC417")), qPrintable(r.out));
    }

    // Errors in the file name its line and column; nothing is sent.
    void faultsOfTheFleetFile()
    {
        const size_t asked = good->stderrText().size();
        struct Case
        {
            const char *text;
            const char *message;
        };
        const Case cases[] = {
            {"name,port,adress\na,%1,16\n", "fleet-bad.csv:1: столбец adress: неизвестный столбец"},
            {"name,port\na,%1\n", "fleet-bad.csv:1: столбец address: обязательный столбец отсутствует"},
            {"name;port;address\n# comment\na;%1;16\nb;%1;4000\n", "fleet-bad.csv:4: столбец address: ожидается число от 1 до 2047"},
            {"name,port,address,baud\na,%1,16,1234\n", "fleet-bad.csv:2: столбец baud: скорость 1234 не поддерживается"},
            {"name,port,address\n\n\"north, 1\",%1,16\na,%1,\n", "fleet-bad.csv:4: столбец address: значение не задано"},
            {"name,port,address\n\"x\"\"y\",%1,16\n", "fleet-bad.csv:2: столбец name: x\"y не годится для имени папки"},
            {"name,port,address\n\"a\nb\",%1,16\n", "fleet-bad.csv:2: столбец name: a\nb не годится для имени папки"},
            {"name,port,address\na,%1,16\nA,%1,7\n", "fleet-bad.csv:3: столбец name: имя A уже встречалось"},
            {"name,port,address\n\"a,%1,16\n", "fleet-bad.csv:2: кавычка не закрыта"},
            {"name,port,address\n../a,%1,16\n", "fleet-bad.csv:2: столбец name: ../a не годится для имени папки"},
        };
        const QString bad = path(QStringLiteral("fleet-bad.csv"));
        for (const Case &c : cases) {
            QFile f(bad);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(QString::fromUtf8(c.text).arg(pty(good)).toUtf8());
            f.close();
            const Run r = hrc417({QStringLiteral("fleet"), bad, QStringLiteral("info")});
            QCOMPARE(r.status, 2);
            QVERIFY2(r.err.contains(QString::fromUtf8(c.message)), qPrintable(r.err));
        }
        QCOMPARE(good->stderrText().size(), asked);
        const Run r = hrc417({QStringLiteral("fleet"), fleet, QStringLiteral("read")});
        QCOMPARE(r.status, 2);
        QVERIFY(r.err.contains(QStringLiteral("-d DIR")));
    }

    // A device read before is read again without a single name check; the
    // checks come back with --forget, and for a device at another address.
    void aKnownDeviceIsReadWithoutNameChecks()
    {
        auto device = startSim({"--verbose"});
        const QString port = pty(device);
        auto read = [&](const QStringList &extra, int *checks, int *exchanges) {
            const size_t from = device->stderrText().size();
            const Run r = hrc417(QStringList{QStringLiteral("read"), QStringLiteral("--port"), port, QStringLiteral("-o"),
                                             path(QStringLiteral("known.hrc417"))} + extra);
            QVERIFY2(r.status == 0, qPrintable(r.err));
            *checks = simlog::nameChecksIn(QString::fromStdString(device->stderrText().substr(from)), exchanges);
        };
        int firstChecks = 0, first = 0, checks = 0, exchanges = 0;
        read({}, &firstChecks, &first);
        QVERIFY(firstChecks > 10);
        const QString firstFile = QString::fromUtf8([&] { QFile f(path(QStringLiteral("known.hrc417"))); f.open(QIODevice::ReadOnly); return f.readAll(); }());
        read({}, &checks, &exchanges);
        QCOMPARE(checks, 0);
        QCOMPARE(exchanges, first - firstChecks);
        // The same document either way.
        QFile again(path(QStringLiteral("known.hrc417")));
        QVERIFY(again.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(again.readAll()), firstFile);
        // Kept in the device's backup folder.
        QDir store(home.filePath(QStringLiteral("data/hrc417/backups")));
        QVERIFY2(!store.entryList({QStringLiteral("HRC417 2.14 адрес 16 *")}, QDir::Dirs).isEmpty(), qPrintable(store.path()));
        read({QStringLiteral("--forget")}, &checks, &exchanges);
        QCOMPARE(checks, firstChecks);
        QCOMPARE(exchanges, first);
    }

    // A line pulled at one site during the run: that site's messages name its
    // own port, the other site goes on to the end.
    void aPulledLineIsNamedWithItsSitesPort()
    {
        auto pulled = startSim({"--verbose", "--turnaround", "20"});
        QFile f(path(QStringLiteral("pulled.csv")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("name,port,address,timeout\npulled,%1,16,5\nnorth-1,%2,16,5\n")
                    .arg(pty(pulled), pty(good))
                    .toUtf8());
        f.close();
        QProcess p;
        start(p, {QStringLiteral("fleet"), f.fileName(), QStringLiteral("read"), QStringLiteral("-d"),
                  path(QStringLiteral("pulled")), QStringLiteral("-j"), QStringLiteral("2")});
        QVERIFY(pulled->waitForStderr(" read Tin.F", std::chrono::seconds(10)));
        ::kill(pulled->pid(), SIGKILL);
        QVERIFY(p.waitForFinished(60000));
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(tableRow(out, QStringLiteral("north-1")).contains(QStringLiteral("готово")), qPrintable(out + err));
        QVERIFY2(!tableRow(out, QStringLiteral("pulled")).contains(QStringLiteral("готово")), qPrintable(out + err));
        const QRegularExpression lost(QStringLiteral("адаптер отключён \\(([^)]*)\\)"));
        int named = 0;
        for (auto it = lost.globalMatch(out + err); it.hasNext(); ++named)
            QCOMPARE(it.next().captured(1), pty(pulled));
        QVERIFY2(named > 0, qPrintable(out + err));
    }

    // Ctrl+C: the sites under way finish their exchanges, those not begun
    // are not asked, and the table so far is printed.
    void interruptPrintsTheTableSoFar()
    {
        QFile f(path(QStringLiteral("queue.csv")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        QString text = QStringLiteral("name,port,address,timeout\n");
        for (int i = 0; i < 6; ++i)
            text += QStringLiteral("s%1,%2,16,5\n").arg(i).arg(pty(good));
        f.write(text.toUtf8());
        f.close();
        QProcess p;
        const size_t from = good->stderrText().size();
        start(p, {QStringLiteral("fleet"), f.fileName(), QStringLiteral("read"), QStringLiteral("-d"), path(QStringLiteral("queue"))});
        QVERIFY(good->waitForStderr("read", std::chrono::seconds(10), from));
        ::kill(pid_t(p.processId()), SIGINT);
        QVERIFY(p.waitForFinished(60000));
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        QCOMPARE(p.exitCode(), 1);
        QVERIFY2(tableRow(out, QStringLiteral("s5")).contains(QStringLiteral("не выполнено")), qPrintable(out));
        QVERIFY2(!tableRow(out, QStringLiteral("s0")).contains(QStringLiteral("не выполнено")), qPrintable(out));
        QVERIFY(QString::fromUtf8(p.readAllStandardError()).contains(QStringLiteral("прервано")));
    }
};

QTEST_GUILESS_MAIN(TstHrc417Fleet)
#include "tst_hrc417fleet.moc"
