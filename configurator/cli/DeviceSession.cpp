#include "DeviceSession.h"

#include "CliOptions.h"
#include "CliOutput.h"
#include "CommSettings.h"
#include "ConfigStore.h"
#include "KavuIOhelper.h"
#include "ReportBuilder.h"

#include <QEventLoop>
#include <QFile>
#include <QSettings>
#include <QTimer>

volatile std::sig_atomic_t DeviceSession::interrupted = 0;

namespace {

extern "C" void onInterrupt(int)
{
    DeviceSession::interrupted = 1;
}

} // namespace

void DeviceSession::catchInterrupts()
{
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
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
    // The commands read back what they write themselves and report it their way.
    helper->setReadBackEnabled(false);
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
    bool connected = true;
    QString failure;
    QObject context;
    QObject::connect(helper.get(), &KavuIOhelper::kavuIOUpdating, &context,
                     [&](uint, int done, int total) {
                         if (done >= 0)
                             out.progress(progressLabel, done, total);
                     });
    bool portLost = false;
    QObject::connect(helper.get(), &KavuIOhelper::kavuIOFinished, &context,
                     [&](const QString &message, int, int total) {
                         const JobResult outcome = helper->finishedJobResult();
                         if (!outcome.connected) {
                             connected = false;
                             failure = message;
                         } else if (outcome.portLost) {
                             // The job stopped at once: say why and how far it got.
                             portLost = true;
                             failure = tr("%1; выполнено %2 из %3").arg(message).arg(outcome.succeeded).arg(total);
                         }
                         loop.quit();
                     });
    QObject::connect(helper.get(), &KavuIOhelper::linkCountsTaken, &context,
                     [this](const LinkCounts &taken) { counts += taken; });
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &context, [this] {
        if (interrupted)
            helper->terminate();
    });
    watch.start(50);
    helper->setJob(names.join(QLatin1Char(';')), operation, includeCommParams);
    helper->startJob(false);
    loop.exec();
    out.endProgress();
    if (portLost)
        out.error(failure);
    else if (!connected && !interrupted)
        out.error(connectionFailureText(helper->connectFailure(), failure));
    return connected && !portLost && !interrupted;
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
