// Editing values in place as the user does it: a double-click on the value
// column opens the editor of the parameter's kind, the user types, clicks or
// picks an entry, and the committed text lands in the document with the
// changed colour and the previous value kept as undoValue.
#include "BitmaskEditor.h"
#include "HrcEditDelegate.h"
#include "HrcTree.h"
#include "HrcTreeWorkers.h"
#include "KavuMon.h"
#include "LogFileNameEditor.h"
#include "PortNameEditor.h"
#include "CommSettings.h"
#include "ConfigStore.h"
#include "WorkspaceTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QSerialPortInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QToolTip>
#include <QtTest>

using namespace wstest;

class TestHrcEditDelegate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void enumerationLists();
    void bitmaskBoxes();
    void pointHalves();
    void localParametersAndMonitor();
    void validatedNumbers();
    void editedAgainBeforeWritten();
    void timesAndDates();
    void portEditorListsPortsAndTakesAnyPath();
    void portEditorTakesServerAddressesCheckedAsTyped();
    void selectedRowsKeepTheirColour();
    void onlyTheValueColumnEdits();

private:
    void buildWindow(const QString &names = QString());
    QTreeWidgetItem *item(const QString &name) const { return tree->findItem(name); }
    void setValue(const QString &name, const QString &value)
    {
        tree->updateItems(item(name), false, value, true, true);
    }
    QString value(const QString &name) const { return tree->findParameter(name).attribute("value"); }
    QString undo(const QString &name) const { return tree->findParameter(name).attribute("undoValue"); }

    QWidget *window = nullptr;
    HrcTree *tree = nullptr;
    std::unique_ptr<HrcTreeWorkers> workers;
};

void TestHrcEditDelegate::initTestCase()
{
    // The program's look, so the screenshots show the editors as the engineer sees them.
    QFile style(":/resources/style.qss");
    QVERIFY(style.open(QIODevice::ReadOnly | QIODevice::Text));
    qApp->setStyleSheet(QString::fromUtf8(style.readAll()));
}

void TestHrcEditDelegate::init()
{
    buildWindow();
}

void TestHrcEditDelegate::buildWindow(const QString &names)
{
    workers.reset();
    delete window;
    window = new QWidget;
    window->resize(1500, 900);
    const QDomDocument document = HrcDocument::load(HrcDocument::resourcePath).document();
    tree = new HrcTree(document, nullptr, window);
    tree->resize(1500, 900);
    workers.reset(new HrcTreeWorkers(tree, true));
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    tree->buildTree(names);
    tree->expandAll();
}

void TestHrcEditDelegate::cleanup()
{
    // The workers go first: they detach through the tree.
    workers.reset();
    delete window;
    window = nullptr;
}

