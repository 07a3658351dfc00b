#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QString>

// Every whole file the programs write goes through here: the bytes go to a
// temporary file beside the target, every write is checked, the data are
// flushed to the disk (fsync), and only then does the temporary file replace
// the target. Any failure leaves the old file as it was and is reported with
// the file's name and the system's reason. Qt's QSaveFile::commit() and
// QSettings::status() can report success after a failed last flush (a full
// disk, a file size limit), so neither is used for this. Any thread.
class AtomicFile
{
    Q_DECLARE_TR_FUNCTIONS(AtomicFile)

public:
    // How write() put the bytes on the disk.
    enum class Way {
        Replaced, // a complete new file replaced the old one (or was created)
        InPlace,  // the folder takes no new file: the old file was rewritten
    };

    // Checks that path may be written: an existing target (after following
    // symbolic links) must be a regular file we may write; a new one needs a
    // folder that exists and takes new files. false with *error naming the
    // file or folder and the reason.
    static bool checkTarget(const QString &path, QString *error);

    // Writes bytes as the whole content of path (see above). A symbolic link
    // is written through: its target gets the content, the link stays. The
    // target keeps its permissions; a new file gets those of the user's
    // file-creation mask. Where the folder takes no temporary file, an
    // existing file is rewritten in place, and if that fails its old content
    // is written back; *way (when given) says which way the file was saved.
    static bool write(const QString &path, const QByteArray &bytes, QString *error, Way *way = nullptr);

    // The file a write of fileName writes: the end of its chain of links.
    static QString writtenPath(const QString &fileName);
    // The permissions a new file of this process gets (0666 less the umask).
    static QFile::Permissions newFilePermissions();
};
