// hrc417 as a service company runs it: a fleet of 16 controllers read one
// site alone and all at once (-j 16), each simulator on a pseudo-terminal of
// its own paced at 9600 bit/s; and the search for a device at address 16,
// 9600 bit/s among addresses 1-32 at every speed, as it stops at the first
// answer and as every attempt is made (the search before: every address at
// every speed). Printed, never asserted.
#include "SimProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

// Runs hrc417 with a home of its own (nothing kept from other runs); the
// time in ms, -1 when it did not end as expected.
double hrc417(const QStringList &args, const QString &home, int expectedStatus)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    p.setProcessEnvironment(env);
    QElapsedTimer timer;
    timer.start();
    p.start(QStringLiteral(HRC417_CLI_PATH), args);
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != expectedStatus) {
        std::fprintf(stderr, "hrc417 %s: status %d\n%s\n", qPrintable(args.join(QLatin1Char(' '))), p.exitCode(),
                     p.readAllStandardError().constData());
        return -1;
    }
    return timer.nsecsElapsed() / 1e6;
}

QString fleetFile(const QString &path, const std::vector<std::unique_ptr<hrcsim::SimProcess>> &sims, size_t count)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write("name;port;address;timeout\n");
    for (size_t i = 0; i < count; ++i)
        f.write(QStringLiteral("site-%1;%2;16;60\n").arg(i + 1).arg(QString::fromStdString(sims[i]->ptyPath())).toUtf8());
    return path;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;

    // The fleet: a read of every site into the backup folder.
    std::vector<std::unique_ptr<hrcsim::SimProcess>> sims;
    for (int i = 0; i < 16; ++i) {
        sims.push_back(std::make_unique<hrcsim::SimProcess>(std::vector<std::string>{"--baud", "9600"}));
        if (!sims.back()->start()) {
            std::fprintf(stderr, "simulator: %s\n", sims.back()->error().c_str());
            return 1;
        }
    }
    const QString one = fleetFile(dir.filePath(QStringLiteral("one.csv")), sims, 1);
    const QString all = fleetFile(dir.filePath(QStringLiteral("all.csv")), sims, 16);
    const double oneMs = hrc417({QStringLiteral("fleet"), one, QStringLiteral("read"), QStringLiteral("-d"),
                                 dir.filePath(QStringLiteral("b1"))},
                                dir.filePath(QStringLiteral("h1")), 0);
    const double allMs = hrc417({QStringLiteral("fleet"), all, QStringLiteral("read"), QStringLiteral("-d"),
                                 dir.filePath(QStringLiteral("b16")), QStringLiteral("-j"), QStringLiteral("16")},
                                dir.filePath(QStringLiteral("h16")), 0);
    sims.clear();
    if (oneMs < 0 || allMs < 0)
        return 1;

    // The search: the device at 16 and 9600 bit/s, deaf to other speeds.
    hrcsim::SimProcess device({"--baud", "9600", "--address", "16", "--speed-check"});
    if (!device.start()) {
        std::fprintf(stderr, "simulator: %s\n", device.error().c_str());
        return 1;
    }
    const QStringList scan{QStringLiteral("scan"), QStringLiteral("--port"), QString::fromStdString(device.ptyPath()),
                           QStringLiteral("--addresses"), QStringLiteral("1-32"), QStringLiteral("--speeds"),
                           QStringLiteral("all")};
    const double firstMs = hrc417(scan, dir.filePath(QStringLiteral("s1")), 0);
    const double everyMs = hrc417(scan + QStringList{QStringLiteral("--all")}, dir.filePath(QStringLiteral("s2")), 0);
    if (firstMs < 0 || everyMs < 0)
        return 1;

    std::printf("fleet 16: one site %.0f ms, 16 sites with -j 16 %.0f ms, ratio %.2f\n", oneMs, allMs, allMs / oneMs);
    std::printf("scan 1-32 all speeds, device at 16/9600: %.0f ms (every address at every speed, as before: %.0f ms)\n",
                firstMs, everyMs);
    return 0;
}
