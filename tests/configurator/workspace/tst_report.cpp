// The commissioning report of a visit made in the main window against
// hrc417-sim, as the engineer makes it: read everything, edit two values,
// write them to a device that ignores one of the writes, watch an operating
// value, then "Отчёт…" from the tools menu, once as PDF and once as HTML.
#include "HrcTree.h"
#include "HrcTreeWin.h"
#include "HrcTreeWorkers.h"
#include "IoTestSupport.h"
#include "KavuIOhelper.h"
#include "ReportDialog.h"
#include "ReportText.h"
#include "ReportWriter.h"
#include "VisitLog.h"
#include "WaitWin.h"
#include "WorkspaceTestSupport.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <sys/resource.h>

using namespace wstest;

namespace {

struct Session
{
    explicit Session(const QStringList &simArgs)
        : sim(simArgs)
        , document(iotest::loadDocument())
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

    iotest::Simulator sim;
    HrcDocument document;
    std::unique_ptr<HrcTreeWin> window;
    bool ready = false;
};

// Starts a job with action and waits until it has ended and the wait window
// is gone; the number of failed parameters, -2 when it did not end.
template <typename Action>
int runJob(Session &s, Action action)
{
    QSignalSpy spy(s.window->workers()->ioHelper(), &KavuIOhelper::kavuIOFinished);
    action();
    if (spy.isEmpty() && !spy.wait(60000))
        return -2;
    HrcTreeWin *w = s.window.get();
    if (!QTest::qWaitFor([w]() { return !w->waitWindow()->isVisible(); }, 5000))
        return -3;
    w->activateWindow();
    if (!QTest::qWaitFor([w]() { return QApplication::activeWindow() == w; }, 5000))
        return -4;
    return spy.last().at(1).toInt();
}

void editValue(Session &s, const QString &name, const QString &text)
{
    s.tree()->expandAll();
    QCoreApplication::processEvents();
    s.tree()->scrollToItem(s.item(name), QAbstractItemView::PositionAtCenter);
    doubleClickCell(*s.tree(), s.item(name), 2);
    QLineEdit *edit = nullptr;
    QVERIFY(QTest::qWaitFor([&]() { return (edit = openEditor<QLineEdit>(s.tree()->viewport())); }, 3000));
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_VERIFY(!openEditor<QLineEdit>(s.tree()->viewport()));
}

// Typed key by key; QTest::keyClicks takes Latin-1 only.
void typeText(QWidget *widget, const QString &text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

// "Отчёт…" from the tools menu: the dialog filled as a person fills it (the
// fields keep what was typed last time unless given), saved to file; the
// message that follows is closed. Returns the plant the dialog offered.
QString makeReport(HrcTreeWin *window, const QString &file, int format, const QString &plant = QString())
{
    QString offered;
    whenDialogShown<ReportDialog>([&](ReportDialog *d) {
        offered = d->plantEdit()->text();
        if (!plant.isEmpty()) {
            d->plantEdit()->selectAll();
            typeText(d->plantEdit(), plant);
            d->engineerEdit()->selectAll();
            typeText(d->engineerEdit(), QStringLiteral("Петров П. П."));
            d->remarkEdit()->selectAll();
            QTest::keyClick(d->remarkEdit(), Qt::Key_Delete);
            typeText(d->remarkEdit(), QStringLiteral("Пуско-наладка"));
        }
        d->formatBox()->setCurrentIndex(format);
        d->fileEdit()->selectAll();
        typeText(d->fileEdit(), file);
        saveScreenshot(d, QStringLiteral("report-dialog"));
        QTest::mouseClick(d->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Save), Qt::LeftButton);
    });
    whenDialogShown<QMessageBox>([](QMessageBox *box) { box->accept(); });
    window->toolsMenu()->findChild<QAction *>(QStringLiteral("actionReport"))->trigger();
    return offered;
}

QString fileText(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll());
}

} // namespace

class TestReport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void visitReportAsPdfAndHtml();
    void offlineReportSaysSoOnEveryPage();
    void reportOnAFullDiskKeepsTheOldFile();

private:
    QTemporaryDir dir;
};

void TestReport::initTestCase()
{
    QVERIFY(dir.isValid());
    // The backups (and the reports' copies) of a user of its own.
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8());
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty(),
             "pdftotext (poppler-utils, tools/ci/setup-debian.sh) is needed");
}

