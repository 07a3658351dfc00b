// The main window as a service engineer uses it, against hrc417-sim on a
// pseudo-terminal: tool buttons, shortcuts and context actions on the real
// widgets, the wait window, the message box, file choosers and the test panel.
#include "BackupStore.h"
#include "CommSettings.h"
#include "ConfigStore.h"
#include "HrcMessageBox.h"
#include "HrcTree.h"
#include "HrcTreeWin.h"
#include "HrcTreeWorkers.h"
#include "IoTestSupport.h"
#include "KavuIOhelper.h"
#include "KavuMon.h"
#include "TestParamWin.h"
#include "TreeSearchBar.h"
#include "SimLog.h"
#include "ValueCodec.h"
#include "WaitWin.h"
#include "WorkspaceTestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QShortcut>
#include <QTemporaryDir>
#include <QToolTip>
#include <QToolButton>
#include <QtTest>

#include <memory>

using namespace wstest;

// For the spies on treeWinClose.
Q_DECLARE_METATYPE(QDomDocument)

namespace {

// A simulator and a main window whose communication settings point at it.
struct Session : WindowSession
{
    using WindowSession::WindowSession;
    QString waitText() const { return window->waitWindow()->findChild<QLabel *>("messagesLabel")->text(); }
};

// Waits for the end of the job that the next action starts.
// Afterwards the engineer's keys go to the main window again (a window
// manager gives the activation back when the wait window goes; the offscreen
// platform leaves it with the hidden dialog).
class JobEndWait
{
public:
    explicit JobEndWait(Session &s)
        : session(s)
        , spy(s.helper(), &KavuIOhelper::kavuIOFinished)
    {
    }
    bool wait(int ms = 60000)
    {
        if (spy.isEmpty() && !spy.wait(ms))
            return false;
        // The finish message stays up for a second; a failure to connect
        // until the engineer closes it.
        HrcTreeWin *w = session.window.get();
        if (w->waitWindow()->showsFailure())
            QTest::mouseClick(w->waitWindow()->findChild<QPushButton *>("canselIOButton"), Qt::LeftButton);
        if (!QTest::qWaitFor([w]() { return !w->waitWindow()->isVisible(); }, 5000))
            return false;
        w->activateWindow();
        return QTest::qWaitFor([w]() { return QApplication::activeWindow() == w; }, 5000);
    }
    int count() const { return spy.isEmpty() ? -2 : spy.last().at(1).toInt(); }
    int total() const { return spy.isEmpty() ? -2 : spy.last().at(2).toInt(); }

private:
    Session &session;
    QSignalSpy spy;
};

void selectRow(Session &s, const QString &name)
{
    QTreeWidgetItem *row = s.item(name);
    s.tree()->expandAll();
    clickCell(*s.tree(), row, 1);
}

// The context menu's action with that text for the row, as a right-click offers it.
QAction *contextAction(Session &s, const QString &name, const QString &text)
{
    const QPoint pos = cellCentre(*s.tree(), s.item(name), 1);
    for (QAction *a : s.tree()->contextActionsAt(pos)) {
        if (a && a->text() == text)
            return a;
    }
    return nullptr;
}

void typeInto(QLineEdit *edit, const QString &text)
{
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

// Puts a path into a file dialog's name field and presses Return there. The
// text is set whole, as pasted: typed key by key, Qt 6's dialog follows each
// "/" into that folder and its completer keeps the Return.
void typeFileName(QFileDialog *dialog, const QString &path)
{
    auto *name = dialog->findChild<QLineEdit *>("fileNameEdit");
    QVERIFY(name);
    name->setText(path);
    QTest::keyClick(name, Qt::Key_Return);
}

void editValue(Session &s, const QString &name, const QString &text)
{
    doubleClickCell(*s.tree(), s.item(name), 2);
    QLineEdit *edit = nullptr;
    QVERIFY(QTest::qWaitFor([&]() { return (edit = openEditor<QLineEdit>(s.tree()->viewport())); }, 3000));
    typeInto(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_VERIFY(!openEditor<QLineEdit>(s.tree()->viewport()));
}

// Exchange lines of the simulator's log that are writes.
int allWrites(const Session &s, int from)
{
    return s.sim.log().mid(from).count(QRegularExpression(" write [^ ]"));
}

// How many connections the sender's signal has: QObject::receivers, which is
// protected, reached through a pointer to the base's member.
struct ReceiverCount : QObject
{
    static int of(const QObject *sender, const QMetaMethod &signal)
    {
        const auto receivers = &ReceiverCount::receivers;
        const QByteArray name = QByteArray::number(QSIGNAL_CODE) + signal.methodSignature();
        return (sender->*receivers)(name.constData());
    }
};

} // namespace

class TestHrcTreeWin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void buttonsIconsTooltipsAndKeys();
    void readAllShowsTheDeviceValues();
    void fastReadAllRepaintsCoalescedAndEndsComplete();
    void aKnownDeviceIsReadWithoutNameChecks();
    void branchAndSingleParameterReads();
    void writeOnlyChangedParameters();
    void writtenValuesAreReadBack();
    void readBackTurnedOffReadsNothingBack();
    void factoryValuesForBranchAndParameter();
    void initialiseDeviceCancelledAndConfirmed();
    void problemNavigationOverFailedParameters();
    void connectionCheck();
    void connectionCheckAgainstSilentDevice();
    void failedOpenStaysExplainedInTheWaitWindow();
    void saveChangeOpen();
    void testPanelReadsAndWrites();
    void cancelFromTheWaitWindow();
    void escapeInTheWaitWindowAsksThenCancels();
    void aPulledLineLeavesNoOldValueLookingRead();
    void parametersLeftOutByTheDeadlineStayEdited();
    void editorsLeftUnchangedStoreNothing();
    void initialiseLeavesPolledValuesAlone();
    void keyboardEditingAndRefusedValues();
    void decimalPointIsTheDecimalComma();
    void windowMovesMaximisesAndRestores();
    void pollingAndBackToTheWizard();
    void lostLineIsShownAndPollingRecovers();
};

void TestHrcTreeWin::initTestCase()
{
    qRegisterMetaType<QDomDocument>();
    QFile style(":/resources/style.qss");
    QVERIFY(style.open(QIODevice::ReadOnly | QIODevice::Text));
    qApp->setStyleSheet(QString::fromUtf8(style.readAll()));
    // The read-back as a new installation has it: on.
    ConfigStore::lastConfiguration()->remove("VerifyWrites");
}

void TestHrcTreeWin::buttonsIconsTooltipsAndKeys()
{
    Session s;
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    HrcTreeWin &w = *s.window;
    QVERIFY(w.windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(w.size(), QSize(1180, 800));
    QCOMPARE(w.windowTitle(), QString("Конфигуратор HRC417"));

    const QStringList tooltips = {
        "Новая настройка", "Открыть", "Сохранить", "Прочитать все параметры", "Записать все параметры",
        "Записать только измененные параметры", "Прочитать все параметры выделенной ветви",
        "Записать все параметры выделенной ветви", "Записать только изменные параметры выделенной ветви",
        "К следующему проблемному параметру", "К предыдущему проблемному параметру", "Инициализировать прибор",
        "Опрос отдельного параметра", "Проверить связь", "О программе"};
    for (int n = 1; n <= 15; ++n) {
        QToolButton *b = w.toolButton(n);
        QVERIFY(b);
        QCOMPARE(b->toolTip(), tooltips.at(n - 1));
        QCOMPARE(b->text(), QString("..."));
        QVERIFY2(!b->icon().isNull(), qPrintable(QString("button %1 has no icon").arg(n)));
        QVERIFY(!b->icon().pixmap(32, 32).isNull());
    }
    // A click and a key run their command once: a second connection would
    // run a job twice. The form connects the on_..._clicked slots by name, the
    // window the others; no button gets both.
    const QMetaMethod clicked = QMetaMethod::fromSignal(&QToolButton::clicked);
    for (int n = 1; n <= 15; ++n)
        QVERIFY2(ReceiverCount::of(w.toolButton(n), clicked) == 1, qPrintable(QString("button %1").arg(n)));
    const QMetaMethod activated = QMetaMethod::fromSignal(&QShortcut::activated);
    // Each key belongs to the command its button carries; the arrows agree.
    QStringList keys;
    for (QShortcut *sc : w.findChildren<QShortcut *>()) {
        keys << sc->key().toString();
        QVERIFY2(ReceiverCount::of(sc, activated) == 1, qPrintable(sc->key().toString()));
    }
    for (const char *key : {"Ctrl+N", "Ctrl+O", "Ctrl+S", "Alt+R", "Alt+W", "Alt+U", "Ctrl+Alt+R", "Ctrl+Alt+W",
                            "Ctrl+Alt+U", "Alt+Down", "Alt+Up", "Ctrl+Alt+N", "Ctrl+P", "Ctrl+A", "F1"})
        QVERIFY2(keys.contains(key), key);
    QVERIFY(!w.findChild<QToolButton *>("toolButton_tomin")->isVisible());
    QVERIFY(w.findChild<QToolButton *>("toolButton_tomax")->isVisible());
    QCOMPARE(w.findChild<QToolButton *>("toolButton_exit")->toolTip(), QString("Выход"));

    // Button 15 shows the about box; its Ok closes it without an answer.
    QTest::mouseClick(w.toolButton(15), Qt::LeftButton);
    QTRY_VERIFY(w.messageBox()->isVisible());
    QVERIFY(!saveScreenshot(w.messageBox(), "about_box").isEmpty());
    QSignalSpy answered(w.messageBox(), &HrcMessageBox::closeMessageBox);
    QTest::mouseClick(w.messageBox()->findChild<QPushButton *>("pushButton"), Qt::LeftButton);
    QTRY_VERIFY(!w.messageBox()->isVisible());
    QCOMPARE(answered.count(), 0);
}

void TestHrcTreeWin::readAllShowsTheDeviceValues()
{
    Session s;
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    // Before the read the tree shows no data.
    QCOMPARE(s.item("Dev")->text(2), QString("Нет данных"));

    JobEndWait end(s);
    QTest::keyClick(s.window.get(), Qt::Key_R, Qt::AltModifier);
    QVERIFY(s.window->waitWindow()->isVisible());
    QVERIFY(!s.tree()->isEnabled());
    QVERIFY(!s.window->toolButton(4)->isEnabled());
    QVERIFY(end.wait());
    QCOMPARE(end.count(), 0);
    QCOMPARE(s.window->lastStatus(), QString("Параметры прочитаны без ошибок"));
    QCOMPARE(s.waitText(), QString("Параметры прочитаны без ошибок"));
    QVERIFY(s.tree()->isEnabled());
    QVERIFY(s.window->toolButton(4)->isEnabled());

    // The simulator serves its factory state. Every parameter's value is
    // checked by the fast read-all below and, with values that differ from
    // the factory's, by the I/O service's own read-all test.
    QCOMPARE(s.item("Dev")->text(2), QString("HRC417"));
    QCOMPARE(s.value("Tin.F"), QString("10"));
    QCOMPARE(s.item("Beep")->text(2), QString("Включить"));
    int exchanged = 0;
    for (const QDomElement &p : iotest::parametersOf(s.document, HrcDocument::allSets))
        exchanged += !p.hasAttribute("localparam");
    QCOMPARE(end.total(), exchanged);
    // The polled values are not part of it.
    QVERIFY(!s.element("r.cor:0").hasAttribute("ioLastErrCode"));

    QVERIFY(!saveScreenshot(s.window->waitWindow(), "wait_window_finished").isEmpty());
    s.tree()->scrollToTop();
    QVERIFY(!saveScreenshot(s.window.get(), "main_window_after_read_all").isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!s.window->waitWindow()->isVisible(), 3000);
}

void TestHrcTreeWin::aKnownDeviceIsReadWithoutNameChecks()
{
    // As the program runs: a known device's name checks are kept in its
    // backup folder (here one of this test's own).
    QTemporaryDir data;
    QVERIFY(data.isValid());
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    HrcTreeWorkers::setKeepNameChecksByDefault(true);
    auto restore = qScopeGuard([] {
        HrcTreeWorkers::setKeepNameChecksByDefault(false);
        qunsetenv("XDG_DATA_HOME");
    });
    Session s;
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    auto readAll = [&s](int *checks, int *exchanges) {
        const int from = s.sim.log().size();
        JobEndWait end(s);
        QTest::keyClick(s.window.get(), Qt::Key_R, Qt::AltModifier);
        QVERIFY(end.wait());
        QCOMPARE(end.count(), 0);
        *checks = simlog::nameChecksIn(s.sim.log().mid(from), exchanges);
    };
    int firstChecks = 0, first = 0, checks = 0, exchanges = 0;
    readAll(&firstChecks, &first);
    QVERIFY2(firstChecks > 10, qPrintable(QString::number(firstChecks)));
    const QString tinFirst = s.value("Tin.F");

    // Each job is a session of its own: the second asks no name at all.
    readAll(&checks, &exchanges);
    QCOMPARE(checks, 0);
    QCOMPARE(exchanges, first - firstChecks);
    QCOMPARE(s.value("Tin.F"), tinFirst);
    QCOMPARE(s.item("Dev")->text(2), QString("HRC417"));

    // "Забыть прибор" from the tools menu: the next read asks them all again.
    QAction *forget = s.window->findChild<QAction *>("forgetDeviceAction");
    QVERIFY(forget);
    forget->trigger();
    readAll(&checks, &exchanges);
    QCOMPARE(checks, firstChecks);
    QCOMPARE(exchanges, first);
}

namespace {

// Counts the paint events of a widget.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

void TestHrcTreeWin::fastReadAllRepaintsCoalescedAndEndsComplete()
{
    Session s({"--baud", "115200"});
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    // Every row on view, as after the engineer opened the branches.
    s.tree()->expandAll();
    s.window->resize(1180, 4000);
    PaintCounter counter;
    s.tree()->viewport()->installEventFilter(&counter);
    const QList<QDomElement> parameters = iotest::parametersOf(s.document, HrcDocument::allSets);

    // Connected after the window: runs right after its end-of-job handler.
    QElapsedTimer clock;
    qint64 jobMs = 0;
    int paintsInJob = 0;
    QStringList missing;
    connect(s.helper(), &KavuIOhelper::kavuIOFinished, this, [&] {
        jobMs = clock.elapsed();
        paintsInJob = counter.paints;
        for (const QDomElement &p : parameters) {
            if (p.hasAttribute("localparam"))
                continue;
            const QTreeWidgetItem *row = s.item(p.attribute("namekavu"));
            if (p.attribute("value") != p.attribute("ioValue") || p.attribute("ioValue").isEmpty()
                || row->text(2) != s.tree()->displayText(p))
                missing << p.attribute("namekavu");
            // The simulator's factory state: the description's factory values.
            else if (!p.attribute("defaultvalue").isEmpty() && p.attribute("type") != "datetime"
                     && !iotest::sameValue(p, p.attribute("value"), p.attribute("defaultvalue")))
                missing << p.attribute("namekavu") + "=" + p.attribute("value");
        }
    });
    JobEndWait end(s);
    counter.paints = 0;
    clock.start();
    QTest::keyClick(s.window.get(), Qt::Key_R, Qt::AltModifier);
    QVERIFY(end.wait());
    disconnect(s.helper(), &KavuIOhelper::kavuIOFinished, this, nullptr);
    QCOMPARE(end.count(), 0);
    // Every result is in the tree when the end of the job is handled.
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(' ')));
    // About 30 repaints a second at most (a few more for locking and
    // unlocking the window), instead of one per parameter.
    QVERIFY2(paintsInJob <= jobMs / 33 + 6,
             qPrintable(QString("%1 paints in %2 ms").arg(paintsInJob).arg(jobMs)));
    QVERIFY(paintsInJob > 0);
}

void TestHrcTreeWin::branchAndSingleParameterReads()
{
    Session s;
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    iotest::JobRecorder jobs(s.helper(), s.document);

    // A branch read with one parameter selected reads its whole set.
    selectRow(s, "Beep");
    QTest::keyClick(s.window.get(), Qt::Key_R, Qt::ControlModifier | Qt::AltModifier);
    QVERIFY(jobs.waitFinished());
    QCOMPARE(jobs.total, 4); // Ind.i, Ind.c, Beep, Rtc
    QCOMPARE(s.value("Ind.i"), QString("5"));
    QVERIFY(!s.element("Tin.F").hasAttribute("ioLastErrCode"));

    // "Прочитать параметр" reads the parameter alone.
    jobs.reset();
    selectRow(s, "Tin.F");
    QAction *readOne = contextAction(s, "Tin.F", "Прочитать параметр");
    QVERIFY(readOne);
    readOne->trigger();
    QVERIFY(jobs.waitFinished());
    QCOMPARE(jobs.total, 1);
    QCOMPARE(jobs.count, 0);
    QCOMPARE(s.value("Tin.F"), QString("10"));
    QCOMPARE(s.item("Tin.F")->text(2), QString("10"));
}

void TestHrcTreeWin::writeOnlyChangedParameters()
{
    Session s;
    QVERIFY2(s.ready, qPrintable(s.sim.error()));

    // Nothing changed yet: nothing to exchange.
    {
        JobEndWait end(s);
        QTest::mouseClick(s.window->toolButton(6), Qt::LeftButton);
        QVERIFY(end.wait());
        QCOMPARE(end.total(), 0);
        QCOMPARE(s.window->lastStatus(), QString("Нет параметров для операции обмена"));
    }

    editValue(s, "Tin.F", "25");
    editValue(s, "Ind.i", "9");
    QCOMPARE(HrcTree::itemColour(s.item("Tin.F")), HrcTree::changedColour());
    const int from = s.sim.log().size();
    {
        JobEndWait end(s);
        QTest::keyClick(s.window.get(), Qt::Key_U, Qt::AltModifier);
        QVERIFY(end.wait());
        QCOMPARE(end.count(), 0);
        QCOMPARE(end.total(), 2);
    }
    QCOMPARE(s.window->lastStatus(), QString("Параметры записаны без ошибок\nзаписано 2, подтверждено 2, расхождений 0"));
    QCOMPARE(s.sim.writesOf("Tin.F", from), 1);
    QCOMPARE(s.sim.writesOf("Ind.i", from), 1);
    QCOMPARE(allWrites(s, from), 2);
    // Written: back to the normal colour, so a second write-changed has nothing to do.
    QCOMPARE(HrcTree::itemColour(s.item("Tin.F")), HrcTree::normalColour());

    // The device holds the new values: read them back.
    s.document.paramValue("Tin.F", "1");
    selectRow(s, "Tin.F");
    JobEndWait end(s);
    contextAction(s, "Tin.F", "Прочитать параметр")->trigger();
    QVERIFY(end.wait());
    QCOMPARE(s.value("Tin.F"), QString("25"));

    // A branch: only its changed parameters are written.
    editValue(s, "Ind.c", "3");
    editValue(s, "Tin.F", "26");
    selectRow(s, "Ind.i");
    const int branchFrom = s.sim.log().size();
    JobEndWait branch(s);
    QTest::keyClick(s.window.get(), Qt::Key_U, Qt::ControlModifier | Qt::AltModifier);
    QVERIFY(branch.wait());
    QCOMPARE(branch.total(), 1);
    QCOMPARE(s.sim.writesOf("Ind.c", branchFrom), 1);
    QCOMPARE(s.sim.writesOf("Tin.F", branchFrom), 0);
    QCOMPARE(HrcTree::itemColour(s.item("Tin.F")), HrcTree::changedColour());
}

// A device that ignores one write, clamps another and shifts a third: the
// write reports what it holds, row by row, in the counts and to the problem
// navigation.
void TestHrcTreeWin::writtenValuesAreReadBack()
{
    Session s(QStringList{"--write-faults", "ignore=Ind.c,clamp=Tin.F,offset=Grtp[0]:0.5"});
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    QVERIFY(CommSettings::verifyWrites());
    editValue(s, "Tin.F", "50");
    editValue(s, "Ind.i", "9");
    editValue(s, "Ind.c", "3");
    s.tree()->updateItems(s.item("Grtp[0]"), true, "-20;85", true, true);
    QCOMPARE(HrcTree::itemColour(s.item("Grtp[0]")), HrcTree::changedColour());

    QSignalSpy verified(s.helper(), &KavuIOhelper::parameterVerified);
    const int from = s.sim.log().size();
    {
        JobEndWait end(s);
        QTest::keyClick(s.window.get(), Qt::Key_U, Qt::AltModifier);
        QVERIFY(end.wait());
        QCOMPARE(end.total(), 4);
        QCOMPARE(end.count(), 3);
    }
    QCOMPARE(s.window->lastStatus(), QString("Записано с ошибками (3)\nзаписано 4, подтверждено 1, расхождений 3"));
    QCOMPARE(allWrites(s, from), 4);

    // Each written parameter reported once, with what the device holds.
    QMap<QString, QVariantList> byName;
    for (const QVariantList &args : verified)
        byName.insert(args.at(0).toString(), args);
    QCOMPARE(verified.size(), 4);
    QCOMPARE(byName["Ind.i"], (QVariantList{"Ind.i", "9", "9", int(KavuComm::verifyConfirmed)}));
    QCOMPARE(byName["Ind.c"], (QVariantList{"Ind.c", "3", "4", int(KavuComm::verifyDiffers)}));
    QCOMPARE(byName["Tin.F"].at(3).toInt(), int(KavuComm::verifyDiffers));
    QCOMPARE(byName["Grtp[0]"], (QVariantList{"Grtp[0]", "-20;85", "-19,5;85,5", int(KavuComm::verifyDiffers)}));

    // Confirmed: normal. Different: red, the engineer's value kept, the
    // device's in the note.
    QCOMPARE(HrcTree::itemColour(s.item("Ind.i")), HrcTree::normalColour());
    QCOMPARE(s.item("Ind.i")->text(2), QString("9"));
    // Clamped to the middle of 1..60, as a byte: 31.
    const QString clamped = byName["Tin.F"].at(2).toString();
    QCOMPARE(clamped, QString("31"));
    const QStringList differing = {"Tin.F", "Ind.c", "Grtp[0]"};
    const QStringList notes = {"Прибор хранит " + clamped + " вместо 50", "Прибор хранит 4 вместо 3",
                               "Прибор хранит -19,5;85,5 вместо -20;85"};
    for (int i = 0; i < differing.size(); ++i) {
        QTreeWidgetItem *row = s.item(differing[i]);
        QCOMPARE(HrcTree::itemColour(row), HrcTree::problemColour());
        QCOMPARE(row->text(7), notes[i]);
        QCOMPARE(s.element(differing[i]).attribute("ioLastErrCode"), QString("-1003"));
    }
    QCOMPARE(s.value("Ind.c"), QString("3"));
    QCOMPARE(s.item("Ind.c")->text(2), QString("3"));

    // Seen without scrolling: the reason on the value and right beside it,
    // the result kept in the status bar long after the wait window went.
    QCOMPARE(s.item("Ind.c")->toolTip(2), QString("Прибор хранит 4 вместо 3"));
    QCOMPARE(s.tree()->horizontalScrollBar()->value(), 0);
    QVERIFY(s.tree()->header()->sectionViewportPosition(7) + 200 < s.tree()->viewport()->width());
    s.tree()->scrollToItem(s.item("Ind.c"));
    QTest::qWait(1500);
    auto *result = s.window->findChild<QLabel *>("jobResultLabel");
    QVERIFY(result->isVisible());
    QCOMPARE(result->text(), QString("Записано с ошибками (3) — расходятся: Tin.F, Ind.c, Grtp[0];"
                                     " записано 4, подтверждено 1, расхождений 3"));
    QVERIFY(!saveScreenshot(s.window.get(), "main_window_read_back_differs").isEmpty());

    // The session log keeps the job with the device's values; the compare
    // window knows them without another read.
    QAction *logAction = s.window->findChild<QAction *>("actionSessionLog");
    logAction->trigger();
    auto *log = s.window->findChild<QWidget *>("sessionLogWin");
    QVERIFY(log->isVisible());
    const QString logText = log->findChild<QPlainTextEdit *>("sessionLogText")->toPlainText();
    const QRegularExpression entry("^\\d\\d:\\d\\d:\\d\\d  Запись изменённых параметров: Записано с ошибками \\(3\\)\n"
                                   "    записано 4, подтверждено 1, расхождений 3\n"
                                   "    расходятся: Tin.F, Ind.c, Grtp\\[0\\]\n"
                                   "    Tin.F: Прибор хранит 31 вместо 50\n"
                                   "    Ind.c: Прибор хранит 4 вместо 3\n");
    QVERIFY2(entry.match(logText).hasMatch(), qPrintable(logText));
    QVERIFY(!saveScreenshot(log, "session_log").isEmpty());
    log->close();
    QCOMPARE(BackupStore::deviceValues(s.tree()->documentModel().allParams()).value("Ind.c"), QString("4"));

    // One command writes the three again, and only them.
    const int again = s.sim.log().size();
    {
        JobEndWait end(s);
        QTest::mouseClick(s.window->findChild<QToolButton *>("writeDifferingAgainButton"), Qt::LeftButton);
        QVERIFY(end.wait());
        QCOMPARE(end.total(), 3);
    }
    QCOMPARE(allWrites(s, again), 3);
    QCOMPARE(s.sim.writesOf("Ind.c", again), 1);
    QCOMPARE(s.window->lastDiffering(), (QStringList{"Tin.F", "Ind.c", "Grtp[0]"}));

    // The problem navigation visits the three, in the tree's order, and no more.
    s.tree()->clearSelection();
    QStringList visited;
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(s.window.get(), Qt::Key_Down, Qt::AltModifier);
        const QString name = s.tree()->elementOf(s.tree()->currentItem()).attribute("namekavu");
        if (!visited.contains(name))
            visited << name;
    }
    QCOMPARE(visited, (QStringList{"Tin.F", "Ind.c", "Grtp[0]"}));
}

