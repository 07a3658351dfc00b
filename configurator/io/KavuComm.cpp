#include "KavuComm.h"
#include "NetworkPort.h"

#include "BackupStore.h"
#include "CommSettings.h"
#include "ErrorText.h"
#include "HrcLog.h"
#include "HrcValueText.h"
#include "PortFailure.h"
#include "SerialPortName.h"
#include "ThreadTiming.h"
#include "ValueCodec.h"
#include "kavu_io.h"

#include <QRegularExpression>
#include <QStringList>
#include <QThread>

#include <cstring>

namespace {

// The raw exchange writes at most 15 data bytes; the buffer is larger so a
// text read never depends on that limit.
const int rawBufferSize = 150;
const int maxRawBytes = 15;

quint32 floatBits(float f)
{
    quint32 w;
    std::memcpy(&w, &f, sizeof w);
    return w;
}

float bitsFloat(quint32 w)
{
    float f;
    std::memcpy(&f, &w, sizeof f);
    return f;
}

} // namespace

KavuComm::KavuComm(std::shared_ptr<PortArbiter> sharedArbiter)
    : arbiter(sharedArbiter ? std::move(sharedArbiter) : std::make_shared<PortArbiter>())
{
    // Every exchange of the process makes up to four attempts.
    SetMaxRetriesGlobal(3);
    readPortSettings();
}

bool KavuComm::isLineFault(int code)
{
    return code == KAVU_E_TIMEOUT || code == KAVU_E_CRC || code == KAVU_E_BAD_REPLY;
}

QString KavuComm::portLostText() const
{
    return ::portLostText(portText);
}

void KavuComm::keepSettingsPrivate(int librarySlot)
{
    privateSettings = true;
    privateSlot = librarySlot;
    ownSettings = CommSettings::published();
}

void KavuComm::useSettings(const CommSettings &settings)
{
    if (privateSettings)
        ownSettings = settings;
    else
        CommSettings::publish(settings);
}

void KavuComm::readPortSettings()
{
    const CommSettings s = privateSettings ? ownSettings : CommSettings::published();
    parity = s.parity.toInt();
    dataBits = s.dataBits.toInt();
    const SerialPortName port = SerialPortName::resolve(s.port);
    portText = s.port.trimmed();
    portIndex = privateSettings && privateSlot >= 0 && !port.device.isEmpty() ? privateSlot : port.portIndex;
    portDevice = port.device;
    speedIndex = 8 - s.speed.toInt();
    // Sbit: 0 = one stop bit, 1 = two stop bits (library codes 0 and 2).
    stopBits = s.stopBits.toInt() == 1 ? 2 : 0;
    deviceAddress = s.address.toInt();
    addressMode = s.addressMode.toInt();
}

void KavuComm::terminate()
{
    state.store(stateTerminating);
    // A worker waiting for the port or pausing stops waiting.
    arbiter->wakeWaiters();
    qCDebug(lcIo) << "Terminate signal recieved, state=" << state.load();
}

void KavuComm::setStateUnlessTerminating(int newState)
{
    int current = state.load();
    while (current != stateTerminating && !state.compare_exchange_weak(current, newState)) {
    }
}

LinkCounts KavuComm::takeGatheredLinkCounts()
{
    takeLinkCounts(&gatheredLinkCounts);
    const LinkCounts taken = gatheredLinkCounts;
    gatheredLinkCounts = LinkCounts();
    return taken;
}

void KavuComm::closeSession()
{
    closePort();
    setStateUnlessTerminating(stateIdle);
    qCDebug(lcIo) << "closeSession state=" << state.load();
}

int KavuComm::closePort()
{
    saveKeptNameChecks();
    checkedBaseNames.clear();
    // The library's counters end with the port.
    takeLinkCounts(&gatheredLinkCounts);
    return ClosePort();
}

