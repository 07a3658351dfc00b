// One rule for "the same value": the read-back after a write, the compare
// window, the history's count of changes and the report each judge the same
// pairs of value texts, and all four agree.
#include "BackupStore.h"
#include "CompareWin.h"
#include "HistoryWin.h"
#include "HrcTree.h"
#include "HrcTreeWin.h"
#include "KavuComm.h"
#include "KavuIOhelper.h"
#include "ReportBuilder.h"
#include "ResultCode.h"
#include "WaitWin.h"
#include "WorkspaceTestSupport.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include <iterator>
#include <memory>

using namespace wstest;

namespace {

// a: the engineer's text (document, newer backup, backup of the report);
// b: the other side (what the device holds, older backup, the device now).
// Each pair has a parameter of its own, so that one write checks them all.
struct Pair
{
    const char *tag;
    const char *parameter;
    const char *a;
    const char *b;
    bool same;
};

const Pair pairs[] = {
    {"time without a leading zero", "Tm.dy", "7:05:00", "07:05:00", true},
    {"time against one without zeros", "Tm.ng", "07:05:00", "7:5:0", true},
    {"times a second apart", "Tm.rg", "7:05:00", "07:05:01", false},
    {"point written another way", "Grtp[0]", "-25;90", "-25,00;90,0", true},
    {"point within one step", "Grtp[1]", "-15,04;77", "-15;76,96", true},
    {"points one step apart", "Grtp[2]", "-5,1;63", "-5;63", false},
    {"float beyond its shown digits", "In.fd[0]", "12.3456712", "12,34567", true},
    {"float with trailing zeros", "In.fg[0]", "100", "100,000", true},
    {"floats in the sixth digit", "In.fd[1]", "12,3457", "12,3458", false},
    {"enumeration entry", "pump[0]", "1", "1", true},
    {"enumeration entries", "pump[2]", "0", "1", false},
    {"enumeration index", "Thpd[0]", "2", "2", true},
    {"enumeration indexes", "Thpd[1]", "2", "3", false},
};

// The row of the report for a parameter (null if it has none).
const ReportRow *reportRow(const ReportContent &content, const QString &name)
{
    for (const ReportSet &set : content.sets) {
        for (const ReportRow &row : set.rows) {
            if (row.name == name)
                return &row;
        }
    }
    return nullptr;
}

} // namespace

class TestValueRule : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void fourJudgesAgree_data();
    void fourJudgesAgree();

private:
    QTemporaryDir dir;
    std::unique_ptr<WindowSession> session;
    CompareWin *compare = nullptr;
    HistoryWin *history = nullptr;
    // The read-back's outcome by parameter.
    QHash<QString, int> readBack;
};

// A device whose state holds every b and that ignores the writes of these
// parameters: writing every a makes the read-back compare a with b as the
// device reports it.
void TestValueRule::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QDir(BackupStore::root()).removeRecursively();
    QVERIFY(dir.isValid());
    const QString state = dir.filePath("device.hrc417");
    QStringList ignored;
    {
        QSettings file(state, QSettings::IniFormat);
        for (const Pair &p : pairs) {
            file.setValue(QStringLiteral("hrc417/") + p.parameter, QString::fromUtf8(p.b));
            ignored << QStringLiteral("ignore=") + p.parameter;
        }
    }
    session.reset(new WindowSession({"--state", state, "--write-faults", ignored.join(',')}));
    QVERIFY2(session->ready, qPrintable(session->sim.error()));
    HrcTreeWin *window = session->window.get();
    KavuIOhelper *helper = session->helper();

    auto run = [window, helper](int button) {
        QSignalSpy end(helper, &KavuIOhelper::kavuIOFinished);
        QTest::mouseClick(window->toolButton(button), Qt::LeftButton);
        if ((end.isEmpty() && !end.wait(60000))
            || !QTest::qWaitFor([window]() { return !window->waitWindow()->isVisible(); }, 5000))
            return false;
        window->activateWindow();
        return QTest::qWaitFor([window]() { return QApplication::activeWindow() == window; }, 5000);
    };
    QVERIFY(run(4)); // read all: the device is known, no offer to compare first
    for (const Pair &p : pairs) {
        QVERIFY2(session->item(p.parameter), p.parameter);
        session->tree()->updateItems(session->item(p.parameter), true, QString::fromUtf8(p.a), true, true);
    }
    QSignalSpy verified(helper, &KavuIOhelper::parameterVerified);
    QVERIFY(run(6)); // write the changed ones, read back
    for (const QVariantList &args : verified)
        readBack.insert(args.at(0).toString(), args.at(3).toInt());
    QCOMPARE(readBack.size(), int(std::size(pairs)));
    BackupStore::waitForPending();

    QTest::keyClick(window, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    compare = window->findChild<CompareWin *>("compareWin");
    QVERIFY(compare);
    QTest::keyClick(window, Qt::Key_H, Qt::ControlModifier | Qt::ShiftModifier);
    history = window->findChild<HistoryWin *>("historyWin");
    QVERIFY(history);
}