void TestHrcEditDelegate::enumerationLists()
{
    // An index enumeration: the list opens at once, picking an entry stores its index.
    setValue("Beep", "0");
    doubleClickCell(*tree, item("Beep"), 2);
    QComboBox *combo = nullptr;
    QTRY_VERIFY((combo = openEditor<QComboBox>(tree->viewport())));
    QTRY_VERIFY(combo->view()->isVisible());
    QCOMPARE(combo->count(), 2);
    QCOMPARE(combo->currentText(), QString("Выключить"));
    QVERIFY(!saveScreenshot(window, "editor_enum").isEmpty());
    QVERIFY(!saveScreenshot(combo->view()->window(), "editor_enum_list").isEmpty());
    QVERIFY(clickComboEntry(combo, 1));
    QTRY_VERIFY(!openEditor<QComboBox>(tree->viewport()));
    QCOMPARE(value("Beep"), QString("1"));
    QCOMPARE(item("Beep")->text(2), QString("Включить"));
    QCOMPARE(HrcTree::itemColour(item("Beep")), HrcTree::changedColour());
    QCOMPARE(undo("Beep"), QString("0"));

    // The same entry again changes nothing, not even the colour.
    tree->setItemColour(item("Beep"), HrcTree::normalColour());
    doubleClickCell(*tree, item("Beep"), 2);
    QTRY_VERIFY((combo = openEditor<QComboBox>(tree->viewport())));
    QCOMPARE(combo->currentIndex(), 1);
    QVERIFY(clickComboEntry(combo, 1));
    QTRY_VERIFY(!openEditor<QComboBox>(tree->viewport()));
    QCOMPARE(value("Beep"), QString("1"));
    QCOMPARE(HrcTree::itemColour(item("Beep")), HrcTree::normalColour());
    QCOMPARE(undo("Beep"), QString("1"));

    // An enumeration of texts stores the entry itself.
    setValue("Node[0]", "5");
    doubleClickCell(*tree, item("Node[0]"), 2);
    QTRY_VERIFY((combo = openEditor<QComboBox>(tree->viewport())));
    QCOMPARE(combo->currentText(), QString("5"));
    QVERIFY(clickComboEntry(combo, 2));
    QTRY_VERIFY(!openEditor<QComboBox>(tree->viewport()));
    QCOMPARE(value("Node[0]"), QString("3"));
    QCOMPARE(item("Node[0]")->text(2), QString("3"));
    QCOMPARE(HrcTree::itemColour(item("Node[0]")), HrcTree::changedColour());
}

void TestHrcEditDelegate::bitmaskBoxes()
{
    setValue("inv.D", "2");
    doubleClickCell(*tree, item("inv.D"), 2);
    BitmaskEditor *editor = nullptr;
    QTRY_VERIFY((editor = openEditor<BitmaskEditor>(tree->viewport())));
    // Filled from the value: only bit 1 set.
    for (int bit = 0; bit < 8; ++bit)
        QCOMPARE(editor->bitBox(bit)->isChecked(), bit == 1);
    QTest::mouseClick(editor->bitBox(1), Qt::LeftButton);
    QTest::mouseClick(editor->bitBox(0), Qt::LeftButton);
    QTest::mouseClick(editor->bitBox(7), Qt::LeftButton);
    QVERIFY(!saveScreenshot(window, "editor_bitmask").isEmpty());
    QTest::keyClick(editor->bitBox(7), Qt::Key_Return);
    QTRY_VERIFY(!openEditor<BitmaskEditor>(tree->viewport()));
    QCOMPARE(value("inv.D"), QString("129"));
    QCOMPARE(item("inv.D")->text(2), QString("10000001"));
    QCOMPARE(undo("inv.D"), QString("2"));
    QCOMPARE(HrcTree::itemColour(item("inv.D")), HrcTree::changedColour());
}

