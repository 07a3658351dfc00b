// The main window's search bar, link-health panel and the compare and
// history entries of its tools menu, kept apart from the
// fifteen commands.
#include "HrcTreeWin.h"

#include "CommSettings.h"
#include "CompareWin.h"
#include "HistoryWin.h"
#include "HrcTree.h"
#include "LinkHealthPanel.h"
#include "TreeSearchBar.h"
#include "ui_HrcTreeWin.h"

#include <QAction>
#include <QMenu>
#include <QShortcut>

// Called once from the constructor and again whenever the tree or its
// workers were replaced: the bar follows the current tree, the panel the
// current workers (its counts stay).
void HrcTreeWin::installSearchAndLinkHealth()
{
    if (!treeSearch) {
        treeSearch = new TreeSearchBar(this);
        ui->verticalLayout->insertWidget(ui->verticalLayout->indexOf(ui->scrollArea), treeSearch);
        auto *find = new QShortcut(QKeySequence::Find, this);
        connect(find, &QShortcut::activated, treeSearch, &TreeSearchBar::focusSearch);

        // Compare and history come first, then the link-health panel and the
        // read-back switch.
        QAction *compare = extraMenu->addAction(tr("Сравнить…"), this, [this]() {
            CompareWin *window = compareWindow();
            window->show();
            window->raise();
            window->activateWindow();
        }, QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_C));
        compare->setObjectName(QStringLiteral("actionCompare"));
        addAction(compare);
        QAction *history = extraMenu->addAction(tr("История…"), this, [this]() {
            HistoryWin *window = historyWindow();
            window->refresh();
            window->show();
            window->raise();
            window->activateWindow();
        }, QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_H));
        history->setObjectName(QStringLiteral("actionHistory"));
        addAction(history);

        linkHealth = new LinkHealthPanel(this);
        ui->verticalLayout->insertWidget(ui->verticalLayout->indexOf(ui->scrollArea) + 1, linkHealth);
        linkHealth->hide();
        QAction *show = extraMenu->addAction(tr("Состояние связи"));
        show->setObjectName(QStringLiteral("actionLinkHealth"));
        show->setCheckable(true);
        connect(show, &QAction::toggled, linkHealth, &QWidget::setVisible);

        // Every write job reads back what it wrote; a slow line may do without.
        QAction *verify = extraMenu->addAction(tr("Проверять запись чтением"));
        verify->setObjectName(QStringLiteral("actionVerifyWrites"));
        verify->setCheckable(true);
        verify->setChecked(CommSettings::verifyWrites());
        connect(verify, &QAction::toggled, this, [](bool on) { CommSettings::setVerifyWrites(on); });
    }
    treeSearch->setTree(paramTree);
    linkHealth->attach(treeWorkers.get());
}
