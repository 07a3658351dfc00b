#include "DeviceSession.h"

#include "CliOptions.h"
#include "CliOutput.h"
#include "CommSettings.h"
#include "ConfigStore.h"
#include "Interrupts.h"
#include "JobController.h"
#include "KavuIOhelper.h"
#include "ReportBuilder.h"

#include <QEventLoop>
#include <QFile>
#include <QSettings>
#include <QSocketNotifier>
#include <QTimer>

#include <functional>

volatile std::sig_atomic_t DeviceSession::interrupted = 0;

namespace {

// Calls onInterrupt (in the thread that made it, from its event loop) when
// Ctrl+C or a request to end arrives, or at once when one came before.
class InterruptWatch
{
public:
    explicit InterruptWatch(const std::function<void()> &onInterrupt)
    {
        // Where the system wakes the event loop (Linux: a pipe), at once.
        if (Interrupts::wakeDescriptor() >= 0) {
            notifier = std::make_unique<QSocketNotifier>(Interrupts::wakeDescriptor(), QSocketNotifier::Read);
            QObject::connect(notifier.get(), &QSocketNotifier::activated, &context, [onInterrupt] {
                Interrupts::drainWake();
                onInterrupt();
            });
        }
        // The flag is looked at every 50 ms as well: without a pipe, and
        // where several threads watch it (a fleet's sites) and one of them
        // took the pipe's byte.
        QObject::connect(&poll, &QTimer::timeout, &context, [onInterrupt] {
            if (DeviceSession::interrupted)
                onInterrupt();
        });
        poll.start(50);
        if (DeviceSession::interrupted)
            QTimer::singleShot(0, &context, onInterrupt);
    }

private:
    QObject context; // ends every call when the watch goes
    std::unique_ptr<QSocketNotifier> notifier;
    QTimer poll;
};

} // namespace

void DeviceSession::catchInterrupts()
{
    Interrupts::install(&interrupted);
}

bool DeviceSession::pause(int ms)
{
    if (interrupted)
        return false;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    InterruptWatch watch([&loop] { loop.quit(); });
    timer.start(ms);
    loop.exec();
    return !interrupted;
}

DeviceSession::DeviceSession(CliOutput &output) : out(output)
{
}

// The worker's thread has closed its port, and with it left kavu_io, before
// it reports its end; deleting the worker waits for that report.
DeviceSession::~DeviceSession() = default;

bool DeviceSession::setUp(const CliOptions &options)
{
    QString error;
    doc = HrcDocument::load(QString::fromLatin1(HrcDocument::resourcePath), &error);
    if (doc.isNull()) {
        out.error(error);
        return false;
    }
    // The link settings the configurator used last (factory values where
    // the store has none), the port name included.
    const std::unique_ptr<QSettings> last = ConfigStore::lastConfiguration();
    ConfigStore::restoreValues(doc.allParams(), *last, false);

    auto setParameter = [this](const char *name, const QString &value) {
        doc.paramValue(QLatin1String(name), value);
    };
    auto number = [&](const QString &option, int low, int high, int *value) {
        bool ok = false;
        *value = options.value(option).toInt(&ok);
        if (ok && *value >= low && *value <= high)
            return true;
        out.error(tr("--%1: ожидается число от %2 до %3").arg(option).arg(low).arg(high));
        return false;
    };
    int v = 0;
    if (options.has(QStringLiteral("port")))
        setParameter("Port", options.value(QStringLiteral("port")));
    if (options.has(QStringLiteral("baud"))) {
        const QStringList speeds = doc.findParameter(QStringLiteral("bPS")).attribute(QStringLiteral("valueset")).split(QLatin1Char(';'));
        const int index = speeds.indexOf(options.value(QStringLiteral("baud")));
        if (index < 0) {
            out.error(tr("--baud: скорость %1 не поддерживается (%2)").arg(options.value(QStringLiteral("baud")), speeds.join(QStringLiteral(", "))));
            return false;
        }
        setParameter("bPS", QString::number(index));
    }
    if (options.has(QStringLiteral("parity"))) {
        const int index = QStringList{QStringLiteral("none"), QStringLiteral("even"), QStringLiteral("odd")}.indexOf(options.value(QStringLiteral("parity")));
        if (index < 0) {
            out.error(tr("--parity: ожидается none, even или odd"));
            return false;
        }
        setParameter("PrtY", QString::number(index));
    }
    if (options.has(QStringLiteral("data-bits"))) {
        if (!number(QStringLiteral("data-bits"), 7, 8, &v))
            return false;
        setParameter("LEn", QString::number(v - 7));
    }
    if (options.has(QStringLiteral("stop-bits"))) {
        if (!number(QStringLiteral("stop-bits"), 1, 2, &v))
            return false;
        setParameter("Sbit", QString::number(v - 1));
    }
    if (options.has(QStringLiteral("address"))) {
        if (!number(QStringLiteral("address"), 1, 2047, &v))
            return false;
        if (v > 255 && CommSettings::valueOrDefault(doc, QStringLiteral("A.Len")) != QLatin1String("1")) {
            out.error(tr("--address: адреса больше 255 требуют 11-битного адреса прибора (A.Len = 1)"));
            return false;
        }
        setParameter("Addr", QString::number(v));
    }
    if (options.has(QStringLiteral("timeout"))) {
        if (!number(QStringLiteral("timeout"), 0, 600, &v))
            return false;
        setParameter("TimeOut", QString::number(v));
    }
    helper = std::make_unique<KavuIOhelper>(doc);
    if (options.librarySlot >= 0)
        helper->keepSettingsPrivate(options.librarySlot);
    // A known device is read without the base-name checks of its last session.
    helper->setKeepNameChecks(true);
    // The commands read back what they write themselves and report it their way.
    helper->setReadBackEnabled(false);
    jobs = std::make_unique<JobController>(helper.get(), doc);
    return true;
}