int KavuComm::openConfiguredPort()
{
    checkedBaseNames.clear();
    bool nameTaken = true;
    const int opened = openPortOnly(&nameTaken);
    // -4: this thread's port is still open from an earlier session and is used.
    if (opened != 0 && opened != -4) {
        // A name the library cannot take, or a port number it has no device
        // for, never reaches the system: there is no such port.
        const int systemError = nameTaken ? GetLastOpenSysErr() : 0;
        if (portIndex < 0 || portIndex > 255 || portText.isEmpty() || systemError == 0) {
            failure = PortFailure();
            failure.kind = PortFailure::NoDeviceFile;
            failure.port = portText;
        } else {
            const QByteArray device = portDevice.isEmpty() ? SerialPortName::defaultDevice(portIndex) : portDevice;
            failure = PortFailure::openFailed(portText, device, systemError);
        }
    }
    return opened;
}

int KavuComm::openPortOnly(bool *nameTaken)
{
    if (!portDevice.isEmpty()) {
        const int bound = SetPortName(portIndex, portDevice.constData());
        *nameTaken = bound == 0;
        if (bound != 0)
            return bound;
    }
    return OpenPort(portIndex, speedIndex, parity, dataBits, stopBits, 1);
}

int KavuComm::checkDevice(int openResult, QString *deviceName)
{
    const int result = readText(QStringLiteral("Dev"), 0, deviceName);
    if (result == 0)
        failure = PortFailure();
    else if ((openResult == 0 || openResult == KAVU_E_BUSY) && NetworkPort::isAddress(portText) && GetLastIoSysErr() > 0)
        // The server took the connection and lost or closed it (busy with
        // another client): its reason, not a silent device.
        failure = PortFailure::openFailed(portText, portDevice, GetLastIoSysErr());
    else if (openResult == 0 || openResult == KAVU_E_BUSY)
        failure = PortFailure::noAnswer(portText);
    return result;
}

bool KavuComm::tryConnect()
{
    qCDebug(lcIo) << "tryConnect starting, state=" << state.load();
    if (isTerminating()) {
        qCDebug(lcIo) << "tryConnect: is terminating state, exiting";
        return false;
    }
    if (portIndex == -1)
        readPortSettings();
    qCDebug(lcIo).nospace() << "OpenPort(" << portIndex << "," << speedIndex << "," << parity << "," << dataBits
                       << "," << stopBits;
    if (lastErr == 0)
        return true;

    QString deviceName;
    int opened = SetApiMode(1);
    if (opened == 0)
        opened = openConfiguredPort();
    // The device check goes out whatever the open returned: a port still open
    // from an earlier session of this thread is used as it is.
    lastErr = checkDevice(opened, &deviceName);

    if (lastErr != 0) {
        // Second try with the settings as they stand now.
        readPortSettings();
        lastErr = closePort();
        if (lastErr == 0) {
            opened = openConfiguredPort();
            lastErr = checkDevice(opened, &deviceName);
        }
    }
    if (lastErr == 0)
        loadKeptNameChecks(deviceName);
    setStateUnlessTerminating(lastErr == 0 ? stateConnected : stateIdle);
    qCDebug(lcIo) << "tryConnect finished, state=" << state.load();
    return lastErr == 0;
}

int KavuComm::readText(const QString &name, int channel, QString *text)
{
    unsigned char buffer[rawBufferSize] = {};
    int size = 0;
    const QByteArray n = name.toLatin1();
    const int rc = KavuIO(deviceAddress + channel, addressMode, 1, n.constData(), buffer, &size);
    if (rc == 0)
        *text = ValueCodec::deviceText(buffer, qBound(0, size, rawBufferSize));
    return rc;
}

