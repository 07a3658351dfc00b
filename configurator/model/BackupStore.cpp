#include "BackupStore.h"

#include "AtomicFile.h"
#include "ConfigStore.h"
#include "HrcDocument.h"
#include "IniText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QPointer>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QThreadPool>

#include <algorithm>
#include <memory>

const char *const BackupStore::keepKey = "BackupKeep";

namespace {

const QString kStampForm = QStringLiteral("yyyy-MM-dd_HH-mm-ss");
const QString kSuffix = QStringLiteral(".hrc417");
// The mark of a file the store wrote: its first group, before the values.
const QByteArray kMarkGroup = QByteArrayLiteral("[backup]");
const QString kSequenceKey = QStringLiteral("backup/sequence");

// The store's count in a file it wrote, 0 for any other file. Only the head
// of the file is read: the mark is its first group.
qint64 sequenceOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    if (file.readLine(64).trimmed() != kMarkGroup)
        return 0;
    for (int line = 0; line < 8 && !file.atEnd(); ++line) {
        const QByteArray text = file.readLine(256).trimmed();
        if (text.startsWith('['))
            break;
        if (text.startsWith("sequence=")) {
            bool ok = false;
            const qint64 sequence = text.mid(int(sizeof "sequence=") - 1).toLongLong(&ok);
            return ok && sequence > 0 ? sequence : 0;
        }
    }
    return 0;
}

// The files whose removal failed and was reported already (any thread).
bool firstCleanupFailure(const QString &path)
{
    static QMutex mutex;
    static QSet<QString> reported;
    const QMutexLocker lock(&mutex);
    if (reported.contains(path))
        return false;
    reported.insert(path);
    return true;
}

QString safeName(QString text)
{
    static const QRegularExpression outside(QStringLiteral("[^A-Za-z0-9._-]"));
    return text.replace(outside, QStringLiteral("_"));
}

// A name that reads as written and is a file name on Linux and Windows alike:
// no separators, no characters Windows refuses, no control characters, no
// trailing dot or space, not "." or "..", at most 100 characters.
QString readableFileName(QString text)
{
    static const QRegularExpression refused(QStringLiteral("[\\\\/:*?\"<>|\\x00-\\x1f\\x7f]"));
    text.replace(refused, QStringLiteral("_"));
    text = text.simplified().left(100);
    while (text.endsWith(QLatin1Char('.')) || text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    return text.isEmpty() ? QStringLiteral("_") : text;
}

// The value the device reported for a parameter, when its last exchange
// succeeded or a write's read-back found another value (ioValue is then
// what the device holds).
bool deviceValue(const QDomElement &parameter, QString *value)
{
    const int code = resultCodeOf(parameter);
    if ((code != codeSuccess && code != codeReadBackDiffers)
        || !parameter.hasAttribute(QStringLiteral("ioValue")))
        return false;
    *value = parameter.attribute(QStringLiteral("ioValue"));
    return true;
}

// The parameters a backup holds: those the device keeps (not polled, not
// the program's own settings).
template <typename Visit>
void forEachDeviceParameter(const QDomElement &start, Visit visit)
{
    for (QDomElement child = start.firstChildElement(); !child.isNull(); child = child.nextSiblingElement()) {
        if (HrcDocument::isSet(child))
            forEachDeviceParameter(child, visit);
        else if (HrcDocument::isParameter(child) && !child.hasAttribute(QStringLiteral("ivparam"))
                 && !child.hasAttribute(QStringLiteral("localparam")))
            visit(child);
    }
}

QThreadPool &writerPool()
{
    static QThreadPool pool;
    pool.setMaxThreadCount(1); // backups are written one at a time, in order
    pool.setExpiryTimeout(-1);
    return pool;
}

bool entryOf(const QFileInfo &file, const QString &device, BackupStore::Entry *entry)
{
    const QString name = file.fileName();
    if (!name.endsWith(kSuffix) || name.size() <= kStampForm.size() + 1 + kSuffix.size()
        || name.at(kStampForm.size()) != QLatin1Char('_'))
        return false;
    const QDateTime stamp = QDateTime::fromString(name.left(kStampForm.size()), kStampForm);
    if (!stamp.isValid())
        return false;
    entry->path = file.absoluteFilePath();
    entry->device = device;
    entry->stamp = stamp;
    entry->action = name.mid(kStampForm.size() + 1, name.size() - kStampForm.size() - 1 - kSuffix.size());
    entry->sequence = sequenceOf(entry->path);
    return true;
}

// Newest first: the store's own by their count (the clock may have been set
// back), then the others by the time in their names and the file's time.
void sortNewestFirst(QVector<BackupStore::Entry> &entries)
{
    QHash<QString, QDateTime> modified;
    for (const BackupStore::Entry &e : entries)
        modified.insert(e.path, QFileInfo(e.path).lastModified());
    std::sort(entries.begin(), entries.end(), [&](const BackupStore::Entry &a, const BackupStore::Entry &b) {
        if ((a.sequence > 0) != (b.sequence > 0))
            return a.sequence > 0;
        if (a.sequence != b.sequence)
            return a.sequence > b.sequence;
        if (a.stamp != b.stamp)
            return a.stamp > b.stamp;
        return modified.value(a.path) > modified.value(b.path);
    });
}

} // namespace

