// The wizard as an engineer uses it: clicks on its real widgets, exchanges
// with hrc417-sim on a pseudo-terminal, the settings store in a temporary
// directory. The guided pages behind the hidden forward button are driven
// through the same buttons (click() works on hidden buttons) and the stage
// machine.
#include "DeviceSearchDialog.h"
#include "FlyTranslator.h"
#include "HrcTree.h"
#include "IoTestSupport.h"
#include "KavuIOhelper.h"
#include "OStagesMap.h"
#include "Wizard.h"
#include "WorkspaceTestSupport.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QCommandLinkButton>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QHeaderView>
#include <QProcess>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QToolTip>
#include <QSpinBox>
#include <QtTest>

#include <memory>

// The hand-over signals carry the document.
Q_DECLARE_METATYPE(QDomDocument)

namespace {

template <typename T>
T *child(QWidget *w, const char *name)
{
    T *found = w->findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no widget %s", name);
    return found;
}

QString currentPage(Wizard *w)
{
    return child<QStackedWidget>(w, "stackedWidget")->currentWidget()->objectName();
}

QString currentButtons(Wizard *w)
{
    return child<QStackedWidget>(w, "buttonsStackedWidget")->currentWidget()->objectName();
}

QString text(Wizard *w, const char *label)
{
    return child<QLabel>(w, label)->text();
}


// Types the name into the file dialog and presses Enter, as a person does.
void typeFileName(QFileDialog *dialog, const QString &name)
{
    auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit);
    edit->setText(name);
    QTest::keyClick(edit, Qt::Key_Return);
}

void click(Wizard *w, const char *button)
{
    auto *b = child<QAbstractButton>(w, button);
    if (b->isVisible() && b->inherits("QCheckBox"))
        QTest::mouseClick(b, Qt::LeftButton, Qt::NoModifier, QPoint(8, b->height() / 2)); // on the box itself
    else if (b->isVisible())
        QTest::mouseClick(b, Qt::LeftButton);
    else
        b->click(); // the hidden navigation buttons
}

bool checked(Wizard *w, const char *box)
{
    return child<QCheckBox>(w, box)->isChecked();
}

// The value column of the tree row that shows the parameter.
QString shownValue(Wizard *w, const QString &name)
{
    QTreeWidgetItem *item = w->tree()->findItem(name);
    return item ? item->text(w->tree()->columnCount() == 2 ? 1 : 2) : QStringLiteral("<no row>");
}

// Edits a value on the wizard's tree as a person does: double-click on the
// value, type, Enter.
void editOnTree(Wizard *w, const QString &name, const QString &text)
{
    HrcTree *tree = w->tree();
    QTreeWidgetItem *item = tree->findItem(name);
    QVERIFY(item);
    tree->scrollToItem(item);
    const int column = 2;
    const QRect row = tree->visualItemRect(item);
    const QPoint pos(tree->header()->sectionViewportPosition(column) + 10, row.center().y());
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, pos);
    QLineEdit *edit = nullptr;
    QVERIFY(QTest::qWaitFor([&]() {
        for (QLineEdit *e : tree->viewport()->findChildren<QLineEdit *>())
            if (e->isVisible())
                edit = e;
        return edit != nullptr;
    }, 3000));
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_COMPARE(tree->paramValue(name), text);
}

QString logText(Wizard *w)
{
    return w->findChild<QTextEdit *>("logTextEdit")->toPlainText();
}

} // namespace

class TestWizard : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void firstStartShowsCommunicationPage();
    void checkConnectionListsDeviceTexts();
    void deviceTextIsShownAsPlainText();
    void silentPortOffersRetryAndReturn();
    void cancelEndsTheJob();
    void editCommunicationSettings();
    void linkPageEditsAreUsedAtOnceAndFailuresSayWhy();
    void offlineHandOverReadsNothing();
    void handOverAndBackRestoresStoredValues();
    void restoreRulesForStoredValues();
    void languageSwitchChangesTextsAtOnce();
    void contourChoiceRules();
    void contourLeaveRulesAndPaths();
    void pumpPagesWriteCountsTheDeviceAccepts();
    void additionalPagesListTheirParameters();
    void forwardStepWritesToTheDevice();
    void writeTheDeviceDidNotTakeStopsWithTheCounts();
    void failedWriteRetriesTheSameJob();
    void finalPageSavesConfiguration();
    void screenshots();
    void emptiedGuidedFieldsKeepTheirValues();
    void languageSwitchKeepsTheEditablePage();
    void offlineCheckSaysNoCheckWasMade();
    void findDeviceTakesItsAddressIntoTheLinkSettings();

private:
    std::unique_ptr<Wizard> makeWizard(FlyTranslator *translator = nullptr);
    void connectToSimulator(Wizard *w);
    bool runJob(Wizard *w, const char *button);
    void goOfflineTo(Wizard *w, int stage);

    QTemporaryDir settingsDir;
    std::unique_ptr<iotest::Simulator> sim;
    QString iniPath;
};

void TestWizard::initTestCase()
{
    qRegisterMetaType<QDomDocument>();
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    iniPath = settingsDir.path() + "/KAVU/ConfigHrc417/Hrc417.ini";
    sim.reset(new iotest::Simulator);
    QVERIFY2(sim->started(), qPrintable(sim->error()));
}

void TestWizard::init()
{
    QFile::remove(iniPath);
}

void TestWizard::cleanupTestCase()
{
    sim.reset();
}

std::unique_ptr<Wizard> TestWizard::makeWizard(FlyTranslator *translator)
{
    HrcDocument doc = iotest::loadDocument();
    auto w = std::make_unique<Wizard>(doc.document(), translator);
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get()))
        qWarning("wizard not exposed");
    return w;
}

void TestWizard::connectToSimulator(Wizard *w)
{
    w->presetPort(sim->path());
    w->tree()->paramValue("TimeOut", "3");
}

