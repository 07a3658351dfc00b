// hrc417-sim: a simulated HRC417 heating controller on a virtual serial line.
#include "DeviceDescription.h"
#include "DeviceState.h"
#include "OperatingValues.h"
#include "SerialLine.h"
#include "SimOptions.h"
#include "SimServer.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace {

volatile std::sig_atomic_t g_stop = 0;
int g_wakePipe[2] = {-1, -1};

void onStopSignal(int)
{
    g_stop = 1;
    const int saved = errno;
    ssize_t ignored = ::write(g_wakePipe[1], "x", 1);
    (void)ignored;
    errno = saved;
}

void fail(const QString& message)
{
    std::fprintf(stderr, "hrc417-sim: %s\n", message.toLocal8Bit().constData());
}

// Creates the link, replacing a stale symbolic link but never a real file.
bool createLink(const QString& link, const QString& target, QString& error)
{
    const QByteArray path = link.toLocal8Bit();
    struct stat st {};
    if (lstat(path.constData(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = QStringLiteral("--link %1: exists and is not a symbolic link").arg(link);
            return false;
        }
        ::unlink(path.constData());
    }
    if (::symlink(target.toLocal8Bit().constData(), path.constData()) != 0) {
        error = QStringLiteral("--link %1: %2").arg(link, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

void removeLink(const QString& link, const QString& target)
{
    // Only our own link: another simulator may have taken the name since.
    if (QFile::symLinkTarget(link) == QFileInfo(target).absoluteFilePath())
        ::unlink(link.toLocal8Bit().constData());
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("hrc417-sim");
    QCoreApplication::setApplicationVersion("1.0");

    SimOptions options;
    QString error;
    bool helpShown = false;
    if (!parseSimOptions(QCoreApplication::arguments(), options, error, helpShown)) {
        fail(error + " (see --help)");
        return 2;
    }
    if (helpShown)
        return 0;

    DeviceDescription description;
    const QString descriptionPath = options.description.isEmpty() ? QStringLiteral(":/hrc417.xml")
                                                                  : options.description;
    if (!description.load(descriptionPath, error)) {
        fail(error);
        return 1;
    }
    for (const QString& warning : description.warnings())
        fail(warning);

    DeviceState state(description);
    if (!options.stateFile.isEmpty()) {
        // Changes are saved on exit: find out now if that cannot work.
        const QFileInfo stateDir(QFileInfo(options.stateFile).absolutePath());
        if (!stateDir.isDir() || !stateDir.isWritable()) {
            fail(QStringLiteral("--state %1: the directory %2 does not exist or is not writable")
                     .arg(options.stateFile, stateDir.filePath()));
            return 1;
        }
        QStringList warnings;
        if (!state.load(options.stateFile, error, warnings)) {
            fail(error);
            return 1;
        }
        for (const QString& warning : warnings)
            fail(warning);
    }
    if (options.address > 0) {
        const int addr = description.find("Addr");
        if (addr < 0) {
            fail("--address: the description has no parameter Addr");
            return 1;
        }
        if (options.address > 255 && !state.longAddress()) {
            fail("--address: addresses above 255 need the 11-bit address mode (A.Len = 1)");
            return 1;
        }
        state.setValue(addr, QString::number(options.address));
    }

    if (!options.writeFaults.check(description, error)) {
        fail(error);
        return 2;
    }
    for (const QString& name : options.missing) {
        const QVector<int> found = description.named(name);
        if (found.isEmpty()) {
            fail(QStringLiteral("--missing: the description has no parameter %1").arg(name));
            return 2;
        }
        for (int parameter : found)
            options.missingParameters.insert(parameter);
    }

    const uint64_t seed = options.seedGiven ? options.seed : std::random_device{}();
    OperatingValues plant(state, seed);

    SerialLine line;
    const bool opened = !options.listen.isEmpty() ? line.openListener(options.listen, error)
        : options.device.isEmpty()
        ? line.openPseudoTerminal(error)
        : line.openDevice(options.device, SimServer::lineSettingsOf(state, options.baud), error);
    if (!opened) {
        fail(error);
        return 1;
    }
    if (!options.link.isEmpty() && !createLink(options.link, line.clientPath(), error)) {
        fail(error);
        return 1;
    }

    if (pipe2(g_wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        fail("cannot create the signal pipe");
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A closed terminal ends the run like a stop, so the state is still saved.
    sigaction(SIGHUP, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    std::printf("%s\n", line.clientPath().toLocal8Bit().constData());
    std::fflush(stdout);
    if (options.verbose) {
        std::fprintf(stderr, "hrc417-sim: serving %d parameters on %s at address %d (%s), seed %llu\n",
                     int(description.parameters().size()), line.clientPath().toLocal8Bit().constData(),
                     state.address(), state.longAddress() ? "11-bit" : "8-bit",
                     static_cast<unsigned long long>(seed));
        std::fflush(stderr);
    }

    // Faults draw from their own stream, so the plant's values do not depend
    // on how many replies were faulted.
    SimServer server(options, line, state, plant, seed ^ 0x9E3779B97F4A7C15ull);
    int exitCode = 0;
    if (!server.run(g_wakePipe[0], g_stop, error)) {
        fail(error);
        exitCode = 1;
    }

    if (!options.link.isEmpty())
        removeLink(options.link, line.clientPath());
    if (!options.stateFile.isEmpty() && !state.save(options.stateFile, error)) {
        fail(error);
        exitCode = 1;
    }
    return exitCode;
}