bool KavuComm::checkName(const QString &name, QByteArray *base, int *index)
{
    lastErr = codeBadName;
    const int bracket = name.indexOf(QLatin1Char('['));
    const QString baseName = bracket < 0 ? name : name.left(bracket);
    if (!baseName.isEmpty() && !HrcValueText::isValidDeviceName(baseName))
        return false;
    *index = -1;
    if (bracket >= 0) {
        // NAME[i]: i a decimal index of two bytes, "]" closing the name.
        static const QRegularExpression indexForm(QStringLiteral("^\\[(\\d{1,5})\\]$"));
        const QRegularExpressionMatch m = indexForm.match(name.mid(bracket));
        if (!m.hasMatch() || m.captured(1).toInt() > 0xFFFF)
            return false;
        *index = m.captured(1).toInt();
        // A device that knows the base name without an index has no array
        // of that name. Its answer holds for the session, so each base name
        // is asked once; a question the line lost is asked again next time.
        const QByteArray b = baseName.toLatin1();
        bool knownWithoutIndex;
        const auto remembered = checkedBaseNames.constFind(b);
        if (rememberNameChecks && remembered != checkedBaseNames.constEnd()) {
            knownWithoutIndex = remembered.value();
        } else {
            unsigned char probe[rawBufferSize] = {};
            int size = 0;
            const int rc = KavuIO(deviceAddress, addressMode, 1, b.constData(), probe, &size);
            knownWithoutIndex = rc == 0;
            if (rc == KAVU_E_DEVICE_ERROR)
                noteNameCheckRefusal(); // the expected answer, not a fault of the device
            const bool deviceAnswered = rc == 0 || rc == KAVU_E_DEVICE_ERROR || rc == KAVU_E_EXCEPTION;
            if (rememberNameChecks && deviceAnswered) {
                checkedBaseNames.insert(b, knownWithoutIndex);
                keptChecksChanged = true;
            }
        }
        if (knownWithoutIndex) {
            lastErr = codeBadIndex;
            return false;
        }
    }
    *base = baseName.toLatin1();
    lastErr = 0;
    return true;
}

int KavuComm::transferParameter(IoParameter &p)
{
    p.resultCode = codeNotExchanged;
    p.ioValue.clear();
    if (p.local)
        return lastErr;
    // A text is only ever read from the device, so a write job reads it whatever
    // its value; only a value that would be sent must be there.
    const bool sendsValue = p.spec.kind != ValueKind::Text;
    if (operation == opWrite && sendsValue && p.value.isEmpty()) {
        lastErr = codeNothingToWrite;
        p.resultCode = lastErr;
        pauseAfterFailure();
        return lastErr;
    }

    const int colon = p.name.indexOf(QLatin1Char(':'));
    const QString name = colon < 0 ? p.name : p.name.left(colon);
    int channel = 0;
    bool nameOk = true;
    if (colon >= 0) {
        // NAME:channel, the channel added to the device address.
        static const QRegularExpression channelForm(QStringLiteral("^\\d{1,4}$"));
        const QString c = p.name.mid(colon + 1);
        nameOk = channelForm.match(c).hasMatch();
        channel = c.toInt();
    }

    QByteArray base;
    int index = -1;
    int result = 0;
    if (!nameOk) {
        lastErr = codeBadName;
        result = lastErr;
    } else if (!checkName(name, &base, &index)) {
        result = lastErr;
    } else {
        QString text;
        result = transferByKind(p, base, index, channel, &text);
        if (result == 0 && p.spec.kind == ValueKind::Enum && p.name != QLatin1String("LEn")
            && !ValueCodec::enumAccepts(p.spec, text))
            result = codeOutOfRange;
        if (result == KAVU_E_DEVICE_ERROR && index >= 0 && storedBaseNames.contains(base)) {
            // Refused although the kept check said the name has indexes: the
            // device may no longer be the one the store knew. Asked afresh.
            storedBaseNames.remove(base);
            checkedBaseNames.remove(base);
            keptChecksChanged = true;
        }
        if (result == 0 && name == QLatin1String("ver"))
            noteVersionRead(text);
        if (result == 0) {
            p.ioValue = text;
            if (operation == opWrite && p.comm)
                reopenAfterCommWrite(p);
        }
    }
    // No reply because the port's reads or writes failed: the port is gone,
    // not the device silent, and asking again cannot help.
    if (isLineFault(result) && GetLastIoSysErr() > 0)
        result = lastErr = codePortLost;
    p.resultCode = result;
    if (result != 0)
        pauseAfterFailure();
    return result;
}

