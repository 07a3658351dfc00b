#include "AtomicFile.h"

#include <QDir>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <QTemporaryFile>
#include <io.h>
#include <windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#endif

namespace {

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString folderOf(const QString &path)
{
    return QFileInfo(path).absolutePath();
}

#ifndef Q_OS_WIN

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

// Writes all of bytes at the descriptor's position; false with errno set.
// A short write is retried, so that the system names the reason it stopped.
bool writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (written == 0) {
            errno = EIO;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

bool readAll(const QString &path, QByteArray *bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *bytes = file.readAll();
    return file.error() == QFile::NoError;
}

mode_t modeOf(QFile::Permissions permissions)
{
    const std::pair<QFile::Permission, mode_t> bits[] = {
        {QFile::ReadOwner, S_IRUSR}, {QFile::WriteOwner, S_IWUSR}, {QFile::ExeOwner, S_IXUSR},
        {QFile::ReadGroup, S_IRGRP}, {QFile::WriteGroup, S_IWGRP}, {QFile::ExeGroup, S_IXGRP},
        {QFile::ReadOther, S_IROTH}, {QFile::WriteOther, S_IWOTH}, {QFile::ExeOther, S_IXOTH},
    };
    mode_t mode = 0;
    for (const auto &bit : bits) {
        if (permissions & bit.first)
            mode |= bit.second;
    }
    return mode;
}

// Rewrites the file in place: the old content is kept and written back when
// the new content cannot be written whole.
bool rewriteInPlace(const QString &path, const QByteArray &bytes, QString *error)
{
    QByteArray old;
    if (!readAll(path, &old)) {
        *error = AtomicFile::tr("файл %1 не удалось прочитать перед перезаписью").arg(native(path));
        return false;
    }
    const int fd = ::open(encoded(path).constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = AtomicFile::tr("файл %1 не удалось открыть для записи: %2").arg(native(path), systemReason(errno));
        return false;
    }
    if (writeAll(fd, bytes) && ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && ::fsync(fd) == 0) {
        if (::close(fd) == 0)
            return true;
        *error = AtomicFile::tr("не удалось записать файл %1: %2").arg(native(path), systemReason(errno));
        return false;
    }
    const int reason = errno;
    // The old content goes back; it took this much room before.
    const bool restored = ::lseek(fd, 0, SEEK_SET) == 0 && writeAll(fd, old)
                          && ::ftruncate(fd, static_cast<off_t>(old.size())) == 0 && ::fsync(fd) == 0;
    ::close(fd);
    *error = restored ? AtomicFile::tr("не удалось записать файл %1: %2; прежнее содержимое восстановлено")
                            .arg(native(path), systemReason(reason))
                      : AtomicFile::tr("не удалось записать файл %1: %2; прежнее содержимое восстановить не удалось")
                            .arg(native(path), systemReason(reason));
    return false;
}

// Creates the temporary file beside target; -1 with errno set.
int createTemporary(const QString &target, QByteArray *name)
{
    const QFileInfo info(target);
    *name = encoded(info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".XXXXXX"));
    const int fd = ::mkstemp(name->data());
    if (fd >= 0)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fd;
}

#endif

} // namespace

bool AtomicFile::checkTarget(const QString &path, QString *error)
{
    const QString target = QFileInfo(writtenPath(path)).absoluteFilePath();
#ifdef Q_OS_WIN
    const QFileInfo info(target);
    if (info.exists() && !info.isFile()) {
        *error = tr("%1 — не обычный файл; записать в него нельзя").arg(native(target));
        return false;
    }
    if (!info.exists() && !QFileInfo(info.absolutePath()).isDir()) {
        *error = tr("папка %1 не найдена").arg(native(info.absolutePath()));
        return false;
    }
    return true;
#else
    struct stat st;
    if (::stat(encoded(target).constData(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            const QString kind = S_ISDIR(st.st_mode)    ? tr("папка")
                                 : S_ISCHR(st.st_mode)  ? tr("символьное устройство")
                                 : S_ISBLK(st.st_mode)  ? tr("блочное устройство")
                                 : S_ISFIFO(st.st_mode) ? tr("именованный канал")
                                 : S_ISSOCK(st.st_mode) ? tr("сокет")
                                                        : tr("не обычный файл");
            *error = tr("%1 — %2, а не обычный файл; записать в него нельзя").arg(native(target), kind);
            return false;
        }
        if (::access(encoded(target).constData(), W_OK) != 0) {
            *error = tr("файл %1 нельзя записать: %2").arg(native(target), systemReason(errno));
            return false;
        }
        return true;
    }
    if (errno != ENOENT) {
        *error = tr("файл %1 недоступен: %2").arg(native(target), systemReason(errno));
        return false;
    }
    const QString folder = folderOf(target);
    if (::stat(encoded(folder).constData(), &st) != 0) {
        *error = tr("папка %1 недоступна: %2").arg(native(folder), systemReason(errno));
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        *error = tr("%1 — не папка").arg(native(folder));
        return false;
    }
    if (::access(encoded(folder).constData(), W_OK | X_OK) != 0) {
        *error = tr("в папке %1 нельзя создать файл: %2").arg(native(folder), systemReason(errno));
        return false;
    }
    return true;
#endif
}

bool AtomicFile::write(const QString &path, const QByteArray &bytes, QString *error, Way *way)
{
    if (way)
        *way = Way::Replaced;
    if (!checkTarget(path, error))
        return false;
    const QString target = QFileInfo(writtenPath(path)).absoluteFilePath();
    const bool exists = QFileInfo::exists(target);
    // The new file's permissions: the old file's, or what a new file of this user gets.
    const QFile::Permissions permissions = exists ? QFile::permissions(target) : newFilePermissions();
#ifdef Q_OS_WIN
    QTemporaryFile temporary(target + QStringLiteral(".XXXXXX"));
    if (!temporary.open() || temporary.fileName().isEmpty()) {
        *error = tr("в папке %1 не удалось создать временный файл: %2")
                     .arg(native(folderOf(target)), temporary.errorString());
        return false;
    }
    if (temporary.write(bytes) != bytes.size() || !temporary.flush()
        || !FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(temporary.handle())))) {
        *error = tr("не удалось записать файл %1: %2").arg(native(target), temporary.errorString());
        return false;
    }
    temporary.close();
    temporary.setPermissions(permissions);
    if (!MoveFileExW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(temporary.fileName()).utf16()),
                     reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(target).utf16()),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        *error = tr("не удалось заменить файл %1 (код ошибки %2)").arg(native(target)).arg(GetLastError());
        return false;
    }
    temporary.setAutoRemove(false);
    return true;