void TestValueRule::cleanupTestCase()
{
    session.reset();
    QDir(BackupStore::root()).removeRecursively();
}

void TestValueRule::fourJudgesAgree_data()
{
    QTest::addColumn<QString>("parameter");
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("same");
    for (const Pair &p : pairs)
        QTest::newRow(p.tag) << QString(p.parameter) << QString::fromUtf8(p.a) << QString::fromUtf8(p.b) << p.same;
}

void TestValueRule::fourJudgesAgree()
{
    QFETCH(QString, parameter);
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, same);
    HrcDocument &document = session->document;
    QDomElement element = document.findParameter(parameter);

    // The read-back: a written, b held by the device.
    QVERIFY(readBack.contains(parameter));
    const bool readBackSame = readBack.value(parameter) == KavuComm::verifyConfirmed;
    QVERIFY(readBackSame || readBack.value(parameter) == KavuComm::verifyDiffers);

    // The compare window: a in the document, b in the file column.
    element.setAttribute("value", a);
    compare->setSource(CompareWin::FileColumn, "pair.hrc417", {{parameter, b}});
    QVERIFY(compare->row(parameter));
    const bool compareSame = compare->differenceCount(CompareWin::FileColumn) == 0;

    // The history: b backed up, then a; the newer backup's count of changes.
    const QString folder = BackupStore::deviceFolder(document);
    QDir(BackupStore::root()).removeRecursively();
    QString error;
    const QDateTime then = QDateTime::currentDateTime().addSecs(-60);
    QVERIFY2(!BackupStore::save(folder, "read", {{parameter, b}}, then, &error).isEmpty(), qPrintable(error));
    QVERIFY2(!BackupStore::save(folder, "read", {{parameter, a}}, then.addSecs(30), &error).isEmpty(), qPrintable(error));
    history->refresh();
    QCOMPARE(history->table()->topLevelItemCount(), 2);
    const QString changed = history->table()->topLevelItem(0)->text(HistoryWin::ChangedColumn);
    QVERIFY(changed == "0" || changed == "1");
    const bool historySame = changed == "0";

    // The report of the device: a in the backup, b read from the device now.
    element.setAttribute("ioValue", b);
    setResultCode(element, codeSuccess);
    const ReportContent report = ReportBuilder::fromDevice(document, {{parameter, a}}, "pair.hrc417", LinkCounts(),
                                                           ReportPeople());
    const ReportRow *row = reportRow(report, parameter);
    QVERIFY(row);
    QVERIFY2(row->result == "без изменений" || row->result == "изменено", qPrintable(row->result));
    const bool reportSame = row->result == "без изменений";

    QCOMPARE(readBackSame, same);
    QCOMPARE(compareSame, same);
    QCOMPARE(historySame, same);
    QCOMPARE(reportSame, same);
}

QTEST_MAIN(TestValueRule)
#include "tst_valuerule.moc"
