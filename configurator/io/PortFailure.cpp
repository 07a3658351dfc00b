#include "PortFailure.h"
#include "NetworkPort.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

namespace {

// Windows error codes of a failed CreateFile/GetCommState (winerror.h).
#ifdef Q_OS_WIN
const int winInvalidFunction = 1;
const int winFileNotFound = 2;
const int winPathNotFound = 3;
const int winAccessDenied = 5;
const int winSharingViolation = 32;
const int winNotSupported = 50;
#endif

} // namespace

PortFailure::Kind PortFailure::classify(int systemError)
{
#ifdef Q_OS_WIN
    switch (systemError) {
    case winFileNotFound:
    case winPathNotFound:
        return NoDeviceFile;
    // A serial port another program has open refuses with access denied.
    case winAccessDenied:
    case winSharingViolation:
        return HeldByAnotherProgram;
    case winInvalidFunction:
    case winNotSupported:
        return NotSerialDevice;
    default:
        return OpenFailed;
    }
#else
    switch (systemError) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return NoDeviceFile;
    case EACCES:
    case EPERM:
        return PermissionDenied;
    // TIOCEXCL gives EBUSY, the lock of an exclusive opener EWOULDBLOCK.
    case EBUSY:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EAGAIN:
        return HeldByAnotherProgram;
    case ENOTTY:
        return NotSerialDevice;
    default:
        return OpenFailed;
    }
#endif
}

QStringList PortFailure::holdersOf(const QByteArray &device, const QString &procRoot)
{
    QStringList found;
    const QString target = QFileInfo(QFile::decodeName(device)).canonicalFilePath();
    if (target.isEmpty())
        return found;
    const QString self = QString::number(QCoreApplication::applicationPid());
    const QDir proc(procRoot);
    for (const QString &pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isPid = false;
        pid.toLongLong(&isPid);
        if (!isPid || pid == self)
            continue;
        const QDir fds(proc.filePath(pid + QStringLiteral("/fd")));
        for (const QFileInfo &fd : fds.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
            if (fd.canonicalFilePath() != target)
                continue;
            QFile comm(proc.filePath(pid + QStringLiteral("/comm")));
            QString name = comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed()
                                                          : QString();
            if (name.isEmpty())
                name = tr("программа");
            found.append(tr("%1 (PID %2)").arg(name, pid));
            break;
        }
    }
    return found;
}

PortFailure PortFailure::openFailed(const QString &port, const QByteArray &device, int systemError,
                                    const QString &procRoot)
{
    PortFailure f;
    f.port = port;
    f.systemError = systemError;
    f.kind = classify(systemError);
    if (f.kind == HeldByAnotherProgram && !device.isEmpty())
        f.holders = holdersOf(device, procRoot);
    return f;
}

PortFailure PortFailure::noAnswer(const QString &port)
{
    PortFailure f;
    f.port = port;
    f.kind = NoAnswer;
    return f;
}

QString PortFailure::text() const
{
    // A serial device server: its own reasons and hints.
    if (kind != None && NetworkPort::isAddress(port))
        return kind == NoAnswer ? NetworkPort::noAnswerText(port) : NetworkPort::connectFailureText(port, systemError);
    switch (kind) {
    case None:
        break;
    case NoDeviceFile:
        return tr("Порт %1 не найден: такого устройства в системе нет. Проверьте, подключён ли адаптер, "
                  "и выберите порт из списка.")
            .arg(port);
    case PermissionDenied:
        return tr("Нет доступа к порту %1. Добавьте пользователя в группу dialout "
                  "(sudo usermod -aG dialout имя_пользователя) и войдите в систему заново.")
            .arg(port);
    case HeldByAnotherProgram:
        if (holders.isEmpty())
            return tr("Порт %1 занят другой программой. Закройте её и повторите.").arg(port);
        return tr("Порт %1 занят другой программой: %2. Закройте её и повторите.")
            .arg(port, holders.join(QStringLiteral(", ")));
    case NotSerialDevice:
        return tr("%1 не является последовательным портом. Выберите другой порт.").arg(port);
    case OpenFailed:
        return tr("Не удалось открыть порт %1: %2 (код %3).")
            .arg(port, qt_error_string(systemError))
            .arg(systemError);
    case NoAnswer:
        return tr("Порт %1 открыт, но прибор не отвечает. Проверьте скорость обмена, адрес прибора "
                  "и подключение линии связи.")
            .arg(port);
    }
    return QString();
}
