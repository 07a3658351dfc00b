// Configuration files and the last-configuration store.
#include "ConfigStore.h"
#include "IniText.h"
#include "IoTestSupport.h"
#include "QtCompat.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>
#include <sys/resource.h>

class TestConfigStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void saveChangeOpenRestoresValuesButKeepsCommParams();
    void fileHoldsOneEntryPerParameter();
    void restoreRules();
    void fileWithoutGroupGivesFactoryValues();
    void lastConfigurationGetsTheSameContent();
    void failedSaveLeavesOldFileIntact();
    void unreadableFileLeavesDocumentUnchanged();
    void saveThroughLinkKeepsTargetAndPermissions();
    void newFileFollowsTheUmask();
    void fileIsSavedWhereNoTemporaryFileFits();
    void iniTextIsWhatQSettingsWrites();
    void emptyAndBrokenEntriesAreNamed();
    void lastConfigurationKeepsOtherSettingsAndSurvivesFullDisk();

private:
    QTemporaryDir dir;
};

void TestConfigStore::initTestCase()
{
    QVERIFY(dir.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.filePath("user"));
}

void TestConfigStore::saveChangeOpenRestoresValuesButKeepsCommParams()
{
    HrcDocument doc = iotest::loadDocument();
    doc.paramValue("Tin.F", "33");
    doc.paramValue("Grtp[0]", "-20,5;85");
    doc.paramValue("Tm.dy", "06:30:00");
    doc.paramValue("Node[0]", "3");
    doc.paramValue("Addr", "17");
    const QString file = dir.filePath("a.hrc417");
    QString error;
    QVERIFY2(ConfigStore::saveFile(doc.allParams(), file, &error), qPrintable(error));

    doc.paramValue("Tin.F", "44");
    doc.paramValue("Grtp[0]", "1;2");
    doc.paramValue("Tm.dy", "01:00:00");
    doc.paramValue("Node[0]", "1");
    doc.paramValue("Addr", "99");
    QVERIFY(ConfigStore::openFile(doc.allParams(), file, &error));
    QCOMPARE(doc.paramValue("Tin.F"), QString("33"));
    QCOMPARE(doc.paramValue("Grtp[0]"), QString("-20,5;85"));
    QCOMPARE(doc.paramValue("Tm.dy"), QString("06:30:00"));
    QCOMPARE(doc.paramValue("Node[0]"), QString("3"));
    QCOMPARE(doc.paramValue("Addr"), QString("99")); // communication parameters are kept
}

void TestConfigStore::fileHoldsOneEntryPerParameter()
{
    HrcDocument doc = iotest::loadDocument();
    doc.paramValue("Grtp[0]", "-20,5;85");
    const QString file = dir.filePath("entries.hrc417");
    QString error;
    QVERIFY(ConfigStore::saveFile(doc.allParams(), file, &error));
    QSettings s(file, QSettings::IniFormat);
    QCOMPARE(s.childGroups(), QStringList{"hrc417"});
    s.beginGroup("hrc417");
    QCOMPARE(s.childKeys().size(), 176);
    // A value never set is saved as the factory value opening would give.
    QVERIFY(doc.paramValue("bPS").isEmpty());
    QCOMPARE(s.value("bPS").toString(), doc.findParameter("bPS").attribute("defaultvalue"));
    QVERIFY(!s.value("bPS").toString().isEmpty());
    QCOMPARE(s.value("Port").toString(), QString("COM1"));
    QCOMPARE(s.value("Grtp[0]").toString(), QString("-20,5;85"));
    QVERIFY(s.contains("r.cor:0"));
    QCOMPARE(s.value("Dev").toString(), QString()); // an empty value is an empty string
}

void TestConfigStore::restoreRules()
{
    const QString file = dir.filePath("rules.hrc417");
    {
        QSettings s(file, QSettings::IniFormat);
        s.setValue("hrc417/Beep", "7");          // two entries: index 7 is none of them
        s.setValue("hrc417/Node[0]", "6");       // entries "1;2;3;4;5"
        s.setValue("hrc417/Node[1]", "4");       // a valid entry text
        s.setValue("hrc417/D.o1", "-1");
        s.setValue("hrc417/Port", "ttyUSB0");    // any port name is kept
        s.setValue("hrc417/Ugr", "1");
        s.setValue("hrc417/Ind.i", "");          // empty: factory value
    }
    HrcDocument doc = iotest::loadDocument();
    doc.paramValue("Tin.F", "55");
    QSettings s(file, QSettings::IniFormat);
    ConfigStore::restoreValues(doc.allParams(), s, false);
    QCOMPARE(doc.paramValue("Beep"), QString("1"));
    QCOMPARE(doc.paramValue("Node[0]"), QString("5"));
    QCOMPARE(doc.paramValue("Node[1]"), QString("4"));
    QCOMPARE(doc.paramValue("D.o1"), doc.findParameter("D.o1").attribute("defaultvalue"));
    QCOMPARE(doc.paramValue("Port"), QString("ttyUSB0"));
    QCOMPARE(doc.paramValue("Ugr"), QString("1"));
    QCOMPARE(doc.paramValue("Tin.F"), QString("10")); // no entry: factory value
    QCOMPARE(doc.paramValue("Ind.i"), doc.findParameter("Ind.i").attribute("defaultvalue"));
}