bool TestWizard::runJob(Wizard *w, const char *button)
{
    QSignalSpy finished(w->ioHelper(), &KavuIOhelper::kavuIOFinished);
    click(w, button);
    return finished.wait(30000);
}

void TestWizard::goOfflineTo(Wizard *w, int stage)
{
    click(w, "workOfflineCheckBox");
    w->stagesMap()->setStage(stage);
}

void TestWizard::firstStartShowsCommunicationPage()
{
    QVERIFY(!QFile::exists(iniPath));
    auto w = makeWizard();
    QCOMPARE(w->size(), QSize(1000, 625));
    QVERIFY(w->windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stCommSettings));
    QCOMPARE(currentPage(w.get()), QString("commPage"));
    QCOMPARE(currentButtons(w.get()), QString("wizardButtonsPage"));
    QCOMPARE(text(w.get(), "stageName"), QString("Связь с прибором"));
    QCOMPARE(text(w.get(), "stageActionName"), QString("Укажите параметры связи с прибором"));
    for (const char *hidden : {"prevButton", "nextButton", "readyButton"})
        QVERIFY2(!child<QWidget>(w.get(), hidden)->isVisible(), hidden);
    for (const char *shown : {"checkCommParamButton", "editCommParamButton", "showAllParamButton", "workOfflineCheckBox"})
        QVERIFY2(child<QWidget>(w.get(), shown)->isVisible(), shown);
    // No language files beside the test program: no language control.
    QVERIFY(!child<QWidget>(w.get(), "langFrame")->isVisible());
    // The summary shows the factory communication settings.
    QCOMPARE(w->tree()->columnCount(), 2);
    QCOMPARE(shownValue(w.get(), "Port"), QString("COM1"));
    QCOMPARE(w->tree()->paramValue("Addr"), w->tree()->findParameter("Addr").attribute("defaultvalue"));
    QCOMPARE(w->tree()->paramValue("T.sp[0]"), QString("55,0"));
}

void TestWizard::checkConnectionListsDeviceTexts()
{
    auto w = makeWizard();
    connectToSimulator(w.get());
    QSignalSpy finished(w->ioHelper(), &KavuIOhelper::kavuIOFinished);
    click(w.get(), "checkCommParamButton");
    // While the job runs: the progress page with only "Отменить".
    QCOMPARE(currentPage(w.get()), QString("checkConnPage"));
    QCOMPARE(currentButtons(w.get()), QString("commResButtons"));
    QVERIFY(child<QWidget>(w.get(), "abortIOButton")->isVisible());
    QVERIFY(!child<QWidget>(w.get(), "retryCommButton")->isVisible());
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stGetDeviceInfo));
    QVERIFY(finished.wait(30000));
    QCOMPARE(finished.at(0).at(1).toInt(), 0);

    QCOMPARE(currentPage(w.get()), QString("checkConnPage"));
    QCOMPARE(text(w.get(), "commCheckTitle"), QString("Связь с прибором установлена."));
    const QString log = child<QTextEdit>(w.get(), "logTextEdit")->toPlainText();
    const QStringList lines = log.split('\n');
    QVERIFY(!w->tree()->paramValue("Dev").isEmpty());
    QCOMPARE(lines.value(0), "Наименование прибора: " + w->tree()->paramValue("Dev"));
    QCOMPARE(lines.value(1), "Версия программы прибора: " + w->tree()->paramValue("ver"));
    QCOMPARE(lines.value(2), "Версия протокола обмена: " + w->tree()->paramValue("p.ver"));
    QVERIFY(log.contains("перевести его в режим \"Останов\""));
    // The warning stands out in bold (the text's format, not Qt's HTML for it).
    bool boldWarning = false;
    const QTextDocument *document = child<QTextEdit>(w.get(), "logTextEdit")->document();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.text().contains("Останов"))
                boldWarning = fragment.charFormat().fontWeight() >= QFont::Bold;
        }
    }
    QVERIFY(boldWarning);
    QVERIFY(child<QWidget>(w.get(), "editAllParamButton")->isVisible());
    QVERIFY(!child<QWidget>(w.get(), "movieLabel")->isVisible());
}

void TestWizard::deviceTextIsShownAsPlainText()
{
    // A device whose name is markup: the log shows it, never renders it.
    const QString state = settingsDir.path() + "/markup-device.ini";
    QSettings(state, QSettings::IniFormat).setValue("hrc417/Dev", "<h1>HRC</h1>");
    iotest::Simulator markup({"--state", state});
    QVERIFY2(markup.started(), qPrintable(markup.error()));
    auto w = makeWizard();
    w->presetPort(markup.path());
    w->tree()->paramValue("TimeOut", "3");
    QVERIFY(runJob(w.get(), "checkCommParamButton"));
    auto *log = child<QTextEdit>(w.get(), "logTextEdit");
    QCOMPARE(log->toPlainText().split('\n').value(0), QString("Наименование прибора: <h1>HRC</h1>"));
    QVERIFY(log->toPlainText().contains("перевести его в режим \"Останов\""));
}

void TestWizard::silentPortOffersRetryAndReturn()
{
    iotest::SilentDevice silent;
    QVERIFY(silent.started());
    auto w = makeWizard();
    w->presetPort(silent.path());
    w->tree()->paramValue("TimeOut", "0");
    QSignalSpy finished(w->ioHelper(), &KavuIOhelper::kavuIOFinished);
    QVERIFY(runJob(w.get(), "checkCommParamButton"));
    QVERIFY(finished.at(0).at(1).toInt() < 0);
    QCOMPARE(text(w.get(), "commCheckTitle"), QString("Ошибка подключения к прибору."));
    QVERIFY(child<QTextEdit>(w.get(), "logTextEdit")->toPlainText().contains(finished.at(0).at(0).toString()));
    QVERIFY(child<QWidget>(w.get(), "retryCommButton")->isVisible());
    QVERIFY(child<QWidget>(w.get(), "abortCommButton")->isVisible());
    QVERIFY(!child<QWidget>(w.get(), "abortIOButton")->isVisible());
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stGetDeviceInfo));

    // "Повторить" runs the same read again and fails the same way.
    QSignalSpy starting(w->ioHelper(), &KavuIOhelper::kavuIOStarting);
    QVERIFY(runJob(w.get(), "retryCommButton"));
    QCOMPARE(finished.size(), 2);
    QCOMPARE(text(w.get(), "commCheckTitle"), QString("Ошибка подключения к прибору."));

    // "Вернуться" goes back to the page the check started from.
    click(w.get(), "abortCommButton");
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stCommSettings));
    QCOMPARE(currentPage(w.get()), QString("commPage"));
    QCOMPARE(currentButtons(w.get()), QString("wizardButtonsPage"));

    // The same port, now answered by the simulator, succeeds on retry.
    connectToSimulator(w.get());
    QVERIFY(runJob(w.get(), "checkCommParamButton"));
    QCOMPARE(text(w.get(), "commCheckTitle"), QString("Связь с прибором установлена."));
}

