// The program's start-up and the switching between its two windows, as an
// engineer meets them: the parse-error box, the wizard first, the hand-over
// to the main window and back, help through F1 and the port preset.
#include "ConfigStore.h"
#include "ConfiguratorShell.h"
#include "HrcDocument.h"
#include "HrcTree.h"
#include "HrcTreeWin.h"
#include "OStagesMap.h"
#include "Wizard.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

namespace {

// Closes the next modal box and keeps its title and text.
struct BoxCatcher
{
    QString title;
    QString text;
    void arm()
    {
        QTimer::singleShot(0, [this] { poll(); });
    }
    void poll()
    {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            title = box->windowTitle();
            text = box->text();
            box->button(QMessageBox::Ok)->click();
            return;
        }
        QTimer::singleShot(10, [this] { poll(); });
    }
};

QList<QWidget *> visibleWindows()
{
    QList<QWidget *> shown;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible())
            shown << w;
    return shown;
}

void clickHidden(QWidget *window, const char *name)
{
    window->findChild<QAbstractButton *>(name)->click();
}

} // namespace

class HelpCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void unparsableDescriptionGivesBoxAndNoWindow();
    void styleSheetStopsAtZeroByte();
    void wizardIsTheFirstWindow();
    void switchingBetweenTheWindows();
    void helpOpensTheFileBesideTheProgram();
    void portPresetReachesTheWizard();
    void fileNamedAtStartOpensAtTheHandOver();

private:
    QTemporaryDir dir;
};

void TestStartup::initTestCase()
{
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.filePath("settings"));
}

void TestStartup::init()
{
    QDir(dir.filePath("settings")).removeRecursively();
}

void TestStartup::unparsableDescriptionGivesBoxAndNoWindow()
{
    const QString path = dir.filePath("broken.xml");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<?xml version=\"1.0\"?>\n<hrc417>\n  <allparams>\n  </allparam>\n</hrc417>\n");
    file.close();
    BoxCatcher box;
    box.arm();
    ConfiguratorShell shell(path);
    QVERIFY(!shell.isReady());
    QVERIFY(!shell.wizard());
    QVERIFY(!shell.mainWindow());
    QCOMPARE(box.title, QString("Конфигуратор HRC417"));
    const QStringList lines = box.text.split('\n');
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.at(0), QString("Ошибка разбора в строке 4, символ 13:"));
    QVERIFY(!lines.at(1).isEmpty());
    QVERIFY(visibleWindows().isEmpty());
}

void TestStartup::styleSheetStopsAtZeroByte()
{
    const QString path = dir.filePath("style.qss");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("QLabel { color: red; } /* ä */\0trailing", 38));
    file.close();
    QCOMPARE(ConfiguratorShell::styleSheet(path), QString::fromUtf8("QLabel { color: red; } /* ä */"));
    QCOMPARE(ConfiguratorShell::styleSheet(dir.filePath("missing.qss")), QString());
    QVERIFY(ConfiguratorShell::styleSheet(":/resources/style.qss").contains("#stageName"));
}

void TestStartup::wizardIsTheFirstWindow()
{
    ConfiguratorShell shell(QString::fromLatin1(HrcDocument::resourcePath));
    QVERIFY(shell.isReady());
    shell.show();
    QVERIFY(QTest::qWaitForWindowExposed(shell.wizard()));
    QCOMPARE(visibleWindows(), QList<QWidget *>{shell.wizard()});
    QCOMPARE(shell.wizard()->stagesMap()->current(), int(Wizard::stCommSettings));
    QVERIFY(!qApp->styleSheet().isEmpty());
    // Both windows start from the one parsed document.
    QVERIFY(shell.wizard()->document().documentElement() == shell.mainWindow()->tree()->document().documentElement());
}

void TestStartup::switchingBetweenTheWindows()
{
    ConfiguratorShell shell(QString::fromLatin1(HrcDocument::resourcePath));
    shell.show();
    Wizard *wizard = shell.wizard();
    HrcTreeWin *main = shell.mainWindow();
    QTest::mouseClick(wizard->findChild<QCheckBox *>("workOfflineCheckBox"), Qt::LeftButton, Qt::NoModifier,
                      QPoint(8, 8));
    wizard->tree()->paramValue("timescan", "700");
    QTest::mouseClick(wizard->findChild<QAbstractButton *>("showAllParamButton"), Qt::LeftButton);
    QVERIFY(QTest::qWaitForWindowExposed(main));
    QCOMPARE(visibleWindows(), QList<QWidget *>{main});
    QCOMPARE(main->tree()->paramValue("timescan"), QString("700"));

    // Back from the main window, from whatever stage, to the communication page.
    wizard->stagesMap()->setStage(Wizard::stPumpC1Settings);
    main->tree()->paramValue("timescan", "900");
    QTest::mouseClick(main->toolButton(1), Qt::LeftButton);
    QVERIFY(QTest::qWaitForWindowExposed(wizard));
    QCOMPARE(visibleWindows(), QList<QWidget *>{wizard});
    QCOMPARE(wizard->stagesMap()->current(), int(Wizard::stCommSettings));
    QCOMPARE(wizard->findChild<QStackedWidget *>("stackedWidget")->currentWidget()->objectName(), QString("commPage"));
    // The values stored at the hand-over are restored.
    QCOMPARE(wizard->tree()->paramValue("timescan"), QString("700"));

    // The exit button ends the run: no window is left.
    clickHidden(wizard, "exitButton");
    QVERIFY(visibleWindows().isEmpty());
    QSettings ini(QSettings::IniFormat, QSettings::UserScope, "KAVU/ConfigHrc417", "Hrc417");
    QVERIFY(ini.contains("wizardWindowGeometry"));
}