QString BackupStore::root()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/backups");
}

QString BackupStore::deviceFolder(const QString &device, const QString &version, const QString &address,
                                  const QString &port)
{
    // "COM3" stays, a path gives its last part ("ttyUSB0").
    const QString portBase = QFileInfo(QString(port).replace(QLatin1Char('\\'), QLatin1Char('/'))).fileName();
    // The version as a number ("вер. 2.14" gives "2.14"); the text if it holds none.
    static const QRegularExpression number(QStringLiteral("\\d+(\\.\\d+)*"));
    const QRegularExpressionMatch m = number.match(version);
    const QString versionText = m.hasMatch() ? m.captured() : version.trimmed();
    QStringList parts;
    for (const QString &part : {device.trimmed(), versionText})
        if (!part.isEmpty())
            parts << part;
    parts << QStringLiteral("адрес ") + address.trimmed();
    if (!portBase.isEmpty())
        parts << QLatin1Char('(') + portBase + QLatin1Char(')');
    const QString folder = readableFileName(parts.join(QLatin1Char(' ')));

    // Backups kept under the earlier form of the name move to this one.
    const QString old = safeName(device + QLatin1Char('_') + version + QStringLiteral("_a") + address + QLatin1Char('_') + portBase);
    QDir store(root());
    if (old != folder && !store.exists(folder) && store.exists(old))
        store.rename(old, folder);
    return folder;
}

QString BackupStore::deviceFolder(const HrcDocument &document)
{
    auto reported = [&](const char *name) {
        const QDomElement p = document.findParameter(QLatin1String(name));
        QString value;
        return deviceValue(p, &value) ? value.trimmed() : p.attribute(QStringLiteral("value")).trimmed();
    };
    const QDomElement port = document.findParameter(QStringLiteral("Port"));
    return deviceFolder(reported("Dev"), reported("ver"),
                        document.findParameter(QStringLiteral("Addr")).attribute(QStringLiteral("value")),
                        port.attribute(QStringLiteral("value")));
}

QString BackupStore::fileName(const QDateTime &stamp, const QString &action)
{
    return stamp.toString(kStampForm) + QLatin1Char('_') + safeName(action) + kSuffix;
}

BackupStore::Values BackupStore::deviceValues(const QDomElement &allParams)
{
    Values values;
    forEachDeviceParameter(allParams, [&](const QDomElement &p) {
        QString value;
        if (deviceValue(p, &value))
            values.insert(p.attribute(QStringLiteral("namekavu")), value);
    });
    return values;
}

