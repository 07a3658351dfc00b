// The main window's search bar and link-health panel, kept apart from the
// fifteen commands.
#include "HrcTreeWin.h"

#include "CommSettings.h"
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
