// The parameter tree as the windows and the user work with it: builds and
// identifiers, colours, factory values, problem navigation, double-clicks,
// context menus and polling results.
#include "ErrorText.h"
#include "HrcTree.h"
#include "KavuMon.h"
#include "WorkspaceTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QTreeWidgetItemIterator>
#include <QtTest>

namespace {

QDomDocument freshDocument()
{
    return HrcDocument::load(HrcDocument::resourcePath).document();
}

} // namespace

// Stands in for the main window: records which command a context action asked for.
class OwnerWindow : public QWidget
{
public:
    QStringList calls;
    void watch(HrcTree *tree)
    {
        const QList<QPair<void (HrcTree::*)(), QString>> requests = {
            {&HrcTree::readBranchRequested, "readBranch"},
            {&HrcTree::writeBranchRequested, "writeBranch"},
            {&HrcTree::writeChangedBranchRequested, "writeChanged"},
            {&HrcTree::branchToDefaultRequested, "branchDefault"},
            {&HrcTree::readParamRequested, "readOne"},
            {&HrcTree::writeParamRequested, "writeOne"},
            {&HrcTree::paramToDefaultRequested, "paramDefault"},
        };
        for (const auto &request : requests) {
            const QString name = request.second;
            QObject::connect(tree, request.first, this, [this, name] { calls << name; });
        }
    }
};

namespace {

// The owner's full tree, expanded, in a shown window.
HrcTree *shownFullTree(OwnerWindow &owner)
{
    auto *tree = new HrcTree(freshDocument(), &owner, &owner);
    owner.watch(tree);
    owner.resize(1200, 800);
    tree->resize(1200, 800);
    owner.show();
    tree->buildTree();
    tree->expandAll();
    return tree;
}

} // namespace

class TestHrcTree : public QObject
{
    Q_OBJECT

private:
    QStringList actionTexts(HrcTree &tree, QTreeWidgetItem *item);
    QPoint cellCentre(HrcTree &tree, QTreeWidgetItem *item, int column);
    void doubleClick(HrcTree &tree, QTreeWidgetItem *item, int column);

private slots:
    void fullTreeLayout();
    void identifiersRunDepthFirst();
    void rebuildRenumbers();
    void selectionTrees();
    void summaryList();
    void problemsFoundWhileBuilding();
    void coloursSetAndKept();
    void factoryValues();
    void findAndSelect();
    void problemNavigation();
    void contextMenuActions();
    void contextMenuByRightClick();
    void doubleClickOpensEditors();
    void pollingResults();
    void screenshot();
};

QPoint TestHrcTree::cellCentre(HrcTree &tree, QTreeWidgetItem *item, int column)
{
    tree.scrollToItem(item);
    const QRect row = tree.visualItemRect(item);
    const int x = tree.header()->sectionViewportPosition(column) + tree.header()->sectionSize(column) / 2;
    return QPoint(x, row.center().y());
}

// A person's double-click: the first click, then the second within the interval.
void TestHrcTree::doubleClick(HrcTree &tree, QTreeWidgetItem *item, int column)
{
    const QPoint pos = cellCentre(tree, item, column);
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseDClick(tree.viewport(), Qt::LeftButton, {}, pos);
}

QStringList TestHrcTree::actionTexts(HrcTree &tree, QTreeWidgetItem *item)
{
    QStringList texts;
    for (QAction *a : tree.contextActionsAt(cellCentre(tree, item, 0)))
        texts << (a ? a->text() : QString("-"));
    return texts;
}