void TestWizard::cancelEndsTheJob()
{
    iotest::SilentDevice silent;
    auto w = makeWizard();
    w->presetPort(silent.path());
    w->tree()->paramValue("TimeOut", "30"); // would try for half a minute
    QSignalSpy finished(w->ioHelper(), &KavuIOhelper::kavuIOFinished);
    click(w.get(), "checkCommParamButton");
    QElapsedTimer clock;
    clock.start();
    click(w.get(), "abortIOButton");
    QVERIFY(!child<QWidget>(w.get(), "abortIOButton")->isVisible());
    QVERIFY(finished.wait(30000));
    QVERIFY(clock.elapsed() < 25000);
    QVERIFY(child<QWidget>(w.get(), "retryCommButton")->isVisible());
    QCOMPARE(text(w.get(), "commCheckTitle"), QString("Ошибка подключения к прибору."));
}

void TestWizard::editCommunicationSettings()
{
    auto w = makeWizard();
    click(w.get(), "editCommParamButton");
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stEditCommSettings));
    QCOMPARE(text(w.get(), "stageName"), QString("Настройка параметров связи"));
    QCOMPARE(currentButtons(w.get()), QString("commEditButtons"));
    QVERIFY(!child<QWidget>(w.get(), "editCommParamButton")->isVisible());
    QVERIFY(!child<QWidget>(w.get(), "workOfflineCheckBox")->isVisible());
    QVERIFY(child<QWidget>(w.get(), "checkCommParamButton")->isVisible());
    QVERIFY(w->tree()->isEnabled());
    QVERIFY(w->tree()->columnCount() >= 3); // the editable tree

    // Factory settings bring a changed address back.
    w->tree()->paramValue("Addr", "77");
    click(w.get(), "setDefaultCommParamButton");
    QCOMPARE(w->tree()->paramValue("Addr"), w->tree()->findParameter("Addr").attribute("defaultvalue"));

    // From here the check works too, and "Вернуться" after it leads back here.
    connectToSimulator(w.get());
    QVERIFY(runJob(w.get(), "checkCommParamButton"));
    QCOMPARE(currentPage(w.get()), QString("checkConnPage"));
    click(w.get(), "prevButton");
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stEditCommSettings));
    click(w.get(), "exitCommEditButton");
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stCommSettings));
    QCOMPARE(w->tree()->columnCount(), 2);
}

void TestWizard::linkPageEditsAreUsedAtOnceAndFailuresSayWhy()
{
    auto w = makeWizard();
    const QString missing = "/dev/ttyUSB-not-plugged";
    w->presetPort(missing);
    w->tree()->paramValue("TimeOut", "1");

    // A port that is not there says so in the log, and the log stays.
    QVERIFY(runJob(w.get(), "checkCommParamButton"));
    QCOMPARE(text(w.get(), "commCheckTitle"), QString("Ошибка подключения к прибору."));
    QVERIFY2(logText(w.get()).contains(QString("Порт %1 не найден: такого устройства в системе нет.").arg(missing)),
             qPrintable(logText(w.get())));
    QVERIFY(!wstest::saveScreenshot(w.get(), "wizard_port_missing").isEmpty());
    QTest::qWait(1500);
    QVERIFY(logText(w.get()).contains("не найден"));
    click(w.get(), "abortCommButton");

    // On the link page the port typed and an address entered are used by the
    // very next check: the device answers at 16, not at 20.
    click(w.get(), "editCommParamButton");
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stEditCommSettings));
    editOnTree(w.get(), "Port", sim->path());
    editOnTree(w.get(), "Addr", "20");
    click(w.get(), "exitCommEditButton");
    QVERIFY(runJob(w.get(), "checkCommParamButton"));
    QVERIFY2(logText(w.get()).contains(QString("Порт %1 открыт, но прибор не отвечает.").arg(sim->path())),
             qPrintable(logText(w.get())));
    click(w.get(), "abortCommButton");
    click(w.get(), "editCommParamButton");
    editOnTree(w.get(), "Addr", "16");
    click(w.get(), "exitCommEditButton");
    QVERIFY(runJob(w.get(), "checkCommParamButton"));
    QCOMPARE(text(w.get(), "commCheckTitle"), QString("Связь с прибором установлена."));
    QVERIFY2(logText(w.get()).startsWith("Наименование прибора: HRC417"), qPrintable(logText(w.get())));

    // Another program holding the port is named.
    click(w.get(), "prevButton");
    QProcess holder;
    holder.start("python3", {"-c",
                             "import fcntl, sys, time\n"
                             "port = open(sys.argv[1], 'rb')\n"
                             "fcntl.flock(port, fcntl.LOCK_EX)\n"
                             "print('held', flush=True)\n"
                             "time.sleep(30)\n",
                             sim->path()});
    QVERIFY(holder.waitForReadyRead(10000));
    QVERIFY(runJob(w.get(), "checkCommParamButton"));
    const QString holderName = QString("python3 (PID %1)").arg(holder.processId());
    // (The simulator keeps the port open too and is named as well.)
    QVERIFY2(logText(w.get()).contains(QString("Порт %1 занят другой программой: ").arg(sim->path())),
             qPrintable(logText(w.get())));
    QVERIFY2(logText(w.get()).contains(holderName), qPrintable(logText(w.get())));
    QVERIFY(!wstest::saveScreenshot(w.get(), "wizard_port_held").isEmpty());
    holder.kill();
    holder.waitForFinished();
}

