// Search, filters and the link-health panel of the main window, driven with
// keys and clicks against hrc417-sim: what is hidden stays in the tree, and a
// branch command still writes every parameter of the branch.
#include "HrcTree.h"
#include "HrcTreeWin.h"
#include "HrcTreeWorkers.h"
#include "IoTestSupport.h"
#include "KavuIOhelper.h"
#include "LinkHealthPanel.h"
#include "VisitLog.h"
#include "TreeSearchBar.h"
#include "ValueCodec.h"
#include "WaitWin.h"
#include "WorkspaceTestSupport.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidgetItemIterator>
#include <QtTest>

#include <memory>

using namespace wstest;

namespace {

struct Session : WindowSession
{
    using WindowSession::WindowSession;
    TreeSearchBar *bar() const { return window->searchBar(); }
    // Parameter rows not hidden, themselves or by a set above them.
    QStringList shownParameters() const
    {
        QStringList names;
        for (QTreeWidgetItemIterator it(tree()); *it; ++it) {
            const QDomElement e = tree()->elementOf(*it);
            if (!HrcDocument::isParameter(e) || HrcDocument::isPointHalf(e))
                continue;
            bool shown = true;
            for (QTreeWidgetItem *i = *it; i; i = i->parent())
                shown = shown && !i->isHidden();
            if (shown)
                names << e.attribute("namekavu");
        }
        return names;
    }
    bool runJob(const std::function<void()> &start)
    {
        QSignalSpy spy(helper(), &KavuIOhelper::kavuIOFinished);
        start();
        if (!spy.wait(60000))
            return false;
        HrcTreeWin *w = window.get();
        if (!QTest::qWaitFor([w]() { return !w->waitWindow()->isVisible(); }, 5000))
            return false;
        w->activateWindow();
        return QTest::qWaitFor([w]() { return QApplication::activeWindow() == w; }, 5000);
    }
};

void editValue(Session &s, const QString &name, const QString &text)
{
    doubleClickCell(*s.tree(), s.item(name), 2);
    QLineEdit *edit = nullptr;
    QVERIFY(QTest::qWaitFor([&]() { return (edit = openEditor<QLineEdit>(s.tree()->viewport())); }, 3000));
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_VERIFY(!openEditor<QLineEdit>(s.tree()->viewport()));
}

} // namespace

class TestTreeSearch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void searchAsTheEngineerTypes();
    void filtersAndABranchWriteOverHiddenRows();
    void notFactoryComparesValuesNotTexts();
    void linkHealthNamesTheLikelyCause();
};

void TestTreeSearch::initTestCase()
{
    QFile style(":/resources/style.qss");
    QVERIFY(style.open(QIODevice::ReadOnly | QIODevice::Text));
    qApp->setStyleSheet(QString::fromUtf8(style.readAll()));
}

void TestTreeSearch::searchAsTheEngineerTypes()
{
    Session s;
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    const int all = s.shownParameters().size();
    QVERIFY(all > 150);

    QTest::keyClick(s.window.get(), Qt::Key_F, Qt::ControlModifier);
    QLineEdit *field = s.bar()->searchField();
    QTRY_VERIFY(field->hasFocus());

    // By name, letter by letter: "Ind." narrows to the display parameters.
    QTest::keyClicks(field, "ind.");
    QStringList shown = s.shownParameters();
    QVERIFY2(shown.contains("Ind.i") && shown.contains("Ind.c"), qPrintable(shown.join(' ')));
    QVERIFY(!shown.contains("Tin.F"));
    QCOMPARE(s.bar()->shownCount(), shown.size());
    for (const QString &name : shown) {
        const QTreeWidgetItem *row = s.item(name);
        const bool inCaption = row->text(0).contains("ind.", Qt::CaseInsensitive);
        QVERIFY2(name.contains("ind.", Qt::CaseInsensitive) || inCaption || row->text(2).contains("ind.", Qt::CaseInsensitive),
                 qPrintable(name));
        QVERIFY(row->font(0).bold());   // marked
        for (const QTreeWidgetItem *up = row->parent(); up; up = up->parent())
            QVERIFY(up->isExpanded());
    }
    // Hidden, not removed.
    QVERIFY(s.item("Tin.F"));
    QVERIFY(s.item("Tin.F")->isHidden());

    // By caption (Russian, any case).
    field->clear();
    for (const QChar c : QString("ЯРКОСТЬ"))   // keyClicks takes ASCII only
        QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
    QCOMPARE(s.shownParameters(), QStringList{"Ind.c"});
    QCOMPARE(field->text(), QString("ЯРКОСТЬ"));

    // By value: a shown row edited to "37" stays, Tin.F (hidden) comes in
    // when it gets that value too.
    field->selectAll();
    QTest::keyClicks(field, "37");
    QVERIFY(!s.shownParameters().contains("Tin.F"));
    s.document.paramValue("Tin.F", "37");
    s.tree()->updateItems(s.item("Tin.F"), true, "37", true, true);
    QTRY_VERIFY(s.shownParameters().contains("Tin.F"));
    QVERIFY(!saveScreenshot(s.window.get(), "tree_search").isEmpty());

    // Escape clears: everything is back, nothing marked.
    QTest::keyClick(field, Qt::Key_Escape);
    QCOMPARE(field->text(), QString());
    QCOMPARE(s.shownParameters().size(), all);
    QVERIFY(!s.item("Tin.F")->font(0).bold());
}

