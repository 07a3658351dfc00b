// Reading the four sets of the main window's read-all against hrc417-sim
// paced at 9600 and 115200 bit/s, and a known device read again (its
// base-name checks kept from the first read).
//
// The old path asks the device about the base name of every indexed name
// (the worker's remembered checks switched off); its ideal is the wire time
// of every request and reply it made (10 bits a character) plus 1 ms per
// transfer. The new path is measured. Every run of the new path must land
// exactly the old path's values and result codes in the document; the
// benchmark fails otherwise.
#include "HrcDocument.h"
#include "KavuIOhelper.h"
#include "SimProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMap>
#include <QPair>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const char *const allSets = "configuration;otopKontur1;otopKontur2;GeneralParam";

// ioValue and ioLastErrCode of every parameter, by namekavu.
using Outcomes = QMap<QString, QPair<QString, QString>>;

struct Run
{
    double measuredMs = 0;
    double idealMs = 0;
    int exchanges = 0;
    int transfers = 0;
    int errors = 0;
    Outcomes outcomes;
};

// Frame text of a packet with n data bytes: "#", two characters a byte of
// the n + 6 packet bytes, CR.
int frameChars(int dataBytes)
{
    return 2 * (dataBytes + 6) + 2;
}

// Request and reply sizes of every exchange from the simulator's log.
double wireMs(const QString &log, const QSet<QString> &dateTimes, int baud, int *exchanges)
{
    static const QRegularExpression line(
        QStringLiteral("#\\d+ addr \\d+ (read|write) ([^ \\[]+)(\\[\\d+\\])?( \\(channel \\d+\\))? -> (error|[0-9A-Fa-f ]*)"));
    long chars = 0;
    *exchanges = 0;
    auto it = line.globalMatch(log);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        const bool indexed = !m.captured(3).isEmpty();
        const bool read = m.captured(1) == QLatin1String("read");
        int request = indexed ? 2 : 0;
        if (read && dateTimes.contains(m.captured(2)))
            request = 7;
        int reply = 1;
        if (m.captured(5) != QLatin1String("error"))
            reply = m.captured(5).simplified().remove(QLatin1Char(' ')).size() / 2;
        if (!read)
            request = reply; // a write's reply carries the value back
        chars += frameChars(request) + frameChars(reply);
        ++*exchanges;
    }
    return chars * 10.0 * 1000.0 / baud;
}

// Every parameter element below e, depth first.
void collectParameters(const QDomElement &e, QList<QDomElement> *out)
{
    for (QDomElement c = e.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (HrcDocument::isParameter(c))
            out->append(c);
        collectParameters(c, out);
    }
}

// One read-all job by a worker of its own on the simulator's port; keep:
// the base-name checks kept per device identity between workers.
Run readAllOn(hrcsim::SimProcess &sim, int baud, bool rememberNameChecks, bool keep, QSet<QString> *dateTimes)
{
    Run run;
    QString error;
    HrcDocument document = HrcDocument::load(QString::fromLatin1(HrcDocument::resourcePath), &error);
    document.paramValue(QStringLiteral("Port"), QString::fromStdString(sim.ptyPath()));
    QList<QDomElement> parameters;
    for (const QString &set : QString::fromLatin1(allSets).split(QLatin1Char(';')))
        collectParameters(document.findParameter(set), &parameters);
    for (const QDomElement &p : parameters) {
        if (p.attribute(QStringLiteral("type")) == QLatin1String("datetime"))
            dateTimes->insert(p.attribute(QStringLiteral("namekavu")));
    }

    KavuIOhelper helper(document);
    helper.setRememberNameChecks(rememberNameChecks);
    helper.setKeepNameChecks(keep);
    QEventLoop loop;
    QObject::connect(&helper, &KavuIOhelper::kavuIOFinished, &loop, [&](const QString &, int count, int total) {
        run.errors = count;
        run.transfers = total;
        loop.quit();
    });
    const size_t logStart = sim.stderrText().size();
    QElapsedTimer timer;
    timer.start();
    helper.setJob(QString::fromLatin1(allSets), KavuComm::opRead, true);
    helper.startJob(false);
    loop.exec();
    run.measuredMs = timer.nsecsElapsed() / 1e6;
    const QString log = QString::fromStdString(sim.stderrText().substr(logStart));
    run.idealMs = wireMs(log, *dateTimes, baud, &run.exchanges) + run.transfers * 1.0;
    for (const QDomElement &p : parameters) {
        if (!p.hasAttribute(QStringLiteral("localparam")))
            run.outcomes.insert(p.attribute(QStringLiteral("namekavu")),
                                {p.attribute(QStringLiteral("ioValue")), p.attribute(QStringLiteral("ioLastErrCode"))});
    }
    return run;
}

Run readAll(int baud, bool rememberNameChecks, QSet<QString> *dateTimes)
{
    hrcsim::SimProcess sim({"--verbose", "--baud", std::to_string(baud)});
    if (!sim.start()) {
        std::fprintf(stderr, "simulator: %s\n", sim.error().c_str());
        return Run();
    }
    return readAllOn(sim, baud, rememberNameChecks, false, dateTimes);
}