void TestWizard::offlineHandOverReadsNothing()
{
    auto w = makeWizard();
    w->presetPort("/dev/nonexistent-port"); // any read would fail
    QSignalSpy handOver(w.get(), &Wizard::wizardClose);
    QSignalSpy starting(w->ioHelper(), &KavuIOhelper::kavuIOStarting);
    click(w.get(), "workOfflineCheckBox");
    QVERIFY(w->stagesMap()->isOffline());
    click(w.get(), "showAllParamButton");
    QCOMPARE(handOver.size(), 1);
    QCOMPARE(handOver.at(0).at(1).toInt(), 0);
    QVERIFY(handOver.at(0).at(0).value<QDomDocument>().documentElement() == w->document().documentElement());
    QVERIFY(!w->isVisible());
    QCOMPARE(starting.size(), 0);
    QSettings ini(iniPath, QSettings::IniFormat);
    QVERIFY(ini.contains("hrc417/bPS"));
    QCOMPARE(ini.value("hrc417/Port").toString(), QString("/dev/nonexistent-port"));
    QVERIFY(ini.contains("hrc417/Grtp[4]"));
}

void TestWizard::handOverAndBackRestoresStoredValues()
{
    {
        auto w = makeWizard();
        connectToSimulator(w.get());
        w->tree()->paramValue("timescan", "750"); // a local setting the read leaves alone
        // Online: "Настройка параметров" reads every parameter first.
        QSignalSpy handOver(w.get(), &Wizard::wizardClose);
        QVERIFY(runJob(w.get(), "showAllParamButton"));
        QTRY_COMPARE(handOver.size(), 1);
        QVERIFY(!w->isVisible());

        // The main window changed a value and returns from some stage.
        QDomDocument doc = handOver.at(0).at(0).value<QDomDocument>();
        HrcDocument(doc).paramValue("timescan", "2000");
        w->treeWinClose(doc, 7);
        QVERIFY(w->isVisible());
        QCOMPARE(w->stagesMap()->current(), int(Wizard::stCommSettings));
        QCOMPARE(currentPage(w.get()), QString("commPage"));
        QCOMPARE(w->tree()->paramValue("timescan"), QString("750"));
        // The I/O slots are connected again: a check still completes.
        QVERIFY(runJob(w.get(), "checkCommParamButton"));
        QCOMPARE(text(w.get(), "commCheckTitle"), QString("Связь с прибором установлена."));
    }
    // The next start restores the stored values before the first page.
    auto again = makeWizard();
    QCOMPARE(again->tree()->paramValue("timescan"), QString("750"));
    QCOMPARE(shownValue(again.get(), "Port"), sim->path());
}

void TestWizard::restoreRulesForStoredValues()
{
    {
        QSettings ini(iniPath, QSettings::IniFormat);
        ini.setValue("hrc417/bPS", "3");
        ini.setValue("hrc417/Port", "/dev/ttyUSB7");
        ini.setValue("hrc417/Ugr", "2");
        ini.setValue("hrc417/Node[0]", "3");
        ini.setValue("hrc417/T.sp[0]", "");
    }
    auto w = makeWizard();
    QCOMPARE(w->tree()->paramValue("Port"), QString("/dev/ttyUSB7"));
    QCOMPARE(w->tree()->paramValue("Ugr"), QString("0"));
    QCOMPARE(w->tree()->paramValue("Node[0]"), QString("3"));
    QCOMPARE(w->tree()->paramValue("T.sp[0]"), QString("55,0"));
    // Without the marker key nothing stored is used.
    {
        QSettings ini(iniPath, QSettings::IniFormat);
        ini.remove("hrc417/bPS");
    }
    auto fresh = makeWizard();
    QCOMPARE(fresh->tree()->paramValue("Node[0]"), QString("5"));
}

void TestWizard::languageSwitchChangesTextsAtOnce()
{
    FlyTranslator translator(nullptr, QStringLiteral(HRC_LANGUAGE_DIR));
    auto w = makeWizard(&translator);
    auto *langLabel = child<QPushButton>(w.get(), "langLabel");
    auto *box = child<QComboBox>(w.get(), "langSelectComboBox");
    QVERIFY(langLabel->isVisible());
    QVERIFY(!box->isVisible());
    QCOMPARE(box->count(), translator.languageNames().size());
    QCOMPARE(box->currentText(), QString("Русский"));
    QVERIFY(!langLabel->icon().isNull());

    QTest::mouseClick(langLabel, Qt::LeftButton);
    QVERIFY(box->isVisible());
    QVERIFY(!langLabel->isVisible());
    // A click elsewhere on the window closes the list again.
    QTest::mouseClick(w.get(), Qt::LeftButton, Qt::NoModifier, QPoint(500, 600));
    QVERIFY(!box->isVisible());
    QVERIFY(langLabel->isVisible());

    QTest::mouseClick(langLabel, Qt::LeftButton);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_End); // English stands after the start-up language
    QCOMPARE(box->currentText(), QString("English"));
    QVERIFY(!box->isVisible());
    QVERIFY(langLabel->isVisible());
    QCOMPARE(child<QPushButton>(w.get(), "checkCommParamButton")->text(), QString("Check connection"));
    QCOMPARE(child<QPushButton>(w.get(), "exitButton")->text(), QString("Exit"));
    QCOMPARE(child<QCheckBox>(w.get(), "workOfflineCheckBox")->text(), QString("Work offline"));
    QCOMPARE(text(w.get(), "stageName"), QString("Device connection"));
    QCOMPARE(text(w.get(), "stageActionName"), QString("Enter the communication settings of the device"));
    QCOMPARE(w->tree()->findItem("Port")->text(0), QString("Computer port"));
    QSettings ini(iniPath, QSettings::IniFormat);
    QCOMPARE(ini.value("hrc417/useLangIndex").toInt(), box->currentIndex());

    // Back to Russian.
    QTest::mouseClick(langLabel, Qt::LeftButton);
    QTest::keyClick(box, Qt::Key_Home);
    QCOMPARE(child<QPushButton>(w.get(), "checkCommParamButton")->text(), QString("Проверка связи"));
    QCOMPARE(text(w.get(), "stageName"), QString("Связь с прибором"));

    // After a connection check the device details follow a switch too.
    connectToSimulator(w.get());
    QVERIFY(runJob(w.get(), "checkCommParamButton"));
    QVERIFY(logText(w.get()).startsWith("Наименование прибора: "));
    QTest::mouseClick(langLabel, Qt::LeftButton);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_End);
    QVERIFY2(logText(w.get()).startsWith("Device name: "), qPrintable(logText(w.get())));
    QCOMPARE(text(w.get(), "commCheckTitle"), QString("Connected to the device."));
    QTest::mouseClick(langLabel, Qt::LeftButton);
    QTest::keyClick(box, Qt::Key_Home);
}