void TestReport::visitReportAsPdfAndHtml()
{
    Session s({QStringLiteral("--write-faults"), QStringLiteral("ignore=Ind.i")});
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    QCOMPARE(runJob(s, [&]() { QTest::mouseClick(s.window->toolButton(4), Qt::LeftButton); }), 0);
    editValue(s, QStringLiteral("Tin.F"), QStringLiteral("25"));
    editValue(s, QStringLiteral("Ind.i"), QStringLiteral("9"));
    // The device answers both writes as done but keeps its 5 for Ind.i: the
    // job's read-back finds it, counts it as the one error and tells the record.
    QCOMPARE(runJob(s, [&]() { QTest::keyClick(s.window.get(), Qt::Key_U, Qt::AltModifier); }), 1);

    // An operating value, ticked for polling, until a poll has brought it.
    s.tree()->expandAll();
    QCoreApplication::processEvents();
    s.tree()->scrollToItem(s.item(QStringLiteral("r.cor:0")), QAbstractItemView::PositionAtCenter);
    clickCell(*s.tree(), s.item(QStringLiteral("r.cor:0")), 0);
    QTest::keyClick(s.tree(), Qt::Key_Space);
    QTRY_VERIFY_WITH_TIMEOUT(s.window->visit()->polledValues().contains(QStringLiteral("r.cor:0")), 15000);

    const QString pdf = dir.filePath(QStringLiteral("visit.pdf"));
    makeReport(s.window.get(), pdf, 0, QStringLiteral("Котельная №3"));
    const QString text = reporttext::pdfText(pdf);
    QVERIFY2(text.contains(QStringLiteral("Отчёт о наладке прибора")), qPrintable(text.left(300)));
    QVERIFY(text.contains(QStringLiteral("Объект Котельная №3")));
    QVERIFY(text.contains(QStringLiteral("Инженер Петров П. П.")));
    QVERIFY(text.contains(QStringLiteral("Примечание Пуско-наладка")));
    QVERIFY(text.contains(QStringLiteral("Наименование прибора HRC417")));
    // Caption, name, factory, first read, written (marked), read-back.
    QVERIFY(text.contains(QStringLiteral("Tin.F 10 10 25 * подтверждено")));
    QVERIFY(text.contains(QStringLiteral("Ind.i 5 5 9 * отличается: прибор хранит 5")));
    QVERIFY(text.contains(QStringLiteral("Thpd[0] реле реле — не записано")));
    QVERIFY(text.contains(QStringLiteral("Контур 1: Отопительный график")));
    QVERIFY(text.contains(QStringLiteral("Обменов ")));
    QVERIFY(text.contains(QStringLiteral("Оценка связь в порядке")));
    QVERIFY(text.contains(QStringLiteral("Температура на входе 1, °С r.cor:0 ")));
    QVERIFY(text.contains(QStringLiteral("Инженер Петров П. П. ")));
    QVERIFY(text.contains(QStringLiteral("Страница 1 из ")));
    QVERIFY(!text.contains(QStringLiteral("без связи")));
    const QString output = qEnvironmentVariable("HRC_TEST_OUTPUT", QDir::currentPath());
    QVERIFY(QDir().mkpath(output));
    QVERIFY(reporttext::firstPagePng(pdf, output + QStringLiteral("/report-visit-page1")));

    // The same as HTML: the dialog offers what was typed, the rows agree.
    const QString html = dir.filePath(QStringLiteral("visit.html"));
    QCOMPARE(makeReport(s.window.get(), html, 1), QStringLiteral("Котельная №3"));
    const QVector<QStringList> rows = reporttext::htmlRows(fileText(html));
    QCOMPARE(reporttext::parameterRow(rows, QStringLiteral("Ind.i")),
             (QStringList{QStringLiteral("Время индикации параметра на табло, с"), QStringLiteral("Ind.i"),
                          QStringLiteral("5"), QStringLiteral("5"), QStringLiteral("9 *"),
                          QStringLiteral("отличается: прибор хранит 5")}));
    // Every row whole on one page, every heading (the graphs' too) on the
    // page of its table's start.
    const QStringList pages = reporttext::pdfPageTexts(pdf);
    const QStringList missing = reporttext::rowsMissingFromPdf(rows, pages);
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QLatin1Char('\n'))));
    const QStringList apart = reporttext::headingsApartFromTables(fileText(html), pages);
    QVERIFY2(apart.isEmpty(), qPrintable(apart.join(QLatin1Char('\n'))));
    QVERIFY(fileText(html).contains(QStringLiteral("<img src=\"data:image/png;base64,")));

    // Both saved beside the device's backups as well.
    QStringList copies;
    for (QDirIterator it(dir.filePath(QStringLiteral("data")), {QStringLiteral("*_report.*")}, QDir::Files,
                         QDirIterator::Subdirectories);
         it.hasNext();)
        copies << it.next();
    QCOMPARE(copies.size(), 2);
    QVERIFY2(copies.first().contains(QStringLiteral("/backups/HRC417 ")), qPrintable(copies.first()));
}

void TestReport::offlineReportSaysSoOnEveryPage()
{
    // A window that has not exchanged anything with a device.
    HrcDocument document = iotest::loadDocument();
    HrcTreeWin window(document.document());
    window.wizardClose(document.document(), 3);
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QString pdf = dir.filePath(QStringLiteral("offline.pdf"));
    makeReport(&window, pdf, 0);
    const QString text = reporttext::pdfText(pdf);
    const int pages = reporttext::pdfPages(pdf);
    QVERIFY(pages > 1);
    QCOMPARE(text.count(QStringLiteral("Отчёт составлен без связи с прибором")), pages);
    QVERIFY(text.contains(QStringLiteral("Tin.F 10 — — не записано")));
    QVERIFY(text.contains(QStringLiteral("Наименование прибора —")));
}

void TestReport::reportOnAFullDiskKeepsTheOldFile()
{
    ReportContent content;
    content.title = QStringLiteral("Отчёт");
    ReportSet set;
    set.title = QStringLiteral("Параметры");
    for (int i = 0; i < 60; ++i)
        set.rows.append({QStringLiteral("Параметр %1").arg(i), QStringLiteral("P%1").arg(i), "1", "2", "3", "ok"});
    content.sets.append(set);
    const ReportWriter writer(content);

    for (const QString &name : {QStringLiteral("full.pdf"), QStringLiteral("full.html")}) {
        const QString file = dir.filePath(name);
        QString error;
        QVERIFY2(writer.write(file, &error), qPrintable(error));
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray before = f.readAll();
        f.close();
        QVERIFY(before.size() > 2048);

        // Files may not grow beyond 1 KiB, as on a full disk.
        struct rlimit old;
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit tiny = old;
        tiny.rlim_cur = 1024;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &tiny), 0);
        const bool written = writer.write(file, &error);
        setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY(!written);
        QVERIFY2(error.contains(file) && error.contains(QString::fromLocal8Bit(std::strerror(EFBIG))),
                 qPrintable(error));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        f.close();
    }
}

QTEST_MAIN(TestReport)
#include "tst_report.moc"