void TestTreeSearch::filtersAndABranchWriteOverHiddenRows()
{
    Session s;
    QVERIFY2(s.ready, qPrintable(s.sim.error()));

    // The device's values first, then two edits.
    QVERIFY(s.runJob([&] { QTest::mouseClick(s.window->toolButton(4), Qt::LeftButton); }));
    editValue(s, "Ind.c", "3");
    editValue(s, "Tin.F", "25");

    QTest::mouseClick(s.bar()->changedButton(), Qt::LeftButton);
    QStringList shown = s.shownParameters();
    shown.sort();
    QCOMPARE(shown, (QStringList{"Ind.c", "Tin.F"}));
    QVERIFY(s.item("Ind.i")->isHidden());

    // Not at factory value: the edits (factory 4 and 10) and whatever the
    // simulator holds apart from its factory values; never one at its default.
    QTest::mouseClick(s.bar()->changedButton(), Qt::LeftButton);
    QTest::mouseClick(s.bar()->notFactoryButton(), Qt::LeftButton);
    shown = s.shownParameters();
    QVERIFY(shown.contains("Ind.c") && shown.contains("Tin.F"));
    for (const QString &name : shown) {
        const QDomElement e = s.document.findParameter(name);
        QVERIFY2(s.document.displayText(e) != s.document.displayText(e, "defaultvalue"), qPrintable(name));
    }
    QVERIFY(!shown.contains("Ind.i"));

    // Problems: a parameter the device refused shows alone.
    QTest::mouseClick(s.bar()->notFactoryButton(), Qt::LeftButton);
    s.tree()->setItemColour(s.item("Ind.i"), HrcTree::problemColour());
    QTest::mouseClick(s.bar()->problemsButton(), Qt::LeftButton);
    QCOMPARE(s.shownParameters(), QStringList{"Ind.i"});
    s.tree()->setItemColour(s.item("Ind.i"), HrcTree::normalColour());
    QTest::mouseClick(s.bar()->problemsButton(), Qt::LeftButton);

    // Only changed, then "write all parameters of the branch" on the set of
    // Ind.c: the hidden parameters of the branch are written as well.
    QTest::mouseClick(s.bar()->changedButton(), Qt::LeftButton);
    QVERIFY(s.item("Ind.i")->isHidden());
    QTreeWidgetItem *branch = s.item("Ind.c")->parent();
    int hiddenInBranch = 0;
    QStringList siblings;
    for (int i = 0; i < branch->childCount(); ++i) {
        const QDomElement e = s.tree()->elementOf(branch->child(i));
        if (HrcDocument::isParameter(e) && HrcDocument::isEditable(e) && !e.hasAttribute("localparam")) {
            siblings << e.attribute("namekavu");
            hiddenInBranch += branch->child(i)->isHidden() ? 1 : 0;
        }
    }
    QVERIFY(hiddenInBranch >= 1);
    clickCell(*s.tree(), branch, 0);
    const int from = s.sim.log().size();
    QVERIFY(s.runJob([&] { QTest::mouseClick(s.window->toolButton(8), Qt::LeftButton); }));
    for (const QString &name : siblings)
        QVERIFY2(s.sim.writesOf(name, from) == 1, qPrintable(name));
    QCOMPARE(s.sim.writesOf("Tin.F", from), 0);   // in another branch
    // Written: no longer changed, so only Tin.F is left under the filter.
    QTRY_COMPARE(s.shownParameters(), QStringList{"Tin.F"});

    // The link-health panel from the tools menu, with the counts of the jobs.
    LinkHealthPanel *panel = s.window->linkHealthPanel();
    QVERIFY(!panel->isVisible());
    QAction *healthAction = nullptr;
    for (QAction *a : s.window->toolsMenu()->actions())
        if (a->text() == "Состояние связи")
            healthAction = a;
    QVERIFY(healthAction);
    healthAction->trigger();
    QVERIFY(panel->isVisible());
    QVERIFY(panel->counts().exchanges > 150);   // the read-all and the branch write
    QCOMPARE(panel->counts().timeouts, quint64(0));
    QCOMPARE(panel->findChild<QLabel *>("timeoutsValue")->text(), QString("0"));
    QCOMPARE(panel->findChild<QLabel *>("linkCause")->text(), QString("Связь в порядке"));
    // A healthy device: its answers to the name checks of indexed names are
    // no refusals, on the panel and in the report's figures.
    QVERIFY(panel->counts().nameChecks > 0);
    QCOMPARE(panel->findChild<QLabel *>("refusedValue")->text(), QString("0"));
    QCOMPARE(s.window->visit()->linkCounts().deviceErrors, quint64(0));
    QVERIFY(!saveScreenshot(s.window.get(), "tree_filter_and_link_health").isEmpty());
}