void TestWizard::contourChoiceRules()
{
    auto w = makeWizard();
    click(w.get(), "workOfflineCheckBox");
    click(w.get(), "nextButton"); // offline: stage 0 goes to the contour choice
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stContoursSet));
    QCOMPARE(currentPage(w.get()), QString("checkForKontur2Page"));
    QCOMPARE(child<QProgressBar>(w.get(), "pb_checkForKontur2Page")->value(), 5);
    // Factory values: one contour with a five-point graph, a heating contour.
    QVERIFY(checked(w.get(), "IsOtopFirstCheckBox"));
    QVERIFY(!checked(w.get(), "IsWaterFirstCheckBox"));
    auto *message = child<QWidget>(w.get(), "MaxKonturMessageText");
    QVERIFY(!message->isVisible());

    click(w.get(), "IsWaterSecondCheckBox");
    QVERIFY(message->isVisible());
    QVERIFY(!child<QWidget>(w.get(), "IsOtopSecondCheckBox")->isEnabled());
    QVERIFY(!child<QWidget>(w.get(), "IsWaterFirstCheckBox")->isEnabled());
    QVERIFY(child<QWidget>(w.get(), "IsWaterSecondCheckBox")->isEnabled());

    click(w.get(), "IsWaterSecondCheckBox");
    QVERIFY(!message->isVisible());
    for (const char *box : {"IsOtopFirstCheckBox", "IsOtopSecondCheckBox", "IsWaterFirstCheckBox", "IsWaterSecondCheckBox"})
        QVERIFY2(child<QWidget>(w.get(), box)->isEnabled(), box);
    QVERIFY(child<QWidget>(w.get(), "nextButton")->isEnabled());
    click(w.get(), "IsOtopFirstCheckBox");
    QVERIFY(!child<QWidget>(w.get(), "nextButton")->isEnabled());
}

void TestWizard::contourLeaveRulesAndPaths()
{
    auto w = makeWizard();
    goOfflineTo(w.get(), Wizard::stContoursSet);
    // One hot-water contour.
    click(w.get(), "IsOtopFirstCheckBox");
    click(w.get(), "IsWaterFirstCheckBox");
    click(w.get(), "nextButton");
    QCOMPARE(w->tree()->paramValue("kont"), QString("0"));
    QCOMPARE(w->tree()->paramValue("Node[0]"), QString("1"));
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stHotWaterSettings));
    QCOMPARE(text(w.get(), "stageName"), QString("Настройка 1-го контура: ГВС"));
    QCOMPARE(child<QLineEdit>(w.get(), "TempUstavka")->text(), QString("55,0"));
    click(w.get(), "prevButton");
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stContoursSet));
    QVERIFY(checked(w.get(), "IsWaterFirstCheckBox"));
    QVERIFY(!checked(w.get(), "IsOtopFirstCheckBox"));
    QVERIFY(!checked(w.get(), "IsOtopSecondCheckBox"));
    QVERIFY(!checked(w.get(), "IsWaterSecondCheckBox"));

    // Two heating contours: a contour that was hot water becomes a heating
    // contour with its factory point count, and the heating page follows.
    click(w.get(), "IsWaterFirstCheckBox");
    click(w.get(), "IsOtopFirstCheckBox");
    click(w.get(), "IsOtopSecondCheckBox");
    w->tree()->paramValue("Node[2]", "4");
    click(w.get(), "nextButton");
    QCOMPARE(w->tree()->paramValue("kont"), QString("1"));
    QCOMPARE(w->tree()->paramValue("Node[0]"), QString("5"));
    QCOMPARE(w->tree()->paramValue("Node[2]"), QString("4"));
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stOtopSettings));
    click(w.get(), "prevButton");
    QVERIFY(checked(w.get(), "IsOtopFirstCheckBox"));
    QVERIFY(checked(w.get(), "IsOtopSecondCheckBox"));

    // One of each.
    click(w.get(), "IsOtopSecondCheckBox");
    click(w.get(), "IsWaterSecondCheckBox");
    click(w.get(), "nextButton");
    QCOMPARE(w->tree()->paramValue("Node[2]"), QString("1"));
    QCOMPARE(w->tree()->paramValue("Node[0]"), QString("5"));

    // The pump page's forward paths.
    w->stagesMap()->setStage(Wizard::stPumpC1Settings);
    click(w.get(), "nextButton"); // heating + hot water: contour 2 is hot water
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stHotWaterSettings2C));
    QCOMPARE(text(w.get(), "stageName"), QString("Настройка 2-го контура: ГВС"));
}