void TestHrcEditDelegate::pointHalves()
{
    // A double-click on the point opens its X half; the pair is rebuilt from
    // the new half and the old other half.
    setValue("Grtp[0]", "-25,0;90,0");
    QSignalSpy edited(tree, &HrcTree::parameterEdited);
    QTreeWidgetItem *point = item("Grtp[0]");
    doubleClickCell(*tree, point, 2);
    QLineEdit *edit = nullptr;
    QTRY_VERIFY((edit = openEditor<QLineEdit>(tree->viewport())));
    QCOMPARE(edit->text(), QString("-25,0"));
    edit->selectAll();
    QTest::keyClicks(edit, "-20,0");
    QVERIFY(!saveScreenshot(window, "editor_point").isEmpty());
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_VERIFY(!openEditor<QLineEdit>(tree->viewport()));
    QCOMPARE(value("Grtp[0]"), QString("-20,0;90,0"));
    QCOMPARE(point->text(2), QString("-20,0;90,0"));
    QCOMPARE(point->child(0)->text(2), QString("-20,0"));
    QCOMPARE(point->child(1)->text(2), QString("90,0"));
    QCOMPARE(HrcTree::itemColour(point), HrcTree::changedColour());
    // Who follows the parameter hears of the whole pair, once.
    QCOMPARE(edited.count(), 1);
    QCOMPARE(edited.at(0), (QVariantList{QString("Grtp[0]"), QString("-20,0;90,0")}));

    // The Y half of a point without a value: opening and leaving it stores
    // nothing; a half entered makes the pair whole with 0 for the other.
    QTreeWidgetItem *empty = item("Grtp[1]");
    QVERIFY(value("Grtp[1]").isEmpty());
    doubleClickCell(*tree, empty->child(1), 2);
    QTRY_VERIFY((edit = openEditor<QLineEdit>(tree->viewport())));
    QCOMPARE(edit->text(), QString());
    QVERIFY(value("Grtp[1]").isEmpty());
    QTest::keyClick(edit, Qt::Key_Escape);
    QTRY_VERIFY(!openEditor<QLineEdit>(tree->viewport()));
    QVERIFY(value("Grtp[1]").isEmpty());
    QCOMPARE(edited.count(), 1);
    QVERIFY(HrcTree::itemColour(empty) != HrcTree::changedColour());
    doubleClickCell(*tree, empty->child(1), 2);
    QTRY_VERIFY((edit = openEditor<QLineEdit>(tree->viewport())));
    edit->selectAll();
    QTest::keyClicks(edit, "70,5");
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_VERIFY(!openEditor<QLineEdit>(tree->viewport()));
    QCOMPARE(value("Grtp[1]"), QString("0;70,5"));
    QCOMPARE(empty->child(1)->text(2), QString("70,5"));
    QCOMPARE(HrcTree::itemColour(empty), HrcTree::changedColour());
}

void TestHrcEditDelegate::localParametersAndMonitor()
{
    KavuMon *monitor = workers->monitor();
    QVERIFY(monitor);

    // A local setting never shows the changed colour but keeps its undo value.
    setValue("TimeOut", "5");
    doubleClickCell(*tree, item("TimeOut"), 2);
    QLineEdit *edit = nullptr;
    QTRY_VERIFY((edit = openEditor<QLineEdit>(tree->viewport())));
    edit->selectAll();
    QTest::keyClicks(edit, "7");
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_VERIFY(!openEditor<QLineEdit>(tree->viewport()));
    QCOMPARE(value("TimeOut"), QString("7"));
    QCOMPARE(undo("TimeOut"), QString("5"));
    QCOMPARE(HrcTree::itemColour(item("TimeOut")), HrcTree::normalColour());

    // The polling interval reaches the monitor; below 200 ms it polls every 500 ms.
    setValue("timescan", "1000");
    doubleClickCell(*tree, item("timescan"), 2);
    QTRY_VERIFY((edit = openEditor<QLineEdit>(tree->viewport())));
    edit->selectAll();
    QTest::keyClicks(edit, "300");
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_VERIFY(!openEditor<QLineEdit>(tree->viewport()));
    QCOMPARE(monitor->scanInterval(), 300u);
    // 100 is below the limit: held back while typing, the editor stays open.
    doubleClickCell(*tree, item("timescan"), 2);
    QTRY_VERIFY((edit = openEditor<QLineEdit>(tree->viewport())));
    edit->selectAll();
    QTest::keyClicks(edit, "100");
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(openEditor<QLineEdit>(tree->viewport()));
    QTest::keyClick(edit, Qt::Key_Escape);
    QTRY_VERIFY(!openEditor<QLineEdit>(tree->viewport()));
    QCOMPARE(value("timescan"), QString("300"));

    // The log file's name: the editor with its chooser button.
    doubleClickCell(*tree, item("logfile"), 2);
    LogFileNameEditor *logEditor = nullptr;
    QTRY_VERIFY((logEditor = openEditor<LogFileNameEditor>(tree->viewport())));
    const QString logName = QDir::temp().filePath("hrc417_test_log.csv");
    logEditor->lineEdit()->selectAll();
    QTest::keyClicks(logEditor->lineEdit(), logName);
    QVERIFY(!saveScreenshot(window, "editor_logfile").isEmpty());
    QTest::keyClick(logEditor->lineEdit(), Qt::Key_Return);
    QTRY_VERIFY(!openEditor<LogFileNameEditor>(tree->viewport()));
    QCOMPARE(value("logfile"), logName);
    QCOMPARE(item("logfile")->text(2), logName);
    QCOMPARE(monitor->logFile(), KavuMon::resolveLogFileName(logName));
    QVERIFY(HrcTree::itemColour(item("logfile")) != HrcTree::changedColour());
}