void TestHrcTree::fullTreeLayout()
{
    HrcTree tree(freshDocument());
    tree.buildTree();
    QVERIFY(tree.isFullTree());
    QCOMPARE(tree.columnCount(), 8);
    const QStringList headers = {"Описание", "Параметр", "Значение", "Тип", "Минимум", "Максимум",
                                 "Зав.настройки", "Ошибки обмена и несоотвествия"};
    const QList<int> widths = {400, 100, 150, 70, 150, 150, 150, 400};
    for (int c = 0; c < 8; ++c) {
        QCOMPARE(tree.headerItem()->text(c), headers.at(c));
        if (c == 2) // at least 150, and the clock's whole text
            QVERIFY(tree.columnWidth(c) >= qMax(150, tree.fontMetrics().horizontalAdvance("2026/12/09/15:06:26")));
        else
            QCOMPARE(tree.columnWidth(c), widths.at(c));
        if (c > 0)
            QCOMPARE(tree.headerItem()->textAlignment(c), int(Qt::AlignCenter));
    }
    QVERIFY(!tree.header()->isHidden());
    QVERIFY(tree.rootIsDecorated());

    QCOMPARE(tree.topLevelItemCount(), 1);
    QTreeWidgetItem *top = tree.topLevelItem(0);
    QCOMPARE(top->text(0), QString("Все параметры"));
    QVERIFY(top->isExpanded());
    QCOMPARE(top->childCount(), 5);
    QVERIFY(!top->child(0)->isExpanded());

    // Every parameter but the port has a row; the polled set gets its caption row.
    QVERIFY(!tree.findItem("Port"));
    int parameterRows = 0, checkable = 0, points = 0;
    for (QTreeWidgetItemIterator it(&tree); *it; ++it) {
        const QDomElement e = tree.elementOf(*it);
        if (!HrcDocument::isParameter(e))
            continue;
        ++parameterRows;
        const bool polled = e.hasAttribute("ivparam") || e.attribute("namekavu") == "logfile";
        QCOMPARE((*it)->flags().testFlag(Qt::ItemIsUserCheckable), polled);
        QCOMPARE((*it)->data(0, Qt::CheckStateRole).isValid(), polled);
        QCOMPARE((*it)->icon(0).isNull(), polled);
        checkable += polled;
        QCOMPARE((*it)->text(1), e.attribute("namekavu"));
        QCOMPARE((*it)->text(3), e.attribute("type"));
        QCOMPARE((*it)->textAlignment(2), int(Qt::AlignCenter));
        if (HrcDocument::isPoint(e)) {
            ++points;
            QVERIFY(!((*it)->flags() & Qt::ItemIsEditable));
            QCOMPARE((*it)->childCount(), 2);
            QCOMPARE((*it)->child(0)->text(0), QString("X="));
            QCOMPARE((*it)->child(1)->text(0), QString("Y="));
            QVERIFY((*it)->child(0)->flags() & Qt::ItemIsEditable);
        } else {
            QCOMPARE(bool((*it)->flags() & Qt::ItemIsEditable), HrcDocument::isEditable(e));
        }
    }
    QCOMPARE(parameterRows, 175);
    QCOMPARE(checkable, 25);
    QCOMPARE(points, 28);

    QTreeWidgetItem *interview = tree.findItem("paramters_interview");
    QVERIFY(interview);
    QTreeWidgetItem *caption = interview->child(0);
    QCOMPARE(caption->text(0), QString("Вкл/выкл опрос параметра"));
    QVERIFY(caption->font(0).bold());
    QCOMPARE(tree.elementOf(caption), tree.elementOf(interview));
    QCOMPARE(tree.elementOf(interview).attribute("treeID").toUInt(), HrcTree::treeIdOf(caption));

    // Columns of one row of each kind.
    QTreeWidgetItem *beep = tree.findItem("Beep");
    QCOMPARE(beep->text(0), QString("Звуковой сигнал"));
    QCOMPARE(beep->text(2), QString("Нет данных"));
    QCOMPARE(beep->text(4), QString("Выключить"));
    QCOMPARE(beep->text(5), QString("Включить"));
    QCOMPARE(beep->text(6), QString("Включить"));
    QTreeWidgetItem *mask = tree.findItem("inv.D");
    QCOMPARE(mask->text(4), QString("00000000"));
    QCOMPARE(mask->text(5), QString("11111111"));
    QTreeWidgetItem *dev = tree.findItem("Dev");
    QCOMPARE(dev->text(4), QString());
    QCOMPARE(dev->text(6), QString("Нет данных"));
    QTreeWidgetItem *grtp = tree.findItem("Grtp[0]");
    QCOMPARE(grtp->text(4), QString("-3200,0;-3200,0"));
    QCOMPARE(grtp->child(0)->text(2), QString());

    // The document's lists are filled once by the constructor.
    QVERIFY(tree.baseNames().contains("Thpd"));
    QVERIFY(tree.typeNames().contains("datetime"));
    QVERIFY(tree.logHeader().startsWith("Время;"));
}

