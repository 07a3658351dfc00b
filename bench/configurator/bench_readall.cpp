// Reading the four sets of the main window's read-all against hrc417-sim
// paced at 115200 and 9600 bit/s, compared with the ideal: the wire time of
// every request and reply (10 bits a character) plus the 1 ms pause after
// every transfer. Prints measured/ideal for both speeds.
#include "HrcDocument.h"
#include "KavuIOhelper.h"
#include "SimProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cstdio>

namespace {

const char *const allSets = "configuration;otopKontur1;otopKontur2;GeneralParam";

struct Run
{
    double measuredMs = 0;
    double idealMs = 0;
    int exchanges = 0;
    int transfers = 0;
    int errors = 0;
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

Run readAll(int baud)
{
    hrcsim::SimProcess sim({"--verbose", "--baud", std::to_string(baud)});
    Run run;
    if (!sim.start()) {
        std::fprintf(stderr, "simulator: %s\n", sim.error().c_str());
        return run;
    }
    QString error;
    HrcDocument document = HrcDocument::load(QString::fromLatin1(HrcDocument::resourcePath), &error);
    document.paramValue(QStringLiteral("Port"), QString::fromStdString(sim.ptyPath()));
    QSet<QString> dateTimes;
    for (QDomElement e = document.allParams(); !e.isNull();) {
        if (e.attribute(QStringLiteral("type")) == QLatin1String("datetime"))
            dateTimes.insert(e.attribute(QStringLiteral("namekavu")));
        // depth-first walk
        QDomElement next = e.firstChildElement();
        while (next.isNull() && !e.isNull()) {
            next = e.nextSiblingElement();
            if (next.isNull())
                e = e.parentNode().toElement();
        }
        e = next;
    }

    KavuIOhelper helper(document);
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
    run.idealMs = wireMs(log, dateTimes, baud, &run.exchanges) + run.transfers * 1.0;
    sim.stop();
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qSetMessagePattern(QStringLiteral("%{if-critical}%{message}%{endif}"));
    std::printf("read-all of the four sets against hrc417-sim (ideal = wire time of every request and reply + 1 ms per transfer)\n");
    std::printf("%8s %10s %10s %12s %12s %8s\n", "bit/s", "exchanges", "transfers", "ideal ms", "measured ms", "ratio");
    for (const int baud : {115200, 9600}) {
        std::vector<double> ratios;
        Run last;
        for (int repeat = 0; repeat < 3; ++repeat) {
            last = readAll(baud);
            if (last.idealMs <= 0 || last.errors != 0) {
                std::printf("%8d run failed (errors %d)\n", baud, last.errors);
                return 1;
            }
            ratios.push_back(last.measuredMs / last.idealMs);
            std::printf("%8d %10d %10d %12.1f %12.1f %8.3f\n", baud, last.exchanges, last.transfers, last.idealMs,
                        last.measuredMs, ratios.back());
        }
        std::sort(ratios.begin(), ratios.end());
        std::printf("%8d median measured/ideal = %.3f\n", baud, ratios[1]);
    }
    return 0;
}