// A slow line: the engineer turns the read-back off from the tools menu; the
// write is sent and not read again, and the setting stays.
void TestHrcTreeWin::readBackTurnedOffReadsNothingBack()
{
    Session s(QStringList{"--write-faults", "ignore=Ind.c"});
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    QAction *verify = s.window->toolsMenu()->findChild<QAction *>("actionVerifyWrites");
    QVERIFY(verify);
    QCOMPARE(verify->text(), QString("Проверять запись чтением"));
    QVERIFY(verify->isCheckable() && verify->isChecked());
    verify->trigger();
    QVERIFY(!CommSettings::verifyWrites());

    editValue(s, "Ind.c", "3");
    QSignalSpy verified(s.helper(), &KavuIOhelper::parameterVerified);
    QSignalSpy verifying(s.helper(), &KavuIOhelper::kavuIOVerifying);
    const int from = s.sim.log().size();
    JobEndWait end(s);
    QTest::keyClick(s.window.get(), Qt::Key_U, Qt::AltModifier);
    QVERIFY(end.wait());
    QCOMPARE(end.count(), 0);
    QCOMPARE(s.window->lastStatus(), QString("Параметры записаны без ошибок\nзаписано 1, проверка чтением выключена"));
    QCOMPARE(s.sim.writesOf("Ind.c", from), 1);
    QVERIFY(!s.sim.log().mid(from).contains(" read Ind.c"));
    QCOMPARE(verifying.size(), 0);
    QCOMPARE(verified.size(), 1);
    QCOMPARE(verified.first(), (QVariantList{"Ind.c", "3", QString(), int(KavuComm::verifyNotChecked)}));
    QCOMPARE(HrcTree::itemColour(s.item("Ind.c")), HrcTree::normalColour());

    verify->trigger();
    QVERIFY(CommSettings::verifyWrites());
}