void TestHrcTree::identifiersRunDepthFirst()
{
    QDomDocument doc = freshDocument();
    HrcTree tree(doc);
    tree.buildTree();
    uint expected = 0;
    for (QTreeWidgetItemIterator it(&tree); *it; ++it) {
        const uint id = HrcTree::treeIdOf(*it);
        QCOMPARE(id, ++expected);
        QTreeWidgetItem *parent = (*it)->parent();
        const QDomElement e = tree.elementOf(*it);
        if (HrcDocument::isPointHalf(e)) {
            // X and Y take the numbers right after their parameter.
            const uint parentId = HrcTree::treeIdOf(parent);
            QCOMPARE(id, parentId + uint(parent->indexOfChild(*it)) + 1);
            QCOMPARE(e.attribute("parentID").toUInt(), parentId);
            const QDomElement point = tree.elementOf(parent);
            QCOMPARE(point.attribute(e.tagName() == "X" ? "xID" : "yID").toUInt(), id);
        } else if (e.attribute("namekavu") == "paramters_interview") {
            // The caption row right below the set took over the set's number.
            QCOMPARE(e.attribute("treeID").toUInt(), (*it)->childCount() ? id + 1 : id);
        } else {
            QCOMPARE(e.attribute("treeID").toUInt(), id);
        }
        QCOMPARE(tree.elementById(id), e);
    }
    const uint last = expected;
    QVERIFY(last > 200u && last < HrcDocument::testParamTreeId);
    QVERIFY(tree.elementById(last + 1).isNull());
    QVERIFY(tree.elementOf(nullptr).isNull());
}

void TestHrcTree::rebuildRenumbers()
{
    QDomDocument doc = freshDocument();
    HrcTree tree(doc);
    tree.buildTree();
    const uint ugrId = HrcTree::treeIdOf(tree.findItem("Ugr"));
    tree.buildTree("otopKontur2;Ugr");
    // The old number now names another element.
    QVERIFY(tree.elementById(ugrId).attribute("namekavu") != "Ugr");
    QCOMPARE(HrcTree::treeIdOf(tree.topLevelItem(0)), 1u);
    QCOMPARE(tree.elementOf(tree.topLevelItem(1)).attribute("namekavu"), QString("Ugr"));
    QCOMPARE(tree.elementOf(tree.topLevelItem(1)).attribute("treeID").toUInt(),
             HrcTree::treeIdOf(tree.topLevelItem(1)));
    // Rebuilding again and again does not grow the document.
    for (int i = 0; i < 3; ++i)
        tree.buildTree();
    const QDomElement point = tree.findParameter("Grtp[7]");
    QCOMPARE(point.childNodes().size(), 2);
    QCOMPARE(point.attribute("xID").toUInt(), HrcTree::treeIdOf(tree.findItem("Grtp[7]")->child(0)));
    QCOMPARE(point.firstChildElement("X").attribute("treeID"), point.attribute("xID"));
    // Values live in the document: they survive the rebuild, the colours do not.
    tree.paramValue("Ugr", "1");
    tree.setItemColour(tree.findItem("Ugr"), HrcTree::changedColour());
    tree.buildTree();
    QCOMPARE(tree.findItem("Ugr")->text(2), QString("2"));
    QVERIFY(HrcTree::itemColour(tree.findItem("Ugr")) != HrcTree::changedColour());
}

void TestHrcTree::selectionTrees()
{
    HrcTree tree(freshDocument());
    tree.buildTree("commSettings");
    QVERIFY(!tree.isFullTree());
    QCOMPARE(tree.columnCount(), 3);
    QCOMPARE(tree.headerItem()->text(2), QString("Значение"));
    QCOMPARE(tree.topLevelItemCount(), 1);
    QTreeWidgetItem *port = tree.findItem("Port");
    QVERIFY(port);
    QCOMPARE(port->text(2), QString("COM1"));
    QVERIFY(port->flags() & Qt::ItemIsEditable);
    QCOMPARE(tree.topLevelItem(0)->childCount(), 8);
    QCOMPARE(tree.findItem("bPS")->text(2), QString("Нет данных"));
    QCOMPARE(tree.findItem("bPS")->text(4), QString());

    // Parameters become single top-level rows; unknown names a lone "Folder".
    tree.buildTree("Grtp[0];nosuch;Dev");
    QCOMPARE(tree.topLevelItemCount(), 3);
    QCOMPARE(tree.topLevelItem(0)->text(1), QString("Grtp[0]"));
    QCOMPARE(tree.topLevelItem(0)->childCount(), 2);
    QTreeWidgetItem *folder = tree.topLevelItem(1);
    QCOMPARE(folder->text(0), QString("Folder"));
    QCOMPARE(folder->childCount(), 0);
    QVERIFY(!folder->icon(0).isNull());
    QVERIFY(tree.elementOf(folder).isNull());
    QCOMPARE(tree.topLevelItem(2)->text(0), QString("Наименование прибора"));
    QVERIFY(!(tree.topLevelItem(2)->flags() & Qt::ItemIsEditable));
    QVERIFY(tree.isEnabled());
}