void TestTreeSearch::notFactoryComparesValuesNotTexts()
{
    Session s;
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    QVERIFY(s.runJob([&] { QTest::mouseClick(s.window->toolButton(4), Qt::LeftButton); }));
    // A float read from the device is written with format 'g': "5" beside a
    // factory "5,0", "-25;90" beside "-25,0;90,0". The texts stay as they are.
    QCOMPARE(s.value("d.ngt[0]"), QString("5"));
    QCOMPARE(s.element("d.ngt[0]").attribute("defaultvalue"), QString("5,0"));
    QCOMPARE(s.value("Grtp[0]"), QString("-25;90"));
    QCOMPARE(s.element("Grtp[0]").attribute("defaultvalue"), QString("-25,0;90,0"));
    editValue(s, "Ind.c", "3");
    editValue(s, "T.sp[0]", "60.5");

    QTest::mouseClick(s.bar()->notFactoryButton(), Qt::LeftButton);
    const QStringList shown = s.shownParameters();
    QVERIFY(!saveScreenshot(s.window.get(), "tree_filter_not_factory").isEmpty());
    QVERIFY(shown.contains("Ind.c"));
    QVERIFY(shown.contains("T.sp[0]"));
    QVERIFY(!shown.contains("d.ngt[0]"));
    QVERIFY(!shown.contains("Grtp[0]"));
    // Exactly the parameters whose value differs from the factory value as a
    // value: every one shown differs, every float or point left out is the same.
    int sameButWrittenOtherwise = 0;
    for (const QDomElement &p : iotest::parametersOf(s.document, HrcDocument::allSets)) {
        const QString name = p.attribute("namekavu");
        const QString value = p.attribute("value");
        const QString factory = p.attribute("defaultvalue");
        const ParameterSpec spec = s.document.spec(p);
        if (value.isEmpty() || factory.isEmpty() || p.hasAttribute("ivparam") || name == "Port"
            || (spec.kind != ValueKind::Float && spec.kind != ValueKind::Point))
            continue;
        QVERIFY2(shown.contains(name) != ValueCodec::sameValue(spec, value, factory), qPrintable(name));
        if (value != factory && !shown.contains(name))
            ++sameButWrittenOtherwise;
    }
    // The case the filter got wrong is there to be got wrong.
    QVERIFY(sameButWrittenOtherwise > 20);
}

void TestTreeSearch::linkHealthNamesTheLikelyCause()
{
    Session s({"--faults", "crc=0.25", "--seed", "5"});
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    s.window->toolsMenu()->findChild<QAction *>("actionLinkHealth")->trigger();
    LinkHealthPanel *panel = s.window->linkHealthPanel();
    QVERIFY(panel->isVisible());
    QCOMPARE(panel->findChild<QLabel *>("linkCause")->text(), QString("Слишком мало обменов для оценки"));
    QVERIFY(s.runJob([&] { QTest::mouseClick(s.window->toolButton(4), Qt::LeftButton); }));
    const LinkCounts &c = panel->counts();
    QCOMPARE(c.crcErrors, quint64(s.sim.log().count("[fault: corrupted CRC]")));
    QVERIFY(c.crcErrors > 0);
    QCOMPARE(panel->findChild<QLabel *>("damagedValue")->text(), QString("%1 / 0").arg(c.crcErrors));
    QCOMPARE(panel->findChild<QLabel *>("linkCause")->text(),
             QString("Ответы приходят искажёнными: проверьте скорость обмена и чётность, согласующие резисторы "
                     "линии и помехи"));
    QVERIFY(!saveScreenshot(s.window.get(), "link_health_damaged").isEmpty());
    // "Сбросить" starts the count again, the report's with it.
    QVERIFY(s.window->visit()->linkCounts().attempts > 0);
    QTest::mouseClick(panel->findChild<QPushButton *>("linkHealthReset"), Qt::LeftButton);
    QCOMPARE(panel->counts().attempts, quint64(0));
    QCOMPARE(panel->findChild<QLabel *>("exchangesValue")->text(), QString("0"));
    QCOMPARE(s.window->visit()->linkCounts().attempts, quint64(0));

    // Many time-outs and a few damaged frames: the hint does not deny them.
    LinkCounts silent;
    silent.exchanges = 100;
    silent.attempts = 130;
    silent.timeouts = 29;
    silent.crcErrors = 1;
    QVERIFY(LinkHealthPanel::causeText(silent).contains("искажённых ответов немного (1)"));
    silent.crcErrors = 0;
    QVERIFY(LinkHealthPanel::causeText(silent).contains("искажённых ответов нет"));
}

QTEST_MAIN(TestTreeSearch)
#include "tst_treesearch.moc"
