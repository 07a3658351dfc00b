#include "ConfigStore.h"

#include "AtomicFile.h"
#include "HrcDocument.h"
#include "IniText.h"
#include "ValueCodec.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

const char *const ConfigStore::group = "hrc417";

namespace {

QString keyOf(const QDomElement &parameter)
{
    return QLatin1String(ConfigStore::group) + QLatin1Char('/') + parameter.attribute(QStringLiteral("namekavu"));
}

template <typename Visit>
void forEachParameter(const QDomElement &start, Visit visit)
{
    for (QDomElement child = start.firstChildElement(); !child.isNull(); child = child.nextSiblingElement()) {
        if (HrcDocument::isSet(child))
            forEachParameter(child, visit);
        else if (HrcDocument::isParameter(child))
            visit(child);
    }
}

// An entry as text. Qt reads an unquoted entry with commas as a list; joined
// again it is the text that was meant ("-25,0;90,0").
QString entryText(const QVariant &entry)
{
    if (entry.type() == QVariant::StringList)
        return entry.toStringList().join(QLatin1Char(','));
    return entry.toString();
}

bool acceptsEnumText(const QDomElement &parameter, const ParameterSpec &spec, const QString &text)
{
    return (!spec.enumIndex && parameter.attribute(QStringLiteral("namekavu")) == QLatin1String("Port"))
           || ValueCodec::enumAccepts(spec, text);
}

// The entries a save writes: every parameter's value below start.
void collectValues(const QDomElement &start, IniText::Entries *entries)
{
    forEachParameter(start, [&](const QDomElement &parameter) {
        entries->insert(keyOf(parameter), parameter.attribute(QStringLiteral("value")));
    });
}

} // namespace

void ConfigStore::storeValues(const QDomElement &start, QSettings &settings)
{
    forEachParameter(start, [&](const QDomElement &parameter) {
        settings.setValue(keyOf(parameter), parameter.attribute(QStringLiteral("value")));
    });
}

void ConfigStore::restoreValues(const QDomElement &start, QSettings &settings, bool keepCommParams)
{
    forEachParameter(start, [&](QDomElement parameter) {
        const QVariant entry = settings.value(keyOf(parameter));
        if (keepCommParams && parameter.hasAttribute(QStringLiteral("commparam")))
            return;
        const QString defaultValue = parameter.attribute(QStringLiteral("defaultvalue"));
        QString value = entry.isNull() ? QString() : entryText(entry);
        if (value.isEmpty())
            value = defaultValue;
        else if (const ParameterSpec spec = ParameterSpec::fromElement(parameter);
                 spec.kind == ValueKind::Enum && !acceptsEnumText(parameter, spec, value))
            value = defaultValue;
        parameter.setAttribute(QStringLiteral("value"), value);
        if (HrcDocument::isPoint(parameter))
            HrcDocument::setPointHalves(parameter, value);
    });
}

bool ConfigStore::saveFile(const QDomElement &allParams, const QString &fileName, QString *errorString,
                           AtomicFile::Way *way)
{
    IniText::Entries entries;
    collectValues(allParams, &entries);
    return AtomicFile::write(fileName, IniText::make(entries, false), errorString, way);
}

QString ConfigStore::writtenPath(const QString &fileName)
{
    return AtomicFile::writtenPath(fileName);
}

QFile::Permissions ConfigStore::newFilePermissions()
{
    return AtomicFile::newFilePermissions();
}

bool ConfigStore::openFile(const QDomElement &allParams, const QString &fileName, QString *errorString)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *errorString = file.errorString();
        return false;
    }
    file.close();
    QSettings settings(fileName, QSettings::IniFormat);
    restoreValues(allParams, settings, true);
    return true;
}

std::unique_ptr<QSettings> ConfigStore::lastConfiguration()
{
    auto settings = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                                QStringLiteral("KAVU/ConfigHrc417"), QStringLiteral("Hrc417"));
    settings->setIniCodec("UTF-8");
    return settings;
}

bool ConfigStore::saveLastConfiguration(const QDomElement &allParams, QString *errorString)
{
    // The store holds the program's other settings too: they are kept, and
    // the whole file is written anew.
    IniText::Entries entries;
    QString path;
    {
        const std::unique_ptr<QSettings> settings = lastConfiguration();
        settings->setFallbacksEnabled(false); // the user's own file only
        path = settings->fileName();
        for (const QString &key : settings->allKeys())
            entries.insert(key, settings->value(key));
    }
    collectValues(allParams, &entries);
    QString error;
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        error = tr("не удалось создать папку %1").arg(QDir::toNativeSeparators(QFileInfo(path).absolutePath()));
    } else if (AtomicFile::write(path, IniText::make(entries, true), &error)) {
        return true;
    }
    if (errorString)
        *errorString = error;
    return false;
}