void TestHrcEditDelegate::editedAgainBeforeWritten()
{
    auto typeInto = [this](const QString &name, const QString &text) {
        doubleClickCell(*tree, item(name), 2);
        QLineEdit *edit = nullptr;
        QTRY_VERIFY((edit = openEditor<QLineEdit>(tree->viewport())));
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
        QTRY_VERIFY(!openEditor<QLineEdit>(tree->viewport()));
    };
    // A link setting edited twice before it is written: the device still
    // answers at the address from before the first edit.
    setValue("Addr", "16");
    typeInto("Addr", "20");
    typeInto("Addr", "25");
    QCOMPARE(value("Addr"), QString("25"));
    QCOMPARE(undo("Addr"), QString("16"));
    // Any other parameter keeps the value before its last edit.
    setValue("Ind.i", "5");
    typeInto("Ind.i", "7");
    typeInto("Ind.i", "9");
    QCOMPARE(value("Ind.i"), QString("9"));
    QCOMPARE(undo("Ind.i"), QString("7"));
}

void TestHrcEditDelegate::validatedNumbers()
{
    // A word with limits 1 to 60: no typed character is dropped; a number
    // below or above the limits, or no integer, is not taken by Enter.
    setValue("Ind.i", "5");
    doubleClickCell(*tree, item("Ind.i"), 2);
    QLineEdit *edit = nullptr;
    QTRY_VERIFY((edit = openEditor<QLineEdit>(tree->viewport())));
    QCOMPARE(edit->text(), QString("5"));
    edit->selectAll();
    QTest::keyClicks(edit, "-7");
    QCOMPARE(edit->text(), QString("-7"));
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(openEditor<QLineEdit>(tree->viewport()));
    QCOMPARE(QToolTip::text(), QString("Допустимо от 1 до 60"));
    edit->selectAll();
    QTest::keyClicks(edit, "4.5");
    QCOMPARE(edit->text(), QString("4.5"));
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(openEditor<QLineEdit>(tree->viewport()));
    QCOMPARE(QToolTip::text(), QString("«4.5» — не целое число"));
    QCOMPARE(value("Ind.i"), QString("5"));
    edit->selectAll();
    QTest::keyClicks(edit, "70");
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(openEditor<QLineEdit>(tree->viewport()));
    QCOMPARE(value("Ind.i"), QString("5"));
    edit->selectAll();
    QTest::keyClicks(edit, "45");
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_VERIFY(!openEditor<QLineEdit>(tree->viewport()));
    QCOMPARE(value("Ind.i"), QString("45"));

    // A float takes the decimal comma, or a point as the comma; letters stay
    // as typed and Enter refuses them with the reason.
    setValue("In.fd[0]", "0,0");
    doubleClickCell(*tree, item("In.fd[0]"), 2);
    QTRY_VERIFY((edit = openEditor<QLineEdit>(tree->viewport())));
    edit->selectAll();
    QTest::keyClicks(edit, "1x2.5");
    QCOMPARE(edit->text(), QString("1x2,5"));
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(openEditor<QLineEdit>(tree->viewport()));
    QCOMPARE(QToolTip::text(), QString("«1x2,5» — не число"));
    QCOMPARE(value("In.fd[0]"), QString("0,0"));
    edit->selectAll();
    QTest::keyClicks(edit, "12.5");
    QCOMPARE(edit->text(), QString("12,5"));
    QVERIFY(!saveScreenshot(window, "editor_float").isEmpty());
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_VERIFY(!openEditor<QLineEdit>(tree->viewport()));
    QCOMPARE(value("In.fd[0]"), QString("12,5"));
    QCOMPARE(HrcTree::itemColour(item("In.fd[0]")), HrcTree::changedColour());

    // Above its maximum of 2000 it is not taken.
    doubleClickCell(*tree, item("In.fd[0]"), 2);
    QTRY_VERIFY((edit = openEditor<QLineEdit>(tree->viewport())));
    edit->selectAll();
    QTest::keyClicks(edit, "3000");
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(openEditor<QLineEdit>(tree->viewport()));
    QTest::keyClick(edit, Qt::Key_Escape);
    QTRY_VERIFY(!openEditor<QLineEdit>(tree->viewport()));
    QCOMPARE(value("In.fd[0]"), QString("12,5"));

    // A byte has no validator: any text is taken as it stands.
    doubleClickCell(*tree, item("Tin.F"), 2);
    QTRY_VERIFY((edit = openEditor<QLineEdit>(tree->viewport())));
    QVERIFY(!edit->validator());
    edit->selectAll();
    QTest::keyClicks(edit, "abc");
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_VERIFY(!openEditor<QLineEdit>(tree->viewport()));
    QCOMPARE(value("Tin.F"), QString("abc"));
}

