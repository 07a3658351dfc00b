// Read-all of the four sets of the main window against hrc417-sim paced at
// 9600 bit/s, through its pseudo-terminal and through a transparent TCP port
// (the simulator's own listener, as a serial device server), without and with
// 100 ms of latency on every reply. Prints
//   read-all tcp 9600: pty X ms, tcp Y ms (ratio R), tcp+100ms Z ms
// (medians of five alternating runs, three with latency; R = Y / X, target
// at most 1.05). Every run must land
// the pseudo-terminal's values and result codes; the benchmark fails otherwise.
#include "HrcDocument.h"
#include "KavuIOhelper.h"
#include "SimProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMap>
#include <QPair>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const char *const allSets = "configuration;otopKontur1;otopKontur2;GeneralParam";
using Outcomes = QMap<QString, QPair<QString, QString>>;

void collectParameters(const QDomElement &e, QList<QDomElement> *out)
{
    for (QDomElement c = e.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
        if (HrcDocument::isParameter(c))
            out->append(c);
        collectParameters(c, out);
    }
}

// One read-all; ms elapsed, or -1 when it failed.
double readAll(std::vector<std::string> simArgs, Outcomes *outcomes)
{
    simArgs.insert(simArgs.end(), {"--baud", "9600", "--seed", "1"});
    hrcsim::SimProcess sim(simArgs);
    if (!sim.start()) {
        std::fprintf(stderr, "simulator: %s\n", sim.error().c_str());
        return -1;
    }
    QString error;
    HrcDocument document = HrcDocument::load(QString::fromLatin1(HrcDocument::resourcePath), &error);
    document.paramValue(QStringLiteral("Port"), QString::fromStdString(sim.ptyPath()));
    QList<QDomElement> parameters;
    for (const QString &set : QString::fromLatin1(allSets).split(QLatin1Char(';')))
        collectParameters(document.findParameter(set), &parameters);
    KavuIOhelper helper(document);
    QEventLoop loop;
    int errors = -1;
    QObject::connect(&helper, &KavuIOhelper::kavuIOFinished, &loop, [&](const QString &, int count, int) {
        errors = count;
        loop.quit();
    });
    QElapsedTimer timer;
    timer.start();
    helper.setJob(QString::fromLatin1(allSets), KavuComm::opRead, true);
    helper.startJob(false);
    loop.exec();
    const double ms = timer.nsecsElapsed() / 1e6;
    sim.stop();
    for (const QDomElement &p : parameters) {
        if (!p.hasAttribute(QStringLiteral("localparam")) && p.attribute(QStringLiteral("type")) != QLatin1String("datetime"))
            outcomes->insert(p.attribute(QStringLiteral("namekavu")),
                             {p.attribute(QStringLiteral("ioValue")), p.attribute(QStringLiteral("ioLastErrCode"))});
    }
    return errors == 0 ? ms : -1;
}

double medianOf(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qSetMessagePattern(QStringLiteral("%{if-critical}%{message}%{endif}"));
    // The pseudo-terminal and the TCP port take turns, so that a change in
    // the machine's load falls on both alike.
    const std::vector<std::string> pty, tcp{"--listen", "tcp:127.0.0.1:0"},
        slow{"--listen", "tcp:127.0.0.1:0", "--latency", "100"};
    Outcomes reference;
    std::vector<double> ptyMs, tcpMs, slowMs;
    for (int repeat = 0; repeat < 5; ++repeat) {
        for (const auto *args : {&pty, &tcp}) {
            Outcomes outcomes;
            const double ms = readAll(*args, &outcomes);
            if (reference.isEmpty())
                reference = outcomes;
            if (ms < 0 || outcomes != reference) {
                std::printf("the read-all failed or landed other values\n");
                return 1;
            }
            (args == &pty ? ptyMs : tcpMs).push_back(ms);
            std::printf("%-10s run %d: %.1f ms\n", args == &pty ? "pty" : "tcp", repeat + 1, ms);
        }
    }
    for (int repeat = 0; repeat < 3; ++repeat) {
        Outcomes outcomes;
        const double ms = readAll(slow, &outcomes);
        if (ms < 0 || outcomes != reference) {
            std::printf("the read-all with latency failed or landed other values\n");
            return 1;
        }
        slowMs.push_back(ms);
        std::printf("%-10s run %d: %.1f ms\n", "tcp+100ms", repeat + 1, ms);
    }
    const double p = medianOf(ptyMs), t = medianOf(tcpMs), z = medianOf(slowMs);
    std::printf("read-all tcp 9600: pty %.0f ms, tcp %.0f ms (ratio %.3f), tcp+100ms %.0f ms\n", p, t, t / p, z);
    return 0;
}
