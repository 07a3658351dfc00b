#include "DeviceState.h"

#include "AtomicFile.h"
#include "IniText.h"
#include "ValueCodec.h"

#include <QFile>
#include <QSettings>

namespace {

// Identity texts of the simulated controller, sent in Windows-1251.
QString identityText(const QString& name)
{
    if (name.compare("Dev", Qt::CaseInsensitive) == 0)
        return QStringLiteral("HRC417");
    if (name.compare("ver", Qt::CaseInsensitive) == 0)
        return QStringLiteral("вер. 2.14");
    if (name.compare("p.ver", Qt::CaseInsensitive) == 0)
        return QStringLiteral("Каву 1.3");
    return {};
}

const char kGroup[] = "hrc417";

}  // namespace

DeviceState::DeviceState(const DeviceDescription& description) : description_(description)
{
    monotonic_.start();
    setFactoryValues();
}

void DeviceState::setFactoryValues()
{
    const auto& params = description_.parameters();
    values_.resize(params.size());
    clockBase_.resize(params.size());
    clockSetAt_.resize(params.size());
    for (int i = 0; i < params.size(); ++i) {
        const ParameterSpec& spec = params[i];
        QString text = spec.defaultValue;
        if (spec.kind == ValueKind::Text && text.isEmpty())
            text = identityText(spec.name);
        if (spec.kind == ValueKind::DateTime && !ValueCodec::isValidText(spec, text))
            text = ValueCodec::dateTimeText(QDateTime::currentDateTime());
        setValue(i, text);
    }
}

void DeviceState::setValue(int parameter, const QString& text)
{
    if (parameter < 0 || parameter >= values_.size())
        return;
    values_[parameter] = text;
    if (description_.parameters()[parameter].kind == ValueKind::DateTime) {
        clockBase_[parameter] = ValueCodec::parseDateTime(text);
        clockSetAt_[parameter] = monotonic_.elapsed();
    }
}

QString DeviceState::valueOf(const QString& name) const
{
    const int i = description_.find(name);
    return i < 0 ? QString() : values_[i];
}

QDateTime DeviceState::clock(int parameter) const
{
    if (parameter < 0 || parameter >= values_.size() || !clockBase_[parameter].isValid())
        return QDateTime::currentDateTime();
    return clockBase_[parameter].addMSecs(monotonic_.elapsed() - clockSetAt_[parameter]);
}

int DeviceState::address() const
{
    bool ok = false;
    const int a = valueOf("Addr").toInt(&ok);
    return ok ? a : 16;
}

bool DeviceState::longAddress() const
{
    return valueOf("A.Len").trimmed() == "1";
}

bool DeviceState::load(const QString& path, QString& error, QStringList& warnings)
{
    if (!QFile::exists(path))
        return true;
    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read the state file %1: %2").arg(path, probe.errorString());
        return false;
    }
    probe.close();
    QSettings settings(path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        error = QStringLiteral("state file %1 is not a readable INI file").arg(path);
        return false;
    }
    settings.beginGroup(kGroup);
    const auto& params = description_.parameters();
    for (int i = 0; i < params.size(); ++i) {
        const ParameterSpec& spec = params[i];
        if (spec.polled || !settings.contains(spec.name))
            continue;
        const QVariant stored = settings.value(spec.name);
        // An unquoted "0,5" comes back as a list: rejoin it.
        const QString text = stored.userType() == QMetaType::QStringList
                               ? stored.toStringList().join(',')
                               : stored.toString();
        if (text.isEmpty())
            continue;  // no value: the factory value stays, as in the configurator
        if (!ValueCodec::isValidText(spec, text)) {
            warnings << QStringLiteral("state file: \"%1\" for %2 is not a valid value; factory value %3 kept")
                            .arg(text, spec.name, values_[i]);
            continue;
        }
        setValue(i, text);
    }
    return true;
}

bool DeviceState::save(const QString& path, QString& error) const
{
    // The file's other entries stay; the whole file is written anew, so a
    // failed save leaves the old one as it was.
    IniText::Entries entries;
    {
        QSettings existing(path, QSettings::IniFormat);
        for (const QString& key : existing.allKeys())
            entries.insert(key, existing.value(key));
    }
    const auto& params = description_.parameters();
    for (int i = 0; i < params.size(); ++i) {
        const ParameterSpec& spec = params[i];
        entries.insert(QLatin1String(kGroup) + QLatin1Char('/') + spec.name,
                       spec.kind == ValueKind::DateTime ? ValueCodec::dateTimeText(clock(i)) : values_[i]);
    }
    QString reason;
    if (!AtomicFile::write(path, IniText::make(entries, false), &reason)) {
        error = QStringLiteral("cannot write the state file %1 (%2)").arg(path, reason);
        return false;
    }
    return true;
}