QString DeviceSession::linkText()
{
    return ReportBuilder::linkText(doc);
}

bool DeviceSession::run(const QStringList &names, KavuComm::KavuCommOperation operation, bool includeCommParams,
                        const QString &progressLabel)
{
    // Outcomes of an earlier job must not pass for this one's.
    for (const QString &name : names) {
        for (QDomElement e : HrcDocument::parametersAt(name == QLatin1String("testParam") ? doc.testParam() : doc.findParameter(name))) {
            e.setAttribute(QStringLiteral("ioValue"), QString());
            setResultCode(e, codeNotExchanged);
        }
    }
    QEventLoop loop;
    JobEnd end;
    QObject context;
    QObject::connect(jobs.get(), &JobController::progress, &context, [&](const QVector<JobProgress> &updates) {
        out.progress(progressLabel, updates.last().done, updates.last().total);
    });
    QObject::connect(jobs.get(), &JobController::finished, &context, [&](const JobEnd &ended) {
        end = ended;
        loop.quit();
    });
    QObject::connect(helper.get(), &KavuIOhelper::linkCountsTaken, &context,
                     [this](const LinkCounts &taken) { counts += taken; });
    InterruptWatch watch([this] { jobs->cancel(); });
    JobRequest request;
    request.names = names.join(QLatin1Char(';'));
    request.operation = operation;
    request.includeCommParams = includeCommParams;
    jobs->start(request);
    loop.exec();
    out.endProgress();
    if (end.result.connected && end.result.portLost) // the job stopped at once: why, and how far it got
        out.error(tr("%1; выполнено %2 из %3").arg(end.message).arg(end.result.succeeded).arg(end.total));
    else if (!end.result.connected && !interrupted)
        out.error(connectionFailureText(helper->connectFailure(), end.message));
    return end.result.connected && !end.result.portLost && !interrupted;
}

QString DeviceSession::connectionFailureText(const PortFailure &failure, const QString &jobMessage)
{
    // The configurator's reason, then which option changes what is wrong.
    switch (failure.kind) {
    case PortFailure::NoDeviceFile:
    case PortFailure::NotSerialDevice:
    case PortFailure::OpenFailed:
        return failure.text() + QLatin1Char(' ') + tr("Порт задаёт --port.");
    case PortFailure::PermissionDenied:
    case PortFailure::HeldByAnotherProgram:
        return failure.text();
    case PortFailure::NoAnswer:
    case PortFailure::None:
        break;
    }
    const QString reason = failure.kind == PortFailure::NoAnswer
        ? failure.text()
        : tr("Прибор на порту %1 не ответил (%2).").arg(CommSettings::fromDocument(doc).port, jobMessage);
    return reason + QLatin1Char(' ')
        + tr("Адрес и скорость задают --address и --baud; найти прибор поможет hrc417 scan.");
}