void TestHrcTreeWin::factoryValuesForBranchAndParameter()
{
    Session s;
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    for (const char *name : {"Ind.i", "Ind.c", "Beep", "Tin.F"})
        s.tree()->updateItems(s.item(name), false, "7", true, true);

    // One parameter: its factory value, in the changed colour (it is to be written).
    selectRow(s, "Tin.F");
    QAction *one = contextAction(s, "Tin.F", "Установить в заводское значение");
    QVERIFY(one);
    one->trigger();
    QCOMPARE(s.value("Tin.F"), QString("10"));
    QCOMPARE(HrcTree::itemColour(s.item("Tin.F")), HrcTree::changedColour());

    // A branch: every parameter of the set, in the normal colour.
    selectRow(s, "addParam");
    QAction *branch = contextAction(s, "addParam", "Установить в заводские значение параметры ветви");
    QVERIFY(branch);
    branch->trigger();
    QCOMPARE(s.value("Ind.i"), QString("5"));
    QCOMPARE(s.item("Beep")->text(2), QString("Включить"));
    QCOMPARE(HrcTree::itemColour(s.item("Ind.i")), HrcTree::normalColour());
    QCOMPARE(s.value("Tin.F"), QString("10")); // outside the branch
    // Nothing was sent.
    QCOMPARE(allWrites(s, 0), 0);
}

