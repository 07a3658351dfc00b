#pragma once

#include "HrcDocument.h"
#include "HrcTreeWin.h"
#include "IoTestSupport.h"

#include <QComboBox>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>

class HrcTree;
class KavuIOhelper;
class QTreeWidgetItem;

namespace wstest {

// A simulator and a main window whose link settings point at it, as the
// wizard hands the window over: the link settings and the other sets named
// at their factory values, "TimeOut" timeoutSec. ready once the window is
// shown; sim.error() says why not.
struct WindowSession
{
    explicit WindowSession(const QStringList &simArgs = QStringList(), int timeoutSec = 2,
                           const QStringList &factorySets = QStringList{QStringLiteral("commSettings")});

    HrcTree *tree() const;
    QTreeWidgetItem *item(const QString &name) const;
    QString value(const QString &name) { return document.paramValue(name); }
    QDomElement element(const QString &name) { return document.findParameter(name); }
    KavuIOhelper *helper() const;

    iotest::Simulator sim;
    HrcDocument document;
    std::unique_ptr<HrcTreeWin> window;
    bool ready = false;
};

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

// Grabs the widget to <dir>/<name>.png, the directory being
// $HRC_SCREENSHOT_DIR, else screenshots/ in $HRC_TEST_OUTPUT (set by
// hrc_add_qt_test), else in the current one. Returns the file written, empty
// on failure. The one screenshot helper of the Qt tests.
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