void TestWizard::pumpPagesWriteCountsTheDeviceAccepts()
{
    auto w = makeWizard();
    w->tree()->paramValue("pump[0]", "1");
    w->tree()->paramValue("pump[1]", "2");
    w->tree()->paramValue("t.wm[0]", "9");
    goOfflineTo(w.get(), Wizard::stPumpC1Settings);
    QCOMPARE(child<QLineEdit>(w.get(), "PumpWorkTime")->text(), QString("9"));
    QVERIFY(checked(w.get(), "isUsePumpC1One"));
    QVERIFY(!checked(w.get(), "isUsePumpC1Two"));
    QVERIFY(checked(w.get(), "isUsePumpUpOne"));
    QVERIFY(checked(w.get(), "isUsePumpUpTwo"));
    QCOMPARE(child<QProgressBar>(w.get(), "pb_PumpC1")->value(), 40);

    click(w.get(), "isUsePumpC1One");
    click(w.get(), "isUsePumpUpOne");
    click(w.get(), "isUsePumpUpTwo");
    QTest::keyClicks(child<QLineEdit>(w.get(), "PumpWorkTime"), "2");
    click(w.get(), "nextButton");
    QCOMPARE(w->tree()->paramValue("pump[0]"), QString("0"));
    // Make-up pumps count from 1: an empty choice is written as 1 pump.
    QCOMPARE(w->tree()->paramValue("pump[1]"), QString("1"));
    QCOMPARE(w->tree()->paramValue("t.wm[0]"), QString("92"));

    w->stagesMap()->setStage(Wizard::stPumpColdWaterSettings);
    QVERIFY(!checked(w.get(), "isUsePumpCold"));
    QVERIFY(!child<QWidget>(w.get(), "isUsePumpColdOne")->isEnabled());
    QVERIFY(!child<QWidget>(w.get(), "PumpColdWaterWorkTime")->isEnabled());
    click(w.get(), "isUsePumpCold");
    QVERIFY(child<QWidget>(w.get(), "isUsePumpColdOne")->isEnabled());
    click(w.get(), "isUsePumpColdTwo");
    click(w.get(), "isUsePumpColdOne");
    click(w.get(), "nextButton");
    QCOMPARE(w->tree()->paramValue("hws"), QString("1"));
    QCOMPARE(w->tree()->paramValue("pump[3]"), QString("1"));
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stAdditionalSettings));
    // A stored count the value set lacks does not come back as a choice.
    w->stagesMap()->setStage(Wizard::stPumpColdWaterSettings);
    QVERIFY(checked(w.get(), "isUsePumpColdOne"));
    QVERIFY(!checked(w.get(), "isUsePumpColdTwo"));
}

void TestWizard::additionalPagesListTheirParameters()
{
    auto w = makeWizard();
    goOfflineTo(w.get(), Wizard::stContoursSet); // one contour ticked
    w->stagesMap()->setStage(Wizard::stAdditionalSettings);
    QVERIFY(!child<QWidget>(w.get(), "editAddSettingsK2Link")->isVisible());

    w->stagesMap()->setStage(Wizard::stContoursSet);
    click(w.get(), "IsOtopSecondCheckBox");
    w->stagesMap()->setStage(Wizard::stAdditionalSettings);
    QVERIFY(child<QWidget>(w.get(), "editAddSettingsK2Link")->isVisible());
    QCOMPARE(child<QProgressBar>(w.get(), "pb_AdditionalSettingsPage")->value(), 95);

    click(w.get(), "editAddSettingsK2Link");
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stEditContourTwoSettings));
    QCOMPARE(currentPage(w.get()), QString("commPage"));
    QCOMPARE(currentButtons(w.get()), QString("commEditButtons"));
    QVERIFY(!child<QWidget>(w.get(), "CommPageRightPanel")->isVisible());
    // Contour 2's own settings under "Настройки контура 2".
    for (const char *name : {"p.hot[1]", "d.ngt[1]", "S.w[1]"})
        QVERIFY2(w->tree()->findItem(name), name);
    QVERIFY(!w->tree()->findItem("p.hot[0]"));
    click(w.get(), "exitCommEditButton");
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stAdditionalSettings));

    click(w.get(), "editAddSettingsK1Link");
    for (const char *name : {"Tm.dy", "Tm.ng", "p.hot[0]", "d.ngt[0]", "S.w[0]"})
        QVERIFY2(w->tree()->findItem(name), name);
    click(w.get(), "exitCommEditButton");
    click(w.get(), "editSensorsTypeLink");
    QCOMPARE(w->tree()->topLevelItemCount(), 8);
    QVERIFY(w->tree()->findItem("in-t[7]"));
    click(w.get(), "exitCommEditButton");

    click(w.get(), "nextButton");
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stFinal));
    QCOMPARE(text(w.get(), "commCheckTitle"), QString("Предварительная настройка завершена успешно"));
    QVERIFY(child<QWidget>(w.get(), "saveParamButton")->isVisible());
    QVERIFY(child<QWidget>(w.get(), "readyButton")->isEnabled());
    QVERIFY(!child<QWidget>(w.get(), "nextButton")->isEnabled());
}

void TestWizard::forwardStepWritesToTheDevice()
{
    auto w = makeWizard();
    connectToSimulator(w.get());
    w->stagesMap()->setStage(Wizard::stContoursSet);
    click(w.get(), "IsWaterSecondCheckBox"); // heating + hot water
    const int logStart = sim->log().size();
    QVERIFY(runJob(w.get(), "nextButton"));
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stOtopSettings));
    QCOMPARE(currentPage(w.get()), QString("OtopSettingsPage"));
    QCOMPARE(sim->writesOf("Node", logStart), 2);
    QCOMPARE(sim->writesOf("kont", logStart), 1);
    // The device holds what was written.
    QCOMPARE(w->tree()->paramValue("Node[2]"), QString("1"));
    QCOMPARE(w->tree()->paramValue("kont"), QString("1"));
    // Read back as written.
    QVERIFY(logText(w.get()).contains("записано 3, подтверждено 3, расхождений 0"));
}

