// Safe changes in the main window, against hrc417-sim: automatic backups on
// read-all and before writes, the compare window (document, device, file,
// factory values), the history window with restore, and the offer to compare
// after offline edits, and what the two windows say while they have nothing
// to show. Backups go to Qt's test-mode data directory.
#include "BackupStore.h"
#include "CompareWin.h"
#include "ConfigStore.h"
#include "HelpWin.h"
#include "HistoryWin.h"
#include "HrcTree.h"
#include "HrcTreeWin.h"
#include "HrcTreeWorkers.h"
#include "IoTestSupport.h"
#include "KavuIOhelper.h"
#include "ValueCodec.h"
#include "WaitWin.h"
#include "WorkspaceTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

using namespace wstest;

namespace {

struct Session
{
    Session()
        : document(iotest::loadDocument())
    {
        if (!sim.started())
            return;
        for (const QDomElement &p : iotest::parametersOf(document, "commSettings"))
            document.paramValue(p.attribute("namekavu"), p.attribute("defaultvalue"));
        iotest::connectTo(document, sim.path(), 2);
        window.reset(new HrcTreeWin(document.document()));
        window->wizardClose(document.document(), 3);
        window->activateWindow();
        ready = QTest::qWaitForWindowExposed(window.get());
    }

    HrcTree *tree() const { return window->tree(); }
    QTreeWidgetItem *item(const QString &name) const { return tree()->findItem(name); }
    QString value(const QString &name) { return document.paramValue(name); }
    KavuIOhelper *helper() const { return window->workers()->ioHelper(); }
    QString folder() { return BackupStore::deviceFolder(document); }

    // Clicks a command's button and waits for its job to end; the job's error count.
    int run(int button)
    {
        QSignalSpy end(helper(), &KavuIOhelper::kavuIOFinished);
        QTest::mouseClick(window->toolButton(button), Qt::LeftButton);
        if (end.isEmpty() && !end.wait(60000))
            return -100;
        HrcTreeWin *w = window.get();
        if (!QTest::qWaitFor([w]() { return !w->waitWindow()->isVisible(); }, 5000))
            return -101;
        w->activateWindow();
        if (!QTest::qWaitFor([w]() { return QApplication::activeWindow() == w; }, 5000))
            return -102;
        BackupStore::waitForPending();
        return end.last().at(1).toInt();
    }
    int readAll() { return run(4); }
    int writeChanged() { return run(6); }
    // An edit as the value editor stores it: changed colour, undo value kept.
    void edit(const QString &name, const QString &newValue)
    {
        document.findParameter(name).setAttribute("undoValue", value(name));
        tree()->updateItems(item(name), true, newValue, true, true);
    }

    iotest::Simulator sim;
    HrcDocument document;
    std::unique_ptr<HrcTreeWin> window;
    bool ready = false;
};

BackupStore::Values loaded(const QString &path)
{
    BackupStore::Values values;
    QString error;
    if (!BackupStore::load(path, &values, &error))
        qWarning() << "cannot load" << path << error;
    return values;
}

QString headerText(CompareWin &compare, int column)
{
    return compare.table()->headerItem()->text(column);
}

int visibleRows(QTreeWidget *table)
{
    int shown = 0;
    for (int i = 0; i < table->topLevelItemCount(); ++i)
        shown += table->topLevelItem(i)->isHidden() ? 0 : 1;
    return shown;
}

} // namespace

class TestSafeChanges : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void backupsOnReadAllAndBeforeWritesKeptAndFailuresSaidOnce();
    void compareFiltersAndCountsWithFileDeviceAndFactory();
    void historyRestoreThroughCompareThenWriteChanged();
    void offlineEditsOfferTheCompareBeforeWriting();
    void compareAndHistoryOpenEmptyWithAHint();
};

void TestSafeChanges::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QFile style(":/resources/style.qss");
    QVERIFY(style.open(QIODevice::ReadOnly | QIODevice::Text));
    qApp->setStyleSheet(QString::fromUtf8(style.readAll()));
}