void KavuComm::loadKeptNameChecks(const QString &deviceName)
{
    keptDevice.clear();
    storedBaseNames.clear();
    keptChecksChanged = false;
    if (!keepNameChecks || !rememberNameChecks)
        return;
    keptDevice = deviceName.trimmed();
    keptAddress = QString::number(deviceAddress);
    keptPort = portText;
    keptVersion.clear();
    BackupStore::NameChecks kept;
    if (!BackupStore::loadNameChecks(keptDevice, keptAddress, keptPort, &kept))
        return;
    keptVersion = kept.version;
    for (auto it = kept.knownWithoutIndex.cbegin(); it != kept.knownWithoutIndex.cend(); ++it) {
        checkedBaseNames.insert(it.key(), it.value());
        storedBaseNames.insert(it.key());
    }
    qCDebug(lcIo) << "name checks kept for" << keptDevice << keptVersion << ":" << storedBaseNames.size();
}

void KavuComm::noteVersionRead(const QString &version)
{
    if (keptDevice.isEmpty() || version.trimmed() == keptVersion)
        return;
    if (!keptVersion.isEmpty()) {
        // Another version than the checks were kept for: asked afresh.
        for (const QByteArray &base : qAsConst(storedBaseNames))
            checkedBaseNames.remove(base);
        storedBaseNames.clear();
    }
    keptVersion = version.trimmed();
    keptChecksChanged = true;
}

void KavuComm::saveKeptNameChecks()
{
    // Kept only for a device whose version is known: it names the folder.
    if (keptDevice.isEmpty() || keptVersion.isEmpty() || !keptChecksChanged)
        return;
    keptChecksChanged = false;
    BackupStore::NameChecks checks{keptDevice, keptVersion, keptAddress, keptPort, checkedBaseNames};
    QString error;
    if (!BackupStore::saveNameChecks(checks, &error))
        qCWarning(lcIo) << "name checks not kept:" << error;
}

void KavuComm::preciseTimersForThisThread()
{
    ThreadTiming::preciseSleepsForThisThread();
}

void KavuComm::pauseAfterFailure()
{
    ThreadTiming::pauseOneMillisecond();
}

void KavuComm::reopenAfterCommWrite(const IoParameter &written)
{
    // The device now works with the new setting; so must the port. lastErr
    // is cleared of the write's success first so tryConnect really reopens.
    CommSettings settings = privateSettings ? ownSettings : CommSettings::published();
    if (settings.set(written.name, written.value))
        useSettings(settings);
    closePort();
    readPortSettings();
    lastErr = codeNotConnected;
    tryConnect();
}

