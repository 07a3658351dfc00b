#include "CommSettings.h"

#include "ConfigStore.h"
#include "HrcDocument.h"

#include <QSettings>

#include <mutex>

namespace {
// A standard mutex, like every lock the workers share: ThreadSanitizer sees
// it (Qt 5's QMutex waits in futex calls it cannot follow).
std::mutex publishedMutex;
CommSettings publishedSettings;
} // namespace

namespace {
// The setting in force on the device: an edited setting that has not been
// written yet still has its previous value there (undoValue). A local setting
// ("Port") lives in this program only and is in force as soon as it is edited.
// A setting without a value yet (nothing read, restored or edited) is the
// factory setting, not 0: address 0 and 7 data bits reach no device.
QString setting(HrcDocument &document, const char *name)
{
    const QDomElement element = document.findParameter(QLatin1String(name));
    const bool local = element.attribute(QStringLiteral("localparam")) == QLatin1String("yes");
    const QString undo = local ? QString() : element.attribute(QStringLiteral("undoValue"));
    if (!undo.isEmpty())
        return undo;
    return CommSettings::valueOrDefault(document, QLatin1String(name));
}
} // namespace

QString CommSettings::valueOrDefault(HrcDocument &document, const QString &name)
{
    const QString value = document.paramValue(name);
    if (!value.isEmpty())
        return value;
    return document.findParameter(name).attribute(QStringLiteral("defaultvalue"));
}

CommSettings CommSettings::fromDocument(HrcDocument &document)
{
    CommSettings s;
    s.parity = setting(document, "PrtY");
    s.dataBits = setting(document, "LEn");
    s.port = setting(document, "Port");
    s.speed = setting(document, "bPS");
    s.stopBits = setting(document, "Sbit");
    s.address = setting(document, "Addr");
    s.addressMode = setting(document, "A.Len");
    return s;
}

bool CommSettings::set(const QString &name, const QString &value)
{
    QString *field = name == QLatin1String("PrtY")    ? &parity
                     : name == QLatin1String("LEn")   ? &dataBits
                     : name == QLatin1String("Port")  ? &port
                     : name == QLatin1String("bPS")   ? &speed
                     : name == QLatin1String("Sbit")  ? &stopBits
                     : name == QLatin1String("Addr")  ? &address
                     : name == QLatin1String("A.Len") ? &addressMode
                                                      : nullptr;
    if (field)
        *field = value;
    return field != nullptr;
}

namespace {
const QString verifyWritesKey = QStringLiteral("VerifyWrites");
} // namespace

bool CommSettings::verifyWrites()
{
    return ConfigStore::lastConfiguration()->value(verifyWritesKey, true).toBool();
}

void CommSettings::setVerifyWrites(bool on)
{
    std::unique_ptr<QSettings> settings = ConfigStore::lastConfiguration();
    settings->setValue(verifyWritesKey, on);
    settings->sync();
}

void CommSettings::publish(const CommSettings &settings)
{
    std::lock_guard<std::mutex> lock(publishedMutex);
    publishedSettings = settings;
}

CommSettings CommSettings::published()
{
    std::lock_guard<std::mutex> lock(publishedMutex);
    return publishedSettings;
}
