#pragma once

#include <QComboBox>
#include <QPoint>
#include <QString>
#include <QWidget>

class HrcTree;
class QTreeWidgetItem;

namespace wstest {

// Centre of a cell of the tree, in viewport coordinates (scrolled into view).
QPoint cellCentre(HrcTree &tree, QTreeWidgetItem *item, int column);
// A person's double-click on a cell: a click, then the double-click.
void doubleClickCell(HrcTree &tree, QTreeWidgetItem *item, int column);
void clickCell(HrcTree &tree, QTreeWidgetItem *item, int column);

// The visible editor of type T inside the tree's viewport, or none.
template <typename T>
T *openEditor(QWidget *viewport)
{
    for (T *editor : viewport->findChildren<T *>()) {
        if (editor->isVisible())
            return editor;
    }
    return nullptr;
}

// Waits for the combo's list to be open and picks the entry at row.
bool clickComboEntry(QComboBox *combo, int row);

// Grabs the widget (or the whole window it is in) to <dir>/<name>.png, the
// directory being $HRC_SCREENSHOT_DIR, else $HRC_TEST_OUTPUT, else the current
// one. Returns the file written, empty on failure.
QString saveScreenshot(QWidget *widget, const QString &name);

// Runs action as soon as a modal dialog of type T is up (a file chooser, a
// message box), from the event loop the dialog runs.
template <typename T, typename Action>
void whenDialogShown(Action action);

} // namespace wstest

#include <QApplication>
#include <QTimer>

template <typename T, typename Action>
void wstest::whenDialogShown(Action action)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, action]() {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *dialog = qobject_cast<T *>(w)) {
                if (dialog->isVisible()) {
                    poll->stop();
                    poll->deleteLater();
                    action(dialog);
                    return;
                }
            }
        }
    });
    poll->start(20);
}