int KavuComm::transferByKind(IoParameter &p, const QByteArray &nameBytes, int index, int channel, QString *result)
{
    const char *name = nameBytes.constData();
    const bool write = operation == opWrite;
    const int readAddress = deviceAddress + channel;
    const ValueKind kind = p.spec.kind;
    auto fail = [this](int code) { return lastErr = code; };

    if (kind == ValueKind::Point) {
        const int scale = p.spec.scale;
        if (write) {
            quint32 word = 0;
            if (!ValueCodec::encodePoint(p.value, scale, &word))
                return fail(codeBadValue);
            lastErr = WriteIEEE32(deviceAddress, addressMode, name, bitsFloat(word), index);
            if (lastErr == 0)
                *result = ValueCodec::decodePoint(word, scale);
        } else {
            float f = 0;
            int tail = 0;
            lastErr = ReadIEEE32(readAddress, addressMode, name, &f, &tail, index);
            if (lastErr == 0)
                *result = ValueCodec::decodePoint(floatBits(f), scale);
        }
        return lastErr;
    }
    if (kind == ValueKind::Text) {
        // Always a read, also in a write job.
        QString text;
        lastErr = readText(QString::fromLatin1(nameBytes), channel, &text);
        if (lastErr == 0)
            *result = text;
        return lastErr;
    }
    if (kind == ValueKind::DateTime) {
        unsigned char buffer[rawBufferSize] = {};
        int size = 7;
        if (write) {
            if (!ValueCodec::encodeDateTime(p.value, buffer))
                return fail(codeBadValue);
            const QString sent = ValueCodec::decodeDateTime(buffer, 7);
            lastErr = KavuIO(deviceAddress, addressMode, 0, name, buffer, &size);
            if (lastErr == 0)
                *result = sent;
        } else {
            lastErr = KavuIO(deviceAddress, addressMode, 1, name, buffer, &size);
            if (lastErr == 0) {
                if (size < 6)
                    return fail(KAVU_E_REPLY_FORMAT);
                *result = ValueCodec::decodeDateTime(buffer, size);
            }
        }
        return lastErr;
    }
    if (kind == ValueKind::Float) {
        if (write) {
            float f = 0;
            if (!ValueCodec::parseFloat(p.value, &f))
                return fail(codeBadValue);
            lastErr = WriteIEEE32(deviceAddress, addressMode, name, f, index);
            if (lastErr == 0)
                *result = ValueCodec::floatText(f);
        } else {
            float f = 0;
            int tail = 0;
            lastErr = ReadIEEE32(readAddress, addressMode, name, &f, &tail, index);
            if (lastErr == 0)
                *result = ValueCodec::floatText(f);
        }
        return lastErr;
    }
    const bool isShort = kind == ValueKind::Short;
    if (p.spec.isInteger()) {
        if (write) {
            const bool isWord = kind == ValueKind::Word;
            quint32 v = 0;
            if (!ValueCodec::parseUnsigned(p.value, isWord || isShort ? 0xFFFF : 0xFF, &v))
                return fail(codeBadValue);
            // A short above 255 needs two bytes.
            if (isWord || (isShort && v > 0xFF))
                lastErr = WriteWord(deviceAddress, addressMode, name, int(v), index);
            else
                lastErr = WriteByte(deviceAddress, addressMode, name, int(v), index);
            if (lastErr == 0)
                *result = QString::number(v);
        } else {
            int v = 0;
            lastErr = ReadUInt(readAddress, addressMode, name, &v, index);
            if (lastErr == 0)
                *result = QString::number(quint32(v));
        }
        return lastErr;
    }
    if (kind == ValueKind::Time) {
        if (write) {
            unsigned char buffer[rawBufferSize] = {};
            int size = 4;
            if (!ValueCodec::encodeTime(p.value, buffer))
                return fail(codeBadValue);
            const quint32 packed = (quint32(buffer[0]) << 24) | (quint32(buffer[1]) << 16) | (quint32(buffer[2]) << 8);
            lastErr = KavuIO(deviceAddress, addressMode, 0, name, buffer, &size);
            if (lastErr == 0)
                *result = ValueCodec::decodeTime(packed);
        } else {
            int v = 0;
            lastErr = ReadUInt(readAddress, addressMode, name, &v, index);
            if (lastErr == 0)
                *result = ValueCodec::decodeTime(quint32(v));
        }
        return lastErr;
    }
    if (kind == ValueKind::Raw) {
        unsigned char buffer[rawBufferSize] = {};
        if (write) {
            QByteArray bytes;
            if (!ValueCodec::encodeRaw(p.value, maxRawBytes, &bytes))
                return fail(codeBadValue);
            std::memcpy(buffer, bytes.constData(), size_t(bytes.size()));
            int size = bytes.size();
            lastErr = KavuIO(readAddress, addressMode, 0, name, buffer, &size);
            if (lastErr == 0)
                *result = ValueCodec::rawText(reinterpret_cast<const unsigned char *>(bytes.constData()), bytes.size());
        } else {
            int size = 0;
            lastErr = KavuIO(deviceAddress, addressMode, 1, name, buffer, &size);
            if (lastErr == 0)
                *result = ValueCodec::rawText(buffer, qBound(0, size, rawBufferSize));
        }
        return lastErr;
    }
    // A type the transfer does not know: nothing is sent, and the parameter
    // fails without the exchange having failed.
    return codeNotConnected;
}