BackupStore::Values BackupStore::documentValues(const QDomElement &allParams)
{
    Values values;
    forEachDeviceParameter(allParams, [&](const QDomElement &p) {
        values.insert(p.attribute(QStringLiteral("namekavu")), p.attribute(QStringLiteral("value")));
    });
    return values;
}

QString BackupStore::save(const QString &device, const QString &action, const Values &values,
                          const QDateTime &stamp, QString *errorString, QString *warning)
{
    const QString folder = root() + QLatin1Char('/') + device;
    if (!QDir().mkpath(folder)) {
        *errorString = tr("не удалось создать папку %1").arg(QDir::toNativeSeparators(folder));
        return QString();
    }
    // The next count after every backup of the folder.
    qint64 sequence = 0;
    for (const Entry &entry : list(device))
        sequence = qMax(sequence, entry.sequence);
    ++sequence;

    const QString path = folder + QLatin1Char('/') + fileName(stamp, action);
    // Written whole under another name first (AtomicFile), so that no list
    // ever shows a half-written backup.
    IniText::Entries entries;
    entries.insert(kSequenceKey, QString::number(sequence));
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        entries.insert(QLatin1String(ConfigStore::group) + QLatin1Char('/') + it.key(), it.value());
    if (!AtomicFile::write(path, IniText::make(entries, false), errorString))
        return QString();

    // Only the store's own files count, the newest (this one) always stays.
    QVector<Entry> kept = list(device);
    kept.erase(std::remove_if(kept.begin(), kept.end(), [](const Entry &e) { return e.sequence == 0; }), kept.end());
    for (int i = qMax(1, keep()); i < kept.size(); ++i) {
        QFile old(kept.at(i).path);
        if (!old.remove() && old.exists() && firstCleanupFailure(old.fileName()) && warning)
            *warning = QDir::toNativeSeparators(old.fileName()) + QStringLiteral(": ") + old.errorString();
    }
    return path;
}

void BackupStore::saveLater(const QString &device, const QString &action, const Values &values, QObject *context,
                            std::function<void(QString)> onFailure, std::function<void(QString)> onWarning)
{
    if (values.isEmpty())
        return;
    const QDateTime stamp = QDateTime::currentDateTime();
    const QPointer<QObject> receiver(context);
    writerPool().start([=]() {
        QString error;
        QString warning;
        const bool saved = !save(device, action, values, stamp, &error, &warning).isEmpty();
        const std::function<void(QString)> tell = saved ? onWarning : onFailure;
        const QString said = saved ? warning : error;
        if (said.isEmpty() || !tell || !QCoreApplication::instance())
            return;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [=]() {
                if (receiver)
                    tell(said);
            },
            Qt::QueuedConnection);
    });
}

void BackupStore::waitForPending()
{
    writerPool().waitForDone();
}

QVector<BackupStore::Entry> BackupStore::list(const QString &device)
{
    QVector<Entry> entries;
    const QStringList folders = device.isEmpty() ? devices() : QStringList{device};
    for (const QString &folder : folders) {
        const QFileInfoList files = QDir(root() + QLatin1Char('/') + folder)
                                        .entryInfoList({QStringLiteral("*") + kSuffix}, QDir::Files);
        for (const QFileInfo &file : files) {
            Entry entry;
            if (entryOf(file, folder, &entry))
                entries.append(entry);
        }
    }
    sortNewestFirst(entries);
    return entries;
}

QStringList BackupStore::devices()
{
    return QDir(root()).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

bool BackupStore::load(const QString &path, Values *values, QString *errorString)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *errorString = file.errorString();
        return false;
    }
    file.close();
    QSettings settings(path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        *errorString = tr("неверный формат файла");
        return false;
    }
    values->clear();
    settings.beginGroup(QLatin1String(ConfigStore::group));
    for (const QString &key : settings.childKeys()) {
        const QVariant entry = settings.value(key);
        // Qt reads an unquoted entry with commas as a list.
        values->insert(key, entry.userType() == QMetaType::QStringList ? entry.toStringList().join(QLatin1Char(','))
                                                                  : entry.toString());
    }
    return true;
}