void TestHrcTree::summaryList()
{
    QDomDocument doc = freshDocument();
    QWidget window;
    auto *tree = new HrcTree(doc, nullptr, &window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    tree->paramValue("bPS", "6");
    tree->buildSummary("commSettings;Ugr;nosuch");
    QVERIFY(tree->isVisible());
    QCOMPARE(tree->columnCount(), 2);
    QCOMPARE(tree->columnWidth(0), 400);
    QCOMPARE(tree->columnWidth(1), 100);
    QVERIFY(tree->header()->isHidden());
    QVERIFY(!tree->rootIsDecorated());
    QVERIFY(!tree->isEnabled());
    // Parameters only, as top-level rows with label and value.
    QCOMPARE(tree->topLevelItemCount(), 9);
    QCOMPARE(tree->topLevelItem(0)->text(0), QString("Скорость обмена"));
    QCOMPARE(tree->topLevelItem(0)->text(1), QString("9600"));
    QCOMPARE(tree->topLevelItem(6)->text(1), QString("COM1"));
    QCOMPARE(tree->topLevelItem(7)->text(1), QString("Нет данных"));
    QCOMPARE(tree->topLevelItem(8)->text(0), tree->findParameter("Ugr").attribute("label"));
    // The double-click editing is left off after a summary, and back after a tree build.
    tree->buildTree("commSettings");
    QVERIFY(tree->isEnabled());
    QVERIFY(!tree->header()->isHidden());
    QVERIFY(tree->rootIsDecorated());
}

void TestHrcTree::problemsFoundWhileBuilding()
{
    QDomDocument doc = freshDocument();
    HrcTree tree(doc);
    tree.findParameter("Beep").setAttribute("ioLastErrCode", "-102");
    tree.findParameter("Ugr").setAttribute("ioLastErrCode", "-1000");
    tree.findParameter("Dev").setAttribute("ioLastErrCode", "0");
    tree.findParameter("Grtp[1]").setAttribute("ioLastErrCode", "-9");
    tree.buildTree();
    QTreeWidgetItem *beep = tree.findItem("Beep");
    for (int c = 0; c < 8; ++c)
        QCOMPARE(beep->foreground(c).color(), HrcTree::problemColour());
    QCOMPARE(beep->text(7), QString("Прибор не ответил на запрос"));
    QCOMPARE(tree.findItem("Grtp[1]")->text(7), QString("Ошибка обмена (-9)"));
    QVERIFY(HrcTree::itemColour(tree.findItem("Ugr")) != HrcTree::problemColour());
    QVERIFY(tree.findItem("Ugr")->text(7).isEmpty());
    QVERIFY(HrcTree::itemColour(tree.findItem("Dev")) != HrcTree::problemColour());
    // Selection trees show no error column.
    tree.buildTree("addParam");
    QVERIFY(tree.findItem("Beep")->text(7).isEmpty());
}

void TestHrcTree::coloursSetAndKept()
{
    HrcTree tree(freshDocument());
    tree.buildTree();
    QCOMPARE(HrcTree::normalColour(), QColor::fromHsv(34, 34, 34, 255));
    tree.setColourByNames("configuration;otopKontur1;nosuch", HrcTree::changedColour());
    QCOMPARE(HrcTree::itemColour(tree.findItem("inv.D")), HrcTree::changedColour());
    QCOMPARE(HrcTree::itemColour(tree.findItem("Thpd[5]")), HrcTree::changedColour());
    QCOMPARE(HrcTree::itemColour(tree.findItem("k.obr[0]")), HrcTree::changedColour());
    // Communication settings keep their colour; sets and other branches are not touched.
    QVERIFY(HrcTree::itemColour(tree.findItem("bPS")) != HrcTree::changedColour());
    QVERIFY(HrcTree::itemColour(tree.findItem("Addr")) != HrcTree::changedColour());
    QVERIFY(HrcTree::itemColour(tree.findItem("TimeOut")) != HrcTree::changedColour());
    QVERIFY(HrcTree::itemColour(tree.findItem("configuration")) != HrcTree::changedColour());
    QVERIFY(HrcTree::itemColour(tree.findItem("kont")) != HrcTree::changedColour());
    QTreeWidgetItem *d = tree.findItem("D.o1");
    for (int c = 0; c < 8; ++c)
        QVERIFY(d->foreground(c).color() != HrcTree::changedColour());

    // An empty list colours the whole tree below its top item.
    tree.setColourByNames(QString(), HrcTree::problemColour());
    QCOMPARE(HrcTree::itemColour(tree.findItem("kont")), HrcTree::problemColour());
    QCOMPARE(HrcTree::itemColour(tree.findItem("r.cor:0")), HrcTree::problemColour());
    QVERIFY(HrcTree::itemColour(tree.findItem("LEn")) != HrcTree::problemColour());
    QTreeWidgetItem *kont = tree.findItem("kont");
    for (int c = 0; c < 8; ++c)
        QCOMPARE(kont->foreground(c).color(), HrcTree::problemColour());
}

void TestHrcTree::factoryValues()
{
    HrcTree tree(freshDocument());
    tree.buildTree();
    tree.paramValue("Port", "COM3");
    tree.paramValue("r.cor:1", "21,5");
    tree.paramValue("Grtp[2]", "1,0;2,0");

    // One parameter to its factory value: changed colour.
    QTreeWidgetItem *beep = tree.findItem("Beep");
    tree.updateItems(beep, true, "defaultvalue", false, true);
    QCOMPARE(tree.paramValue("Beep"), QString("1"));
    QCOMPARE(beep->text(2), QString("Включить"));
    QCOMPARE(HrcTree::itemColour(beep), HrcTree::changedColour());

    // Without local parameters, local and communication settings stay as they are.
    tree.updateItems(nullptr, false, "defaultvalue", false, false);
    QCOMPARE(tree.paramValue("TimeOut"), QString());
    QCOMPARE(tree.paramValue("bPS"), QString());
    QCOMPARE(tree.paramValue("Tin.F"), QString("10"));
    QCOMPARE(HrcTree::itemColour(beep), HrcTree::normalColour());

    // The whole tree: every value its default, never into Port or polled values.
    tree.updateItems(nullptr, false, "defaultvalue", false, true);
    QCOMPARE(tree.paramValue("TimeOut"), QString("5"));
    QCOMPARE(tree.paramValue("bPS"), QString("0"));
    QCOMPARE(tree.findItem("bPS")->text(2), QString("115200"));
    QCOMPARE(tree.paramValue("Port"), QString("COM3"));
    QCOMPARE(tree.paramValue("r.cor:1"), QString("21,5"));
    QCOMPARE(tree.paramValue("s.pmp:0"), QString());
    QCOMPARE(tree.paramValue("logfile"), QString("c:\\hrc417_log.csv"));
    QCOMPARE(tree.paramValue("timescan"), QString("1000"));
    QCOMPARE(tree.paramValue("Dev"), QString());
    QCOMPARE(tree.findItem("Dev")->text(2), QString("Нет данных"));
    // Points and their halves.
    QTreeWidgetItem *grtp = tree.findItem("Grtp[2]");
    QCOMPARE(tree.paramValue("Grtp[2]"), QString("-5,0;63,0"));
    QCOMPARE(grtp->text(2), QString("-5,0;63,0"));
    QCOMPARE(grtp->child(0)->text(2), QString("-5,0"));
    QCOMPARE(grtp->child(1)->text(2), QString("63,0"));
    const QDomElement point = tree.findParameter("Grtp[2]");
    QCOMPARE(HrcDocument::pointX(point).attribute("value"), QString("-5,0"));
    QCOMPARE(HrcDocument::pointY(point).attribute("value"), QString("63,0"));

    // A value given directly; an empty result is always normal.
    tree.updateItems(grtp, true, "3,5;4,5", true, true);
    QCOMPARE(grtp->child(1)->text(2), QString("4,5"));
    QCOMPARE(HrcTree::itemColour(grtp), HrcTree::changedColour());
    QTreeWidgetItem *dev = tree.findItem("Dev");
    tree.updateItems(dev, true, "ioValue", false, true);
    QCOMPARE(HrcTree::itemColour(dev), HrcTree::normalColour());
    // A branch of the tree.
    tree.paramValue("kont", "1");
    tree.updateItems(tree.findItem("otopKontur2"), false, "defaultvalue", false, true);
    QCOMPARE(tree.paramValue("kont"), QString("0"));
}

void TestHrcTree::findAndSelect()
{
    HrcTree tree(freshDocument());
    tree.buildTree();
    QVERIFY(tree.findItem("Thpd[2]"));
    QVERIFY(!tree.findItem("thpd[2]"));
    QTreeWidgetItem *circuit2 = tree.findItem("otopKontur2");
    QTreeWidgetItem *ust2 = tree.findItem("ust_gr", circuit2);
    QCOMPARE(ust2->parent(), circuit2);
    QVERIFY(tree.findItem("ust_gr") != ust2);
    QCOMPARE(tree.findItem("otopKontur2", circuit2), circuit2);
    QVERIFY(!tree.findItem("Ugr", circuit2));
    QCOMPARE(tree.findItem("Grtp[0]"), tree.findItem("Grtp[0]")->child(0)->parent());

    tree.collapseAll();
    tree.selectParameter("Thpd");
    QTreeWidgetItem *thpd = tree.findItem("Thpd[0]");
    QCOMPARE(tree.selectedItems(), QList<QTreeWidgetItem *>({thpd}));
    for (QTreeWidgetItem *p = thpd->parent(); p; p = p->parent())
        QVERIFY(p->isExpanded());
    tree.selectParameter("In.fg[3]");
    QCOMPARE(tree.selectedItems(), QList<QTreeWidgetItem *>({tree.findItem("In.fg[3]")}));
    tree.selectParameter("nosuch");
    QCOMPARE(tree.selectedItems(), QList<QTreeWidgetItem *>({tree.findItem("In.fg[3]")}));
}

void TestHrcTree::problemNavigation()
{
    HrcTree tree(freshDocument());
    tree.buildTree();
    tree.collapseAll();
    QTreeWidgetItem *first = tree.findItem("Tin.F");
    QTreeWidgetItem *second = tree.findItem("Grtr[7]");
    QTreeWidgetItem *third = tree.findItem("r.oe:2");
    for (QTreeWidgetItem *i : {first, second, third})
        tree.setItemColour(i, HrcTree::problemColour());
    QTreeWidgetItem *top = tree.topLevelItem(0);
    top->setSelected(true);

    QCOMPARE(tree.gotoNextProblem(top), first);
    QCOMPARE(tree.selectedItems(), QList<QTreeWidgetItem *>({first}));
    QCOMPARE(tree.currentItem(), first);
    QCOMPARE(tree.gotoNextProblem(first), second);
    QVERIFY(second->parent()->isExpanded() && second->parent()->parent()->isExpanded());
    QCOMPARE(tree.gotoNextProblem(second), third);
    QCOMPARE(tree.gotoNextProblem(third), nullptr);
    QCOMPARE(tree.selectedItems(), QList<QTreeWidgetItem *>({third}));
    QCOMPARE(tree.gotoPrevProblem(third), second);
    QCOMPARE(tree.gotoPrevProblem(second), first);
    QCOMPARE(tree.gotoPrevProblem(first), nullptr);
    QCOMPARE(tree.currentItem(), first);
    // The start itself is never the answer; nothing red at all finds nothing.
    tree.setItemColour(first, HrcTree::normalColour());
    tree.setItemColour(second, HrcTree::changedColour());
    QCOMPARE(tree.gotoPrevProblem(third), nullptr);
    QCOMPARE(tree.gotoNextProblem(nullptr), third);
}

void TestHrcTree::contextMenuActions()
{
    OwnerWindow owner;
    HrcTree *tree = shownFullTree(owner);
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    QCOMPARE(tree->contextMenuPolicy(), Qt::CustomContextMenu);

    const QStringList branch = {"Прочитать параметры ветви", "Записать параметры ветви",
                                "Записать только измененные параметры ветви", "-",
                                "Установить в заводские значение параметры ветви"};
    const QStringList emptyParam = {"Прочитать параметр", "-", "Установить в заводское значение"};
    const QStringList fullParam = {"Прочитать параметр", "Записать параметр", "-",
                                   "Установить в заводское значение"};
    QCOMPARE(actionTexts(*tree, tree->topLevelItem(0)), QStringList());
    QCOMPARE(actionTexts(*tree, tree->findItem("configuration")), branch);
    QCOMPARE(actionTexts(*tree, tree->findItem("ust_gr")), branch);
    QCOMPARE(actionTexts(*tree, tree->findItem("paramters_interview")), QStringList());
    QCOMPARE(actionTexts(*tree, tree->findItem("paramters_interview")->child(0)), QStringList());
    QCOMPARE(actionTexts(*tree, tree->findItem("r.cor:0")), QStringList());
    QCOMPARE(actionTexts(*tree, tree->findItem("commSettings")), QStringList());
    QCOMPARE(actionTexts(*tree, tree->findItem("TimeOut")), QStringList());
    QCOMPARE(actionTexts(*tree, tree->findItem("logfile")), QStringList());
    QCOMPARE(actionTexts(*tree, tree->findItem("Grtp[0]")->child(0)), QStringList());
    QCOMPARE(actionTexts(*tree, tree->findItem("bPS")), emptyParam);
    QCOMPARE(actionTexts(*tree, tree->findItem("Beep")), emptyParam);
    tree->paramValue("Beep", "0");
    QCOMPARE(actionTexts(*tree, tree->findItem("Beep")), fullParam);
    // Empty space below the rows.
    tree->collapseAll();
    QVERIFY(tree->contextActionsAt(QPoint(5, tree->viewport()->height() - 5)).isEmpty());
    tree->expandAll();

    // Each action runs the owner's command.
    const QList<QAction *> actions = tree->contextActionsAt(cellCentre(*tree, tree->findItem("configuration"), 0))
                                     + tree->contextActionsAt(cellCentre(*tree, tree->findItem("Beep"), 0));
    for (QAction *a : actions) {
        if (a)
            a->trigger();
    }
    QCOMPARE(owner.calls, QStringList({"readBranch", "writeBranch", "writeChanged", "branchDefault", "readOne",
                                       "writeOne", "paramDefault"}));

    // Not while an editor is being asked for, not in a selection tree.
    tree->onParamUpdateRequest(tree->findItem("Beep"), 2);
    QVERIFY(tree->isEditorRequested());
    QCOMPARE(actionTexts(*tree, tree->findItem("configuration")), QStringList());
    tree->onItemChanged(tree->findItem("Beep"), 2);
    QCOMPARE(actionTexts(*tree, tree->findItem("configuration")), branch);
    tree->buildTree("configuration");
    tree->expandAll();
    QCOMPARE(actionTexts(*tree, tree->findItem("addParam")), QStringList());

    // A tree without an owner offers no menu at all.
    HrcTree plain(freshDocument());
    QCOMPARE(plain.contextMenuPolicy(), Qt::DefaultContextMenu);
}

void TestHrcTree::contextMenuByRightClick()
{
    OwnerWindow owner;
    HrcTree *tree = shownFullTree(owner);
    QVERIFY(QTest::qWaitForWindowExposed(&owner));

    QStringList shown;
    bool menuSeen = false;
    auto rightClick = [&](QTreeWidgetItem *item) {
        shown.clear();
        menuSeen = false;
        QTimer::singleShot(0, [&] {
            if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
                menuSeen = true;
                for (QAction *a : menu->actions())
                    shown << (a->isSeparator() ? QString("-") : a->text());
                menu->close();
            }
        });
        const QPoint pos = cellCentre(*tree, item, 1);
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, tree->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(tree->viewport(), &event);
        QCoreApplication::processEvents();
    };
    rightClick(tree->findItem("Tp.l[1]"));
    QVERIFY(menuSeen);
    QCOMPARE(shown, QStringList({"Прочитать параметр", "-", "Установить в заводское значение"}));
    rightClick(tree->findItem("r.Cn"));
    QVERIFY(!menuSeen);
    QVERIFY(owner.calls.isEmpty());
}