#else
    struct stat before;
    const bool hadTime = exists && ::stat(encoded(target).constData(), &before) == 0;
    QByteArray temporaryName;
    const int fd = createTemporary(target, &temporaryName);
    if (fd < 0) {
        const int reason = errno;
        // The folder takes no new file (no right to create files there, no
        // room for a longer name beside it): an
        // existing file we may write is still written, in place.
        if (exists && (reason == EACCES || reason == EPERM || reason == ENAMETOOLONG)) {
            if (!rewriteInPlace(target, bytes, error))
                return false;
            if (way)
                *way = Way::InPlace;
            return true;
        }
        *error = tr("в папке %1 не удалось создать временный файл: %2").arg(native(folderOf(target)), systemReason(reason));
        return false;
    }
    const auto fail = [&](const QString &text) {
        ::unlink(temporaryName.constData());
        *error = text;
        return false;
    };
    if (!writeAll(fd, bytes) || ::fchmod(fd, modeOf(permissions)) != 0 || ::fsync(fd) != 0) {
        const int reason = errno;
        ::close(fd);
        return fail(tr("не удалось записать файл %1: %2").arg(native(target), systemReason(reason)));
    }
    // Readers that cache a file by its size and time (QSettings does) must
    // see new content even when the old file was written in the same clock
    // tick: the new file's time is always later than the old one's.
    struct stat written;
    if (hadTime && ::fstat(fd, &written) == 0) {
        const long long oldMs = before.st_mtim.tv_sec * 1000LL + before.st_mtim.tv_nsec / 1000000;
        const long long newMs = written.st_mtim.tv_sec * 1000LL + written.st_mtim.tv_nsec / 1000000;
        if (newMs <= oldMs) {
            const long long later = oldMs + 1;
            const timespec times[2] = {{0, UTIME_OMIT}, {time_t(later / 1000), long(later % 1000) * 1000000L}};
            ::futimens(fd, times);
        }
    }
    if (::close(fd) != 0)
        return fail(tr("не удалось записать файл %1: %2").arg(native(target), systemReason(errno)));
    if (std::rename(temporaryName.constData(), encoded(target).constData()) != 0)
        return fail(tr("не удалось заменить файл %1: %2").arg(native(target), systemReason(errno)));
    // The rename itself reaches the disk with the folder.
    const int folder = ::open(encoded(folderOf(target)).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
#endif
}

QString AtomicFile::writtenPath(const QString &fileName)
{
    QString path = fileName;
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
#ifdef Q_OS_WIN
    return QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
#else
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const mode_t mode = 0666 & ~mask;
    QFile::Permissions permissions;
    const std::pair<mode_t, QFile::Permission> bits[] = {
        {S_IRUSR, QFile::ReadOwner}, {S_IWUSR, QFile::WriteOwner}, {S_IRGRP, QFile::ReadGroup},
        {S_IWGRP, QFile::WriteGroup}, {S_IROTH, QFile::ReadOther}, {S_IWOTH, QFile::WriteOther},
    };
    for (const auto &bit : bits) {
        if (mode & bit.first)
            permissions |= bit.second;
    }
    // Qt's owner flags are the user's own on this system.
    if (permissions & QFile::ReadOwner)
        permissions |= QFile::ReadUser;
    if (permissions & QFile::WriteOwner)
        permissions |= QFile::WriteUser;
    return permissions;
#endif
}