int BackupStore::keep()
{
    const int keep = ConfigStore::lastConfiguration()->value(QLatin1String(keepKey), defaultKeep).toInt();
    return keep > 0 ? keep : defaultKeep;
}

namespace {

const QString kNameChecksFile = QStringLiteral("name-checks.txt");

// Reads a checks file: "identity<TAB>KEY<TAB>VALUE" and
// "check<TAB>BASE<TAB>0|1" lines.
bool readNameChecks(const QString &path, BackupStore::NameChecks *checks)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    BackupStore::NameChecks read;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() != 3)
            continue;
        if (fields[0] == QLatin1String("identity")) {
            if (fields[1] == QLatin1String("device"))
                read.device = fields[2];
            else if (fields[1] == QLatin1String("version"))
                read.version = fields[2];
            else if (fields[1] == QLatin1String("address"))
                read.address = fields[2];
            else if (fields[1] == QLatin1String("port"))
                read.port = fields[2];
        } else if (fields[0] == QLatin1String("check")) {
            read.knownWithoutIndex.insert(fields[1].toLatin1(), fields[2] == QLatin1String("1"));
        }
    }
    *checks = read;
    return true;
}

} // namespace

bool BackupStore::loadNameChecks(const QString &device, const QString &address, const QString &port,
                                 NameChecks *checks)
{
    QDateTime newest;
    bool found = false;
    for (const QString &folder : devices()) {
        const QFileInfo info(root() + QLatin1Char('/') + folder + QLatin1Char('/') + kNameChecksFile);
        NameChecks candidate;
        if (!info.exists() || !readNameChecks(info.filePath(), &candidate))
            continue;
        if (candidate.device != device || candidate.address != address || candidate.port != port)
            continue;
        if (found && info.lastModified() <= newest)
            continue;
        newest = info.lastModified();
        *checks = candidate;
        found = true;
    }
    return found;
}

bool BackupStore::saveNameChecks(const NameChecks &checks, QString *errorString)
{
    const QString folder = root() + QLatin1Char('/') + deviceFolder(checks.device, checks.version, checks.address, checks.port);
    if (!QDir().mkpath(folder)) {
        *errorString = tr("папка %1 не создана").arg(folder);
        return false;
    }
    QString text;
    const QPair<const char *, QString> identity[] = {
        {"device", checks.device}, {"version", checks.version}, {"address", checks.address}, {"port", checks.port}};
    for (const auto &field : identity)
        text += QStringLiteral("identity\t%1\t%2\n").arg(QLatin1String(field.first), QString(field.second).remove(QLatin1Char('\n')).remove(QLatin1Char('\t')));
    QList<QByteArray> names = checks.knownWithoutIndex.keys();
    std::sort(names.begin(), names.end());
    for (const QByteArray &name : names)
        text += QStringLiteral("check\t%1\t%2\n").arg(QString::fromLatin1(name)).arg(checks.knownWithoutIndex.value(name) ? 1 : 0);
    AtomicFile::Way way = AtomicFile::Way::Replaced;
    return AtomicFile::write(folder + QLatin1Char('/') + kNameChecksFile, text.toUtf8(), errorString, &way);
}

int BackupStore::forgetNameChecks(const QString &address, const QString &port)
{
    int removed = 0;
    for (const QString &folder : devices()) {
        const QString path = root() + QLatin1Char('/') + folder + QLatin1Char('/') + kNameChecksFile;
        NameChecks checks;
        if (readNameChecks(path, &checks) && checks.address == address && checks.port == port && QFile::remove(path))
            ++removed;
    }
    return removed;
}
