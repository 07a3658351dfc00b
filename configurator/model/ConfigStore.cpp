#include "ConfigStore.h"

#include "AtomicFile.h"
#include "HrcDocument.h"
#include "IniText.h"
#include "QtCompat.h"
#include "ValueCodec.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QHash>
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
    if (entry.userType() == QMetaType::QStringList)
        return entry.toStringList().join(QLatin1Char(','));
    return entry.toString();
}

bool acceptsEnumText(const QDomElement &parameter, const ParameterSpec &spec, const QString &text)
{
    return (!spec.enumIndex && parameter.attribute(QStringLiteral("namekavu")) == QLatin1String("Port"))
           || ValueCodec::enumAccepts(spec, text);
}

// An INI key as Qt escapes it ("%5B" for "[", "%U0410" for "А", "\\" for
// "/") back as the key.
QString unescapedKey(const QByteArray &key)
{
    QString out;
    for (int i = 0; i < key.size(); ++i) {
        const char c = key.at(i);
        if (c == '\\') {
            out += QLatin1Char('/');
        } else if (c == '%' && i + 5 < key.size() && key.at(i + 1) == 'U') {
            bool ok = false;
            const ushort code = key.mid(i + 2, 4).toUShort(&ok, 16);
            if (!ok)
                return QString();
            out += QChar(code);
            i += 5;
        } else if (c == '%' && i + 2 < key.size()) {
            bool ok = false;
            const ushort code = key.mid(i + 1, 2).toUShort(&ok, 16);
            if (!ok)
                return QString();
            out += QChar(code);
            i += 2;
        } else {
            out += QLatin1Char(c);
        }
    }
    return out;
}

// Whether the quotes of an entry's text pair up (escaped characters skipped).
bool quotesPair(const QByteArray &value)
{
    bool inside = false;
    for (int i = 0; i < value.size(); ++i) {
        if (value.at(i) == '\\')
            ++i;
        else if (value.at(i) == '"')
            inside = !inside;
    }
    return !inside;
}

// Whether an empty entry of the parameter gives its factory value when a
// file is opened: not for values the device reports (read-only, polled),
// nor where the factory value is empty itself.
bool emptyTakesFactory(const QDomElement &parameter)
{
    return !parameter.hasAttribute(QStringLiteral("readonly")) && !parameter.hasAttribute(QStringLiteral("ivparam"))
           && !parameter.attribute(QStringLiteral("defaultvalue")).isEmpty();
}

// The text a save writes for a parameter: its value; a value not set yet is
// written as the factory value it would take when opened, so that an empty
// entry in a file always means that someone left it empty.
QString savedValue(const QDomElement &parameter)
{
    const QString value = parameter.attribute(QStringLiteral("value"));
    return value.isEmpty() && emptyTakesFactory(parameter) ? parameter.attribute(QStringLiteral("defaultvalue"))
                                                           : value;
}

// The entries a save writes: every parameter's value below start.
void collectValues(const QDomElement &start, IniText::Entries *entries)
{
    forEachParameter(start, [&](const QDomElement &parameter) {
        entries->insert(keyOf(parameter), savedValue(parameter));
    });
}

} // namespace

void ConfigStore::storeValues(const QDomElement &start, QSettings &settings)
{
    forEachParameter(start, [&](const QDomElement &parameter) {
        settings.setValue(keyOf(parameter), savedValue(parameter));
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

bool ConfigStore::openFile(const QDomElement &allParams, const QString &fileName, QString *errorString,
                           QStringList *faults)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *errorString = file.errorString();
        return false;
    }
    file.close();
    if (faults) {
        faults->clear();
        QHash<QString, QDomElement> byName;
        forEachParameter(allParams, [&](const QDomElement &parameter) {
            byName.insert(parameter.attribute(QStringLiteral("namekavu")), parameter);
        });
        for (const EntryFault &fault : entryFaults(fileName)) {
            const QDomElement parameter = byName.value(fault.name);
            // What a save itself writes empty, or what is not taken from a file.
            if (parameter.isNull() || parameter.hasAttribute(QStringLiteral("commparam")))
                continue;
            if (fault.empty && !emptyTakesFactory(parameter))
                continue;
            faults->append(faultText(fault));
        }
    }
    QSettings settings(fileName, QSettings::IniFormat);
    restoreValues(allParams, settings, true);
    return true;
}

QVector<ConfigStore::EntryFault> ConfigStore::entryFaults(const QString &fileName)
{
    QVector<EntryFault> faults;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return faults;
    const QByteArray groupLine = '[' + QByteArray(group) + ']';
    bool inGroup = false;
    int lineNumber = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        ++lineNumber;
        if (line.startsWith('[')) {
            inGroup = line == groupLine;
            continue;
        }
        if (!inGroup || line.isEmpty() || line.startsWith(';') || line.startsWith('#'))
            continue;
        const int equals = line.indexOf('=');
        if (equals <= 0)
            continue;
        const QString name = unescapedKey(line.left(equals).trimmed());
        const QByteArray value = line.mid(equals + 1).trimmed();
        if (value.isEmpty() || value == "\"\"")
            faults.append({lineNumber, name, true});
        else if (!quotesPair(value))
            faults.append({lineNumber, name, false});
    }
    return faults;
}

QString ConfigStore::faultText(const EntryFault &fault)
{
    return fault.empty ? tr("строка %1: %2 — пустое значение").arg(fault.line).arg(fault.name)
                       : tr("строка %1: %2 — нарушены кавычки").arg(fault.line).arg(fault.name);
}

std::unique_ptr<QSettings> ConfigStore::lastConfiguration()
{
    auto settings = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                                QStringLiteral("KAVU/ConfigHrc417"), QStringLiteral("Hrc417"));
    QtCompat::useUtf8(*settings);
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