void TestHrcEditDelegate::timesAndDates()
{
    // A time written without its leading zero (as a file may hold it) opens
    // at that time.
    setValue("Tm.dy", "6:00:00");
    doubleClickCell(*tree, item("Tm.dy"), 2);
    QTimeEdit *time = nullptr;
    QTRY_VERIFY((time = openEditor<QTimeEdit>(tree->viewport())));
    QCOMPARE(time->time(), QTime(6, 0, 0));
    QCOMPARE(time->maximumTime(), QTime(23, 59, 59));
    time->setSelectedSection(QDateTimeEdit::HourSection);
    QTest::keyClicks(time, "07");
    time->setSelectedSection(QDateTimeEdit::MinuteSection);
    QTest::keyClicks(time, "15");
    time->setSelectedSection(QDateTimeEdit::SecondSection);
    QTest::keyClicks(time, "20");
    QVERIFY(!saveScreenshot(window, "editor_time").isEmpty());
    QTest::keyClick(time, Qt::Key_Return);
    QTRY_VERIFY(!openEditor<QTimeEdit>(tree->viewport()));
    QCOMPARE(value("Tm.dy"), QString("07:15:20"));
    QCOMPARE(item("Tm.dy")->text(2), QString("07:15:20"));
    QCOMPARE(undo("Tm.dy"), QString("6:00:00"));

    // The device clock: the editor shows it in the row's form, and the row
    // shows it whole at the window's column widths.
    setValue("Rtc", "2023/11/30/22:10:00");
    QVERIFY(tree->columnWidth(2) >= tree->fontMetrics().horizontalAdvance(item("Rtc")->text(2)) + 12);
    doubleClickCell(*tree, item("Rtc"), 2);
    QDateTimeEdit *when = nullptr;
    QTRY_VERIFY((when = openEditor<QDateTimeEdit>(tree->viewport())));
    QCOMPARE(when->dateTime(), QDateTime(QDate(2023, 11, 30), QTime(22, 10, 0)));
    QCOMPARE(when->text(), QString("2023/11/30/22:10:00"));
    when->setSelectedSection(QDateTimeEdit::DaySection);
    QTest::keyClicks(when, "03");
    when->setSelectedSection(QDateTimeEdit::MonthSection);
    QTest::keyClicks(when, "02");
    when->setSelectedSection(QDateTimeEdit::YearSection);
    QTest::keyClicks(when, "2024");
    QVERIFY(!saveScreenshot(window, "editor_datetime").isEmpty());
    QTest::keyClick(when, Qt::Key_Return);
    QTRY_VERIFY(!openEditor<QDateTimeEdit>(tree->viewport()));
    QCOMPARE(value("Rtc"), QString("2024/02/03/22:10:00"));
    QCOMPARE(HrcTree::itemColour(item("Rtc")), HrcTree::changedColour());
}

