#include "ConfigStore.h"

#include "HrcDocument.h"
#include "ValueCodec.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryFile>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <cstring>
#endif

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

QString statusText(QSettings::Status status)
{
    return status == QSettings::FormatError ? ConfigStore::tr("неверный формат файла")
                                            : ConfigStore::tr("запись в файл не удалась");
}

// Puts source in place of target in one step.
bool replaceFile(const QString &source, const QString &target, QString *errorString)
{
#ifdef Q_OS_WIN
    if (MoveFileExW(reinterpret_cast<const wchar_t *>(source.utf16()), reinterpret_cast<const wchar_t *>(target.utf16()),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    *errorString = ConfigStore::tr("не удалось заменить файл");
    return false;
#else
    if (std::rename(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) == 0)
        return true;
    *errorString = QString::fromLocal8Bit(std::strerror(errno));
    return false;
#endif
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

bool ConfigStore::saveFile(const QDomElement &allParams, const QString &fileName, QString *errorString)
{
    const QFileInfo target(fileName);
    if (target.exists()) {
        // The old file must be one we may replace (a read-only file stays).
        QFile existing(fileName);
        if (!existing.open(QIODevice::WriteOnly | QIODevice::Append)) {
            *errorString = existing.errorString();
            return false;
        }
    }
    QTemporaryFile temporary(target.absolutePath() + QStringLiteral("/.") + target.fileName() + QStringLiteral(".XXXXXX"));
    if (!temporary.open()) {
        *errorString = temporary.errorString();
        return false;
    }
    const QString temporaryName = temporary.fileName();
    temporary.close();
    // The new file keeps the old one's permissions (a temporary file is
    // private to its owner).
    temporary.setPermissions(target.exists() ? QFile::permissions(fileName)
                                             : QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    {
        QSettings settings(temporaryName, QSettings::IniFormat);
        storeValues(allParams, settings);
        settings.sync();
        if (settings.status() != QSettings::NoError) {
            *errorString = statusText(settings.status());
            return false;
        }
    }
    if (!replaceFile(temporaryName, target.absoluteFilePath(), errorString))
        return false;
    temporary.setAutoRemove(false); // it is the file now
    return true;
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

bool ConfigStore::saveLastConfiguration(const QDomElement &allParams)
{
    std::unique_ptr<QSettings> settings = lastConfiguration();
    storeValues(allParams, *settings);
    settings->sync();
    return settings->status() == QSettings::NoError;
}
