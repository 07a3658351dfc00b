// The hrc417 command-line tool as a script or an engineer runs it: the
// program started as a process against hrc417-sim on a pseudo-terminal, its
// outputs, files and exit statuses, and what reached the simulator.
#include "CliTestSupport.h"
#include "ConfigStore.h"
#include "HrcDocument.h"
#include "ReportText.h"
#include "Ser2netProcess.h"
#include "SimProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include <csignal>
#include <sys/types.h>

namespace {

using clitest::count;
using clitest::Run;

QString fileText(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll());
}

} // namespace

class TstHrc417Cli : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir home;
    std::unique_ptr<hrcsim::SimProcess> sim;

    QString path(const QString &name) const { return home.filePath(name); }

    // The configurator's last configuration and the backups of a user of its own.
    void useOwnHome(QProcess &p) const { clitest::useOwnHome(p, home.path()); }

    // Runs hrc417 with args; the link options name the simulator's terminal
    // unless port is given; standard output to stdoutFile when given.
    Run hrc417(const QStringList &args, const QString &port = QString(), int fileLimitKb = 0,
               const QString &stdoutFile = QString())
    {
        QProcess p;
        if (!stdoutFile.isEmpty())
            p.setStandardOutputFile(stdoutFile);
        useOwnHome(p);
        QStringList all = args;
        if (!args.contains(QStringLiteral("--port")))
            all << QStringLiteral("--port") << (port.isEmpty() ? QString::fromStdString(sim->ptyPath()) : port);
        all << QStringLiteral("--timeout") << QStringLiteral("1");
        if (fileLimitKb > 0) {
            // Files may grow to fileLimitKb KiB at most, and a write beyond
            // just fails (as on a full disk) instead of killing the program.
            p.start(QStringLiteral("/bin/sh"),
                    QStringList{QStringLiteral("-c"),
                                QStringLiteral("trap '' XFSZ; ulimit -f %1; exec \"$0\" \"$@\"").arg(fileLimitKb),
                                QStringLiteral(HRC417_CLI_PATH)}
                        + all);
        } else {
            p.start(QStringLiteral(HRC417_CLI_PATH), all);
        }
        p.closeWriteChannel();
        return clitest::finished(p, 60000);
    }

    std::unique_ptr<hrcsim::SimProcess> startSim(const std::vector<std::string> &args)
    {
        auto s = std::make_unique<hrcsim::SimProcess>(args);
        if (!s->start())
            qFatal("simulator: %s", s->error().c_str());
        return s;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(home.isValid());
        sim = startSim({"--verbose"});
    }

    void helpVersionAndUsage()
    {
        const Run help = hrc417({QStringLiteral("--help")});
        QCOMPARE(help.status, 0);
        // The README shows the program's help as it is.
        const QString readme = fileText(QStringLiteral(HRC_SOURCE_DIR "/README.md"));
        QVERIFY2(readme.contains(help.out), qPrintable(help.out));
        for (const char *exit : {"0  success", "1  diff found", "2  bad usage", "3  the port", "4  the device"})
            QVERIFY(help.out.contains(QLatin1String(exit)));
        for (const char *command : {"info", "read", "get", "set", "write", "diff", "monitor", "scan"}) {
            const Run r = hrc417({QLatin1String(command), QStringLiteral("--help")});
            QCOMPARE(r.status, 0);
            QVERIFY2(r.out.startsWith(QStringLiteral("Usage: hrc417 ") + QLatin1String(command)), qPrintable(r.out));
        }
        const Run version = hrc417({QStringLiteral("--version")});
        QCOMPARE(version.status, 0);
        QVERIFY(version.out.startsWith(QStringLiteral("hrc417 1.")));

        for (const QStringList &bad : {QStringList{}, QStringList{QStringLiteral("fly")},
                                       QStringList{QStringLiteral("read"), QStringLiteral("--bogus")},
                                       QStringList{QStringLiteral("info"), QStringLiteral("--baud"), QStringLiteral("1234")},
                                       QStringList{QStringLiteral("info"), QStringLiteral("--lang"), QStringLiteral("xx")},
                                       QStringList{QStringLiteral("read"), QStringLiteral("NoSuchSet")},
                                       QStringList{QStringLiteral("read"), QStringLiteral("--dry-run")}}) {
            const Run r = hrc417(bad);
            QVERIFY2(r.status == 2, qPrintable(bad.join(' ') + ": " + r.err));
            QVERIFY(r.err.startsWith(QStringLiteral("hrc417: ")));
            QVERIFY(r.out.isEmpty());
        }
    }

    void infoInBothLanguagesAndJson()
    {
        Run r = hrc417({QStringLiteral("info")});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.contains(QStringLiteral("Наименование прибора: HRC417")), qPrintable(r.out));
        QVERIFY(r.out.contains(QStringLiteral("115200 бит/с")));
        QVERIFY(r.err.isEmpty()); // no progress bar and no diagnostics when stderr is not a terminal
        r = hrc417({QStringLiteral("--lang"), QStringLiteral("en"), QStringLiteral("info")});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.contains(QStringLiteral("Device name: HRC417")), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("Link: ")), qPrintable(r.out));
        r = hrc417({QStringLiteral("info"), QStringLiteral("--json")});
        QCOMPARE(r.status, 0);
        const QJsonObject info = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(info.value(QStringLiteral("Dev")).toString(), QStringLiteral("HRC417"));
        QVERIFY(info.value(QStringLiteral("link")).toString().contains(QString::fromStdString(sim->ptyPath())));
    }

    // The connection's debug lines stay off unless --verbose or a logging
    // rule asks for them; then they go to standard error, never to the output.
    void diagnosticsOnlyWhenAsked()
    {
        const QByteArray rules = qgetenv("QT_LOGGING_RULES");
        qunsetenv("QT_LOGGING_RULES");
        const Run quiet = hrc417({QStringLiteral("info"), QStringLiteral("--json")});
        const Run verbose = hrc417({QStringLiteral("info"), QStringLiteral("--json"), QStringLiteral("--verbose")});
        qputenv("QT_LOGGING_RULES", "hrc.io.debug=true");
        const Run byRule = hrc417({QStringLiteral("info"), QStringLiteral("--json")});
        // A rule overrides --verbose.
        qputenv("QT_LOGGING_RULES", "hrc.*.debug=false");
        const Run ruledOut = hrc417({QStringLiteral("info"), QStringLiteral("--json"), QStringLiteral("--verbose")});
        if (rules.isNull())
            qunsetenv("QT_LOGGING_RULES");
        else
            qputenv("QT_LOGGING_RULES", rules);

        for (const Run &r : {quiet, verbose, byRule, ruledOut}) {
            QCOMPARE(r.status, 0);
            QCOMPARE(QJsonDocument::fromJson(r.out.toUtf8()).object().value(QStringLiteral("Dev")).toString(),
                     QStringLiteral("HRC417"));
        }
        QVERIFY2(quiet.err.isEmpty(), qPrintable(quiet.err));
        QVERIFY2(ruledOut.err.isEmpty(), qPrintable(ruledOut.err));
        for (const Run &r : {verbose, byRule}) {
            QVERIFY2(r.err.contains(QStringLiteral("tryConnect starting, state=")), qPrintable(r.err));
            QVERIFY2(r.err.contains(QStringLiteral("tryConnect finished, state=")), qPrintable(r.err));
            QVERIFY(r.err.contains(QStringLiteral("OpenPort(")));
        }
    }

    void readSaveDiffSetWrite()
    {
        Run r = hrc417({QStringLiteral("read")});
        QCOMPARE(r.status, 0);
        const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
        QVERIFY(lines.size() > 100);
        QVERIFY(lines.contains(QStringLiteral("Tin.F\t10")));
        QVERIFY(lines.contains(QStringLiteral("Grtp[0]\t-25;90")));
        QVERIFY(lines.contains(QStringLiteral("Dev\tHRC417")));

        r = hrc417({QStringLiteral("read"), QStringLiteral("ust_gr"), QStringLiteral("Beep"), QStringLiteral("--json")});
        QCOMPARE(r.status, 0);
        const QJsonArray values = QJsonDocument::fromJson(r.out.toUtf8()).array();
        QCOMPARE(values.size(), 8);
        QCOMPARE(values.last().toObject().value(QStringLiteral("value")).toString(), QStringLiteral("1"));

        // A backup the configurator opens, equal to the device.
        const QString backup = path(QStringLiteral("backup.hrc417"));
        r = hrc417({QStringLiteral("read"), QStringLiteral("-o"), backup});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QVERIFY(r.out.isEmpty());
        HrcDocument document = HrcDocument::load(QString::fromLatin1(HrcDocument::resourcePath));
        QString error;
        QVERIFY(ConfigStore::openFile(document.allParams(), backup, &error));
        QCOMPARE(document.paramValue(QStringLiteral("Grtp[1]")), QStringLiteral("-15;77"));
        QCOMPARE(document.paramValue(QStringLiteral("Dev")), QStringLiteral("HRC417"));
        r = hrc417({QStringLiteral("diff"), backup});
        QCOMPARE(r.status, 0);
        QVERIFY(r.out.isEmpty());

        // set: checked, written, read back, printed as the device holds it.
        r = hrc417({QStringLiteral("set"), QStringLiteral("T.sp[0]=60,5"), QStringLiteral("Beep=Выключить"),
                    QStringLiteral("Grtp[1]=-14,5;76"), QStringLiteral("Rtc=now")});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QVERIFY(r.out.contains(QStringLiteral("T.sp[0]=60,5\n")));
        QVERIFY(r.out.contains(QStringLiteral("Beep=0\n")));
        QVERIFY(r.out.contains(QStringLiteral("Grtp[1]=-14,5;76\n")));
        QVERIFY(r.out.contains(QStringLiteral("Rtc=") + QDate::currentDate().toString(QStringLiteral("yyyy/MM/dd"))));

        // A decimal point is the decimal comma: the same values again, kept
        // in the document's form.
        r = hrc417({QStringLiteral("set"), QStringLiteral("T.sp[0]=60.5"), QStringLiteral("Grtp[1]=-14.5; 76"),
                    QStringLiteral("--json")});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        const QJsonArray typed = QJsonDocument::fromJson(r.out.toUtf8()).array();
        QCOMPARE(typed.size(), 2);
        QCOMPARE(typed.at(0).toObject().value(QStringLiteral("value")).toString(), QStringLiteral("60,5"));
        QCOMPARE(typed.at(0).toObject().value(QStringLiteral("status")).toString(), QStringLiteral("confirmed"));
        QCOMPARE(typed.at(1).toObject().value(QStringLiteral("value")).toString(), QStringLiteral("-14,5;76"));
        QCOMPARE(typed.at(1).toObject().value(QStringLiteral("device")).toString(), QStringLiteral("-14,5;76"));

        // The file now differs in exactly those three (the clock is no configuration).
        r = hrc417({QStringLiteral("diff"), backup, QStringLiteral("device")});
        QCOMPARE(r.status, 1);
        QStringList differences = r.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(differences.size(), 3);
        QVERIFY(differences.contains(QStringLiteral("T.sp[0]\t55\t60,5\tУставка температуры контура 1 (ГВС), °С")));
        QVERIFY(differences.contains(QStringLiteral("Grtp[1]\t-15;77\t-14,5;76\tТочка 2 отопительного графика (Тн/Тпр; Тконт)")));
        r = hrc417({QStringLiteral("diff"), QStringLiteral("factory"), backup, QStringLiteral("--json")});
        QCOMPARE(r.status, 0);
        QCOMPARE(QJsonDocument::fromJson(r.out.toUtf8()).array().size(), 0);
        r = hrc417({QStringLiteral("diff"), QStringLiteral("factory"), QStringLiteral("--json")});
        QCOMPARE(r.status, 1);
        QCOMPARE(QJsonDocument::fromJson(r.out.toUtf8()).array().size(), 3);

        // Written back from the file: every value confirmed, the clock untouched.
        const int clockWrites = count(sim->stderrText(), "write Rtc");
        r = hrc417({QStringLiteral("write"), backup});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QVERIFY2(QRegularExpression(QStringLiteral("^written (\\d+), confirmed \\1, differ 0, failed 0\n$")).match(r.out).hasMatch(),
                 qPrintable(r.out));
        QCOMPARE(count(sim->stderrText(), "write Rtc"), clockWrites);
        QCOMPARE(hrc417({QStringLiteral("diff"), backup}).status, 0);
    }

    void savedFilesAreWholeOrNotAtAll()
    {
        const QString good = path(QStringLiteral("good.hrc417"));
        Run r = hrc417({QStringLiteral("read"), QStringLiteral("-o"), good});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QFile file(good);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();
        QVERIFY(before.size() > 2048);

        // A full disk: an error with the file and the reason, the old file intact.
        r = hrc417({QStringLiteral("read"), QStringLiteral("-o"), good}, QString(), 1);
        QVERIFY2(r.status == 1, qPrintable(r.err)); // read, then lost: not "nothing was sent"
        QVERIFY2(r.err.contains(good), qPrintable(r.err));
        QVERIFY2(r.err.contains(QString::fromLocal8Bit(std::strerror(EFBIG))), qPrintable(r.err));
        QVERIFY(!r.out.contains(QStringLiteral("Сохранено")) && !r.err.contains(QStringLiteral("Сохранено")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
        file.close();
        QCOMPARE(QDir(home.path()).entryList({QStringLiteral(".good.hrc417*")}, QDir::Files | QDir::Hidden).size(), 0);

        // Something that is not a regular file is refused and stays what it is.
        const QString fifo = path(QStringLiteral("pipe.hrc417"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString folder = path(QStringLiteral("folder.hrc417"));
        QVERIFY(QDir().mkdir(folder));
        // Found before the device is asked: exit 2, nothing sent.
        const size_t asked = sim->stderrText().size();
        for (const QString &target : {fifo, folder, path(QStringLiteral("no-such-folder/site.hrc417"))}) {
            r = hrc417({QStringLiteral("read"), QStringLiteral("Beep"), QStringLiteral("-o"), target});
            QVERIFY2(r.status == 2, qPrintable(r.err));
            QVERIFY2(r.err.contains(target) || r.err.contains(path(QStringLiteral("no-such-folder"))), qPrintable(r.err));
        }
        QCOMPARE(sim->stderrText().size(), asked);
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(fifo).constData(), &st), 0);
        QVERIFY(S_ISFIFO(st.st_mode));
        QVERIFY(QFileInfo(folder).isDir());
    }

    void badValuesAndDryRunsSendNothing()
    {
        const int writes = count(sim->stderrText(), " write ");
        Run r = hrc417({QStringLiteral("set"), QStringLiteral("T.sp[0]=100"), QStringLiteral("Beep=7"),
                        QStringLiteral("Grtp[0]=abc"), QStringLiteral("Dev=x"), QStringLiteral("Nope=1"),
                        QStringLiteral("Tin.F=12")});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains(QStringLiteral("T.sp[0]: значение 100 не подходит: больше максимума 95,0")), qPrintable(r.err));
        QVERIFY(r.err.contains(QStringLiteral("Beep: ")));
        QVERIFY(r.err.contains(QStringLiteral("Grtp[0]: ")));
        QVERIFY(r.err.contains(QStringLiteral("Dev")));
        QVERIFY(r.err.contains(QStringLiteral("Nope")));
        r = hrc417({QStringLiteral("set"), QStringLiteral("T.sp[0]=6x0.5")});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains(QStringLiteral("T.sp[0]: значение 6x0,5 не подходит: не число")), qPrintable(r.err));
        r = hrc417({QStringLiteral("--lang"), QStringLiteral("en"), QStringLiteral("set"), QStringLiteral("T.sp[0]=100")});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains(QStringLiteral("T.sp[0]: value 100 is not accepted: above the maximum 95,0")), qPrintable(r.err));

        const QString file = path(QStringLiteral("bad.hrc417"));
        {
            QSettings s(file, QSettings::IniFormat);
            s.setValue(QStringLiteral("hrc417/Tin.F"), QStringLiteral("12"));
            s.setValue(QStringLiteral("hrc417/T.sp[0]"), QStringLiteral("999"));
        }
        QCOMPARE(hrc417({QStringLiteral("write"), file}).status, 2);
        QCOMPARE(hrc417({QStringLiteral("write"), path(QStringLiteral("missing.hrc417"))}).status, 2);
        {
            QSettings s(file, QSettings::IniFormat);
            s.setValue(QStringLiteral("hrc417/T.sp[0]"), QStringLiteral("70"));
        }
        r = hrc417({QStringLiteral("write"), file, QStringLiteral("--dry-run")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QStringLiteral("Tin.F\t12\nT.sp[0]\t70\n"));
        r = hrc417({QStringLiteral("write"), file, QStringLiteral("--only"), QStringLiteral("ust_gr"), QStringLiteral("--dry-run")});
        QCOMPARE(r.out, QStringLiteral("T.sp[0]\t70\n"));

        // An empty or cut entry holds no value: the file is an error (line
        // and name), nothing of it is written, dry run or not.
        const QString faulty = path(QStringLiteral("faulty.hrc417"));
        for (const QByteArray &entry : {QByteArray("Beep="), QByteArray("T.sp%5B0%5D=\"6")}) {
            {
                QFile f(faulty);
                QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
                f.write("[hrc417]\nTin.F=12\n" + entry + "\nGrtp%5B1%5D=\"-14,5;76\"\n");
            }
            const QString name = entry.startsWith("Beep") ? QStringLiteral("Beep") : QStringLiteral("T.sp[0]");
            for (const QStringList &extra : {QStringList{}, QStringList{QStringLiteral("--dry-run")}}) {
                r = hrc417(QStringList{QStringLiteral("write"), faulty} + extra);
                QCOMPARE(r.status, 2);
                QVERIFY2(r.err.contains(QStringLiteral("строка 3: ") + name), qPrintable(r.err));
                QVERIFY(r.out.isEmpty());
            }
        }
        // Outside what is sent (--only), the same entry is no reason to refuse.
        r = hrc417({QStringLiteral("write"), faulty, QStringLiteral("--only"), QStringLiteral("Grtp[1]"),
                    QStringLiteral("--dry-run")});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QCOMPARE(count(sim->stderrText(), " write "), writes);
    }

    void writeFaultsAreReportedAsDiffering()
    {
        auto faulty = startSim({"--verbose", "--write-faults", "ignore=Beep,clamp=T.sp[0],offset=Ti[0]:5"});
        const QString port = QString::fromStdString(faulty->ptyPath());
        Run r = hrc417({QStringLiteral("set"), QStringLiteral("Beep=0"), QStringLiteral("T.sp[0]=90"),
                        QStringLiteral("Ti[0]=200"), QStringLiteral("Tin.F=20")},
                       port);
        QCOMPARE(r.status, 1);
        QCOMPARE(r.out, QStringLiteral("Beep=1\nT.sp[0]=50\nTi[0]=205\nTin.F=20\n"));
        QVERIFY2(r.err.contains(QStringLiteral("T.sp[0]: записано 90, прибор хранит 50")), qPrintable(r.err));

        const QString file = path(QStringLiteral("faults.hrc417"));
        {
            QSettings s(file, QSettings::IniFormat);
            s.setValue(QStringLiteral("hrc417/Beep"), QStringLiteral("0"));
            s.setValue(QStringLiteral("hrc417/T.sp[0]"), QStringLiteral("80"));
            s.setValue(QStringLiteral("hrc417/Ti[0]"), QStringLiteral("300"));
            s.setValue(QStringLiteral("hrc417/Tin.F"), QStringLiteral("30"));
        }
        r = hrc417({QStringLiteral("write"), file, QStringLiteral("--json")}, port);
        QCOMPARE(r.status, 1);
        const QJsonObject summary = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(summary.value(QStringLiteral("written")).toInt(), 4);
        QCOMPARE(summary.value(QStringLiteral("confirmed")).toInt(), 1);
        QCOMPARE(summary.value(QStringLiteral("differ")).toInt(), 3);
        QCOMPARE(summary.value(QStringLiteral("failed")).toInt(), 0);
        r = hrc417({QStringLiteral("write"), file}, port);
        QCOMPARE(r.out.split('\n', Qt::SkipEmptyParts).last(), QStringLiteral("written 4, confirmed 1, differ 3, failed 0"));
    }

    void getMonitorAndCsv()
    {
        Run r = hrc417({QStringLiteral("get"), QStringLiteral("Tin.F"), QStringLiteral("Grtp[2]"), QStringLiteral("ver")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QStringLiteral("Tin.F=10\nGrtp[2]=-5;63\nver=вер. 2.14\n"));
        // A name the description does not hold, read as the test panel reads it.
        r = hrc417({QStringLiteral("get"), QStringLiteral("Thpd[1]"), QStringLiteral("Tin.F:0"), QStringLiteral("--type"), QStringLiteral("byte")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QStringLiteral("Thpd[1]=1\nTin.F:0=10\n"));
        r = hrc417({QStringLiteral("get"), QStringLiteral("Zzz"), QStringLiteral("--type"), QStringLiteral("byte")});
        QCOMPARE(r.status, 4);
        QVERIFY(r.err.contains(QStringLiteral("Zzz: Не найден параметр")));

        const QString csv = path(QStringLiteral("poll.csv"));
        r = hrc417({QStringLiteral("monitor"), QStringLiteral("r.cor:0"), QStringLiteral("Sp.h"), QStringLiteral("--count"),
                    QStringLiteral("3"), QStringLiteral("--interval"), QStringLiteral("50"), QStringLiteral("--csv"), csv});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines.first(), QStringLiteral("Время\tr.cor:0\tSp.h"));
        const QRegularExpression row(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\t-?\\d+(,\\d+)?\t-?\\d+(,\\d+)?$"));
        for (int i = 1; i < 4; ++i)
            QVERIFY2(row.match(lines[i]).hasMatch(), qPrintable(lines[i]));
        const QStringList rows = fileText(csv).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows.first(), QStringLiteral("Время;r.cor:0;Sp.h"));
        QCOMPARE(rows[1], QString(lines[1]).replace('\t', ';'));

        r = hrc417({QStringLiteral("monitor"), QStringLiteral("--count"), QStringLiteral("1"), QStringLiteral("--json")});
        QCOMPARE(r.status, 0);
        const QJsonObject cycle = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QVERIFY(cycle.value(QStringLiteral("values")).toObject().contains(QStringLiteral("r.cor:7")));
        QVERIFY(!cycle.value(QStringLiteral("values")).toObject().contains(QStringLiteral("logfile")));
    }

    // An error reply is the device's answer: asked once, and the job goes on.
    void refusalsAreAnsweredOnceAndTheJobGoesOn()
    {
        // A device whose firmware lacks one parameter of the set addParam.
        auto older = startSim({"--verbose", "--missing", "Ind.c"});
        const QString port = QString::fromStdString(older->ptyPath());
        Run r = hrc417({QStringLiteral("get"), QStringLiteral("Zz")}, port);
        QCOMPARE(r.status, 4);
        QVERIFY2(r.err.contains(QStringLiteral("Zz: Не найден параметр")), qPrintable(r.err));
        QVERIFY(older->waitForStderr("(unknown name)"));
        QCOMPARE(count(older->stderrText(), "(unknown name)"), 1);

        r = hrc417({QStringLiteral("read"), QStringLiteral("addParam")}, port);
        QCOMPARE(r.status, 4);
        QVERIFY2(r.err.contains(QStringLiteral("Ind.c: Не найден параметр")), qPrintable(r.err));
        // The parameters after the missing one are read as well.
        const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4);
        QVERIFY2(lines.contains(QStringLiteral("Ind.i\t5")), qPrintable(r.out));
        QVERIFY2(lines.contains(QStringLiteral("Beep\t1")), qPrintable(r.out));
        QVERIFY2(lines.last().startsWith(QStringLiteral("Rtc\t") + QDate::currentDate().toString(QStringLiteral("yyyy/MM/dd"))),
                 qPrintable(r.out));
        QVERIFY(older->waitForStderr("read Ind.c"));
        QCOMPARE(count(older->stderrText(), "read Ind.c"), 1);
    }

    // Ctrl+C while the monitor waits for its next cycle: the wait ends at
    // once and the program ends normally with the cycles it has shown.
    void interruptedMonitorEndsItsPause()
    {
        auto device = startSim({"--verbose"});
        QProcess p;
        useOwnHome(p);
        p.start(QStringLiteral(HRC417_CLI_PATH),
                {QStringLiteral("monitor"), QStringLiteral("Sp.h"), QStringLiteral("--interval"), QStringLiteral("600000"),
                 QStringLiteral("--port"), QString::fromStdString(device->ptyPath())});
        QVERIFY(p.waitForStarted());
        QByteArray out;
        while (out.count('\n') < 2 && p.waitForReadyRead(20000))
            out += p.readAllStandardOutput();
        QCOMPARE(out.count('\n'), 2); // the header and the first cycle
        ::kill(pid_t(p.processId()), SIGINT);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        out += p.readAllStandardOutput();
        QCOMPARE(out.count('\n'), 2);
    }

    // Ctrl+C during a write: the exchange in flight ends, nothing more is
    // sent, and the summary says how far it got.
    void interruptedWriteEndsWithTheSummarySoFar()
    {
        const QString file = path(QStringLiteral("interrupted.hrc417"));
        QCOMPARE(hrc417({QStringLiteral("read"), QStringLiteral("-o"), file}).status, 0);
        // A device slow enough to be interrupted half-way.
        auto slow = startSim({"--verbose", "--turnaround", "15"});
        QProcess p;
        useOwnHome(p);
        p.start(QStringLiteral(HRC417_CLI_PATH),
                {QStringLiteral("write"), file, QStringLiteral("--port"), QString::fromStdString(slow->ptyPath())});
        QVERIFY(p.waitForStarted());
        // Some values have reached the device.
        QVERIFY(slow->waitForStderr("#10 addr 16 write", std::chrono::seconds(20)));
        ::kill(pid_t(p.processId()), SIGINT);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 1);
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("^written (\\d+), confirmed 0, differ 0, failed 0, not sent (\\d+)\n$")).match(out);
        QVERIFY2(m.hasMatch(), qPrintable(out));
        const int written = m.captured(1).toInt();
        const int notSent = m.captured(2).toInt();
        QVERIFY2(written > 0 && notSent > 0, qPrintable(out));
        // Every value counted as written reached the device, and no other.
        QTest::qWait(100);
        QCOMPARE(count(slow->stderrText(), " write "), written);
        // Nothing was left out of the count: the dry run lists every value.
        const Run dry = hrc417({QStringLiteral("write"), file, QStringLiteral("--dry-run")});
        QCOMPARE(written + notSent, dry.out.count(QLatin1Char('\n')));
        QVERIFY(QString::fromUtf8(p.readAllStandardError()).contains(QStringLiteral("прервано")));
    }

    // The line goes away under a read (the simulator killed, as a USB
    // adapter pulled out): told at once, not as a silent device; a device
    // back on the same link is read again.
    void aLostLineIsToldAtOnce()
    {
        const QString link = path(QStringLiteral("ttyHRC"));
        const std::vector<std::string> args{"--verbose", "--turnaround", "10", "--link", link.toStdString()};
        auto device = startSim(args);
        QProcess p;
        useOwnHome(p);
        p.start(QStringLiteral(HRC417_CLI_PATH),
                {QStringLiteral("read"), QStringLiteral("--port"), link, QStringLiteral("--timeout"), QStringLiteral("5")});
        QVERIFY(p.waitForStarted());
        QVERIFY(device->waitForStderr("#20 ", std::chrono::seconds(20)));
        device->stop(SIGKILL);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 3);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(err.contains(QStringLiteral("Связь потеряна: адаптер отключён (%1); выполнено ").arg(link)), qPrintable(err));
        QVERIFY2(!err.contains(QStringLiteral("Прибор не ответил")), qPrintable(err));
        QVERIFY(p.readAllStandardOutput().isEmpty());

        device = startSim(args);
        const Run r = hrc417({QStringLiteral("get"), QStringLiteral("Tin.F")}, link);
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QStringLiteral("Tin.F=10\n"));
    }

    // A controller behind Debian's ser2net, raw and telnet(rfc2217): the same
    // file as through the pseudo-terminal, every command, the scan's rule,
    // and the server stopped during a job.
    void controllerBehindASerialDeviceServer()
    {
        if (hrcsim::Ser2netProcess::executable().empty())
            QSKIP("ser2net is not installed (tools/ci/setup-debian.sh installs it)");
        auto device = startSim({"--verbose", "--seed", "5", "--turnaround", "5"});
        const QString pty = QString::fromStdString(device->ptyPath());
        hrcsim::Ser2netProcess server(device->ptyPath());
        QVERIFY2(server.start(), server.error().c_str());
        const QString raw = QString::fromStdString(server.rawAddress());
        const QString rfc2217 = QString::fromStdString(server.rfc2217Address());

        // ser2net keeps the device a few hundred ms after a client left; a
        // client of its other accepter meanwhile is told the server is busy.
        auto run = [&](const QStringList &args, const QString &port) {
            Run r = hrc417(args, port);
            for (int i = 0; i < 100 && r.status == 3 && r.err.contains(QStringLiteral("занят другим клиентом")); ++i) {
                QTest::qWait(20);
                r = hrc417(args, port);
            }
            return r;
        };
        // The file without the device's running clock.
        auto readAll = [&](const QString &port, const QString &name) {
            const Run r = run({QStringLiteral("read"), QStringLiteral("-o"), path(name)}, port);
            if (r.status != 0)
                return QStringLiteral("status %1: %2").arg(r.status).arg(r.err);
            QStringList lines = fileText(path(name)).split(QLatin1Char('\n'));
            lines.erase(std::remove_if(lines.begin(), lines.end(),
                                       [](const QString &l) { return l.startsWith(QLatin1String("Rtc=")); }),
                        lines.end());
            return lines.join(QLatin1Char('\n'));
        };
        const QString direct = readAll(pty, QStringLiteral("direct.hrc417"));
        QVERIFY2(direct.contains(QStringLiteral("Tin.F=")), qPrintable(direct));
        QCOMPARE(readAll(raw, QStringLiteral("raw.hrc417")), direct);
        QCOMPARE(readAll(rfc2217, QStringLiteral("rfc2217.hrc417")), direct);

        // Writing and reading single values through both.
        Run r = run({QStringLiteral("set"), QStringLiteral("Tin.F=12")}, raw);
        QVERIFY2(r.status == 0, qPrintable(r.err));
        r = run({QStringLiteral("get"), QStringLiteral("Tin.F")}, rfc2217);
        QCOMPARE(r.out, QStringLiteral("Tin.F=12\n"));
        // A transparent server keeps its own speed: the scan asks addresses only.
        r = run({QStringLiteral("scan"), QStringLiteral("--addresses"), QStringLiteral("15-16"), QStringLiteral("--speeds"),
                 QStringLiteral("115200,9600")},
                raw);
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QStringLiteral("16\t115200\tHRC417\n"));
        QVERIFY2(r.err.contains(QStringLiteral("только адреса")), qPrintable(r.err));

        // The server goes during a read: the job ends at once with the reason.
        QProcess p;
        useOwnHome(p);
        // The simulator numbers its exchanges: twenty more into the read.
        const std::string needle = "#" + std::to_string(count(device->stderrText(), "] #") + 20) + " ";
        p.start(QStringLiteral(HRC417_CLI_PATH),
                {QStringLiteral("read"), QStringLiteral("--port"), raw, QStringLiteral("--timeout"), QStringLiteral("5")});
        QVERIFY(p.waitForStarted());
        QVERIFY(device->waitForStderr(needle, std::chrono::seconds(20)));
        server.stop(SIGKILL);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 3);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(err.contains(QStringLiteral("Связь потеряна: сервер портов %1 закрыл соединение").arg(raw)), qPrintable(err));
        QVERIFY2(!err.contains(QStringLiteral("Прибор не ответил")), qPrintable(err));

        // While it is down: refused, with what to check; back up: it works.
        r = hrc417({QStringLiteral("info")}, raw);
        QCOMPARE(r.status, 3);
        QVERIFY2(r.err.contains(QStringLiteral("отказал в соединении")), qPrintable(r.err));
        QVERIFY2(r.err.contains(QStringLiteral("номер порта")), qPrintable(r.err));
        QVERIFY2(server.start(), server.error().c_str());
        r = run({QStringLiteral("get"), QStringLiteral("Tin.F")}, raw);
        QCOMPARE(r.out, QStringLiteral("Tin.F=12\n"));
    }

    void wrongServerAddressesAreExplained()
    {
        Run r = hrc417({QStringLiteral("info")}, QStringLiteral("tcp://no-such-host.invalid:4001"));
        QCOMPARE(r.status, 3);
        QVERIFY2(r.err.contains(QStringLiteral("не найден")), qPrintable(r.err));
        r = hrc417({QStringLiteral("info")}, QStringLiteral("tcp://127.0.0.1"));
        QCOMPARE(r.status, 3);
        QVERIFY2(r.err.contains(QStringLiteral("записан неверно")), qPrintable(r.err));
        // One client at a time: while another computer holds the server, this
        // one is taken in and sent away at once.
        auto busy = startSim({"--listen", "tcp:127.0.0.1:0", "--busy", "refuse", "--verbose"});
        const QString address = QString::fromStdString(busy->ptyPath());
        const int other = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(quint16(address.section(QLatin1Char(':'), -1).toInt()));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(::connect(other, reinterpret_cast<sockaddr *>(&to), sizeof to), 0);
        QVERIFY(busy->waitForStderr("client connected"));
        r = hrc417({QStringLiteral("info")}, address);
        QCOMPARE(r.status, 3);
        QVERIFY2(r.err.contains(QStringLiteral("занят другим клиентом")), qPrintable(r.err));
        ::close(other);

        // Nobody at address 99 behind a server (one of its own: the refused
        // attempts above may still wait in the first one's backlog).
        auto free = startSim({"--listen", "tcp:127.0.0.1:0"});
        const QString freeAddress = QString::fromStdString(free->ptyPath());
        r = hrc417({QStringLiteral("info"), QStringLiteral("--address"), QStringLiteral("99")}, freeAddress);
        QCOMPARE(r.status, 3);
        QVERIFY2(r.err.contains(QStringLiteral("принял соединение, но прибор не отвечает")), qPrintable(r.err));
        r = hrc417({QStringLiteral("info")}, freeAddress);
        QVERIFY2(r.status == 0, qPrintable(r.err));
    }

    // The search asks the common speeds first and stops at the first answer;
    // the address and speed given (or used last) are asked before anything.
    void scanFindsADeviceAtAnotherAddress()
    {
        auto other = startSim({"--address", "7"});
        const QString port = QString::fromStdString(other->ptyPath());
        Run r = hrc417({QStringLiteral("scan"), QStringLiteral("--addresses"), QStringLiteral("5-8")}, port);
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QStringLiteral("7\t9600\tHRC417\n")); // an unpaced pseudo-terminal answers at any speed
        r = hrc417({QStringLiteral("scan"), QStringLiteral("--addresses"), QStringLiteral("6-7"), QStringLiteral("--speeds"),
                    QStringLiteral("115200,9600"), QStringLiteral("--all"), QStringLiteral("--json")},
                   port);
        QCOMPARE(r.status, 0);
        const QJsonArray found = QJsonDocument::fromJson(r.out.toUtf8()).array();
        QCOMPARE(found.size(), 2);
        QCOMPARE(found.first().toObject().value(QStringLiteral("address")).toInt(), 7);
        QCOMPARE(found.first().toObject().value(QStringLiteral("speed")).toInt(), 9600);
        QCOMPARE(found.first().toObject().value(QStringLiteral("version")).toString(), QStringLiteral("вер. 2.14"));
        r = hrc417({QStringLiteral("scan"), QStringLiteral("--addresses"), QStringLiteral("1-2")}, port);
        QCOMPARE(r.status, 3);
        QVERIFY(r.out.isEmpty());
        // The device at 7 is reached with --address.
        r = hrc417({QStringLiteral("get"), QStringLiteral("Addr"), QStringLiteral("--address"), QStringLiteral("7")}, port);
        QCOMPARE(r.out, QStringLiteral("Addr=7\n"));

        // A device that understands only its own speed: 9600 is asked first
        // and fails at every address, 19200 finds it.
        auto strict = startSim({"--verbose", "--address", "7", "--baud", "19200", "--speed-check"});
        const QString strictPort = QString::fromStdString(strict->ptyPath());
        r = hrc417({QStringLiteral("scan"), QStringLiteral("--addresses"), QStringLiteral("5-8")}, strictPort);
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QStringLiteral("7\t19200\tHRC417\n"));
        QCOMPARE(count(strict->stderrText(), "at 9600 bit/s not understood"), 4);
        QCOMPARE(count(strict->stderrText(), "at 115200 bit/s not understood"), 0); // never reached
        // Given (or used last): asked first, nothing else.
        const size_t before = strict->stderrText().size();
        r = hrc417({QStringLiteral("scan"), QStringLiteral("--address"), QStringLiteral("7"), QStringLiteral("--baud"),
                    QStringLiteral("19200")},
                   strictPort);
        QCOMPARE(r.out, QStringLiteral("7\t19200\tHRC417\n"));
        QCOMPARE(count(strict->stderrText().substr(before), "not understood"), 0);
        QCOMPARE(count(strict->stderrText().substr(before), "read Dev"), 1);
    }

    void missingPortAndSilentDevice()
    {
        Run r = hrc417({QStringLiteral("read")}, path(QStringLiteral("no-such-tty")));
        QCOMPARE(r.status, 3);
        QVERIFY2(r.err.contains(QStringLiteral("не найден")), qPrintable(r.err));
        QVERIFY(r.out.isEmpty());
        r = hrc417({QStringLiteral("--lang"), QStringLiteral("en"), QStringLiteral("info")}, path(QStringLiteral("no-such-tty")));
        QCOMPARE(r.status, 3);
        QVERIFY2(r.err.contains(QStringLiteral("not found")), qPrintable(r.err));
        // Nobody at address 99: the device does not answer.
        r = hrc417({QStringLiteral("info"), QStringLiteral("--address"), QStringLiteral("99")});
        QCOMPARE(r.status, 3);
        QVERIFY2(r.err.contains(QStringLiteral("прибор не отвечает")), qPrintable(r.err));
        QVERIFY2(r.err.contains(QStringLiteral("hrc417 scan")), qPrintable(r.err));
        const QString file = path(QStringLiteral("silent.hrc417"));
        QSettings(file, QSettings::IniFormat).setValue(QStringLiteral("hrc417/Tin.F"), QStringLiteral("12"));
        r = hrc417({QStringLiteral("write"), file, QStringLiteral("--address"), QStringLiteral("99")});
        QCOMPARE(r.status, 3);
    }
    // A file from the device holds what the device returned in this run:
    // nothing earlier, no factory value, no failed read.
    void readFileHoldsOnlyWhatTheDeviceReturned()
    {
        const QString part = path(QStringLiteral("part.hrc417"));
        Run r = hrc417({QStringLiteral("read"), QStringLiteral("T.sp[1]"), QStringLiteral("-o"), part});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QSettings file(part, QSettings::IniFormat);
        QCOMPARE(file.allKeys(), QStringList{QStringLiteral("hrc417/T.sp[1]")});
        r = hrc417({QStringLiteral("write"), part});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QCOMPARE(r.out, QStringLiteral("written 1, confirmed 1, differ 0, failed 0\n"));

        // Nothing answered: no file, and the exit status says so.
        auto deaf = startSim({"--faults", "drop=1"});
        const QString none = path(QStringLiteral("none.hrc417"));
        r = hrc417({QStringLiteral("read"), QStringLiteral("Beep"), QStringLiteral("-o"), none},
                   QString::fromStdString(deaf->ptyPath()));
        QVERIFY2(r.status == 3 || r.status == 4, qPrintable(r.err));
        QVERIFY(!QFile::exists(none));
    }

    // Results that do not reach their file are a failure, and a file that
    // takes nothing is found before the device is asked.
    void outputsThatFailAreReported()
    {
        Run r = hrc417({QStringLiteral("get"), QStringLiteral("Beep")}, QString(), 0, QStringLiteral("/dev/full"));
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(QStringLiteral("запись в стандартный вывод не удалась")), qPrintable(r.err));

        const std::string before = sim->stderrText();
        r = hrc417({QStringLiteral("monitor"), QStringLiteral("Sp.h"), QStringLiteral("--count"), QStringLiteral("1"),
                              QStringLiteral("--csv"), QStringLiteral("/dev/full")});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains(QStringLiteral("/dev/full")), qPrintable(r.err));
        QCOMPARE(sim->stderrText().size(), before.size()); // nothing was asked
    }

    // A device text reaches neither a terminal's escape sequences nor a
    // spreadsheet's formulas.
    void deviceTextsAreShownAsText()
    {
        const QString state = path(QStringLiteral("odd-device.ini"));
        const QString name = QStringLiteral("=1;=2\x1b[2J\"x\""); // the device keeps 16 bytes
        QSettings(state, QSettings::IniFormat).setValue(QStringLiteral("hrc417/Dev"), name);
        auto odd = startSim({"--state", state.toStdString()});
        const QString port = QString::fromStdString(odd->ptyPath());
        Run r = hrc417({QStringLiteral("info")}, port);
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.contains(QStringLiteral(": =1;=2\\x1b[2J\"x\"\n")), qPrintable(r.out));
        QVERIFY(!r.out.contains(QChar(0x1b)));

        const QString csv = path(QStringLiteral("odd.csv"));
        r = hrc417({QStringLiteral("monitor"), QStringLiteral("Dev"), QStringLiteral("Sp.h"), QStringLiteral("--count"),
                    QStringLiteral("1"), QStringLiteral("--csv"), csv},
                   port);
        QVERIFY2(r.status == 0, qPrintable(r.err));
        const QStringList rows = fileText(csv).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 2);
        // Three fields in both rows; the name quoted, its quotes doubled, its formula defused.
        const QRegularExpression row(QStringLiteral("^[^;\"]+;\"'=1;=2\x1b\\[2J\"\"x\"\"\";-?\\d+(,\\d+)?$"));
        QVERIFY2(row.match(rows[1]).hasMatch(), qPrintable(rows[1]));
        QCOMPARE(rows[0].count(';'), 2);
    }

    // The 8-bit address mode carries addresses up to 255: a larger one
    // would silently reach another device.
    void addressesBeyondTheModeAreRefused()
    {
        const std::string before = sim->stderrText();
        Run r = hrc417({QStringLiteral("scan"), QStringLiteral("--addresses"), QStringLiteral("270-275")});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains(QStringLiteral("A.Len = 1")), qPrintable(r.err));
        r = hrc417({QStringLiteral("set"), QStringLiteral("Addr=272")});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains(QStringLiteral("255")), qPrintable(r.err));
        QCOMPARE(sim->stderrText().size(), before.size());
    }

    // Last: it changes the shared simulator's values. The report of a device
    // without a backup, then against a backup taken before two changes; the
    // PDF and the HTML hold the same rows.
    void reportAgainstTheNewestBackup()
    {
        const QString first = path(QStringLiteral("first.pdf"));
        Run r = hrc417({QStringLiteral("report"), QStringLiteral("-o"), first, QStringLiteral("--json"),
                        QStringLiteral("--plant"), QStringLiteral("Котельная №3")});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QJsonObject json = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(json.value(QStringLiteral("backup")).toString(), QString());
        QCOMPARE(json.value(QStringLiteral("changed")).toInt(), 0);
        // The copy lies in the device's backup folder.
        const QString copy = json.value(QStringLiteral("copy")).toString();
        QVERIFY2(QFileInfo(copy).isFile(), qPrintable(copy));
        QVERIFY2(copy.contains(QStringLiteral("/backups/HRC417 ")), qPrintable(copy));
        QString text = reporttext::pdfText(first);
        QVERIFY2(text.contains(QStringLiteral("Объект Котельная №3")), qPrintable(text.left(400)));
        QVERIFY(text.contains(QStringLiteral("Постоянная фильтра аналоговых входов, с Tin.F 10 — 10 нет в копии")));
        QVERIFY(!text.contains(QStringLiteral("без связи")));

        // A backup of the device as it is now, then two changes on the device.
        const QString backup = QFileInfo(copy).dir().filePath(QStringLiteral("2026-01-01_00-00-00_read.hrc417"));
        QCOMPARE(hrc417({QStringLiteral("read"), QStringLiteral("-o"), backup}).status, 0);
        QCOMPARE(hrc417({QStringLiteral("set"), QStringLiteral("Tin.F=25"), QStringLiteral("Thpd[1]=2")}).status, 0);

        const QString pdf = path(QStringLiteral("now.pdf"));
        const QString html = path(QStringLiteral("now.html"));
        r = hrc417({QStringLiteral("report"), QStringLiteral("-o"), pdf, QStringLiteral("--json")});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        json = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(json.value(QStringLiteral("backup")).toString(), backup);
        QCOMPARE(json.value(QStringLiteral("changed")).toInt(), 2);
        QCOMPARE(json.value(QStringLiteral("failed")).toInt(), 0);
        QCOMPARE(hrc417({QStringLiteral("report"), QStringLiteral("-o"), html}).status, 0);

        text = reporttext::pdfText(pdf);
        // Factory, backup, now (marked: not the factory value), change.
        QVERIFY2(text.contains(QStringLiteral("Tin.F 10 10 25 * изменено")), qPrintable(text.left(2000)));
        QVERIFY(text.contains(QStringLiteral("Thpd[1] реле реле симистор * изменено")));
        QVERIFY(text.contains(QStringLiteral("Thpd[0] реле реле реле без изменений")));
        QVERIFY(text.contains(QStringLiteral("Резервная копия ")));
        QVERIFY(text.contains(QStringLiteral("Контур 2: График температуры обратной воды")));
        QVERIFY(text.contains(QStringLiteral("Страница 1 из ")));
        const QVector<QStringList> rows = reporttext::htmlRows(fileText(html));
        QCOMPARE(reporttext::parameterRow(rows, QStringLiteral("Tin.F")),
                 (QStringList{QStringLiteral("Постоянная фильтра аналоговых входов, с"), QStringLiteral("Tin.F"),
                              QStringLiteral("10"), QStringLiteral("10"), QStringLiteral("25 *"), QStringLiteral("изменено")}));
        // Every row whole on one page, every heading on the page of its table's start.
        const QStringList pages = reporttext::pdfPageTexts(pdf);
        const QStringList missing = reporttext::rowsMissingFromPdf(rows, pages);
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QLatin1Char('\n'))));
        const QStringList apart = reporttext::headingsApartFromTables(fileText(html), pages);
        QVERIFY2(apart.isEmpty(), qPrintable(apart.join(QLatin1Char('\n'))));
        // Every parameter of the report has its row, in both.
        const auto parameterRows = std::count_if(rows.cbegin(), rows.cend(), [](const QStringList &row) {
            return row.size() == 6 && row.at(1) != QStringLiteral("Имя");
        });
        QCOMPARE(int(parameterRows), json.value(QStringLiteral("parameters")).toInt());
        QVERIFY(json.value(QStringLiteral("parameters")).toInt() > 100);
        // Beside the test's output, to be looked at.
        QVERIFY(reporttext::firstPagePng(pdf, QDir::current().filePath(QStringLiteral("hrc417-report-page1"))));

        // Neither PDF nor HTML: refused before the device is asked.
        r = hrc417({QStringLiteral("report"), QStringLiteral("-o"), path(QStringLiteral("report.txt"))});
        QCOMPARE(r.status, 2);
        QVERIFY(!QFile::exists(path(QStringLiteral("report.txt"))));

        // An unreachable device: no report.
        r = hrc417({QStringLiteral("report"), QStringLiteral("-o"), path(QStringLiteral("none.pdf"))},
                   path(QStringLiteral("no-such-tty")));
        QCOMPARE(r.status, 3);
        QVERIFY(!QFile::exists(path(QStringLiteral("none.pdf"))));
    }
};

QTEST_GUILESS_MAIN(TstHrc417Cli)
#include "tst_hrc417cli.moc"