void TestHrcTree::doubleClickOpensEditors()
{
    QWidget window;
    window.resize(1400, 800);
    auto *tree = new HrcTree(freshDocument(), nullptr, &window);
    tree->resize(1400, 800);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    tree->buildTree();
    tree->expandAll();
    auto openEditor = [tree]() -> QLineEdit * {
        for (QLineEdit *edit : tree->viewport()->findChildren<QLineEdit *>()) {
            if (edit->isVisible())
                return edit;
        }
        return nullptr;
    };

    // A double-click on the value of an editable parameter opens its editor;
    // typing and Enter commit the text.
    QTreeWidgetItem *tinf = tree->findItem("Tin.F");
    doubleClick(*tree, tinf, 2);
    QTRY_VERIFY(openEditor());
    QVERIFY(tree->isEditorRequested());
    QVERIFY(tree->selectedItems().isEmpty());
    QLineEdit *editor = openEditor();
    editor->selectAll();
    QTest::keyClicks(editor, "25");
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(!openEditor());
    QCOMPARE(tinf->text(2), QString("25"));
    QVERIFY(!tree->isEditorRequested());

    // Columns past the value open nothing, not even the flag.
    doubleClick(*tree, tinf, 3);
    QVERIFY(!openEditor());
    QVERIFY(!tree->isEditorRequested());

    // Polled rows and sets: nothing opens, and the context menu stays available.
    doubleClick(*tree, tree->findItem("r.cor:4"), 2);
    QVERIFY(!openEditor());
    QVERIFY(!tree->isEditorRequested());
    doubleClick(*tree, tree->findItem("addParam"), 0);
    QVERIFY(!openEditor());
    QVERIFY(!tree->isEditorRequested());

    // An editor left with Escape changes nothing and gives the menu back.
    doubleClick(*tree, tree->findItem("Ind.c"), 1);
    QTRY_VERIFY(openEditor());
    QVERIFY(tree->isEditorRequested());
    QTest::keyClick(openEditor(), Qt::Key_Escape);
    QTRY_VERIFY(!openEditor());
    QVERIFY(!tree->isEditorRequested());
    QCOMPARE(tree->paramValue("Ind.c"), QString());

    // A point opens the editor of its X half.
    QTreeWidgetItem *point = tree->findItem("Grtp[6]");
    point->setExpanded(false);
    tree->onParamUpdateRequest(point);
    QVERIFY(point->isExpanded());
    QTRY_VERIFY(openEditor());
    QCOMPARE(tree->currentItem(), point->child(0));
    QTest::keyClick(openEditor(), Qt::Key_Escape);
    QTRY_VERIFY(!openEditor());

    // The file name of the log opens its editor as well.
    tree->onParamUpdateRequest(tree->findItem("logfile"), 0);
    QTRY_VERIFY(openEditor());
    // It holds the stored name, not the display text of an empty one.
    QCOMPARE(openEditor()->text(), tree->paramValue("logfile"));
    QTest::keyClick(openEditor(), Qt::Key_Escape);
    QTRY_VERIFY(!openEditor());

    // Read-only device information does not.
    tree->onParamUpdateRequest(tree->findItem("ver"), 2);
    QCoreApplication::processEvents();
    QVERIFY(!openEditor());
    tree->onParamUpdateRequest(nullptr, 1);
}