void TestHrcTreeWin::initialiseDeviceCancelledAndConfirmed()
{
    Session s;
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    HrcTreeWin &w = *s.window;
    s.tree()->updateItems(s.item("Tin.F"), false, "33", true, true);
    s.tree()->updateItems(s.item("Addr"), false, "16", true, true);

    // Enter is no confirmation: the default answer of the destructive
    // question is "Отменить", whatever has the focus in the box.
    QTest::keyClick(&w, Qt::Key_N, Qt::ControlModifier | Qt::AltModifier);
    QTRY_VERIFY(w.messageBox()->isVisible());
    QVERIFY(w.messageBox()->findChild<QPushButton *>("bNo")->isDefault());
    QVERIFY(!w.messageBox()->findChild<QPushButton *>("bYes")->isDefault());
    // The keys go to the box's focus widget, or the box itself (the offscreen
    // platform does not hand the activation over to it).
    QWidget *focus = w.messageBox()->focusWidget();
    QTest::keyClick(focus ? focus : w.messageBox(), Qt::Key_Return);
    QTRY_VERIFY(!w.messageBox()->isVisible());
    QCOMPARE(s.value("Tin.F"), QString("33"));
    QVERIFY(!w.isJobRunning());
    QCOMPARE(allWrites(s, 0), 0);
    QTest::keyClick(&w, Qt::Key_N, Qt::ControlModifier | Qt::AltModifier);
    QTRY_VERIFY(w.messageBox()->isVisible());
    QTest::keyClick(w.messageBox()->findChild<QWidget *>("textEdit"), Qt::Key_Enter);
    QTRY_VERIFY(!w.messageBox()->isVisible());
    QCOMPARE(s.value("Tin.F"), QString("33"));
    QVERIFY(!w.isJobRunning());

    // Cancelled: nothing changes and nothing is sent.
    QTest::mouseClick(w.toolButton(12), Qt::LeftButton);
    QTRY_VERIFY(w.messageBox()->isVisible());
    QCOMPARE(w.messageBox()->findChild<QLabel *>("label")->text(), QString("Предупреждение"));
    QVERIFY(!saveScreenshot(w.messageBox(), "initialise_warning").isEmpty());
    QTest::mouseClick(w.messageBox()->findChild<QPushButton *>("bNo"), Qt::LeftButton);
    QTRY_VERIFY(!w.messageBox()->isVisible());
    QCOMPARE(s.value("Tin.F"), QString("33"));
    QVERIFY(!w.isJobRunning());
    QCOMPARE(allWrites(s, 0), 0);

    // Confirmed (by its key this time): factory values, changed colour until written.
    QTest::keyClick(&w, Qt::Key_N, Qt::ControlModifier | Qt::AltModifier);
    QTRY_VERIFY(w.messageBox()->isVisible());
    JobEndWait end(s);
    QTest::mouseClick(w.messageBox()->findChild<QPushButton *>("bYes"), Qt::LeftButton);
    QCOMPARE(s.value("Tin.F"), QString("10"));
    QCOMPARE(HrcTree::itemColour(s.item("Tin.F")), HrcTree::changedColour());
    QCOMPARE(HrcTree::itemColour(s.item("Addr")), HrcTree::normalColour()); // link settings untouched
    QVERIFY(w.isJobRunning());
    QVERIFY(end.wait());
    QCOMPARE(s.sim.writesOf("Tin.F"), 1);
    QCOMPARE(s.sim.writesOf("Addr"), 0);
    QCOMPARE(HrcTree::itemColour(s.item("Tin.F")), HrcTree::normalColour());
    // The device's own texts are read back, not written; the description's
    // factory clock "00:00:00" is no date, so that one write fails.
    QCOMPARE(end.count(), 1);
    QVERIFY(w.lastStatus().startsWith("Записано с ошибками (1)\n"));
    QCOMPARE(s.element("Dev").attribute("ioLastErrCode"), QString("0"));
    QCOMPARE(s.element("Rtc").attribute("ioLastErrCode"), QString("-1"));
    QCOMPARE(s.item("Rtc")->text(7), QString("Аргумент функции неверен"));
    int written = 0;
    for (const QDomElement &p : iotest::parametersOf(s.document, HrcDocument::allSets)) {
        const QString name = p.attribute("namekavu");
        if (p.hasAttribute("localparam") || p.hasAttribute("commparam") || name == "Rtc")
            continue;
        QVERIFY2(p.attribute("ioLastErrCode") == "0", qPrintable(name));
        ++written;
    }
    QCOMPARE(end.total(), written + 1);
    // Every value sent was read back as sent (the device's three texts are
    // only read).
    QCOMPARE(w.lastStatus(), QString("Записано с ошибками (1)\nзаписано %1, подтверждено %1, расхождений 0")
                                 .arg(written - 3));
}

void TestHrcTreeWin::problemNavigationOverFailedParameters()
{
    Session s(QStringList(), 1);
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    // Two names the device does not know.
    s.element("Tin.F").setAttribute("namekavu", "Tin.Q");
    s.element("Rtc").setAttribute("namekavu", "Rtq");

    JobEndWait end(s);
    QTest::mouseClick(s.window->toolButton(4), Qt::LeftButton);
    QVERIFY(end.wait());
    QCOMPARE(end.count(), 2);
    QCOMPARE(s.window->lastStatus(), QString("Прочитано с ошибками (2)"));
    QTreeWidgetItem *first = s.item("Tin.Q");
    QTreeWidgetItem *second = s.item("Rtq");
    QCOMPARE(HrcTree::itemColour(first), HrcTree::problemColour());
    QCOMPARE(first->text(7), QString("Не найден параметр"));
    QCOMPARE(HrcTree::itemColour(second), HrcTree::problemColour());

    // Previous with nothing selected does nothing; next starts at the top.
    s.tree()->clearSelection();
    QTest::keyClick(s.window.get(), Qt::Key_Up, Qt::AltModifier);
    QVERIFY(s.tree()->selectedItems().isEmpty());
    QTest::keyClick(s.window.get(), Qt::Key_Down, Qt::AltModifier);
    QCOMPARE(s.tree()->selectedItems(), QList<QTreeWidgetItem *>{first});
    QTest::mouseClick(s.window->toolButton(10), Qt::LeftButton);
    QCOMPARE(s.tree()->selectedItems(), QList<QTreeWidgetItem *>{second});
    QCOMPARE(s.tree()->currentItem(), second);
    // Past the last problem the selection stays.
    QTest::keyClick(s.window.get(), Qt::Key_Down, Qt::AltModifier);
    QCOMPARE(s.tree()->selectedItems(), QList<QTreeWidgetItem *>{second});
    QTest::mouseClick(s.window->toolButton(11), Qt::LeftButton);
    QCOMPARE(s.tree()->selectedItems(), QList<QTreeWidgetItem *>{first});
    QVERIFY(!saveScreenshot(s.window.get(), "main_window_problem_selected").isEmpty());
}

void TestHrcTreeWin::connectionCheck()
{
    Session s;
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    s.tree()->setItemColour(s.item("commSettings"), HrcTree::problemColour());
    JobEndWait end(s);
    QTest::keyClick(s.window.get(), Qt::Key_A, Qt::ControlModifier);
    QVERIFY(end.wait());
    QCOMPARE(end.count(), 0);
    QCOMPARE(s.window->lastStatus(), QString("Связь с прибором установлена"));
    QCOMPARE(HrcTree::itemColour(s.item("commSettings")), HrcTree::normalColour());
    QCOMPARE(s.value("Dev"), QString("HRC417"));
}

void TestHrcTreeWin::connectionCheckAgainstSilentDevice()
{
    Session s(iotest::silentDeviceArgs(), 0);
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    JobEndWait end(s);
    QTest::mouseClick(s.window->toolButton(14), Qt::LeftButton);
    QVERIFY(end.wait());
    QCOMPARE(end.count(), -1);
    QCOMPARE(s.window->lastStatus(), QString("Порт %1 открыт, но прибор не отвечает. Проверьте скорость обмена, "
                                             "адрес прибора и подключение линии связи.")
                                         .arg(s.sim.path()));
    QTreeWidgetItem *comm = s.item("commSettings");
    QCOMPARE(HrcTree::itemColour(comm), HrcTree::problemColour());
    QCOMPARE(HrcTree::itemColour(s.item("Addr")), HrcTree::problemColour());
    QVERIFY(comm->isExpanded());
    QCOMPARE(s.tree()->currentItem(), comm);
    QCOMPARE(s.tree()->selectedItems(), QList<QTreeWidgetItem *>{comm});
    QCOMPARE(s.value("Dev"), QString()); // values stay as they were
    QVERIFY(!saveScreenshot(s.window.get(), "main_window_no_connection").isEmpty());
}

void TestHrcTreeWin::failedOpenStaysExplainedInTheWaitWindow()
{
    Session s(QStringList(), 0);
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    // The port chosen is a file that is no serial port; then one that is gone.
    s.document.paramValue("Port", "/dev/null");
    QSignalSpy finished(s.helper(), &KavuIOhelper::kavuIOFinished);
    QTest::mouseClick(s.window->toolButton(14), Qt::LeftButton);
    QVERIFY(finished.wait(30000));
    const QString notSerial = "/dev/null не является последовательным портом. Выберите другой порт.";
    QCOMPARE(s.window->lastStatus(), notSerial);
    WaitWin *wait = s.window->waitWindow();
    auto *close = wait->findChild<QPushButton *>("canselIOButton");
    QCOMPARE(s.waitText(), notSerial);
    QCOMPARE(close->text(), QString("Закрыть"));
    QVERIFY(!saveScreenshot(wait, "wait_window_port_failure").isEmpty());
    // Not gone after a second: the engineer closes it.
    QTest::qWait(2000);
    QVERIFY(wait->isVisible());
    QCOMPARE(s.waitText(), notSerial);
    QTest::mouseClick(close, Qt::LeftButton);
    QTRY_VERIFY(!wait->isVisible());

    s.document.paramValue("Port", "ttyUSB-not-plugged");
    QTest::mouseClick(s.window->toolButton(14), Qt::LeftButton);
    QVERIFY(finished.wait(30000));
    QCOMPARE(s.waitText(), QString("Порт ttyUSB-not-plugged не найден: такого устройства в системе нет. "
                                   "Проверьте, подключён ли адаптер, и выберите порт из списка."));
    QVERIFY(wait->isVisible());
    QCOMPARE(close->text(), QString("Закрыть"));
    QVERIFY(!saveScreenshot(wait, "wait_window_port_missing").isEmpty());
    QTest::mouseClick(close, Qt::LeftButton);
    QTRY_VERIFY(!wait->isVisible());

    // The next job shows its progress and cancel button as before.
    s.document.paramValue("Port", s.sim.path());
    s.document.paramValue("TimeOut", "2");
    JobEndWait end(s);
    QTest::mouseClick(s.window->toolButton(14), Qt::LeftButton);
    QCOMPARE(close->text(), QString("Прервать"));
    QVERIFY(end.wait());
    QCOMPARE(s.window->lastStatus(), QString("Связь с прибором установлена"));
}

