#include "WorkspaceTestSupport.h"

#include "HrcTree.h"
#include "HrcTreeWorkers.h"

#include <QAbstractItemView>
#include <QDir>
#include <QHeaderView>
#include <QtTest>

namespace wstest {

WindowSession::WindowSession(const QStringList &simArgs, int timeoutSec, const QStringList &factorySets)
    : sim(simArgs)
    , document(iotest::loadDocument())
{
    if (!sim.started())
        return;
    for (const QString &set : factorySets) {
        for (const QDomElement &p : iotest::parametersOf(document, set))
            document.paramValue(p.attribute("namekavu"), p.attribute("defaultvalue"));
    }
    iotest::connectTo(document, sim.path(), timeoutSec);
    window.reset(new HrcTreeWin(document.document()));
    window->wizardClose(document.document(), 3);
    window->activateWindow();
    ready = QTest::qWaitForWindowExposed(window.get());
}

HrcTree *WindowSession::tree() const
{
    return window->tree();
}

QTreeWidgetItem *WindowSession::item(const QString &name) const
{
    return tree()->findItem(name);
}

KavuIOhelper *WindowSession::helper() const
{
    return window->workers()->ioHelper();
}

QPoint cellCentre(HrcTree &tree, QTreeWidgetItem *item, int column)
{
    tree.scrollToItem(item);
    const QRect row = tree.visualItemRect(item);
    const int x = tree.header()->sectionViewportPosition(column) + tree.header()->sectionSize(column) / 2;
    return QPoint(x, row.center().y());
}

void clickCell(HrcTree &tree, QTreeWidgetItem *item, int column)
{
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, cellCentre(tree, item, column));
}

void doubleClickCell(HrcTree &tree, QTreeWidgetItem *item, int column)
{
    const QPoint pos = cellCentre(tree, item, column);
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseDClick(tree.viewport(), Qt::LeftButton, {}, pos);
}

bool clickComboEntry(QComboBox *combo, int row)
{
    QAbstractItemView *list = combo->view();
    if (!QTest::qWaitFor([list]() { return list->isVisible(); }, 3000))
        return false;
    // With the keyboard: the list ignores a mouse release that comes within a
    // double-click interval of its opening.
    int current = list->currentIndex().isValid() ? list->currentIndex().row() : combo->currentIndex();
    while (current < row) {
        QTest::keyClick(list, Qt::Key_Down);
        ++current;
    }
    while (current > row) {
        QTest::keyClick(list, Qt::Key_Up);
        --current;
    }
    QTest::keyClick(list, Qt::Key_Return);
    return true;
}

QString saveScreenshot(QWidget *widget, const QString &name)
{
    QString dir = qEnvironmentVariable("HRC_SCREENSHOT_DIR");
    if (dir.isEmpty())
        dir = qEnvironmentVariable("HRC_TEST_OUTPUT", QDir::currentPath()) + QStringLiteral("/screenshots");
    QDir().mkpath(dir);
    const QString file = QDir(dir).filePath(name + QStringLiteral(".png"));
    // Layouts follow shown and hidden widgets in posted events.
    QCoreApplication::sendPostedEvents();
    return widget->grab().save(file) ? file : QString();
}

} // namespace wstest
