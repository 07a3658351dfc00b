// Whole files written through a temporary file: full disk, targets that are
// not regular files, missing folders, the in-place rewrite.
#include "AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

class TestAtomicFile : public QObject
{
    Q_OBJECT

private slots:
    void fullDiskKeepsOldFile();
    void failedInPlaceRewriteRestoresOldContent();
    void targetsThatAreNoRegularFileAreRefused();
    void missingFolderIsNamedWithTheReason();
    void newContentReplacesOldAndKeepsPermissions();
};

namespace {

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

bool put(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

struct ChildOutcome
{
    bool written = true;
    QString error;
    AtomicFile::Way way = AtomicFile::Way::Replaced;
};

// AtomicFile::write in a forked child whose files may grow to limit bytes at
// most (SIGXFSZ ignored, as on a full disk the write just fails).
ChildOutcome writeLimited(const QString &path, const QByteArray &bytes, rlim_t limit)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit tiny;
        ::getrlimit(RLIMIT_FSIZE, &tiny);
        tiny.rlim_cur = limit;
        ::setrlimit(RLIMIT_FSIZE, &tiny);
        QString error;
        AtomicFile::Way way = AtomicFile::Way::Replaced;
        const bool written = AtomicFile::write(path, bytes, &error, &way);
        const QByteArray report = QByteArray(written ? "1" : "0") + (way == AtomicFile::Way::InPlace ? "i" : "r")
                                  + error.toUtf8();
        if (::write(fds[1], report.constData(), size_t(report.size())) < 0)
            ::_exit(2);
        ::_exit(0);
    }
    ::close(fds[1]);
    QByteArray report;
    char buffer[512];
    ssize_t got;
    while ((got = ::read(fds[0], buffer, sizeof buffer)) > 0)
        report.append(buffer, int(got));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ChildOutcome outcome;
    outcome.written = report.startsWith('1');
    outcome.way = report.mid(1, 1) == "i" ? AtomicFile::Way::InPlace : AtomicFile::Way::Replaced;
    outcome.error = QString::fromUtf8(report.mid(2));
    return outcome;
}

QByteArray lines(int count, const char *what)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += what + QByteArray::number(i) + '\n';
    return bytes;
}

} // namespace

void TestAtomicFile::fullDiskKeepsOldFile()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("good.hrc417");
    const QByteArray old = lines(100, "old=");
    QVERIFY(put(file, old));

    const ChildOutcome outcome = writeLimited(file, lines(400, "new="), 1024);
    QVERIFY(!outcome.written);
    // The file and the system's reason are named.
    QVERIFY2(outcome.error.contains(file), qPrintable(outcome.error));
    QVERIFY2(outcome.error.contains(QString::fromLocal8Bit(std::strerror(EFBIG))), qPrintable(outcome.error));
    QCOMPARE(contentOf(file), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1); // no temporary left

    // A new file is not made at all.
    const QString fresh = dir.filePath("fresh.hrc417");
    QVERIFY(!writeLimited(fresh, lines(400, "new="), 1024).written);
    QVERIFY(!QFile::exists(fresh));
}

void TestAtomicFile::failedInPlaceRewriteRestoresOldContent()
{
    // A name so long that no temporary name fits beside it: the folder takes
    // no temporary file, the existing file is rewritten in place.
    QTemporaryDir dir;
    const QString file = dir.filePath(QString(245, QLatin1Char('n')) + ".hrc417");
    const QByteArray old = lines(10, "old=");
    QVERIFY(put(file, old));

    const ChildOutcome cut = writeLimited(file, lines(400, "new="), 1024);
    QVERIFY(!cut.written);
    QVERIFY2(cut.error.contains(QString::fromLocal8Bit(std::strerror(EFBIG))), qPrintable(cut.error));
    QCOMPARE(contentOf(file), old);

    const ChildOutcome whole = writeLimited(file, lines(20, "new="), 1024);
    QVERIFY2(whole.written, qPrintable(whole.error));
    QCOMPARE(whole.way, AtomicFile::Way::InPlace);
    QCOMPARE(contentOf(file), lines(20, "new="));

    // Shorter content leaves no tail of the longer one.
    QString error;
    AtomicFile::Way way = AtomicFile::Way::Replaced;
    QVERIFY2(AtomicFile::write(file, "short\n", &error, &way), qPrintable(error));
    QCOMPARE(way, AtomicFile::Way::InPlace);
    QCOMPARE(contentOf(file), QByteArray("short\n"));

    // A new file of such a name cannot be made safely: the folder and the reason.
    const QString other = dir.filePath(QString(245, QLatin1Char('m')) + ".hrc417");
    QVERIFY(!AtomicFile::write(other, "x", &error));
    QVERIFY2(error.contains(QDir::toNativeSeparators(dir.path())), qPrintable(error));
    QVERIFY2(error.contains(QString::fromLocal8Bit(std::strerror(ENAMETOOLONG))), qPrintable(error));
}

void TestAtomicFile::targetsThatAreNoRegularFileAreRefused()
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("pipe");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString folder = dir.filePath("folder.hrc417");
    QVERIFY(QDir().mkdir(folder));
    const QString socketPath = dir.filePath("sock");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    struct sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(socketPath).constData(), sizeof address.sun_path - 1);
    QCOMPARE(::bind(sock, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
    // A link to the pipe is followed and refused too.
    const QString link = dir.filePath("link.hrc417");
    QVERIFY(QFile::link(fifo, link));

    for (const QString &target : {fifo, folder, socketPath, link}) {
        QString error;
        QVERIFY(!AtomicFile::checkTarget(target, &error));
        QVERIFY2(!AtomicFile::write(target, "data\n", &error), qPrintable(target));
        QVERIFY2(error.contains(QDir::toNativeSeparators(AtomicFile::writtenPath(target))), qPrintable(error));
    }
    ::close(sock);
    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(fifo).constData(), &st), 0);
    QVERIFY(S_ISFIFO(st.st_mode));
    QVERIFY(QFileInfo(folder).isDir());
    QVERIFY(QFileInfo(link).isSymLink());
}

void TestAtomicFile::missingFolderIsNamedWithTheReason()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("missing");
    QString error;
    QVERIFY(!AtomicFile::checkTarget(folder + "/a.hrc417", &error));
    QVERIFY2(error.contains(QDir::toNativeSeparators(folder)), qPrintable(error));
    QVERIFY2(error.contains(QString::fromLocal8Bit(std::strerror(ENOENT))), qPrintable(error));
    QVERIFY(!AtomicFile::write(folder + "/a.hrc417", "x", &error));
    QVERIFY(!QFileInfo::exists(folder));
}

void TestAtomicFile::newContentReplacesOldAndKeepsPermissions()
{
    QTemporaryDir dir;
    const QString real = dir.filePath("real.csv");
    QVERIFY(put(real, "old\n"));
    QVERIFY(QFile::setPermissions(real, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    const QFile::Permissions permissions = QFile::permissions(real);
    const QString link = dir.filePath("link.csv");
    QVERIFY(QFile::link("real.csv", link));

    QString error;
    AtomicFile::Way way = AtomicFile::Way::InPlace;
    QVERIFY2(AtomicFile::write(link, lines(300, "v="), &error, &way), qPrintable(error));
    QCOMPARE(way, AtomicFile::Way::Replaced);
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(contentOf(real), lines(300, "v="));
    QCOMPARE(QFile::permissions(real), permissions);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 2);
}

QTEST_GUILESS_MAIN(TestAtomicFile)
#include "tst_atomicfile.moc"