void TestConfigStore::fileWithoutGroupGivesFactoryValues()
{
    const QString file = dir.filePath("other.ini");
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[General]\nsomething=1\n");
    }
    HrcDocument doc = iotest::loadDocument();
    doc.paramValue("Tin.F", "55");
    doc.paramValue("Addr", "20");
    QString error;
    QVERIFY(ConfigStore::openFile(doc.allParams(), file, &error));
    QCOMPARE(doc.paramValue("Tin.F"), QString("10"));
    QCOMPARE(doc.paramValue("Addr"), QString("20"));
}

void TestConfigStore::lastConfigurationGetsTheSameContent()
{
    HrcDocument doc = iotest::loadDocument();
    doc.paramValue("Tin.F", "21");
    doc.paramValue("bPS", "6");
    QVERIFY(ConfigStore::saveLastConfiguration(doc.allParams()));
    std::unique_ptr<QSettings> store = ConfigStore::lastConfiguration();
    QVERIFY(store->fileName().startsWith(dir.filePath("user")));
    QVERIFY(store->fileName().endsWith("KAVU/ConfigHrc417/Hrc417.ini"));
    QCOMPARE(store->value("hrc417/Tin.F").toString(), QString("21"));
    QCOMPARE(store->value("hrc417/bPS").toString(), QString("6"));

    HrcDocument other = iotest::loadDocument();
    ConfigStore::restoreValues(other.allParams(), *store, false);
    QCOMPARE(other.paramValue("bPS"), QString("6")); // the wizard restores communication too
    QCOMPARE(other.paramValue("Tin.F"), QString("21"));
}

void TestConfigStore::failedSaveLeavesOldFileIntact()
{
    QTemporaryDir sub;
    const QString file = sub.filePath("keep.hrc417");
    HrcDocument doc = iotest::loadDocument();
    doc.paramValue("Tin.F", "31");
    QString error;
    QVERIFY(ConfigStore::saveFile(doc.allParams(), file, &error));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();
    const QFile::Permissions permissions = QFile::permissions(file);

    // The file system refuses to write more than a few bytes (as a full disk
    // would): the new content cannot be written, so the old file must stay.
    struct rlimit old;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit tiny = old;
    tiny.rlim_cur = 1024; // Qt reports success after a failed last flush here
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    doc.paramValue("Tin.F", "32");
    const bool saved = ConfigStore::saveFile(doc.allParams(), file, &error);
    setrlimit(RLIMIT_FSIZE, &old);
    QVERIFY(!saved);
    QVERIFY(!error.isEmpty());
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
    f.close();
    QCOMPARE(QFile::permissions(file), permissions);
    QCOMPARE(QDir(sub.path()).entryList(QDir::Files | QDir::Hidden).size(), 1); // no temporary left
}