void TestSafeChanges::init()
{
    QDir(BackupStore::root()).removeRecursively();
    ConfigStore::lastConfiguration()->remove(BackupStore::keepKey);
}

void TestSafeChanges::cleanup()
{
    // A line edit's clear button fades with a parentless animation that
    // deletes itself on a later tick once its button is gone: let it.
    QTest::qWait(200);
}

void TestSafeChanges::backupsOnReadAllAndBeforeWritesKeptAndFailuresSaidOnce()
{
    Session s;
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    QVERIFY(BackupStore::root().contains(".qttest"));

    // A backup kept under the earlier, unreadable form of the folder name.
    const QString pty = QFileInfo(s.sim.path()).fileName();
    const QString oldFolder = BackupStore::root() + "/HRC417____._2.14_a16_" + pty;
    QVERIFY(QDir().mkpath(oldFolder));
    {
        QFile earlier(oldFolder + "/2026-01-02_03-04-05_read.hrc417");
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("[backup]\nsequence=1\n\n[hrc417]\nTin.F=11\n");
    }

    // Read-all: one backup, in the device's folder, named by time and action.
    QCOMPARE(s.readAll(), 0);
    const QString folder = s.folder();
    QCOMPARE(folder, "HRC417 2.14 адрес 16 (" + pty + ")");
    QVERIFY(!QFileInfo::exists(oldFolder)); // moved, with what it held
    QCOMPARE(BackupStore::devices(), QStringList{folder});
    QVector<BackupStore::Entry> backups = BackupStore::list(folder);
    QCOMPARE(backups.size(), 2);
    QCOMPARE(loaded(backups[1].path).value("Tin.F"), QString("11"));
    QVERIFY(QFile::remove(backups[1].path));
    backups = BackupStore::list(folder);
    QCOMPARE(backups.size(), 1);
    QCOMPARE(backups[0].action, QString("read"));
    QVERIFY2(QRegularExpression(R"(/backups/[^/]+/\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d_read\.hrc417$)")
                 .match(backups[0].path).hasMatch(),
             qPrintable(backups[0].path));
    BackupStore::Values values = loaded(backups[0].path);
    QCOMPARE(values.value("Tin.F"), QString("10"));
    QCOMPARE(values.value("Dev"), QString("HRC417"));
    QVERIFY(!values.contains("r.cor:0")); // polled
    QVERIFY(!values.contains("Port"));    // the program's own

    // Before a write: what the device held, not what is about to be written.
    s.edit("Tin.F", "25");
    QCOMPARE(s.writeChanged(), 0);
    backups = BackupStore::list(folder);
    QCOMPARE(backups.size(), 2);
    QCOMPARE(backups[0].action, QString("write-changed"));
    QCOMPARE(loaded(backups[0].path).value("Tin.F"), QString("10"));
    // ... and the next one knows the write.
    QCOMPARE(s.readAll(), 0);
    QCOMPARE(loaded(BackupStore::list(folder)[0].path).value("Tin.F"), QString("25"));

    // Retention: only the newest "BackupKeep" stay, newest in the order
    // written even after the clock was set back; a user's own file named
    // like a backup is never removed.
    const QString own = BackupStore::root() + "/" + folder + "/2020-05-01_10-00-00_before-repair.hrc417";
    {
        QFile file(own);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[hrc417]\nTin.F=30\n");
    }
    ConfigStore::lastConfiguration()->setValue(BackupStore::keepKey, 4);
    QString error;
    const QDateTime old = QDateTime::currentDateTime().addDays(-10);
    for (int day = 0; day < 3; ++day) {
        const QString written = BackupStore::save(folder, "clock-back", values, old.addDays(day), &error);
        QVERIFY2(QFileInfo::exists(written), qPrintable(error));
    }
    backups = BackupStore::list(folder);
    QCOMPARE(backups.size(), 5);
    QCOMPARE(backups.at(0).stamp.date(), old.addDays(2).date()); // the one written last
    QCOMPARE(backups.at(1).stamp.date(), old.addDays(1).date());
    QCOMPARE(backups.at(2).stamp.date(), old.date());
    QCOMPARE(backups.at(3).action, QString("read"));            // the two written first went
    QCOMPARE(backups.at(4).path, QFileInfo(own).absoluteFilePath());
    QCOMPARE(loaded(own).value("Tin.F"), QString("30"));
    // Even a retention of one keeps the backup just written.
    ConfigStore::lastConfiguration()->setValue(BackupStore::keepKey, 1);
    const QString newest = BackupStore::save(folder, "clock-back", values, old.addDays(-1), &error);
    QVERIFY(QFileInfo::exists(newest));
    backups = BackupStore::list(folder);
    QCOMPARE(backups.size(), 2);
    QCOMPARE(backups.first().path, newest);
    QVERIFY(QFileInfo::exists(own));

    // A backup that cannot be written: the job goes on, said once.
    ConfigStore::lastConfiguration()->remove(BackupStore::keepKey);
    QDir(BackupStore::root()).removeRecursively();
    QVERIFY(QDir().mkpath(BackupStore::root()));
    QFile blocker(BackupStore::root() + "/" + folder);
    QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder goes
    blocker.close();
    s.edit("Tin.F", "26");
    QCOMPARE(s.writeChanged(), 0);
    QCOMPARE(s.value("Tin.F"), QString("26"));
    QTRY_COMPARE(s.window->findChildren<QMessageBox *>("backupFailedBox").size(), 1);
    QMessageBox *box = s.window->findChild<QMessageBox *>("backupFailedBox");
    QVERIFY(box->isVisible() && !box->isModal());
    QVERIFY(box->text().startsWith("Резервная копия параметров прибора не сохранена"));
    s.edit("Tin.F", "27");
    QCOMPARE(s.writeChanged(), 0);
    QTest::qWait(200);
    QCOMPARE(s.window->findChildren<QMessageBox *>("backupFailedBox").size(), 1);
}