// Takes the server addresses the editor lists from the program's store away
// for a test, and gives them back after it.
class NoRecentAddresses
{
public:
    NoRecentAddresses() : saved(ConfigStore::lastConfiguration()->value(key)) { ConfigStore::lastConfiguration()->remove(key); }
    ~NoRecentAddresses()
    {
        if (saved.isValid())
            ConfigStore::lastConfiguration()->setValue(key, saved);
        else
            ConfigStore::lastConfiguration()->remove(key);
    }

private:
    static constexpr const char *key = "PortNameEditor/recentAddresses";
    const QVariant saved;
};

void TestHrcEditDelegate::portEditorListsPortsAndTakesAnyPath()
{
    const NoRecentAddresses noRecent;
    // The port has a row only in a selection tree of the link settings.
    buildWindow("commSettings");
    // An adapter's stable name, in a by-id directory of the test's own.
    QTemporaryDir byId;
    QVERIFY(byId.isValid());
    const QString pty = "/dev/pts/77";
    const QString stable = byId.filePath("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    QVERIFY(QFile::link(pty, stable));
    PortNameEditor::setByIdDirectory(byId.path());

    // A pseudo-terminal chosen earlier is kept at the front; the machine's
    // ports follow with what the system knows of them, then the by-id names.
    setValue("Port", pty);
    doubleClickCell(*tree, item("Port"), 2);
    PortNameEditor *editor = nullptr;
    QTRY_VERIFY((editor = openEditor<PortNameEditor>(tree->viewport())));
    QVERIFY(editor->isEditable());
    const QList<QSerialPortInfo> machinePorts = QSerialPortInfo::availablePorts();
    QCOMPARE(editor->count(), machinePorts.size() + 2);
    QCOMPARE(editor->itemText(0), pty);
    QCOMPARE(editor->itemData(0).toString(), pty);
    for (int i = 0; i < machinePorts.size(); ++i) {
        QCOMPARE(editor->itemData(i + 1).toString(), machinePorts.at(i).portName());
        QVERIFY(editor->itemText(i + 1).startsWith(machinePorts.at(i).portName()));
        if (!machinePorts.at(i).description().isEmpty())
            QVERIFY(editor->itemText(i + 1).contains(" — " + machinePorts.at(i).description()));
    }
    const int last = editor->count() - 1;
    QCOMPARE(editor->itemText(last), stable + " → 77");
    QCOMPARE(editor->itemData(last).toString(), stable);
    QCOMPARE(editor->currentText(), pty);

    // The list opens with Alt+Down; the stable name chosen is what is stored,
    // and the connection uses it at once.
    QTest::keyClick(editor, Qt::Key_Down, Qt::AltModifier);
    QTRY_VERIFY(editor->view()->isVisible());
    QVERIFY(!saveScreenshot(window, "editor_port").isEmpty());
    QVERIFY(!saveScreenshot(editor->view()->window(), "editor_port_list").isEmpty());
    QVERIFY(clickComboEntry(editor, last));
    QTRY_VERIFY(!openEditor<PortNameEditor>(tree->viewport()));
    QCOMPARE(value("Port"), stable);
    QCOMPARE(item("Port")->text(2), stable);
    QCOMPARE(CommSettings::fromDocument(tree->documentModel()).port, stable);

    // Any path typed by hand is taken with Enter, and is used by the next
    // connection, not the port of the first edit.
    doubleClickCell(*tree, item("Port"), 2);
    QTRY_VERIFY((editor = openEditor<PortNameEditor>(tree->viewport())));
    QCOMPARE(editor->currentText(), stable);
    QTest::keyClicks(editor->lineEdit(), "/dev/ttyACM5");
    QTest::keyClick(editor->lineEdit(), Qt::Key_Return);
    QTRY_VERIFY(!openEditor<PortNameEditor>(tree->viewport()));
    QCOMPARE(value("Port"), QString("/dev/ttyACM5"));
    QCOMPARE(CommSettings::fromDocument(tree->documentModel()).port, QString("/dev/ttyACM5"));
    PortNameEditor::setByIdDirectory(QString());
}

namespace {

// Pixels of a row that are clearly of the colour's hue family.
int pixelsLike(const QImage &image, const QRect &rect, const QColor &colour)
{
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QColor p = image.pixelColor(x, y);
            const int dr = p.red() - colour.red(), dg = p.green() - colour.green(), db = p.blue() - colour.blue();
            if (dr * dr + dg * dg + db * db < 40 * 40)
                ++n;
        }
    }
    return n;
}

} // namespace

