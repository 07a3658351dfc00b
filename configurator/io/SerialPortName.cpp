#include "SerialPortName.h"

#include "PortNames.h"

#include <QFile>

SerialPortName SerialPortName::resolve(const QString &portValue)
{
    SerialPortName result;
    const QString text = portValue.trimmed();
    if (text.isEmpty() || text.startsWith(QLatin1String("COM"), Qt::CaseInsensitive)) {
        // The number after "COM"; anything else reads as 0, i.e. port -1.
        bool ok = false;
        const int number = text.mid(3).toInt(&ok);
        result.portIndex = ok ? number - 1 : -1;
        return result;
    }
    result.portIndex = boundPort;
    // A serial device server's address goes to the library as it stands.
    if (text.startsWith(QLatin1String("tcp://"), Qt::CaseInsensitive)
        || text.startsWith(QLatin1String("rfc2217://"), Qt::CaseInsensitive)) {
        result.device = text.toUtf8();
        return result;
    }
    result.device = QByteArray::fromStdString(PortNames::deviceOf(QFile::encodeName(text).toStdString()));
    return result;
}

QByteArray SerialPortName::defaultDevice(int portIndex)
{
    return QByteArray::fromStdString(PortNames::defaultDevice(portIndex));
}

QString SerialPortName::stableLinkFolder()
{
    return QFile::decodeName(QByteArray::fromStdString(PortNames::stableLinkFolder()));
}