void TestWizard::writeTheDeviceDidNotTakeStopsWithTheCounts()
{
    iotest::Simulator faulty(QStringList{"--write-faults", "ignore=kont"});
    QVERIFY2(faulty.started(), qPrintable(faulty.error()));
    auto w = makeWizard();
    w->presetPort(faulty.path());
    w->tree()->paramValue("TimeOut", "3");
    w->stagesMap()->setStage(Wizard::stContoursSet);
    click(w.get(), "IsWaterSecondCheckBox");
    QVERIFY(runJob(w.get(), "nextButton"));
    QCOMPARE(faulty.writesOf("kont"), 1);
    // The next page waits: the wizard says the write had errors and what the
    // device holds, and offers to try again.
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stOtopSettings));
    QCOMPARE(currentPage(w.get()), QString("checkConnPage"));
    QCOMPARE(text(w.get(), "commCheckTitle"), QString("Параметры записаны с ошибками"));
    const QString log = logText(w.get());
    QVERIFY2(log.contains("(kont), Прибор хранит Нет вместо Да"), qPrintable(log));
    QVERIFY2(log.contains("записано 3, подтверждено 2, расхождений 1"), qPrintable(log));
    QVERIFY(w->findChild<QWidget *>("retryCommButton")->isVisible());
}

void TestWizard::failedWriteRetriesTheSameJob()
{
    iotest::SilentDevice silent;
    auto w = makeWizard();
    w->presetPort(silent.path());
    w->tree()->paramValue("TimeOut", "0");
    w->stagesMap()->setStage(Wizard::stContoursSet); // one heating contour
    w->stagesMap()->setStage(Wizard::stPumpC1Settings);
    QVERIFY(runJob(w.get(), "nextButton")); // 13 -> 15 (one contour), write fails
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stPumpColdWaterSettings));
    QCOMPARE(text(w.get(), "commCheckTitle"), QString("Ошибка подключения к прибору."));
    // Retry against the simulator, on the same port setting the job reads.
    connectToSimulator(w.get());
    const int logStart = sim->log().size();
    QVERIFY(runJob(w.get(), "retryCommButton"));
    // The simulator writes its log as it goes; under load it may lag the reply.
    QTRY_COMPARE(sim->writesOf("pump", logStart), 2);
    QTRY_COMPARE(sim->writesOf("t.wm", logStart), 1);
    QCOMPARE(currentPage(w.get()), QString("PumpColdWaterSettingsPage"));
}

void TestWizard::finalPageSavesConfiguration()
{
    auto w = makeWizard();
    goOfflineTo(w.get(), Wizard::stFinal);
    QTemporaryDir dir;
    const QString file = dir.filePath("plant.hrc417");
    w->tree()->paramValue("Addr", "12");
    QString title;
    wstest::whenDialogShown<QFileDialog>([&](QFileDialog *dialog) {
        title = dialog->windowTitle();
        typeFileName(dialog, file);
    });
    click(w.get(), "saveParamButton");
    QCOMPARE(title, QString("Сохранить файл конфигурации"));
    QSettings saved(file, QSettings::IniFormat);
    QCOMPARE(saved.value("hrc417/Addr").toString(), QString("12"));
    // Without an extension: saved as a configuration file all the same.
    wstest::whenDialogShown<QFileDialog>([&](QFileDialog *dialog) { typeFileName(dialog, dir.filePath("plant2")); });
    click(w.get(), "saveParamButton");
    QVERIFY(QFile::exists(dir.filePath("plant2.hrc417")));

    // An unwritable place gives the warning and leaves the wizard where it is.
    const QString bad = "/proc/plant.hrc417"; // no file can be made there, not even by root
    QString warning;
    wstest::whenDialogShown<QFileDialog>([&](QFileDialog *dialog) { typeFileName(dialog, bad); });
    wstest::whenDialogShown<QMessageBox>([&](QMessageBox *box) {
        warning = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    click(w.get(), "saveParamButton");
    QVERIFY2(warning.startsWith("Ошибка записи файла " + bad + ":\n"), qPrintable(warning));
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stFinal));

    // "Готово" stores every value and closes the wizard.
    click(w.get(), "readyButton");
    QVERIFY(!w->isVisible());
    QSettings ini(iniPath, QSettings::IniFormat);
    QCOMPARE(ini.value("hrc417/Addr").toString(), QString("12"));
}

void TestWizard::screenshots()
{
    // The look the program gives itself at start-up.
    QFile style(":/resources/style.qss");
    QVERIFY(style.open(QIODevice::ReadOnly));
    qApp->setStyleSheet(QString::fromUtf8(style.readAll()));
    iotest::SilentDevice silent;
    FlyTranslator translator(nullptr, QStringLiteral(HRC_LANGUAGE_DIR));
    for (const QString suffix : {"ru", "en"}) {
        auto chooseLanguage = [&](Wizard *w) {
            if (suffix == "ru")
                return;
            QTest::mouseClick(child<QPushButton>(w, "langLabel"), Qt::LeftButton);
            auto *box = child<QComboBox>(w, "langSelectComboBox");
            QTest::keyClick(box, Qt::Key_End);
            QCOMPARE(box->currentText(), QString("English"));
        };
        {
            auto w = makeWizard(&translator);
            chooseLanguage(w.get());
            w->presetPort(silent.path());
            w->tree()->paramValue("TimeOut", "0");
            QVERIFY(!wstest::saveScreenshot(w.get(), "wizard-communication-" + suffix).isEmpty());
            QVERIFY(runJob(w.get(), "checkCommParamButton"));
            QVERIFY(child<QWidget>(w.get(), "retryCommButton")->isVisible());
            QVERIFY(!wstest::saveScreenshot(w.get(), "wizard-error-" + suffix).isEmpty());
        }
        {
            auto w = makeWizard(&translator);
            chooseLanguage(w.get());
            connectToSimulator(w.get());
            QVERIFY(runJob(w.get(), "checkCommParamButton"));
            QVERIFY(!wstest::saveScreenshot(w.get(), "wizard-device-info-" + suffix).isEmpty());
        }
        translator.loadLanguage(translator.startIndex());
    }
    qApp->setStyleSheet(QString());
}


