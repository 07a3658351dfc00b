// The main window's search bar, link-health panel, the compare and history
// entries of its tools menu and the wiring of the tree's context commands,
// kept apart from the fifteen commands.
#include "HrcTreeWin.h"

#include "CommSettings.h"
#include "CompareWin.h"
#include "HistoryWin.h"
#include "HrcTree.h"
#include "HrcTreeWorkers.h"
#include "KavuIOhelper.h"
#include "KavuMon.h"
#include "LinkHealthPanel.h"
#include "TreeSearchBar.h"
#include "VisitLog.h"
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
        });
        compare->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
        compare->setObjectName(QStringLiteral("actionCompare"));
        addAction(compare);
        QAction *history = extraMenu->addAction(tr("История…"), this, [this]() {
            HistoryWin *window = historyWindow();
            window->refresh();
            window->show();
            window->raise();
            window->activateWindow();
        });
        history->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H));
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
        visitLog = new VisitLog(this);
        // The report's link figures are the panel's: since its last reset.
        connect(linkHealth, &LinkHealthPanel::countsReset, visitLog, [this]() { visitLog->setLinkCounts(LinkCounts()); });
        QAction *report = extraMenu->addAction(tr("Отчёт…"), this, &HrcTreeWin::showReportDialog);
        report->setObjectName(QStringLiteral("actionReport"));
    }
    treeSearch->setTree(paramTree);
    linkHealth->attach(treeWorkers.get());
    connectVisitLog();
}

// The tree's context menu asks for its commands by signal; they run here.
void HrcTreeWin::connectTreeRequests()
{
    using Run = void (HrcTreeWin::*)();
    connect(paramTree, &HrcTree::readBranchRequested, this, Run(&HrcTreeWin::do_read_allparam_selected_node));
    connect(paramTree, &HrcTree::writeBranchRequested, this, Run(&HrcTreeWin::do_write_allparam_selected_node));
    connect(paramTree, &HrcTree::writeParamRequested, this, Run(&HrcTreeWin::do_write_allparam_selected_node));
    connect(paramTree, &HrcTree::writeChangedBranchRequested, this,
            &HrcTreeWin::do_write_changedparam_selected_node);
    connect(paramTree, &HrcTree::branchToDefaultRequested, this, Run(&HrcTreeWin::do_set_selected_node_todefault));
    connect(paramTree, &HrcTree::readParamRequested, this, &HrcTreeWin::do_read_one_param);
    connect(paramTree, &HrcTree::paramToDefaultRequested, this, &HrcTreeWin::do_set_param_todefault);
}

void HrcTreeWin::connectVisitLog()
{
    // The elements hold the outcome when the signal naming them arrives.
    if (KavuIOhelper *helper = treeWorkers->ioHelper()) {
        disconnect(helper, nullptr, visitLog, nullptr);
        connect(helper, &KavuIOhelper::kavuIOUpdating, visitLog, [this](uint treeId, int, int) {
            if (treeId != HrcDocument::testParamTreeId)
                visitLog->noteExchange(paramTree->elementById(treeId), jobs()->request().operation == KavuComm::opWrite);
        });
        connect(helper, &KavuIOhelper::linkCountsTaken, visitLog, &VisitLog::addLinkCounts);
        connect(helper, &KavuIOhelper::kavuIOStarting, visitLog, &VisitLog::beginJob);
        static_assert(int(VisitLog::Confirmed) == int(KavuComm::verifyConfirmed)
                          && int(VisitLog::Differs) == int(KavuComm::verifyDiffers)
                          && int(VisitLog::Failed) == int(KavuComm::verifyFailed)
                          && int(VisitLog::NotChecked) == int(KavuComm::verifyNotChecked),
                      "the visit record takes the worker's read-back outcomes as they are");
        connect(helper, &KavuIOhelper::parameterVerified, visitLog, &VisitLog::noteVerified);
    }
    if (KavuMon *mon = treeWorkers->monitor()) {
        disconnect(mon, nullptr, visitLog, nullptr);
        connect(mon, &KavuMon::kavuMonUpdating, visitLog, [this](uint treeId, int, int) {
            visitLog->noteExchange(paramTree->elementById(treeId), false);
        });
        connect(mon, &KavuMon::linkCountsTaken, visitLog, &VisitLog::addLinkCounts);
    }
}

CompareWin *HrcTreeWin::compareWindow()
{
    if (!compareWin || compareWin->tree() != paramTree) {
        delete compareWin;
        compareWin = new CompareWin(this);
    }
    return compareWin;
}

HistoryWin *HrcTreeWin::historyWindow()
{
    if (!historyWin || historyWin->tree() != paramTree) {
        delete historyWin;
        historyWin = new HistoryWin(this);
    }
    return historyWin;
}