void TestHrcEditDelegate::selectedRowsKeepTheirColour()
{
    QTreeWidgetItem *changed = item("Tin.F");
    QTreeWidgetItem *problem = item("Ind.c");
    tree->setItemColour(changed, HrcTree::changedColour());
    tree->setItemColour(problem, HrcTree::problemColour());
    tree->scrollToItem(changed);
    clickCell(*tree, changed, 1);
    QVERIFY(changed->isSelected());
    QVERIFY(!saveScreenshot(window, "tree_selection").isEmpty());
    const QImage image = tree->viewport()->grab().toImage();
    const QRect selectedRow = tree->visualItemRect(changed);
    QVERIFY2(pixelsLike(image, selectedRow, HrcTree::changedColour()) > 20, "the selected row lost its colour");

    clickCell(*tree, problem, 1);
    const QImage second = tree->viewport()->grab().toImage();
    QVERIFY(pixelsLike(second, tree->visualItemRect(problem), HrcTree::problemColour()) > 20);
    QVERIFY(problem->isSelected() && !changed->isSelected());
}

void TestHrcEditDelegate::onlyTheValueColumnEdits()
{
    auto *delegate = qobject_cast<HrcEditDelegate *>(tree->itemDelegate());
    QVERIFY(delegate);
    QTreeWidgetItem *row = item("Tin.F");
    tree->scrollToItem(row);
    const QModelIndex value = tree->indexAt(cellCentre(*tree, row, 2));
    QCOMPARE(value.column(), 2);
    QStyleOptionViewItem option;
    for (int column : {0, 1, 3, 6}) {
        const QModelIndex other = value.sibling(value.row(), column);
        QVERIFY(!delegate->createEditor(tree->viewport(), option, other));
    }
    std::unique_ptr<QWidget> editor(delegate->createEditor(tree->viewport(), option, value));
    QVERIFY(qobject_cast<QLineEdit *>(editor.get()));

    QCOMPARE(HrcEditDelegate::editorKind(tree->findParameter("logfile")), HrcEditDelegate::LogFileEditor);
    QCOMPARE(HrcEditDelegate::editorKind(tree->findParameter("Port")), HrcEditDelegate::PortList);
    QCOMPARE(HrcEditDelegate::editorKind(tree->findParameter("r.Cn")), HrcEditDelegate::Bitmask);
    QCOMPARE(HrcEditDelegate::editorKind(tree->findParameter("Addr")), HrcEditDelegate::IntegerEditor);
    QCOMPARE(HrcEditDelegate::editorKind(tree->findParameter("Dev")), HrcEditDelegate::TextEditor);
}