void TestHrcTreeWin::saveChangeOpen()
{
    Session s;
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    QTemporaryDir dir;
    const QString file = dir.filePath("boiler-room.hrc417");
    s.tree()->updateItems(s.item("Tin.F"), false, "12", true, true);
    s.tree()->updateItems(s.item("Grtp[0]"), false, "-20,0;85,5", true, true);
    s.tree()->updateItems(s.item("Addr"), false, "20", true, true);

    // Save through the file chooser.
    whenDialogShown<QFileDialog>([file](QFileDialog *d) {
        typeFileName(d, file);
    });
    QTest::keyClick(s.window.get(), Qt::Key_S, Qt::ControlModifier);
    QVERIFY(QFile::exists(file));
    QSettings saved(file, QSettings::IniFormat);
    QCOMPARE(saved.value("hrc417/Tin.F").toString(), QString("12"));
    // The last-configuration store got the same, link settings included.
    std::unique_ptr<QSettings> last = ConfigStore::lastConfiguration();
    QCOMPARE(last->value("hrc417/Tin.F").toString(), QString("12"));
    QCOMPARE(last->value("hrc417/Addr").toString(), QString("20"));

    // Change, then open: the values come back, the link settings stay.
    s.tree()->updateItems(s.item("Tin.F"), false, "30", true, true);
    s.tree()->updateItems(s.item("Grtp[0]"), false, "1,0;2,0", true, true);
    s.tree()->updateItems(s.item("Addr"), false, "25", true, true);
    whenDialogShown<QFileDialog>([file](QFileDialog *d) {
        typeFileName(d, file);
    });
    QTest::mouseClick(s.window->toolButton(2), Qt::LeftButton);
    QCOMPARE(s.value("Tin.F"), QString("12"));
    QCOMPARE(s.item("Tin.F")->text(2), QString("12"));
    QCOMPARE(s.value("Grtp[0]"), QString("-20,0;85,5"));
    QCOMPARE(s.item("Grtp[0]")->child(1)->text(2), QString("85,5"));
    QCOMPARE(s.value("Addr"), QString("25"));
    // Loaded values are ready to be written: changed colour, link settings not.
    QCOMPARE(HrcTree::itemColour(s.item("Tin.F")), HrcTree::changedColour());
    QVERIFY(HrcTree::itemColour(s.item("Addr")) != HrcTree::changedColour());
    // The polling boxes are cleared.
    QCOMPARE(s.item("r.cor:0")->checkState(0), Qt::Unchecked);

    // ... and write-changed writes them, to the device at the address still
    // in force (an unwritten address edit leaves it in undoValue).
    s.element("Addr").setAttribute("undoValue", "16");
    const int from = s.sim.log().size();
    JobEndWait end(s);
    QTest::mouseClick(s.window->toolButton(6), Qt::LeftButton);
    QVERIFY(end.wait());
    QCOMPARE(s.sim.writesOf("Tin.F", from), 1);
    QCOMPARE(s.sim.writesOf("Addr", from), 0);

    // A file with an empty and a cut entry: opened by the rule (the factory
    // value for the empty one), and the engineer is told which entries.
    const QString faulty = dir.filePath("faulty.hrc417");
    {
        QFile f(faulty);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[hrc417]\nTin.F=14\nBeep=\nT.sp%5B0%5D=\"6\n");
    }
    s.tree()->updateItems(s.item("Beep"), false, "0", true, true);
    whenDialogShown<QFileDialog>([faulty](QFileDialog *d) {
        typeFileName(d, faulty);
    });
    QString told;
    whenDialogShown<QMessageBox>([&told](QMessageBox *box) {
        told = box->objectName() + "|" + box->text();
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    QTest::mouseClick(s.window->toolButton(2), Qt::LeftButton);
    QVERIFY2(told.startsWith("openFaultsBox|"), qPrintable(told));
    QVERIFY2(told.contains("строка 3: Beep — пустое значение"), qPrintable(told));
    QVERIFY2(told.contains("строка 4: T.sp[0] — нарушены кавычки"), qPrintable(told));
    QVERIFY(!told.contains("Tin.F"));
    QCOMPARE(s.value("Tin.F"), QString("14"));
    QCOMPARE(s.value("Beep"), s.element("Beep").attribute("defaultvalue"));
}

void TestHrcTreeWin::testPanelReadsAndWrites()
{
    Session s(QStringList(), 1);
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    HrcTreeWin &w = *s.window;
    TestParamWin *panel = w.testPanel();
    QVERIFY(!panel->isVisible());
    QTest::keyClick(&w, Qt::Key_P, Qt::ControlModifier);
    QTRY_VERIFY(panel->isVisible());
    // Against the window's right edge, below its tool bar.
    const QRect main = w.geometry();
    QCOMPARE(panel->x(), main.x() + (main.width() - panel->width()) - 5);
    QVERIFY(panel->y() > main.y());

    auto *name = panel->findChild<QComboBox *>("ParamNameComboBox");
    auto *type = panel->findChild<QComboBox *>("testParamDataTypeComboBox");
    auto *index = panel->findChild<QLineEdit *>("testParamIndexEdit");
    auto *indexOn = panel->findChild<QCheckBox *>("checkBox");
    auto *valueEdit = panel->findChild<QLineEdit *>("testParamEdit");
    auto *read = panel->findChild<QPushButton *>("readParamButton");
    auto *write = panel->findChild<QPushButton *>("writeParamButton");
    QVERIFY(name && type && index && indexOn && valueEdit && read && write);
    QCOMPARE(name->currentText(), QString());
    QCOMPARE(type->currentText(), QString("raw"));

    // Without a name nothing starts.
    auto *status = panel->findChild<QLabel *>("testParamStatusLabel");
    QVERIFY(status);
    QTest::mouseClick(read, Qt::LeftButton);
    QCOMPARE(status->text(), QString("Не задан параметр"));
    QCOMPARE(valueEdit->text(), QString());
    QVERIFY(!w.isJobRunning());

    // "Thpd" from the list is the indexed description parameter Thpd[0].
    const int thpd = name->findText("Thpd");
    QVERIFY(thpd >= 0);
    QTest::mouseClick(name, Qt::LeftButton, {}, QPoint(name->width() - 6, name->height() / 2));
    QVERIFY(clickComboEntry(name, thpd));
    QTRY_COMPARE(name->currentText(), QString("Thpd"));
    QVERIFY(indexOn->isChecked());
    QCOMPARE(index->text(), QString("0"));
    QVERIFY(index->isEnabled());
    QCOMPARE(type->currentText(), QString("enum"));
    {
        JobEndWait end(s);
        QTest::mouseClick(read, Qt::LeftButton);
        QVERIFY(end.wait());
        QCOMPARE(end.total(), 1); // an ordinary job on the tree's parameter
    }
    QCOMPARE(s.element("Thpd[0]").attribute("ioLastErrCode"), QString("0"));
    QCOMPARE(valueEdit->text(), s.value("Thpd[0]"));
    QVERIFY(!valueEdit->text().isEmpty());
    QVERIFY(!saveScreenshot(panel, "test_panel").isEmpty());

    // A description name with another type than the description's runs the
    // test job through testParam, not a job on the tree's parameter.
    name->lineEdit()->selectAll();
    QTest::keyClicks(name->lineEdit(), "Ind.i");
    QCOMPARE(type->currentText(), QString("raw"));
    type->lineEdit()->selectAll();
    QTest::keyClicks(type->lineEdit(), "byte");
    {
        JobEndWait end(s);
        QTest::mouseClick(read, Qt::LeftButton);
        QVERIFY(end.wait());
        QCOMPARE(end.total(), 50000);
        QCOMPARE(end.count(), 0);
    }
    QCOMPARE(valueEdit->text(), QString("5"));
    QVERIFY(!s.element("Ind.i").hasAttribute("ioLastErrCode"));
    const QDomElement testParam = s.document.testParam();
    QCOMPARE(testParam.attribute("namekavu"), QString("Ind.i"));
    QCOMPARE(testParam.attribute("type"), QString("byte"));

    // A name the description lacks: the device's error text.
    name->lineEdit()->selectAll();
    QTest::keyClicks(name->lineEdit(), "Zzz");
    type->lineEdit()->selectAll();
    QTest::keyClicks(type->lineEdit(), "byte");
    {
        JobEndWait end(s);
        QTest::mouseClick(read, Qt::LeftButton);
        QVERIFY(end.wait());
        QCOMPARE(end.count(), 1);
    }
    QCOMPARE(status->text(), QString("Не найден параметр"));
    QVERIFY(!valueEdit->text().contains("Не найден"));

    // A write of a description parameter of its own type: the device and the tree get it.
    name->lineEdit()->selectAll();
    QTest::keyClicks(name->lineEdit(), "Ind.i");
    type->lineEdit()->selectAll();
    QTest::keyClicks(type->lineEdit(), "word");
    valueEdit->clear();
    QTest::mouseClick(write, Qt::LeftButton);
    QCOMPARE(status->text(), QString("Не задано значение"));
    QCOMPARE(valueEdit->text(), QString());
    valueEdit->clear();
    QTest::keyClicks(valueEdit, "7x");
    QCOMPARE(valueEdit->text(), QString("7")); // decimal digits only for a word
    const int from = s.sim.log().size();
    {
        JobEndWait end(s);
        QTest::mouseClick(write, Qt::LeftButton);
        QVERIFY(end.wait());
        QCOMPARE(end.count(), 0);
    }
    QCOMPARE(s.sim.writesOf("Ind.i", from), 1);
    QCOMPARE(s.item("Ind.i")->text(2), QString("7"));
    QCOMPARE(valueEdit->text(), QString("7"));
    QCOMPARE(status->text(), QString("Параметры записаны без ошибок\nзаписано 1, подтверждено 1, расхождений 0"));

    // The forms of the other types: a signed float with a decimal point or
    // comma, a time, a date and time.
    auto writeThrough = [&](const char *param, const char *typeName, const char *text) {
        name->lineEdit()->selectAll();
        QTest::keyClicks(name->lineEdit(), param);
        type->lineEdit()->selectAll();
        QTest::keyClicks(type->lineEdit(), typeName);
        valueEdit->clear();
        QTest::keyClicks(valueEdit, text);
        JobEndWait end(s);
        QTest::mouseClick(write, Qt::LeftButton);
        return end.wait() && end.count() == 0;
    };
    const int typedFrom = s.sim.log().size();
    QVERIFY(writeThrough("T.win", "float", "-3.5"));
    QCOMPARE(s.value("T.win"), QString("-3,5"));
    QVERIFY(writeThrough("T.sum", "float", "+14,5"));
    QCOMPARE(s.value("T.sum"), QString("14,5"));
    QVERIFY(writeThrough("Tm.dy", "time", "07:30:00"));
    QCOMPARE(s.value("Tm.dy"), QString("07:30:00"));
    QVERIFY(writeThrough("Rtc", "datetime", "2026/12/08/10:11:12"));
    QCOMPARE(s.value("Rtc"), QString("2026/12/08/10:11:12"));
    // A time through the test job, a name typed with another type than the description's.
    QVERIFY(writeThrough("Tm.ng", "time", "21:15:00"));
    for (const char *written : {"T.win", "T.sum", "Tm.dy", "Rtc", "Tm.ng"})
        QVERIFY2(s.sim.writesOf(written, typedFrom) == 1, written);

    // A value that is not of the type: said in the status line, nothing sent.
    name->lineEdit()->selectAll();
    QTest::keyClicks(name->lineEdit(), "Tm.rg");
    type->lineEdit()->selectAll();
    QTest::keyClicks(type->lineEdit(), "time");
    valueEdit->clear();
    QTest::keyClicks(valueEdit, "25:00:00");
    const int refusedFrom = s.sim.log().size();
    QTest::mouseClick(write, Qt::LeftButton);
    QVERIFY(!w.isJobRunning());
    QCOMPARE(status->text(), QString("Значение не подходит для типа time: ожидается время чч:мм:сс"));
    QCOMPARE(valueEdit->text(), QString("25:00:00"));
    QCOMPARE(allWrites(s, refusedFrom), 0);
    QVERIFY(!saveScreenshot(panel, "test_panel_refused_value").isEmpty());

    // Ctrl+P in the main window hides it again; the close button too.
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_P, Qt::ControlModifier);
    QVERIFY(!panel->isVisible());
    QTest::keyClick(&w, Qt::Key_P, Qt::ControlModifier);
    QVERIFY(panel->isVisible());
    QTest::mouseClick(panel->findChild<QToolButton *>("testParamWinCloseButton"), Qt::LeftButton);
    QVERIFY(!panel->isVisible());
}