void TestHrcTree::pollingResults()
{
    OwnerWindow owner;
    HrcTree tree(freshDocument(), &owner);
    KavuMon monitor(tree.documentModel(), 1000, QString());
    tree.attachMonitor(&monitor);
    QCOMPARE(tree.monitor(), &monitor);
    tree.buildTree();

    QTreeWidgetItem *input = tree.findItem("r.cor:0");
    QDomElement element = tree.elementOf(input);
    element.setAttribute("ioLastErrCode", "0");
    element.setAttribute("ioValue", "21,5");
    tree.setItemColour(input, HrcTree::problemColour());
    emit monitor.kavuMonUpdating(HrcTree::treeIdOf(input), 0, 0);
    QCOMPARE(input->text(2), QString("21,5"));
    QCOMPARE(element.attribute("value"), QString("21,5"));
    QCOMPARE(HrcTree::itemColour(input), HrcTree::normalColour());
    QVERIFY2(input->text(7).startsWith("Время опроса: "), qPrintable(input->text(7)));
    QVERIFY(QTime::fromString(input->text(7).mid(14), Qt::TextDate).isValid());

    element.setAttribute("ioLastErrCode", "-103");
    emit monitor.kavuMonUpdating(HrcTree::treeIdOf(input), 0, 0);
    QCOMPARE(HrcTree::itemColour(input), HrcTree::problemColour());
    QCOMPARE(input->text(7), errorText(-103));
    QCOMPARE(input->text(2), QString("21,5"));

    QTreeWidgetItem *mask = tree.findItem("r.oe.s");
    tree.elementOf(mask).setAttribute("ioLastErrCode", "0");
    tree.elementOf(mask).setAttribute("ioValue", "3");
    tree.onKavuMonUpdating(HrcTree::treeIdOf(mask), 0, 0);
    QCOMPARE(mask->text(2), QString("11000000"));
    // Unknown identifiers and elements without a row are ignored.
    tree.onKavuMonUpdating(999999, 0, 0);
    tree.buildTree("commSettings");
    tree.onKavuMonUpdating(HrcTree::treeIdOf(tree.findItem("Addr")) + 100, 0, 0);

    tree.attachIoWorker(&owner);
    QCOMPARE(tree.ioWorker(), &owner);
    tree.attachMonitor(nullptr);
    emit monitor.kavuMonUpdating(1, 0, 0);
}

void TestHrcTree::screenshot()
{
    HrcTree tree(freshDocument());
    tree.resize(1600, 1000);
    tree.buildTree();
    tree.updateItems(nullptr, false, "defaultvalue", false, true);
    tree.setColourByNames("otopKontur1", HrcTree::changedColour());
    tree.findParameter("Tin.F").setAttribute("ioLastErrCode", "-102");
    tree.findItem("Tin.F")->setText(7, errorText(-102));
    tree.setItemColour(tree.findItem("Tin.F"), HrcTree::problemColour());
    tree.expandAll();
    tree.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tree));
    QVERIFY(!wstest::saveScreenshot(&tree, "hrctree_full").isEmpty());
    tree.scrollToItem(tree.findItem("Grtp[0]"), QAbstractItemView::PositionAtTop);
    QVERIFY(!wstest::saveScreenshot(&tree, "hrctree_points").isEmpty());
    tree.scrollToItem(tree.findItem("r.cor:0"), QAbstractItemView::PositionAtTop);
    QVERIFY(!wstest::saveScreenshot(&tree, "hrctree_polled").isEmpty());
}

QTEST_MAIN(TestHrcTree)
#include "tst_hrctree.moc"