void TestSafeChanges::compareFiltersAndCountsWithFileDeviceAndFactory()
{
    Session s;
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    QCOMPARE(s.readAll(), 0);
    // The document differs from the device (and the factory) in one value;
    // a point written another way is the same point.
    s.edit("Tin.F", "30");
    QVERIFY(ValueCodec::sameText(s.document.spec(s.document.findParameter("Grtp[0]")), s.value("Grtp[0]"), "-25,0;90,0"));
    s.tree()->updateItems(s.item("Grtp[0]"), false, "-25,00;90", true, true);

    QTemporaryDir dir;
    const QString file = dir.filePath("other-boiler.hrc417");
    {
        QSettings other(file, QSettings::IniFormat);
        other.setValue("hrc417/Tin.F", "10");
        other.setValue("hrc417/Ind.c", "3");
        other.setValue("hrc417/Beep", "0");
        other.setValue("hrc417/Grtp[0]", "-25,0;90,0");
    }

    QTest::keyClick(s.window.get(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    CompareWin *compare = s.window->findChild<CompareWin *>("compareWin");
    QVERIFY(compare);
    QTRY_VERIFY(compare->isVisible());
    whenDialogShown<QFileDialog>([file](QFileDialog *d) {
        auto *name = d->findChild<QLineEdit *>("fileNameEdit");
        name->setText(file);
        QTest::keyClick(name, Qt::Key_Return);
    });
    QTest::mouseClick(compare->findChild<QPushButton *>("openFileButton"), Qt::LeftButton);

    // Only differing rows: Tin.F (document against all three), Ind.c and Beep (file).
    QCOMPARE(visibleRows(compare->table()), 3);
    QVERIFY(!compare->row("Tin.F")->isHidden());
    QVERIFY(!compare->row("Ind.c")->isHidden());
    QVERIFY(compare->row("Grtp[0]")->isHidden());
    QVERIFY(!compare->row("Rtc") && !compare->row("r.cor:0") && !compare->row("Dev"));
    QCOMPARE(compare->differenceCount(CompareWin::DocumentColumn), 1);
    QCOMPARE(compare->differenceCount(CompareWin::DeviceColumn), 1);
    QCOMPARE(compare->differenceCount(CompareWin::FileColumn), 3);
    QCOMPARE(compare->differenceCount(CompareWin::FactoryColumn), 1);
    QCOMPARE(headerText(*compare, CompareWin::DeviceColumn), QString("Прибор (1)"));
    QCOMPARE(headerText(*compare, CompareWin::FileColumn), QString("other-boiler.hrc417 (3)"));
    QCOMPARE(compare->row("Beep")->text(CompareWin::FileColumn), QString("Выключить"));
    QCOMPARE(compare->row("Beep")->text(CompareWin::DeviceColumn), QString("Включить"));
    QCOMPARE(compare->row("Ind.i")->text(CompareWin::FileColumn), QString("—"));

    // The filter box narrows the rows and the counts.
    QTest::keyClicks(compare->filterEdit(), "ind");
    QCOMPARE(visibleRows(compare->table()), 1);
    QCOMPARE(compare->differenceCount(CompareWin::FileColumn), 1);
    QCOMPARE(headerText(*compare, CompareWin::DeviceColumn), QString("Прибор (0)"));
    QTest::mouseClick(compare->onlyDifferencesBox(), Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(visibleRows(compare->table()), 2); // Ind.i and Ind.c
    compare->filterEdit()->clear();
    QVERIFY(visibleRows(compare->table()) > 100);
    QTest::mouseClick(compare->onlyDifferencesBox(), Qt::LeftButton, {}, QPoint(5, 5));
    compare->table()->sortByColumn(-1, Qt::AscendingOrder);
    QVERIFY(!saveScreenshot(compare, "compare_window").isEmpty());

    // Tick Ind.c and Beep, take the file's values: document changes, undo kept.
    compare->row("Ind.c")->setCheckState(CompareWin::NameColumn, Qt::Checked);
    compare->row("Beep")->setCheckState(CompareWin::NameColumn, Qt::Checked);
    compare->takeFromBox()->setCurrentIndex(compare->takeFromBox()->findData(int(CompareWin::FileColumn)));
    QTest::mouseClick(compare->findChild<QPushButton *>("takeButton"), Qt::LeftButton);
    QCOMPARE(s.value("Ind.c"), QString("3"));
    QCOMPARE(s.value("Beep"), QString("0"));
    QCOMPARE(s.value("Tin.F"), QString("30")); // not ticked
    QCOMPARE(s.document.findParameter("Ind.c").attribute("undoValue"), QString("4"));
    QCOMPARE(HrcTree::itemColour(s.item("Ind.c")), HrcTree::changedColour());
    QCOMPARE(compare->differenceCount(CompareWin::FileColumn), 1);
    QCOMPARE(compare->differenceCount(CompareWin::DocumentColumn), 3);
    // ... and the device still holds its own until written.
    const int from = s.sim.log().size();
    QCOMPARE(s.writeChanged(), 0);
    QCOMPARE(s.sim.writesOf("Ind.c", from), 1);
    QCOMPARE(s.sim.writesOf("Beep", from), 1);
    QCOMPARE(s.sim.writesOf("Tin.F", from), 1);
    QCOMPARE(s.sim.writesOf("Grtp", from), 0);
}

void TestSafeChanges::historyRestoreThroughCompareThenWriteChanged()
{
    Session s;
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    QCOMPARE(s.readAll(), 0); // the factory state
    s.edit("Tin.F", "25");
    s.edit("Ind.i", "9");
    QCOMPARE(s.writeChanged(), 0);
    QCOMPARE(s.readAll(), 0); // the device holds 25 and 9

    QTest::keyClick(s.window.get(), Qt::Key_H, Qt::ControlModifier | Qt::ShiftModifier);
    HistoryWin *history = s.window->findChild<HistoryWin *>("historyWin");
    QVERIFY(history);
    QTRY_VERIFY(history->isVisible());
    QTreeWidget *rows = history->table();
    QCOMPARE(history->deviceBox()->currentData().toString(), s.folder());
    QCOMPARE(rows->topLevelItemCount(), 3);
    QCOMPARE(rows->topLevelItem(0)->text(HistoryWin::ActionColumn), QString("После чтения всех параметров"));
    QCOMPARE(rows->topLevelItem(0)->text(HistoryWin::ChangedColumn), QString("2"));
    QCOMPARE(rows->topLevelItem(1)->text(HistoryWin::ActionColumn), QString("Перед записью измененных параметров"));
    QCOMPARE(rows->topLevelItem(1)->text(HistoryWin::ChangedColumn), QString("0"));
    QCOMPARE(rows->topLevelItem(2)->text(HistoryWin::ChangedColumn), QString("—"));
    // Any device: the same here, one device only.
    history->deviceBox()->setCurrentIndex(history->deviceBox()->findData(QString()));
    QCOMPARE(history->deviceBox()->currentText(), QString("Все приборы"));
    QVERIFY(!saveScreenshot(history, "history_window").isEmpty());

    // Two backups compared: the newer in the file column, the older in the device's.
    rows->topLevelItem(0)->setSelected(true);
    rows->topLevelItem(2)->setSelected(true);
    QVERIFY(history->compareButton()->isEnabled());
    QTest::mouseClick(history->compareButton(), Qt::LeftButton);
    CompareWin *compare = s.window->findChild<CompareWin *>("compareWin");
    QVERIFY(compare && compare->isVisible());
    QCOMPARE(compare->row("Tin.F")->text(CompareWin::DeviceColumn), QString("10"));
    QCOMPARE(compare->row("Tin.F")->text(CompareWin::FileColumn), QString("25"));

    // Restore the oldest: its values ticked in the compare window, taken, written.
    rows->clearSelection();
    rows->topLevelItem(2)->setSelected(true);
    QTest::mouseClick(history->restoreButton(), Qt::LeftButton);
    QCOMPARE(compare->row("Tin.F")->checkState(CompareWin::NameColumn), Qt::Checked);
    QCOMPARE(compare->row("Ind.i")->checkState(CompareWin::NameColumn), Qt::Checked);
    QCOMPARE(compare->takeFromBox()->currentData().toInt(), int(CompareWin::FileColumn));
    QTest::mouseClick(compare->findChild<QPushButton *>("takeButton"), Qt::LeftButton);
    QCOMPARE(s.value("Tin.F"), QString("10"));
    QCOMPARE(s.value("Ind.i"), QString("5"));
    QCOMPARE(s.document.findParameter("Tin.F").attribute("undoValue"), QString("25"));
    QCOMPARE(HrcTree::itemColour(s.item("Ind.i")), HrcTree::changedColour());

    const int from = s.sim.log().size();
    QTest::mouseClick(s.window->toolButton(6), Qt::LeftButton); // "Записать только измененные"
    QSignalSpy end(s.helper(), &KavuIOhelper::kavuIOFinished);
    QVERIFY(end.wait(60000));
    QCOMPARE(end.last().at(1).toInt(), 0);
    QCOMPARE(end.last().at(2).toInt(), 2);
    QCOMPARE(s.sim.writesOf("Tin.F", from), 1);
    QCOMPARE(s.sim.writesOf("Ind.i", from), 1);
    // The device holds the restored values.
    QTRY_VERIFY(!s.window->waitWindow()->isVisible());
    s.document.paramValue("Tin.F", "1");
    QCOMPARE(s.readAll(), 0);
    QCOMPARE(s.value("Tin.F"), QString("10"));
    QCOMPARE(s.value("Ind.i"), QString("5"));
}

void TestSafeChanges::offlineEditsOfferTheCompareBeforeWriting()
{
    Session s;
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    // Edited before any value of the device is known; another value in the
    // form of the description ("0,0" where the device says "0").
    s.tree()->updateItems(s.item("In.fd[0]"), false, "0,0", true, true);
    s.edit("Tin.F", "25");
    QVERIFY(!s.window->hasOfflineChanges());
    s.window->setWorkedOffline(true); // as the wizard with "Работа offline" hands it over
    QVERIFY(s.window->hasOfflineChanges());
    QString asked;
    whenDialogShown<QMessageBox>([&asked](QMessageBox *box) {
        asked = box->text();
        box->button(QMessageBox::Yes)->click();
    });
    const int from = s.sim.log().size();
    QSignalSpy read(s.window.get(), &HrcTreeWin::deviceReadKeepingDocument);
    QTest::mouseClick(s.window->toolButton(6), Qt::LeftButton);
    QVERIFY(asked.startsWith("Параметры изменены без связи с прибором"));
    QVERIFY(read.wait(60000));
    QCOMPARE(read.last().at(0).toBool(), true);
    // Nothing written; the edit stands against the device's value.
    QCOMPARE(s.sim.writesOf("Tin.F", from), 0);
    QCOMPARE(s.value("Tin.F"), QString("25"));
    QCOMPARE(s.document.findParameter("Tin.F").attribute("undoValue"), QString("10"));
    QCOMPARE(HrcTree::itemColour(s.item("Tin.F")), HrcTree::changedColour());
    QCOMPARE(HrcTree::itemColour(s.item("Ind.i")), HrcTree::normalColour());
    QCOMPARE(HrcTree::itemColour(s.item("In.fd[0]")), HrcTree::normalColour());
    CompareWin *compare = s.window->findChild<CompareWin *>("compareWin");
    QVERIFY(compare && compare->isVisible());
    QCOMPARE(visibleRows(compare->table()), 1);
    QCOMPARE(compare->row("Tin.F")->text(CompareWin::DeviceColumn), QString("10"));
    QCOMPARE(compare->row("Tin.F")->text(CompareWin::DocumentColumn), QString("25"));
    // Asked once: the write goes ahead now.
    QVERIFY(!s.window->hasOfflineChanges());
    QCOMPARE(s.writeChanged(), 0);
    QCOMPARE(s.sim.writesOf("Tin.F", from), 1);
}

// A new setting (factory values) before any read: history has no backup and
// compare nothing to compare with; both say what gives them rows, F1 opens
// their help page, Esc and Ctrl+W close them. After a read-all both fill.
void TestSafeChanges::compareAndHistoryOpenEmptyWithAHint()
{
    WindowSession s(QStringList(), 2,
                    {"commSettings", "configuration", "otopKontur1", "otopKontur2", "GeneralParam"});
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    const auto activate = [](QWidget *w) {
        // (A window manager activates a newly shown window; offscreen it is done here.)
        w->activateWindow();
        return QTest::qWaitFor([w]() { return QApplication::activeWindow() == w; }, 5000);
    };

    QTest::keyClick(s.window.get(), Qt::Key_H, Qt::ControlModifier | Qt::ShiftModifier);
    auto *history = s.window->findChild<HistoryWin *>("historyWin");
    QVERIFY(history);
    QVERIFY(QTest::qWaitForWindowExposed(history));
    QCOMPARE(history->table()->topLevelItemCount(), 0);
    QVERIFY(history->emptyHint()->isVisible());
    QVERIFY2(history->emptyHint()->text().startsWith("Резервных копий пока нет."), qPrintable(history->emptyHint()->text()));
    QVERIFY(history->emptyHint()->text().contains("после каждого чтения всех параметров"));
    QVERIFY(!saveScreenshot(history, "history_window_empty").isEmpty());
    QVERIFY(activate(history));
    QTest::keyClick(history->table(), Qt::Key_F1);
    QVERIFY(HelpWin::instance());
    QVERIFY(QTest::qWaitForWindowExposed(HelpWin::instance()));
    QCOMPARE(HelpWin::instance()->currentPage(), QString("12-history.html"));
    HelpWin::instance()->close();
    // Another device's backups exist: the connected one's list still has
    // none and says where the others are.
    QString error;
    QVERIFY(!BackupStore::save("HRC417_2.14_a3_ttyS0", "read", {{"Tin.F", "10"}}, QDateTime::currentDateTime(),
                               &error).isEmpty());
    QTest::mouseClick(history->findChild<QPushButton *>("historyRefresh"), Qt::LeftButton);
    QCOMPARE(history->table()->topLevelItemCount(), 0);
    QVERIFY(history->emptyHint()->isVisible());
    QVERIFY2(history->emptyHint()->text().startsWith("У этого прибора резервных копий пока нет."),
             qPrintable(history->emptyHint()->text()));
    QVERIFY(activate(history));
    QTest::keyClick(history->table(), Qt::Key_Escape);
    QVERIFY(!history->isVisible());

    QVERIFY(activate(s.window.get()));
    QTest::keyClick(s.window.get(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    auto *compare = s.window->findChild<CompareWin *>("compareWin");
    QVERIFY(compare);
    QVERIFY(QTest::qWaitForWindowExposed(compare));
    QCOMPARE(visibleRows(compare->table()), 0);
    QVERIFY(compare->emptyHint()->isVisible());
    QVERIFY2(compare->emptyHint()->text().startsWith("Не с чем сравнивать: значения прибора не прочитаны и файл не открыт."),
             qPrintable(compare->emptyHint()->text()));
    QVERIFY(compare->emptyHint()->text().contains("«Прочитать из прибора»"));
    QVERIFY(!saveScreenshot(compare, "compare_window_empty").isEmpty());
    QVERIFY(activate(compare));
    QTest::keyClick(compare->filterEdit(), Qt::Key_F1);
    QTRY_COMPARE(HelpWin::instance()->currentPage(), QString("11-compare.html"));
    QVERIFY(HelpWin::instance()->browser()->toPlainText().startsWith("Сравнение параметров"));
    delete HelpWin::instance();

    // Read from the device as the hint says: every source agrees with the
    // document (the simulator holds the factory values), so the hint says
    // there is no difference and how to see every row.
    QVERIFY(activate(compare));
    QSignalSpy read(s.window.get(), &HrcTreeWin::deviceReadKeepingDocument);
    QTest::mouseClick(compare->findChild<QPushButton *>("readDeviceButton"), Qt::LeftButton);
    QVERIFY(read.wait(60000));
    QCOMPARE(read.first().first().toBool(), true);
    QTRY_VERIFY(!s.window->isJobRunning());
    QCOMPARE(visibleRows(compare->table()), 0);
    QVERIFY2(compare->emptyHint()->text().startsWith("Различий нет"), qPrintable(compare->emptyHint()->text()));
    QTest::keyClicks(compare->filterEdit(), "zzz");
    QCOMPARE(compare->emptyHint()->text(), QString("Нет параметров, в названии или имени которых есть «zzz»."));
    compare->filterEdit()->clear();
    QTest::mouseClick(compare->onlyDifferencesBox(), Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(visibleRows(compare->table()) > 100);
    QVERIFY(!compare->emptyHint()->isVisible());
    QVERIFY(activate(compare));
    QTest::keyClick(compare->table(), Qt::Key_W, Qt::ControlModifier);
    QVERIFY(!compare->isVisible());

    // The read left a backup of the connected device: listed, the hint gone.
    BackupStore::waitForPending();
    QVERIFY(activate(s.window.get()));
    QTest::keyClick(s.window.get(), Qt::Key_H, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(QTest::qWaitForWindowExposed(history));
    bool listed = false;
    for (int i = 0; i < history->table()->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *row = history->table()->topLevelItem(i);
        listed = listed || (row->text(HistoryWin::DeviceColumn) == BackupStore::deviceFolder(s.document)
                            && row->text(HistoryWin::ActionColumn) == "После чтения всех параметров");
    }
    QVERIFY(listed);
    QVERIFY(!history->emptyHint()->isVisible());
}

QTEST_MAIN(TestSafeChanges)
#include "tst_safechanges.moc"