// Names whose outcome differs. A date-time is the device's running clock:
// its code must match and it must have been read, its value moves on.
QStringList differences(const Outcomes &old, const Outcomes &now, const QSet<QString> &dateTimes)
{
    QStringList out;
    if (old.keys() != now.keys())
        out << QStringLiteral("(different parameters)");
    for (auto it = old.cbegin(); it != old.cend(); ++it) {
        const QPair<QString, QString> other = now.value(it.key());
        const bool clock = dateTimes.contains(it.key());
        const bool same = other.second == it.value().second
            && (clock ? other.first.isEmpty() == it.value().first.isEmpty() : other.first == it.value().first);
        if (!same)
            out << QStringLiteral("%1: %2/%3 vs %4/%5")
                       .arg(it.key(), it.value().first, it.value().second, other.first, other.second);
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    // The kept name checks go to a data folder of this run's own.
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    QCoreApplication app(argc, argv);
    qSetMessagePattern(QStringLiteral("%{if-critical}%{message}%{endif}"));
    std::printf("read-all of the four sets against hrc417-sim; old = a base-name check for every indexed name,\n"
                "old ideal = its wire time of every request and reply + 1 ms per transfer; new = measured\n");
    std::printf("%8s %5s %10s %10s %12s %12s\n", "bit/s", "path", "exchanges", "transfers", "ideal ms", "measured ms");
    QStringList summary;
    for (const int baud : {9600, 115200}) {
        QSet<QString> dateTimes;
        const Run old = readAll(baud, false, &dateTimes);
        if (old.idealMs <= 0 || old.errors != 0) {
            std::printf("%8d old path failed (errors %d)\n", baud, old.errors);
            return 1;
        }
        std::printf("%8d %5s %10d %10d %12.1f %12.1f\n", baud, "old", old.exchanges, old.transfers, old.idealMs,
                    old.measuredMs);
        std::vector<double> measured;
        for (int repeat = 0; repeat < 3; ++repeat) {
            const Run run = readAll(baud, true, &dateTimes);
            std::printf("%8d %5s %10d %10d %12.1f %12.1f\n", baud, "new", run.exchanges, run.transfers, run.idealMs,
                        run.measuredMs);
            const QStringList differ = differences(old.outcomes, run.outcomes, dateTimes);
            if (run.idealMs <= 0 || run.errors != old.errors || !differ.isEmpty()) {
                std::printf("%8d new path differs from the old one (errors %d): %s\n", baud, run.errors,
                            qPrintable(differ.join(QStringLiteral("; "))));
                return 1;
            }
            measured.push_back(run.measuredMs);
        }
        std::sort(measured.begin(), measured.end());
        const double median = measured[1];
        summary << QString::asprintf("read-all %d: new %.1f ms, old ideal %.1f ms, ratio %.3f", baud, median,
                                     old.idealMs, median / old.idealMs);
    }

    // A known device read again: the first read asks the base-name checks
    // and keeps them (in a data folder of its own), the repeat sends none.
    {
        const int baud = 9600;
        hrcsim::SimProcess sim({"--verbose", "--baud", std::to_string(baud)});
        if (!sim.start()) {
            std::fprintf(stderr, "simulator: %s\n", sim.error().c_str());
            return 1;
        }
        QSet<QString> dateTimes;
        const Run first = readAllOn(sim, baud, true, true, &dateTimes);
        // Three repeats, the median of them: one run of a few seconds on a
        // shared machine moves by a few per cent.
        std::vector<Run> repeats;
        for (int i = 0; i < 3; ++i) {
            repeats.push_back(readAllOn(sim, baud, true, true, &dateTimes));
            const Run &repeat = repeats.back();
            const QStringList differ = differences(first.outcomes, repeat.outcomes, dateTimes);
            if (first.errors != 0 || repeat.errors != 0 || !differ.isEmpty()) {
                std::printf("repeat read differs from the first (errors %d, %d): %s\n", first.errors, repeat.errors,
                            qPrintable(differ.join(QStringLiteral("; "))));
                return 1;
            }
        }
        std::sort(repeats.begin(), repeats.end(), [](const Run &a, const Run &b) { return a.measuredMs < b.measuredMs; });
        const Run &repeat = repeats[1];
        std::printf("repeat: %d parameters, first %d exchanges, repeat %d exchanges; on the wire first %.1f ms, "
                    "repeat %.1f ms (ratio %.3f)\n",
                    repeat.transfers, first.exchanges, repeat.exchanges, first.idealMs, repeat.idealMs,
                    repeat.idealMs / first.idealMs);
        summary << QString::asprintf("read-all repeat %d: first %.1f ms (%d exchanges), repeat %.1f ms (%d exchanges), "
                                     "ratio %.3f",
                                     baud, first.measuredMs, first.exchanges, repeat.measuredMs, repeat.exchanges,
                                     repeat.measuredMs / first.measuredMs);
    }
    for (const QString &line : summary)
        std::printf("%s\n", qPrintable(line));
    return 0;
}