void TestConfigStore::unreadableFileLeavesDocumentUnchanged()
{
    HrcDocument doc = iotest::loadDocument();
    doc.paramValue("Tin.F", "44");
    QString error;
    QVERIFY(!ConfigStore::openFile(doc.allParams(), dir.filePath("missing.hrc417"), &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(doc.paramValue("Tin.F"), QString("44"));
}

namespace {
QString tinFOf(const QString &file)
{
    QSettings settings(file, QSettings::IniFormat);
    return settings.value("hrc417/Tin.F").toString();
}
} // namespace

void TestConfigStore::saveThroughLinkKeepsTargetAndPermissions()
{
    QTemporaryDir sub;
    const QString real = sub.filePath("real.hrc417");
    const QString link = sub.filePath("link.hrc417");
    HrcDocument doc = iotest::loadDocument();
    doc.paramValue("Tin.F", "21");
    QString error;
    QVERIFY(ConfigStore::saveFile(doc.allParams(), real, &error));
    QVERIFY(QFile::setPermissions(real, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    const QFile::Permissions permissions = QFile::permissions(real);
    QVERIFY(QFile::link("real.hrc417", link)); // relative, as people make them

    doc.paramValue("Tin.F", "22");
    QVERIFY2(ConfigStore::saveFile(doc.allParams(), link, &error), qPrintable(error));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(tinFOf(real), QString("22"));
    QCOMPARE(QFile::permissions(real), permissions);
    QCOMPARE(QDir(sub.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 2);
}

void TestConfigStore::newFileFollowsTheUmask()
{
    QTemporaryDir sub;
    HrcDocument doc = iotest::loadDocument();
    QString error;
    const mode_t old = ::umask(0027);
    const bool saved = ConfigStore::saveFile(doc.allParams(), sub.filePath("group.hrc417"), &error);
    ::umask(0002);
    const bool savedShared = ConfigStore::saveFile(doc.allParams(), sub.filePath("shared.hrc417"), &error);
    ::umask(old);
    QVERIFY(saved && savedShared);
    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(sub.filePath("group.hrc417")).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 0777), 0640);
    QCOMPARE(::stat(QFile::encodeName(sub.filePath("shared.hrc417")).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 0777), 0664);
}

void TestConfigStore::fileIsSavedWhereNoTemporaryFileFits()
{
    // A name so long that no temporary name beside it fits the file system's
    // limit: the directory cannot take the temporary file, the file itself
    // can be written.
    QTemporaryDir sub;
    const QString file = sub.filePath(QString(245, QLatin1Char('n')) + ".hrc417");
    HrcDocument doc = iotest::loadDocument();
    doc.paramValue("Tin.F", "23");
    {
        QFile empty(file);
        QVERIFY(empty.open(QIODevice::WriteOnly));
    }
    QString error;
    QVERIFY2(ConfigStore::saveFile(doc.allParams(), file, &error), qPrintable(error));
    QCOMPARE(tinFOf(file), QString("23"));
    // A new file of that name cannot be made safely: refused with the reason.
    const QString other = sub.filePath(QString(245, QLatin1Char('m')) + ".hrc417");
    QVERIFY(!ConfigStore::saveFile(doc.allParams(), other, &error));
    QVERIFY(!error.isEmpty());
}

void TestConfigStore::iniTextIsWhatQSettingsWrites()
{
    // Values of every kind a file can hold, and keys that need escaping.
    IniText::Entries entries;
    const QStringList texts = {
        "", "plain", "-20,5;85", "a=b", " lead", "trail ", "\"quoted\"", "back\\slash", "line\nbreak\ttab",
        "@at", "Котёл №1", "\x01" "1f", "x\x7f" "a", "π≈3", "semi;colon", "ünï", "\xe2\x82\xac" "5",
    };
    for (int i = 0; i < texts.size(); ++i)
        entries.insert(QStringLiteral("hrc417/K%1[%1]:x").arg(i), texts.at(i));
    entries.insert("hrc417/Имя", "v");
    entries.insert("hrc417/sub/key", "nested");
    entries.insert("General", "top");
    entries.insert("general/x", "1");
    entries.insert("a.b/x", "2");
    entries.insert("a/x", QStringList{"p", "q,r"});
    entries.insert("hrc417/empty list", QStringList{});
    entries.insert("Window/geometry", QByteArray("\x01\xd9\xd0\xcb\x00\x03@(,=\"\\", 12));
    entries.insert("Window/rect", QRect(1, 2, 30, 40));
    entries.insert("Window/size", QSize(5, 6));
    entries.insert("Window/at", QPoint(-7, 8));
    entries.insert("Window/when", QDateTime(QDate(2024, 5, 1), QTime(10, 0)));
    entries.insert("Window/keep", 200);
    entries.insert("Window/on", true);
    entries.insert("Window/null", QString(QChar::Null) + "x");

    for (const bool utf8 : {false, true}) {
        if (!utf8 && QtCompat::iniAlwaysUtf8)
            continue; // this Qt writes UTF-8 whatever it is told
        const QString file = dir.filePath(utf8 ? "qt-utf8.ini" : "qt-plain.ini");
        {
            QSettings qt(file, QSettings::IniFormat);
            if (utf8)
                QtCompat::useUtf8(qt);
            for (auto it = entries.cbegin(); it != entries.cend(); ++it)
                qt.setValue(it.key(), it.value());
        }
        QFile written(file);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(IniText::make(entries, utf8)), QString::fromUtf8(written.readAll()));
    }

    // A saved document file, too.
    HrcDocument doc = iotest::loadDocument();
    const QString saved = dir.filePath("saved.hrc417");
    doc.paramValue("Grtp[0]", "-20,5;85");
    QString error;
    QVERIFY(ConfigStore::saveFile(doc.allParams(), saved, &error));
    const QString byQt = dir.filePath("byqt.hrc417");
    {
        QSettings qt(byQt, QSettings::IniFormat);
        ConfigStore::storeValues(doc.allParams(), qt);
    }
    QFile a(saved), b(byQt);
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    QCOMPARE(a.readAll(), b.readAll());
}

void TestConfigStore::emptyAndBrokenEntriesAreNamed()
{
    // What the program saves itself opens without a word, values never set
    // and read-only ones included.
    HrcDocument doc = iotest::loadDocument();
    doc.paramValue("Dev", "");
    const QString saved = dir.filePath("own.hrc417");
    QString error;
    QVERIFY(ConfigStore::saveFile(doc.allParams(), saved, &error));
    QVERIFY(QFile(saved).size() > 0);
    QStringList faults{"stale"};
    QVERIFY(ConfigStore::openFile(doc.allParams(), saved, &error, &faults));
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));

    const QString file = dir.filePath("faulty.hrc417");
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[other]\nBeep=\n\n[hrc417]\nTin.F=12\nBeep=\nT.sp%5B0%5D=\"6\nDev=\nAddr=\n"
                "Grtp%5B0%5D=\"-20,5;85\"\nT.sp%5B1%5D=\"\"\n");
    }
    const QVector<ConfigStore::EntryFault> found = ConfigStore::entryFaults(file);
    QCOMPARE(found.size(), 5);
    QCOMPARE(found.at(0).line, 6);
    QCOMPARE(found.at(0).name, QString("Beep"));
    QVERIFY(found.at(0).empty);
    QCOMPARE(found.at(1).line, 7);
    QCOMPARE(found.at(1).name, QString("T.sp[0]"));
    QVERIFY(!found.at(1).empty);
    QCOMPARE(found.at(4).name, QString("T.sp[1]"));
    QVERIFY(found.at(4).empty);

    doc.paramValue("Beep", "0");
    doc.paramValue("T.sp[1]", "40");
    QVERIFY(ConfigStore::openFile(doc.allParams(), file, &error, &faults));
    // Dev (read-only) and Addr (a link setting) are left out.
    QCOMPARE(faults, (QStringList{"строка 6: Beep — пустое значение", "строка 7: T.sp[0] — нарушены кавычки",
                                  "строка 11: T.sp[1] — пустое значение"}));
    // The rule stays: an empty entry takes the factory value.
    QCOMPARE(doc.paramValue("Beep"), doc.findParameter("Beep").attribute("defaultvalue"));
    QCOMPARE(doc.paramValue("T.sp[1]"), doc.findParameter("T.sp[1]").attribute("defaultvalue"));
    QCOMPARE(doc.paramValue("Tin.F"), QString("12"));
}

