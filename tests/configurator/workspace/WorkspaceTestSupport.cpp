#include "WorkspaceTestSupport.h"

#include "HrcTree.h"

#include <QAbstractItemView>
#include <QDir>
#include <QHeaderView>
#include <QtTest>

namespace wstest {

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
        dir = qEnvironmentVariable("HRC_TEST_OUTPUT");
    if (dir.isEmpty())
        dir = QDir::currentPath();
    QDir().mkpath(dir);
    const QString file = QDir(dir).filePath(name + QStringLiteral(".png"));
    return widget->grab().save(file) ? file : QString();
}

} // namespace wstest