void TestHrcTreeWin::cancelFromTheWaitWindow()
{
    // A slow line, so that the job is still running when cancelled.
    Session s(QStringList{"--baud", "1200"}, 2);
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    JobEndWait end(s);
    QSignalSpy finished(s.helper(), &KavuIOhelper::kavuIOFinished);
    QTest::mouseClick(s.window->toolButton(4), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(s.waitText().startsWith("Чтение параметров. Прочитано"), 20000);
    QVERIFY(!saveScreenshot(s.window->waitWindow(), "wait_window_progress").isEmpty());
    auto *cancel = s.window->waitWindow()->findChild<QPushButton *>("canselIOButton");
    QTest::mouseClick(cancel, Qt::LeftButton);
    QCOMPARE(s.waitText(), QString("Останавливаем ..."));
    QVERIFY(!cancel->isVisible());
    QVERIFY(finished.wait(20000));
    QTest::qWait(100); // the finish message laid out
    QVERIFY(!saveScreenshot(s.window->waitWindow(), "wait_window_cancelled").isEmpty());
    QVERIFY(end.wait());
    const int total = end.total();
    QVERIFY(total > 50);

    // Every parameter is either exchanged or marked as left out.
    int read = 0, leftOut = 0;
    for (const QDomElement &p : iotest::parametersOf(s.document, HrcDocument::allSets)) {
        if (p.hasAttribute("localparam"))
            continue;
        const QString code = p.attribute("ioLastErrCode");
        if (code == "0")
            ++read;
        else if (code == "-1002")
            ++leftOut;
        else
            QFAIL(qPrintable(p.attribute("namekavu") + " " + code));
    }
    QVERIFY(read > 0);
    QCOMPARE(read + leftOut, total);
    QCOMPARE(end.count(), leftOut);
    QCOMPARE(s.window->lastStatus(), QString("Прервано пользователем. Прочитано %1 из %2").arg(read).arg(total));
    // The last set was never reached: marked in red, found by the navigation.
    QTreeWidgetItem *last = s.item("corr[7]");
    QCOMPARE(last->text(7), QString("Обмен не выполнен: операция прервана пользователем"));
    QCOMPARE(last->foreground(7).color(), HrcTree::problemColour());
    QVERIFY(s.tree()->isEnabled());
    QVERIFY(s.window->toolButton(4)->isEnabled());
    s.tree()->clearSelection();
    QTest::keyClick(s.window.get(), Qt::Key_Down, Qt::AltModifier);
    QCOMPARE(s.tree()->selectedItems().size(), 1);
    QVERIFY(HrcDocument::wasNotExchanged(s.tree()->elementOf(s.tree()->selectedItems().first())));
    QTRY_VERIFY_WITH_TIMEOUT(!s.window->waitWindow()->isVisible(), 3000);
}

void TestHrcTreeWin::aPulledLineLeavesNoOldValueLookingRead()
{
    // A slow line, so that the line is pulled while the read is under way;
    // the values of an earlier read are in the tree, in normal black.
    Session s(QStringList{"--baud", "1200"}, 1);
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    s.document.paramValue("T.sp[0]", "55");
    s.document.paramValue("d.ngt[0]", "5");
    s.tree()->buildTree();
    editValue(s, "Ind.c", "3"); // an edit not yet written
    QVERIFY(!HrcTree::isProblemItem(s.item("T.sp[0]")));

    JobEndWait end(s);
    QTest::mouseClick(s.window->toolButton(4), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(s.waitText().startsWith("Чтение параметров. Прочитано")
                                 && !s.waitText().contains(" 0 из"),
                             20000);
    s.sim.stop();
    QVERIFY(end.wait(300000));
    QVERIFY(end.count() > 0);
    // The pulled line is told as such, with how far the read got.
    QVERIFY2(s.window->lastStatus().startsWith("Связь потеряна: адаптер отключён ("), qPrintable(s.window->lastStatus()));

    // Every value not read in this job is a problem with its reason; an
    // edit keeps its changed colour (still to be written) and is a problem too.
    QStringList notRead;
    int read = 0;
    for (const QDomElement &p : iotest::parametersOf(s.document, HrcDocument::allSets)) {
        const QString name = p.attribute("namekavu");
        if (p.hasAttribute("localparam"))
            continue;
        QTreeWidgetItem *row = s.item(name);
        QVERIFY2(row, qPrintable(name));
        if (p.attribute("ioLastErrCode") == "0") {
            ++read;
            continue;
        }
        notRead << name;
        QVERIFY2(HrcTree::isProblemItem(row), qPrintable(name));
        QVERIFY2(!row->text(7).isEmpty(), qPrintable(name));
        if (name == "Ind.c")
            QCOMPARE(HrcTree::itemColour(row), HrcTree::changedColour());
        else
            QVERIFY2(HrcTree::itemColour(row) == HrcTree::problemColour(), qPrintable(name));
    }
    QVERIFY(read > 0);
    QCOMPARE(notRead.size(), end.count());
    QVERIFY(notRead.contains("T.sp[0]"));
    QCOMPARE(HrcTree::itemColour(s.item("T.sp[0]")), HrcTree::problemColour());
    QVERIFY2(s.item("T.sp[0]")->text(7).startsWith("Связь потеряна"), qPrintable(s.item("T.sp[0]")->text(7)));

    // "Только проблемные" finds every one of them, and nothing read.
    QTest::mouseClick(s.window->searchBar()->problemsButton(), Qt::LeftButton);
    QStringList shown;
    for (const QDomElement &p : iotest::parametersOf(s.document, HrcDocument::allSets)) {
        bool visible = !p.hasAttribute("localparam");
        for (QTreeWidgetItem *i = s.item(p.attribute("namekavu")); i; i = i->parent())
            visible = visible && !i->isHidden();
        if (visible)
            shown << p.attribute("namekavu");
    }
    QCOMPARE(shown, notRead);
    QVERIFY(!saveScreenshot(s.window.get(), "pulled_line_only_problems").isEmpty());
    QTest::mouseClick(s.window->searchBar()->problemsButton(), Qt::LeftButton);
}

void TestHrcTreeWin::escapeInTheWaitWindowAsksThenCancels()
{
    Session s(QStringList{"--baud", "1200"}, 2);
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    WaitWin *wait = s.window->waitWindow();
    JobEndWait end(s);
    QTest::mouseClick(s.window->toolButton(4), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(s.waitText().startsWith("Чтение параметров. Прочитано"), 20000);

    // Esc, then "No": the job goes on and the window stays.
    QString question;
    whenDialogShown<QMessageBox>([&](QMessageBox *box) {
        question = box->text();
        QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
    });
    QTest::keyClick(wait, Qt::Key_Escape);
    QCOMPARE(question, QString("Прервать операцию обмена с прибором?"));
    QVERIFY(wait->isVisible());
    QVERIFY(s.window->isJobRunning());
    QVERIFY(!s.helper()->isTerminating());

    // Esc, then "Yes": the job stops and says so.
    whenDialogShown<QMessageBox>([&](QMessageBox *box) {
        QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
    });
    QTest::keyClick(wait, Qt::Key_Escape);
    QVERIFY(end.wait());
    QVERIFY(s.window->lastStatus().startsWith("Прервано пользователем. Прочитано "));
    QVERIFY(end.count() > 0);
    QVERIFY(s.tree()->isEnabled());
}

void TestHrcTreeWin::parametersLeftOutByTheDeadlineStayEdited()
{
    // A slow line and a one-second deadline per set: the set's last
    // parameter is never reached.
    Session s(QStringList{"--baud", "1200"}, 10);
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    // The set's values from the device first, with time enough.
    selectRow(s, "ConditionsEngine");
    {
        JobEndWait end(s);
        contextAction(s, "ConditionsEngine", "Прочитать параметры ветви")->trigger();
        QVERIFY(end.wait());
        QCOMPARE(end.count(), 0);
    }
    s.document.paramValue("TimeOut", "1");
    editValue(s, "T.win", "5,5");
    selectRow(s, "ConditionsEngine");
    {
        JobEndWait end(s);
        QAction *branch = contextAction(s, "ConditionsEngine", "Записать параметры ветви");
        QVERIFY(branch);
        branch->trigger();
        QVERIFY(end.wait());
        QCOMPARE(end.total(), 9);
        int written = 0;
        for (const QDomElement &p : iotest::parametersOf(s.document, "ConditionsEngine"))
            written += p.attribute("ioLastErrCode") == "0";
        // How many fit before the deadline depends on the machine's speed
        // (none under the sanitizers); some must have been left out.
        QVERIFY(written < 9);
        QCOMPARE(end.count(), 9 - written);
        // What was written is read back within the same deadlines.
        QVERIFY(s.window->lastStatus().startsWith(QString("Записано с ошибками (%1)\nзаписано ").arg(9 - written)));
    }
    QCOMPARE(s.sim.writesOf("T.win"), 0);
    // The edit stands, still to be sent, with the reason in red.
    QTreeWidgetItem *tWin = s.item("T.win");
    QCOMPARE(s.value("T.win"), QString("5,5"));
    QCOMPARE(tWin->text(2), QString("5,5"));
    QCOMPARE(HrcTree::itemColour(tWin), HrcTree::changedColour());
    QCOMPARE(tWin->text(7), QString("Обмен не выполнен: истекло время обмена набора параметров (TimeOut)"));
    QCOMPARE(tWin->foreground(7).color(), HrcTree::problemColour());
    s.tree()->scrollToItem(tWin);
    s.tree()->horizontalScrollBar()->setValue(s.tree()->horizontalScrollBar()->maximum());
    QVERIFY(!saveScreenshot(s.window.get(), "main_window_left_out_by_deadline").isEmpty());

    // The problem navigation reaches it.
    s.tree()->clearSelection();
    for (int i = 0; i < 9 && s.tree()->selectedItems() != QList<QTreeWidgetItem *>{tWin}; ++i)
        QTest::keyClick(s.window.get(), Qt::Key_Down, Qt::AltModifier);
    QCOMPARE(s.tree()->selectedItems(), QList<QTreeWidgetItem *>{tWin});

    // Writing the changed parameters sends it now (with time enough, so that
    // a loaded machine's late reply is not repeated on the line).
    s.document.paramValue("TimeOut", "10");
    JobEndWait end(s);
    QTest::keyClick(s.window.get(), Qt::Key_U, Qt::AltModifier);
    QVERIFY(end.wait());
    QCOMPARE(s.sim.writesOf("T.win"), 1);
    QCOMPARE(HrcTree::itemColour(tWin), HrcTree::normalColour());
    QCOMPARE(s.value("T.win"), QString("5,5"));
}

void TestHrcTreeWin::editorsLeftUnchangedStoreNothing()
{
    Session s;
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    s.tree()->expandAll();

    // The clock without a value: the editor shows some date, Enter keeps none.
    QTreeWidgetItem *rtc = s.item("Rtc");
    QVERIFY(s.value("Rtc").isEmpty());
    doubleClickCell(*s.tree(), rtc, 2);
    QDateTimeEdit *edit = nullptr;
    QVERIFY(QTest::qWaitFor([&]() { return (edit = openEditor<QDateTimeEdit>(s.tree()->viewport())); }, 3000));
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_VERIFY(!openEditor<QDateTimeEdit>(s.tree()->viewport()));
    QVERIFY(s.value("Rtc").isEmpty());
    QVERIFY(HrcTree::itemColour(rtc) != HrcTree::changedColour());
    // A time without a value likewise.
    doubleClickCell(*s.tree(), s.item("Tm.dy"), 2);
    QVERIFY(QTest::qWaitFor([&]() { return (edit = openEditor<QDateTimeEdit>(s.tree()->viewport())); }, 3000));
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_VERIFY(!openEditor<QDateTimeEdit>(s.tree()->viewport()));
    QVERIFY(s.value("Tm.dy").isEmpty());
    {
        JobEndWait end(s);
        QTest::keyClick(s.window.get(), Qt::Key_U, Qt::AltModifier);
        QVERIFY(end.wait());
        QCOMPARE(end.total(), 0);
    }

    // The computer's clock, from the context menu of date-time parameters only.
    QVERIFY(!contextAction(s, "Tm.dy", "Установить время компьютера"));
    selectRow(s, "Rtc");
    QAction *now = contextAction(s, "Rtc", "Установить время компьютера");
    QVERIFY(now);
    const QDateTime before = QDateTime::currentDateTime();
    now->trigger();
    const QDateTime set = QDateTime::fromString(s.value("Rtc"), "yyyy/MM/dd/hh:mm:ss");
    QVERIFY(set.isValid());
    QVERIFY(qAbs(before.secsTo(set)) <= 2);
    QCOMPARE(HrcTree::itemColour(rtc), HrcTree::changedColour());
    QCOMPARE(rtc->text(2), QString("время компьютера"));
    // Asked for long ago (as at an earlier hour of the visit): the time sent
    // is the computer's when the write goes out, not when it was asked for.
    HrcDocument::setComputerTime(s.element("Rtc"), "2026/01/02/03:04:05");
    QCOMPARE(s.document.displayText(s.element("Rtc")), QString("время компьютера"));
    const int from = s.sim.log().size();
    JobEndWait end(s);
    const QDateTime sending = QDateTime::currentDateTime();
    QTest::keyClick(s.window.get(), Qt::Key_U, Qt::AltModifier);
    QVERIFY(end.wait());
    QCOMPARE(end.count(), 0);
    QCOMPARE(end.total(), 1);
    QCOMPARE(s.sim.writesOf("Rtc", from), 1);
    QCOMPARE(allWrites(s, from), 1);
    // The device's clock, read again, runs from the time of the write.
    s.document.paramValue("Rtc", "2000/01/01/00:00:00");
    JobEndWait read(s);
    contextAction(s, "Rtc", "Прочитать параметр")->trigger();
    QVERIFY(read.wait());
    const QDateTime held = ValueCodec::parseDateTime(s.value("Rtc"));
    QVERIFY2(held.isValid() && held.secsTo(sending) <= 1, qPrintable(s.value("Rtc")));
    QVERIFY(rtc->text(2) != QString("время компьютера"));
}

void TestHrcTreeWin::initialiseLeavesPolledValuesAlone()
{
    Session s;
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    HrcTreeWin &w = *s.window;
    // A polled value on screen, and the device's name read.
    QTreeWidgetItem *input = s.item("r.cor:0");
    clickCell(*s.tree(), input, 0);
    QTest::keyClick(s.tree(), Qt::Key_Space);
    QTRY_VERIFY_WITH_TIMEOUT(input->text(7).startsWith("Время опроса: "), 10000);
    clickCell(*s.tree(), input, 0);
    QTest::keyClick(s.tree(), Qt::Key_Space);
    QCOMPARE(input->checkState(0), Qt::Unchecked);
    const QString polled = s.value("r.cor:0");
    QVERIFY(!polled.isEmpty());
    {
        JobEndWait end(s);
        QTest::keyClick(&w, Qt::Key_R, Qt::AltModifier);
        QVERIFY(end.wait());
    }
    QVERIFY(!s.value("Dev").isEmpty());

    QTest::keyClick(&w, Qt::Key_N, Qt::ControlModifier | Qt::AltModifier);
    QTRY_VERIFY(w.messageBox()->isVisible());
    {
        JobEndWait end(s);
        QTest::mouseClick(w.messageBox()->findChild<QPushButton *>("bYes"), Qt::LeftButton);
        QCOMPARE(HrcTree::itemColour(input), HrcTree::normalColour());
        QCOMPARE(HrcTree::itemColour(s.item("Dev")), HrcTree::normalColour());
        QCOMPARE(HrcTree::itemColour(s.item("Tin.F")), HrcTree::changedColour());
        QVERIFY(end.wait());
    }
    QCOMPARE(s.value("r.cor:0"), polled);
    // Nothing is left to write: the polled and read-only values were never changes.
    const int from = s.sim.log().size();
    JobEndWait end(s);
    QTest::keyClick(&w, Qt::Key_U, Qt::AltModifier);
    QVERIFY(end.wait());
    QCOMPARE(allWrites(s, from), s.sim.writesOf("Rtc", from));
    QCOMPARE(s.sim.writesOf("r.cor", from), 0);
    QVERIFY(end.total() <= 1); // at most the clock, whose factory value is no date
}

void TestHrcTreeWin::keyboardEditingAndRefusedValues()
{
    Session s;
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    HrcTree *tree = s.tree();
    s.document.paramValue("T.sp[0]", "55,0");
    s.tree()->buildTree();
    selectRow(s, "T.sp[0]");
    QCOMPARE(tree->currentItem(), s.item("T.sp[0]"));

    // F2 opens the editor; a value beyond the limits is refused with the reason.
    QTest::keyClick(tree, Qt::Key_F2);
    QLineEdit *edit = nullptr;
    QVERIFY(QTest::qWaitFor([&]() { return (edit = openEditor<QLineEdit>(tree->viewport())); }, 3000));
    typeInto(edit, "3");
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(QToolTip::text(), QString("Допустимо от 5,0 до 95,0"));
    QVERIFY(openEditor<QLineEdit>(tree->viewport()));
    QVERIFY(!saveScreenshot(s.window.get(), "editor_refused_value").isEmpty());
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (top->inherits("QTipLabel") && top->isVisible())
            QVERIFY(!saveScreenshot(top, "editor_refused_value_tip").isEmpty());
    }
    typeInto(edit, "");
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(QToolTip::text(), QString("Введите значение"));
    // Esc leaves the value as it was.
    QTest::keyClick(edit, Qt::Key_Escape);
    QTRY_VERIFY(!openEditor<QLineEdit>(tree->viewport()));
    QCOMPARE(s.value("T.sp[0]"), QString("55,0"));
    QVERIFY(HrcTree::itemColour(s.item("T.sp[0]")) != HrcTree::changedColour());

    // Enter opens it too, and Enter stores an allowed value.
    tree->setFocus();
    tree->setCurrentItem(s.item("T.sp[0]"));
    QTest::keyClick(tree, Qt::Key_Return);
    QVERIFY(QTest::qWaitFor([&]() { return (edit = openEditor<QLineEdit>(tree->viewport())); }, 3000));
    typeInto(edit, "60,5");
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_VERIFY(!openEditor<QLineEdit>(tree->viewport()));
    QCOMPARE(s.value("T.sp[0]"), QString("60,5"));
    QCOMPARE(HrcTree::itemColour(s.item("T.sp[0]")), HrcTree::changedColour());

    // No problem parameter anywhere: the navigation says so.
    QTest::keyClick(s.window.get(), Qt::Key_Down, Qt::AltModifier);
    QCOMPARE(s.window->lastStatus(), QString("Ниже нет проблемных параметров"));
    QCOMPARE(QToolTip::text(), QString("Ниже нет проблемных параметров"));
    QTest::mouseClick(s.window->toolButton(11), Qt::LeftButton);
    QCOMPARE(s.window->lastStatus(), QString("Выше нет проблемных параметров"));
}

void TestHrcTreeWin::decimalPointIsTheDecimalComma()
{
    Session s;
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    HrcTree *tree = s.tree();
    HrcTreeWin &w = *s.window;
    s.document.paramValue("d.ngt[0]", "5,0");
    s.document.paramValue("T.sp[0]", "55,0");
    tree->buildTree();

    // "2.5" is two and a half degrees, not 25: the point is the decimal comma.
    selectRow(s, "d.ngt[0]");
    QTest::keyClick(tree, Qt::Key_F2);
    QLineEdit *edit = nullptr;
    QVERIFY(QTest::qWaitFor([&]() { return (edit = openEditor<QLineEdit>(tree->viewport())); }, 3000));
    typeInto(edit, "2.5");
    QCOMPARE(edit->text(), QString("2,5"));
    QVERIFY(!saveScreenshot(&w, "editor_decimal_point").isEmpty());
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_VERIFY(!openEditor<QLineEdit>(tree->viewport()));
    QCOMPARE(s.value("d.ngt[0]"), QString("2,5"));
    QCOMPARE(s.item("d.ngt[0]")->text(2), QString("2,5"));

    // The keypad's decimal key gives the comma as well.
    selectRow(s, "T.sp[0]");
    QTest::keyClick(tree, Qt::Key_F2);
    QVERIFY(QTest::qWaitFor([&]() { return (edit = openEditor<QLineEdit>(tree->viewport())); }, 3000));
    typeInto(edit, "60");
    QTest::keyClick(edit, Qt::Key_Period, Qt::KeypadModifier);
    QTest::keyClick(edit, Qt::Key_5, Qt::KeypadModifier);
    QCOMPARE(edit->text(), QString("60,5"));

    // What is no number stays as typed and is refused with the reason.
    typeInto(edit, "6x0.5");
    QCOMPARE(edit->text(), QString("6x0,5"));
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(QToolTip::text(), QString("«6x0,5» — не число"));
    QVERIFY(openEditor<QLineEdit>(tree->viewport()));
    QCOMPARE(s.value("T.sp[0]"), QString("55,0"));
    // Three decimals within the limits: the reason is the decimals, not the limits.
    typeInto(edit, "60.125");
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(QToolTip::text(), QString("Допустимо не больше 2 знаков после запятой"));
    typeInto(edit, "60.5");
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_VERIFY(!openEditor<QLineEdit>(tree->viewport()));
    QCOMPARE(s.value("T.sp[0]"), QString("60,5"));

    // Written, the device holds the values typed, not ten times them.
    JobEndWait end(s);
    QTest::keyClick(&w, Qt::Key_U, Qt::AltModifier);
    QVERIFY(end.wait());
    QCOMPARE(s.sim.writesOf("d.ngt"), 1);
    QCOMPARE(s.sim.writesOf("T.sp"), 1);
    QCOMPARE(s.element("d.ngt[0]").attribute("ioLastErrCode"), QString("0"));
    QCOMPARE(s.element("T.sp[0]").attribute("ioLastErrCode"), QString("0"));
    s.document.paramValue("d.ngt[0]", "0,0");
    s.document.paramValue("T.sp[0]", "5,0");
    JobEndWait read(s);
    selectRow(s, "d.ngt[0]");
    QAction *readOne = contextAction(s, "d.ngt[0]", "Прочитать параметр");
    QVERIFY(readOne);
    readOne->trigger();
    QVERIFY(read.wait());
    QCOMPARE(s.value("d.ngt[0]"), QString("2,5"));
}

void TestHrcTreeWin::windowMovesMaximisesAndRestores()
{
    Session s;
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    HrcTreeWin &w = *s.window;
    QTest::keyClick(&w, Qt::Key_P, Qt::ControlModifier);
    TestParamWin *panel = w.testPanel();
    QTRY_VERIFY(panel->isVisible());
    const QPoint panelOffset = panel->pos() - w.pos();

    // Dragging by the header moves the window and the panel with it.
    QWidget *top = w.findChild<QWidget *>("topWidget");
    const QPoint start = w.pos();
    QTest::mousePress(top, Qt::LeftButton, {}, QPoint(400, 10));
    // Qt Test's mouseMove only moves the cursor; the move with the button held:
    QMouseEvent move(QEvent::MouseMove, QPointF(450, 40), QPointF(top->mapToGlobal(QPoint(450, 40))),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(top, &move);
    QTest::mouseRelease(top, Qt::LeftButton, {}, QPoint(450, 40));
    QCOMPARE(w.pos(), start + QPoint(50, 30));
    QCOMPARE(panel->pos() - w.pos(), panelOffset);

    const QRect screen = w.screen()->geometry();
    auto *tomax = w.findChild<QToolButton *>("toolButton_tomax");
    auto *tomin = w.findChild<QToolButton *>("toolButton_tomin");
    QTest::mouseClick(tomax, Qt::LeftButton);
    QCOMPARE(w.geometry(), QRect(QPoint(0, 0), screen.size()));
    QVERIFY(tomin->isVisible() && !tomax->isVisible());
    QCOMPARE(panel->x(), w.x() + w.width() - panel->width() - 5);
    QTest::mouseClick(tomin, Qt::LeftButton);
    QCOMPARE(w.size(), QSize(1180, 700));
    QCOMPARE(w.pos(), QPoint((screen.width() - 1180) / 2, (screen.height() - 700) / 2));
    QVERIFY(tomax->isVisible() && !tomin->isVisible());
    QCOMPARE(panel->x(), w.x() + w.width() - panel->width() - 5);

    // The panel is dragged by its own background, only within the window.
    auto dragPanel = [panel](const QPoint &by) {
        const QPoint from(20, 20);
        QTest::mousePress(panel, Qt::LeftButton, {}, from);
        QMouseEvent move(QEvent::MouseMove, QPointF(from + by), QPointF(panel->mapToGlobal(from + by)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(panel, &move);
        QTest::mouseRelease(panel, Qt::LeftButton, {}, from + by);
    };
    const QPoint panelAt = panel->pos();
    dragPanel(QPoint(-300, 200));
    QCOMPARE(panel->pos(), panelAt + QPoint(-300, 200));
    dragPanel(QPoint(0, 2000)); // would leave the window: stays
    QCOMPARE(panel->pos(), panelAt + QPoint(-300, 200));
    // Where it was put, it follows the window.
    const QPoint offset = panel->pos() - w.pos();
    QTest::mousePress(top, Qt::LeftButton, {}, QPoint(400, 10));
    QMouseEvent back(QEvent::MouseMove, QPointF(380, 20), QPointF(top->mapToGlobal(QPoint(380, 20))), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(top, &back);
    QTest::mouseRelease(top, Qt::LeftButton, {}, QPoint(380, 20));
    QCOMPARE(panel->pos() - w.pos(), offset);

    // The exit button closes the window.
    QTest::mouseClick(w.findChild<QToolButton *>("toolButton_exit"), Qt::LeftButton);
    QVERIFY(!w.isVisible());
}

void TestHrcTreeWin::pollingAndBackToTheWizard()
{
    Session s;
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    HrcTreeWin &w = *s.window;
    KavuMon *monitor = w.workers()->monitor();
    QVERIFY(monitor->isRunning());

    // Ticking a polled value's box: the monitor reads it over and over.
    QTreeWidgetItem *input = s.item("r.cor:0");
    clickCell(*s.tree(), input, 0);
    QTest::keyClick(s.tree(), Qt::Key_Space);
    QCOMPARE(input->checkState(0), Qt::Checked);
    QTRY_VERIFY_WITH_TIMEOUT(input->text(7).startsWith("Время опроса: "), 10000);
    QVERIFY(!s.value("r.cor:0").isEmpty());

    // A job in between takes the port and gives it back.
    JobEndWait end(s);
    QTest::keyClick(&w, Qt::Key_A, Qt::ControlModifier);
    QVERIFY(end.wait());
    QCOMPARE(end.count(), 0);
    const QString before = input->text(7);
    QTRY_VERIFY_WITH_TIMEOUT(input->text(7) != before, 10000);

    // "Новая настройка" hands the document and the stage back and closes.
    QSignalSpy back(&w, &HrcTreeWin::treeWinClose);
    QTest::mouseClick(w.toolButton(1), Qt::LeftButton);
    QCOMPARE(back.count(), 1);
    QCOMPARE(back.first().at(1).toInt(), 3);
    QVERIFY(back.first().at(0).value<QDomDocument>() == s.document.document());
    QVERIFY(!w.isVisible());
    QVERIFY(monitor->isTerminating());

    // The wizard opens the window again: polling restarts.
    w.wizardClose(s.document.document(), 4);
    QVERIFY(w.isVisible());
    QVERIFY(monitor->isRunning());
    QVERIFY(!monitor->isTerminating());
    QSignalSpy again(&w, &HrcTreeWin::treeWinClose);
    // The engineer works in the window shown again (its keys need it active).
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(again.count(), 1);
    QCOMPARE(again.first().at(1).toInt(), 4);
}

// The device goes away (the simulator ends, as a USB adapter pulled out)
// and comes back under the same link name: the window says so both times,
// polling goes on by itself, and a read-all the loss cuts short says why
// and how far it got.
void TestHrcTreeWin::lostLineIsShownAndPollingRecovers()
{
    QTemporaryDir links;
    const QString link = links.filePath("usb-HRC417-if00-port0");
    Session s(QStringList{"--link", link});
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    HrcTreeWin &w = *s.window;
    s.document.paramValue("Port", link);
    QTreeWidgetItem *input = s.item("r.cor:0");
    clickCell(*s.tree(), input, 0);
    QTest::keyClick(s.tree(), Qt::Key_Space);
    // A job publishes the settings with the link; polling then uses them.
    JobEndWait first(s);
    QTest::keyClick(&w, Qt::Key_A, Qt::ControlModifier);
    QVERIFY(first.wait());
    QCOMPARE(first.count(), 0);
    const QString before = input->text(7);
    QTRY_VERIFY_WITH_TIMEOUT(input->text(7) != before && input->text(7).startsWith("Время опроса: "), 10000);
    QVERIFY(w.linkStateText().isEmpty());

    s.sim.stop();
    QTRY_COMPARE_WITH_TIMEOUT(w.linkStateText(), QString("Связь потеряна: адаптер отключён (%1)").arg(link), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(input->text(7), QString("Связь потеряна: адаптер отключён (%1)").arg(link), 5000);

    // Back on the same link, on a slow line this time.
    iotest::Simulator back(QStringList{"--link", link, "--baud", "1200"});
    QVERIFY2(back.started(), qPrintable(back.error()));
    QTRY_COMPARE_WITH_TIMEOUT(w.linkStateText(), QString("Связь с прибором восстановлена (%1)").arg(link), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(input->text(7).startsWith("Время опроса: "), 10000);

    // A read-all the loss cuts short.
    JobEndWait end(s);
    QTest::mouseClick(w.toolButton(4), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(s.waitText().startsWith("Чтение параметров. Прочитано"), 20000);
    back.stop();
    QVERIFY(end.wait());
    const QRegularExpressionMatch m =
        QRegularExpression(QString("^Связь потеряна: адаптер отключён \\(%1\\)\nПрочитано (\\d+) из (\\d+)$")
                               .arg(QRegularExpression::escape(link)))
            .match(w.lastStatus());
    QVERIFY2(m.hasMatch(), qPrintable(w.lastStatus()));
    QCOMPARE(m.captured(2).toInt(), end.total());
    QVERIFY(m.captured(1).toInt() < end.total());
    QCOMPARE(s.item("corr[7]")->text(7), QString("Связь потеряна: адаптер отключён (%1)").arg(link));
}

QTEST_MAIN(TestHrcTreeWin)
#include "tst_hrctreewin.moc"