void TestWizard::emptiedGuidedFieldsKeepTheirValues()
{
    auto w = makeWizard();
    HrcTree *tree = w->tree();
    tree->paramValue("t.wm[0]", "9");
    tree->paramValue("T.sp[0]", "55,0");
    tree->paramValue("Hy.b1[0]", "5,0");
    goOfflineTo(w.get(), Wizard::stPumpC1Settings);

    // Next with the field emptied: the page stays and says what is missing.
    auto *field = child<QLineEdit>(w.get(), "PumpWorkTime");
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    click(w.get(), "nextButton");
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stPumpC1Settings));
    QCOMPARE(QToolTip::text(), QString("Введите значение"));
    QCOMPARE(tree->paramValue("t.wm[0]"), QString("9"));
    // Leaving backwards keeps the value before.
    click(w.get(), "prevButton");
    QCOMPARE(tree->paramValue("t.wm[0]"), QString("9"));

    w->stagesMap()->setStage(Wizard::stHotWaterSettings);
    field = child<QLineEdit>(w.get(), "TempUstavka");
    QCOMPARE(field->text(), QString("55,0"));
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    click(w.get(), "nextButton");
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stHotWaterSettings));
    QCOMPARE(tree->paramValue("T.sp[0]"), QString("55,0"));
    // A decimal point is the decimal comma of the document.
    QTest::keyClicks(field, "60.5");
    click(w.get(), "nextButton");
    QVERIFY(w->stagesMap()->current() != int(Wizard::stHotWaterSettings));
    QCOMPARE(tree->paramValue("T.sp[0]"), QString("60,5"));

    w->stagesMap()->setStage(Wizard::stBackWaterSettings);
    field = child<QLineEdit>(w.get(), "GistPlus_BackWater");
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    click(w.get(), "nextButton");
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stBackWaterSettings));
    click(w.get(), "prevButton");
    QCOMPARE(tree->paramValue("Hy.b1[0]"), QString("5,0"));
}

void TestWizard::languageSwitchKeepsTheEditablePage()
{
    FlyTranslator translator(nullptr, QStringLiteral(HRC_LANGUAGE_DIR));
    auto w = makeWizard(&translator);
    click(w.get(), "editCommParamButton");
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stEditCommSettings));
    QVERIFY(w->tree()->isEnabled());
    const int columns = w->tree()->columnCount();
    QVERIFY(columns >= 3);

    auto *langLabel = child<QPushButton>(w.get(), "langLabel");
    auto *box = child<QComboBox>(w.get(), "langSelectComboBox");
    QVERIFY(langLabel->isVisible());
    QTest::mouseClick(langLabel, Qt::LeftButton);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_End);
    QCOMPARE(box->currentText(), QString("English"));
    // Still the editable tree, in English.
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stEditCommSettings));
    QVERIFY(w->tree()->isEnabled());
    QCOMPARE(w->tree()->columnCount(), columns);
    QCOMPARE(w->tree()->findItem("Port")->text(0), QString("Computer port"));
    QVERIFY(w->tree()->findItem("Addr")->flags() & Qt::ItemIsEditable);
    QTest::mouseClick(langLabel, Qt::LeftButton);
    QTest::keyClick(box, Qt::Key_Home);
    QVERIFY(w->tree()->isEnabled());
}

void TestWizard::offlineCheckSaysNoCheckWasMade()
{
    auto w = makeWizard();
    w->presetPort("/dev/nonexistent-port");
    QSignalSpy starting(w->ioHelper(), &KavuIOhelper::kavuIOStarting);
    click(w.get(), "workOfflineCheckBox");
    click(w.get(), "checkCommParamButton");
    QCOMPARE(currentPage(w.get()), QString("checkConnPage"));
    QCOMPARE(text(w.get(), "commCheckTitle"), QString("Программа работает offline: связь с прибором не проверялась."));
    QCOMPARE(starting.size(), 0);
}

// "Найти прибор…" beside "Проверка связи": an engineer who does not know the
// controller's address finds it and goes on with it, never the command line.
void TestWizard::findDeviceTakesItsAddressIntoTheLinkSettings()
{
    iotest::Simulator other({QStringLiteral("--address"), QStringLiteral("7")});
    QVERIFY2(other.started(), qPrintable(other.error()));
    auto w = makeWizard();
    w->presetPort(other.path());
    QVERIFY(child<QWidget>(w.get(), "findDeviceButton")->isVisible());
    QVERIFY(!wstest::saveScreenshot(w.get(), "wizard-find-device-button").isEmpty());
    bool shown = false;
    wstest::whenDialogShown<DeviceSearchDialog>([&shown](DeviceSearchDialog *dialog) {
        shown = true;
        auto *last = dialog->findChild<QSpinBox *>(QStringLiteral("lastAddress"));
        last->setFocus();
        last->selectAll();
        QTest::keyClicks(last, QStringLiteral("10"));
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("startButton")), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->searching(), 30000);
        QCOMPARE(dialog->found().size(), 1);
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("takeButton")), Qt::LeftButton);
    });
    click(w.get(), "findDeviceButton");
    QVERIFY(shown);
    QCOMPARE(w->tree()->paramValue("Addr"), QString("7"));
    QCOMPARE(shownValue(w.get(), "Addr"), QString("7"));
    // The check of the connection now reaches the device.
    QVERIFY(runJob(w.get(), "checkCommParamButton"));
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stGetDeviceInfo));
    QVERIFY2(child<QTextEdit>(w.get(), "logTextEdit")->toPlainText().contains("HRC417"),
             qPrintable(child<QTextEdit>(w.get(), "logTextEdit")->toPlainText()));
}

QTEST_MAIN(TestWizard)
#include "tst_wizard.moc"
