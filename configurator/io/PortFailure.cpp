#include "PortFailure.h"
#include "NetworkPort.h"

#include "PortOpenError.h"

#include <QCoreApplication>
#include <QFile>

PortFailure::Kind PortFailure::classify(int systemError)
{
    switch (PortOpenError::classify(systemError)) {
    case PortOpenError::Kind::Missing:
        return NoDeviceFile;
    case PortOpenError::Kind::Denied:
        return PermissionDenied;
    case PortOpenError::Kind::Held:
        return HeldByAnotherProgram;
    case PortOpenError::Kind::NotSerial:
        return NotSerialDevice;
    case PortOpenError::Kind::Other:
        break;
    }
    return OpenFailed;
}

QStringList PortFailure::holdersOf(const QByteArray &device, const QString &procRoot)
{
    QStringList found;
    const auto holders = PortOpenError::holdersOf(device.toStdString(), QCoreApplication::applicationPid(),
                                                  QFile::encodeName(procRoot).toStdString());
    for (const PortOpenError::Holder &holder : holders) {
        const QString name = holder.name.empty() ? tr("программа") : QString::fromLocal8Bit(holder.name.c_str());
        found.append(tr("%1 (PID %2)").arg(name).arg(holder.pid));
    }
    return found;
}

bool PortFailure::holdersCanBeNamed()
{
    return PortOpenError::canNameHolders();
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
        if (holders.isEmpty() && !holdersCanBeNamed())
            return tr("Порт %1 занят другой программой (какой — система не сообщает). Закройте программы, "
                      "которые могут работать с портом, и повторите.")
                .arg(port);
        if (holders.isEmpty())
            return tr("Порт %1 занят другой программой. Закройте её и повторите.").arg(port);
        return tr("Порт %1 занят другой программой: %2. Закройте её и повторите.")
            .arg(port, holders.join(QStringLiteral(", ")));
    case NotSerialDevice:
        return tr("%1 не является последовательным портом. Выберите другой порт.").arg(port);
    case OpenFailed:
        return tr("Не удалось открыть порт %1: %2 (код %3).")
            .arg(port, QString::fromLocal8Bit(PortOpenError::errorText(systemError).c_str()))
            .arg(systemError);
    case NoAnswer:
        return tr("Порт %1 открыт, но прибор не отвечает. Проверьте скорость обмена, адрес прибора "
                  "и подключение линии связи.")
            .arg(port);
    }
    return QString();
}
