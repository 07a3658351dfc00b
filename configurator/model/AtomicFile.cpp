#include "AtomicFile.h"

#include "FileReplace.h"

#include <QDir>
#include <QFileInfo>

#include <utility>

namespace {

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString folderOf(const QString &path)
{
    return QFileInfo(path).absolutePath();
}

std::string encoded(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

QString systemReason(int error)
{
    return QString::fromLocal8Bit(FileReplace::errorText(error).c_str());
}

// Permission bits as the system files them (0644-style) and as Qt names them.
const std::pair<QFile::Permission, unsigned> permissionBits[] = {
    {QFile::ReadOwner, 0400}, {QFile::WriteOwner, 0200}, {QFile::ExeOwner, 0100},
    {QFile::ReadGroup, 0040}, {QFile::WriteGroup, 0020}, {QFile::ExeGroup, 0010},
    {QFile::ReadOther, 0004}, {QFile::WriteOther, 0002}, {QFile::ExeOther, 0001},
};

} // namespace

bool AtomicFile::checkTarget(const QString &path, QString *error)
{
    const QString target = QFileInfo(writtenPath(path)).absoluteFilePath();
    const FileReplace::Status status = FileReplace::examine(encoded(target));
    if (status.error != 0) {
        *error = tr("файл %1 недоступен: %2").arg(native(target), systemReason(status.error));
        return false;
    }
    if (status.kind != FileReplace::Kind::Missing) {
        if (status.kind != FileReplace::Kind::File) {
            const QString kind = status.kind == FileReplace::Kind::Folder            ? tr("папка")
                                 : status.kind == FileReplace::Kind::CharacterDevice ? tr("символьное устройство")
                                 : status.kind == FileReplace::Kind::BlockDevice     ? tr("блочное устройство")
                                 : status.kind == FileReplace::Kind::Fifo            ? tr("именованный канал")
                                 : status.kind == FileReplace::Kind::Socket          ? tr("сокет")
                                                                                     : tr("не обычный файл");
            *error = tr("%1 — %2, а не обычный файл; записать в него нельзя").arg(native(target), kind);
            return false;
        }
        if (const int refused = FileReplace::writeAccess(encoded(target), FileReplace::Kind::File)) {
            *error = tr("файл %1 нельзя записать: %2").arg(native(target), systemReason(refused));
            return false;
        }
        return true;
    }
    const QString folder = folderOf(target);
    const FileReplace::Status folderStatus = FileReplace::examine(encoded(folder));
    if (folderStatus.kind == FileReplace::Kind::Missing) {
        // A folder that is not there has the system's "no such file" as its reason.
        const int reason = folderStatus.error != 0
                               ? folderStatus.error
                               : FileReplace::writeAccess(encoded(folder), FileReplace::Kind::File);
        *error = tr("папка %1 недоступна: %2").arg(native(folder), systemReason(reason));
        return false;
    }
    if (folderStatus.kind != FileReplace::Kind::Folder) {
        *error = tr("%1 — не папка").arg(native(folder));
        return false;
    }
    if (const int refused = FileReplace::writeAccess(encoded(folder), FileReplace::Kind::Folder)) {
        *error = tr("в папке %1 нельзя создать файл: %2").arg(native(folder), systemReason(refused));
        return false;
    }
    return true;
}

bool AtomicFile::write(const QString &path, const QByteArray &bytes, QString *error, Way *way)
{
    if (way)
        *way = Way::Replaced;
    if (!checkTarget(path, error))
        return false;
    const QString target = QFileInfo(writtenPath(path)).absoluteFilePath();
    // The new file's permissions: the old file's, or what a new file of this user gets.
    const unsigned mode = FileReplace::modeOf(encoded(target));
    const FileReplace::Outcome outcome =
        FileReplace::writeWhole(encoded(target), bytes.constData(), std::size_t(bytes.size()), mode);
    if (way && outcome.inPlace)
        *way = Way::InPlace;
    const QString reason = systemReason(outcome.error);
    switch (outcome.failed) {
    case FileReplace::Step::None:
        return true;
    case FileReplace::Step::CreateTemporary:
        *error = tr("в папке %1 не удалось создать временный файл: %2").arg(native(folderOf(target)), reason);
        break;
    case FileReplace::Step::Write:
        *error = tr("не удалось записать файл %1: %2").arg(native(target), reason);
        break;
    case FileReplace::Step::Replace:
        *error = tr("не удалось заменить файл %1: %2").arg(native(target), reason);
        break;
    case FileReplace::Step::ReadOld:
        *error = tr("файл %1 не удалось прочитать перед перезаписью").arg(native(target));
        break;
    case FileReplace::Step::OpenInPlace:
        *error = tr("файл %1 не удалось открыть для записи: %2").arg(native(target), reason);
        break;
    case FileReplace::Step::WriteInPlace:
        *error = tr("не удалось записать файл %1: %2; прежнее содержимое восстановлено").arg(native(target), reason);
        break;
    case FileReplace::Step::WriteInPlaceLost:
        *error = tr("не удалось записать файл %1: %2; прежнее содержимое восстановить не удалось")
                     .arg(native(target), reason);
        break;
    }
    return false;
}

QString AtomicFile::writtenPath(const QString &fileName)
{
    QString path = fileName;
    if (!FileReplace::followsLinks())
        return path;
    // A chain of links ends at the file to write, existing or not yet.
    for (int hops = 0; hops < 40; ++hops) {
        const QFileInfo info(path);
        if (!info.isSymLink())
            break;
        path = info.symLinkTarget();
    }
    return path;
}

QFile::Permissions AtomicFile::newFilePermissions()
{
    const unsigned mode = FileReplace::newFileMode();
    QFile::Permissions permissions;
    for (const auto &bit : permissionBits) {
        if (mode & bit.second)
            permissions |= bit.first;
    }
    // Qt's owner flags are the user's own on this system.
    if (permissions & QFile::ReadOwner)
        permissions |= QFile::ReadUser;
    if (permissions & QFile::WriteOwner)
        permissions |= QFile::WriteUser;
    return permissions;
}