QTEST_MAIN(TestHrcEditDelegate)
void TestHrcEditDelegate::portEditorTakesServerAddressesCheckedAsTyped()
{
    const NoRecentAddresses noRecent;

    buildWindow("commSettings");
    setValue("Port", "/dev/ttyUSB0");
    doubleClickCell(*tree, item("Port"), 2);
    PortNameEditor *editor = nullptr;
    QTRY_VERIFY((editor = openEditor<PortNameEditor>(tree->viewport())));
    editor->lineEdit()->selectAll();

    // Half an address: the text says what is missing, Enter does not take it.
    QTest::keyClicks(editor->lineEdit(), "tcp://192.168.1.20");
    QVERIFY(editor->formProblem().contains("tcp://"));
    QCOMPARE(editor->lineEdit()->toolTip(), editor->formProblem());
    const QColor normalText("#22201d");
    QCOMPARE(editor->lineEdit()->palette().color(QPalette::Text), QColor("#c00000"));
    QVERIFY(!saveScreenshot(window, "editor_port_address_incomplete").isEmpty());
    QTest::keyClick(editor->lineEdit(), Qt::Key_Return);
    QVERIFY(openEditor<PortNameEditor>(tree->viewport()));
    QCOMPARE(value("Port"), QString("/dev/ttyUSB0"));
    // A port number out of range is named as such.
    QTest::keyClicks(editor->lineEdit(), ":70000");
    QVERIFY(editor->formProblem().contains("65535"));
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(editor->lineEdit(), Qt::Key_Backspace);
    QTest::keyClicks(editor->lineEdit(), "4001?connect=8000");
    QVERIFY2(editor->formProblem().isEmpty(), qPrintable(editor->formProblem()));
    QCOMPARE(editor->lineEdit()->palette().color(QPalette::Text), normalText);
    QTest::keyClick(editor->lineEdit(), Qt::Key_Return);
    QTRY_VERIFY(!openEditor<PortNameEditor>(tree->viewport()));
    const QString first = "tcp://192.168.1.20:4001?connect=8000";
    QCOMPARE(value("Port"), first);
    QCOMPARE(CommSettings::fromDocument(tree->documentModel()).port, first);

    // An IPv6 server over RFC 2217, typed whole; then both are in the list,
    // the latest first, and picking the older one stores it.
    doubleClickCell(*tree, item("Port"), 2);
    QTRY_VERIFY((editor = openEditor<PortNameEditor>(tree->viewport())));
    editor->lineEdit()->selectAll();
    const QString second = "rfc2217://[fd00::7]:2217";
    QTest::keyClicks(editor->lineEdit(), second);
    QVERIFY(editor->formProblem().isEmpty());
    QTest::keyClick(editor->lineEdit(), Qt::Key_Return);
    QTRY_VERIFY(!openEditor<PortNameEditor>(tree->viewport()));
    QCOMPARE(value("Port"), second);
    QCOMPARE(PortNameEditor::recentAddresses(), QStringList({second, first}));

    doubleClickCell(*tree, item("Port"), 2);
    QTRY_VERIFY((editor = openEditor<PortNameEditor>(tree->viewport())));
    const int older = editor->findData(first);
    QVERIFY(older > editor->findData(second));
    QVERIFY(editor->itemText(older).startsWith(first + " — "));
    QTest::keyClick(editor, Qt::Key_Down, Qt::AltModifier);
    QTRY_VERIFY(editor->view()->isVisible());
    QVERIFY(!saveScreenshot(editor->view()->window(), "editor_port_recent_servers").isEmpty());
    QVERIFY(clickComboEntry(editor, older));
    QTRY_VERIFY(!openEditor<PortNameEditor>(tree->viewport()));
    QCOMPARE(value("Port"), first);
    QCOMPARE(PortNameEditor::recentAddresses(), QStringList({first, second}));
}

#include "tst_hrceditdelegate.moc"