void TestConfigStore::lastConfigurationKeepsOtherSettingsAndSurvivesFullDisk()
{
    HrcDocument doc = iotest::loadDocument();
    {
        const std::unique_ptr<QSettings> store = ConfigStore::lastConfiguration();
        store->setValue("BackupKeep", 7);
        store->setValue("Report/engineer", "Иванов И. И.");
    }
    doc.paramValue("Tin.F", "24");
    QString error;
    QVERIFY2(ConfigStore::saveLastConfiguration(doc.allParams(), &error), qPrintable(error));
    const QString path = ConfigStore::lastConfiguration()->fileName();
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();
    {
        const std::unique_ptr<QSettings> store = ConfigStore::lastConfiguration();
        QCOMPARE(store->value("BackupKeep").toInt(), 7);
        QCOMPARE(store->value("Report/engineer").toString(), QString("Иванов И. И."));
        QCOMPARE(store->value("hrc417/Tin.F").toString(), QString("24"));
    }

    struct rlimit old;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit tiny = old;
    tiny.rlim_cur = 1024;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    doc.paramValue("Tin.F", "25");
    const bool saved = ConfigStore::saveLastConfiguration(doc.allParams(), &error);
    setrlimit(RLIMIT_FSIZE, &old);
    QVERIFY(!saved);
    QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
}

QTEST_GUILESS_MAIN(TestConfigStore)
#include "tst_configstore.moc"