void TestStartup::helpOpensTheFileBesideTheProgram()
{
    // Where the compiled help file lies beside the program (the Windows
    // installation), F1 hands it to the desktop; without it the program's own
    // help window opens (tst_help).
    QFile chm(QCoreApplication::applicationDirPath() + "/hrc417.chm");
    QVERIFY(chm.open(QIODevice::WriteOnly));
    chm.close();
    HelpCatcher help;
    QDesktopServices::setUrlHandler("file", &help, "open");
    ConfiguratorShell shell(QString::fromLatin1(HrcDocument::resourcePath));
    shell.show();
    QVERIFY(QTest::qWaitForWindowActive(shell.wizard()));
    const QString before = QDir::currentPath();
    QDir::setCurrent(dir.path());
    QTest::keyClick(shell.wizard(), Qt::Key_F1);
    QDir::setCurrent(before);
    QDesktopServices::unsetUrlHandler("file");
    chm.remove();
    QCOMPARE(help.urls.size(), 1);
    QCOMPARE(help.urls.at(0).toLocalFile(), QCoreApplication::applicationDirPath() + "/hrc417.chm");
}

void TestStartup::portPresetReachesTheWizard()
{
    {
        QSettings ini(QSettings::IniFormat, QSettings::UserScope, "KAVU/ConfigHrc417", "Hrc417");
        ini.setValue("hrc417/bPS", "3");
        ini.setValue("hrc417/Port", "/dev/ttyS3");
    }
    ConfiguratorShell shell(QString::fromLatin1(HrcDocument::resourcePath), "/dev/pts/77");
    QCOMPARE(shell.wizard()->tree()->paramValue("Port"), QString("/dev/pts/77"));
    QCOMPARE(shell.mainWindow()->tree()->paramValue("Port"), QString("/dev/pts/77"));
    QTreeWidgetItem *row = shell.wizard()->tree()->findItem("Port");
    QVERIFY(row);
    QCOMPARE(row->text(1), QString("/dev/pts/77"));
}

// The program started with a configuration file (a double-click on it): the
// wizard comes first as always, and the file is opened in the main window at
// the hand-over, its values shown as changes to write. A file that cannot be
// read is told, and the main window still opens.
void TestStartup::fileNamedAtStartOpensAtTheHandOver()
{
    QString error;
    HrcDocument saved = HrcDocument::load(QString::fromLatin1(HrcDocument::resourcePath), &error);
    QVERIFY2(!saved.isNull(), qPrintable(error));
    saved.paramValue("Tin.F", "25");
    const QString file = dir.filePath("boiler house 3.hrc417");
    QVERIFY2(ConfigStore::saveFile(saved.allParams(), file, &error), qPrintable(error));

    for (const QString &named : {file, dir.filePath("missing.hrc417")}) {
        init(); // no last configuration from the run before
        ConfiguratorShell shell(QString::fromLatin1(HrcDocument::resourcePath));
        shell.openWhenHandedOver(named);
        shell.show();
        Wizard *wizard = shell.wizard();
        HrcTreeWin *main = shell.mainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(wizard));
        QCOMPARE(main->tree()->paramValue("Tin.F"), QString("10"));
        QTest::mouseClick(wizard->findChild<QCheckBox *>("workOfflineCheckBox"), Qt::LeftButton, Qt::NoModifier,
                          QPoint(8, 8));
        BoxCatcher box;
        if (named != file)
            box.arm();
        QTest::mouseClick(wizard->findChild<QAbstractButton *>("showAllParamButton"), Qt::LeftButton);
        QVERIFY(QTest::qWaitForWindowExposed(main));
        if (named == file) {
            QCOMPARE(main->tree()->paramValue("Tin.F"), QString("25"));
            QVERIFY(HrcTree::isChangedItem(main->tree()->findItem("Tin.F")));
        } else {
            QTRY_VERIFY(box.text.startsWith(QString("Ошибка чтение файла %1").arg(named)));
            QCOMPARE(main->tree()->paramValue("Tin.F"), QString("10"));
        }
        // Back in the wizard and over again: the file is not opened twice.
        QTest::mouseClick(main->toolButton(1), Qt::LeftButton);
        QVERIFY(QTest::qWaitForWindowExposed(wizard));
        wizard->tree()->paramValue("Tin.F", "11");
        QTest::mouseClick(wizard->findChild<QAbstractButton *>("showAllParamButton"), Qt::LeftButton);
        QVERIFY(QTest::qWaitForWindowExposed(main));
        QCOMPARE(main->tree()->paramValue("Tin.F"), QString("11"));
    }
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
