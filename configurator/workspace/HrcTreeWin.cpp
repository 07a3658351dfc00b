#include "HrcTreeWin.h"

#include "BackupStore.h"
#include "CommSettings.h"
#include "CompareWin.h"
#include "DeviceBackup.h"
#include "DeviceSearchDialog.h"
#include "HeatingCurveWin.h"
#include "HelpWin.h"
#include "HistoryWin.h"
#include "HrcMessageBox.h"
#include "HrcTree.h"
#include "HrcTreeWorkers.h"
#include "KavuIOhelper.h"
#include "KavuMon.h"
#include "LinkHealthPanel.h"
#include "QtCompat.h"
#include "TestParamWin.h"
#include "TrendWin.h"
#include "WaitWin.h"
#include "ui_HrcTreeWin.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QShortcut>
#include <QLabel>
#include <QSizeGrip>
#include <QToolTip>

namespace {


struct Command
{
    const char *tooltip;
    const char *shortcut;
};

// Buttons 1 to 15. Button 10 (arrow down) goes forward, down the tree, and
// button 11 (arrow up) backward; tooltip and key of each follow its arrow.
const Command commands[15] = {
    {QT_TRANSLATE_NOOP("HrcTreeWin", "Новая настройка"), "Ctrl+N"},
    {QT_TRANSLATE_NOOP("HrcTreeWin", "Открыть"), "Ctrl+O"},
    {QT_TRANSLATE_NOOP("HrcTreeWin", "Сохранить"), "Ctrl+S"},
    {QT_TRANSLATE_NOOP("HrcTreeWin", "Прочитать все параметры"), "Alt+R"},
    {QT_TRANSLATE_NOOP("HrcTreeWin", "Записать все параметры"), "Alt+W"},
    {QT_TRANSLATE_NOOP("HrcTreeWin", "Записать только измененные параметры"), "Alt+U"},
    {QT_TRANSLATE_NOOP("HrcTreeWin", "Прочитать все параметры выделенной ветви"), "Ctrl+Alt+R"},
    {QT_TRANSLATE_NOOP("HrcTreeWin", "Записать все параметры выделенной ветви"), "Ctrl+Alt+W"},
    {QT_TRANSLATE_NOOP("HrcTreeWin", "Записать только изменные параметры выделенной ветви"), "Ctrl+Alt+U"},
    {QT_TRANSLATE_NOOP("HrcTreeWin", "К следующему проблемному параметру"), "Alt+Down"},
    {QT_TRANSLATE_NOOP("HrcTreeWin", "К предыдущему проблемному параметру"), "Alt+Up"},
    {QT_TRANSLATE_NOOP("HrcTreeWin", "Инициализировать прибор"), "Ctrl+Alt+N"},
    {QT_TRANSLATE_NOOP("HrcTreeWin", "Опрос отдельного параметра"), "Ctrl+P"},
    {QT_TRANSLATE_NOOP("HrcTreeWin", "Проверить связь"), "Ctrl+A"},
    {QT_TRANSLATE_NOOP("HrcTreeWin", "О программе"), nullptr},
};

} // namespace

HrcTreeWin::HrcTreeWin(const QDomDocument &doc, QWidget *parent, std::shared_ptr<PortArbiter> arbiter)
    : QWidget(parent)
    , ui(new Ui::HrcTreeWin)
    , document(doc)
{
    portArbiter = arbiter ? std::move(arbiter) : std::make_shared<PortArbiter>();
    setWindowFlags(Qt::Window | Qt::Dialog | Qt::FramelessWindowHint);
    ui->setupUi(this);
    setWindowTitle(tr("Конфигуратор HRC417"));
    linkState = new QLabel(ui->bottomFrame);
    linkState->setObjectName(QStringLiteral("linkState"));
    ui->bottomLayout->insertWidget(0, linkState);
    ui->bottomLayout->addWidget(new QSizeGrip(ui->bottomFrame), 0, Qt::AlignRight | Qt::AlignBottom);

    paramTree = new HrcTree(document, this, ui->scrollAreaWidgetContents);
    ui->verticalLayoutTree->addWidget(paramTree);
    treeWorkers.reset(new HrcTreeWorkers(paramTree, true, portArbiter));
    waitWin = new WaitWin(this, paramTree);
    msgBox = new HrcMessageBox(this);
    connect(msgBox, &HrcMessageBox::closeMessageBox, this, &HrcTreeWin::onCloseMessageBox);
    testParamWin = new TestParamWin(this, paramTree, waitWin);
    connect(testParamWin, &TestParamWin::jobStarting, this, &HrcTreeWin::onPanelJobStarting);

    installCommands();
    connectTreeRequests();
    installToolsMenu();
    installSearchAndLinkHealth();
    installResultBar();
    ui->toolButton_tomin->hide();
    resize(1180, 800);
}

HrcTreeWin::~HrcTreeWin()
{
    disconnectWorker();
    stopWorkers();
    treeWorkers.reset();
}

QToolButton *HrcTreeWin::toolButton(int number) const
{
    return number >= 1 && number <= commandButtons.size() ? commandButtons.at(number - 1) : nullptr;
}

void HrcTreeWin::installCommands()
{
    commandButtons = {ui->toolButton_1,  ui->toolButton_2,  ui->toolButton_3,  ui->toolButton_4,
                      ui->toolButton_5,  ui->toolButton_6,  ui->toolButton_7,  ui->toolButton_8,
                      ui->toolButton_9,  ui->toolButton_10, ui->toolButton_11, ui->toolButton_12,
                      ui->toolButton_13, ui->toolButton_14, ui->toolButton_15};
    // Each button's command. The form's on_toolButton_N_clicked slots are
    // connected to their buttons by object name (setupUi); those buttons get
    // only their shortcuts here, so that no click runs a command twice.
    using Run = void (HrcTreeWin::*)();
    static const Run runs[15] = {
        &HrcTreeWin::on_toolButton_1_clicked,
        &HrcTreeWin::on_toolButton_2_clicked,
        &HrcTreeWin::on_toolButton_3_clicked,
        &HrcTreeWin::do_read_allparam,
        &HrcTreeWin::do_write_allparams,
        &HrcTreeWin::do_write_only_changed_param,
        &HrcTreeWin::do_read_allparam_selected_node,
        &HrcTreeWin::do_write_allparam_selected_node,
        &HrcTreeWin::do_write_changedparam_selected_node,
        &HrcTreeWin::do_goto_nextproblem_param,
        &HrcTreeWin::do_goto_prevproblem_param,
        &HrcTreeWin::on_toolButton_12_clicked,
        &HrcTreeWin::showTestParamPanel,
        &HrcTreeWin::on_toolButton_14_clicked,
        &HrcTreeWin::showAboutWin,
    };
    for (int n = 1; n <= 15; ++n) {
        QToolButton *button = commandButtons.at(n - 1);
        const Command &command = commands[n - 1];
        const Run run = runs[n - 1];
        button->setText(QStringLiteral("..."));
        button->setToolTip(tr(command.tooltip));
        const QByteArray byName = "on_" + button->objectName().toLatin1() + "_clicked()";
        if (metaObject()->indexOfSlot(byName.constData()) < 0)
            connect(button, &QToolButton::clicked, this, run);
        if (command.shortcut) {
            auto *shortcut = new QShortcut(QKeySequence(QString::fromLatin1(command.shortcut)), this);
            connect(shortcut, &QShortcut::activated, this, run);
            shortcuts << shortcut;
        }
    }
    auto *help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, &HrcTreeWin::doOpenHelp);

    ui->toolButton_tomin->setToolTip(tr("Свернуть"));
    ui->toolButton_tomax->setToolTip(tr("Развернуть"));
    ui->toolButton_exit->setToolTip(tr("Выход"));
}

void HrcTreeWin::installToolsMenu()
{
    // A sixteenth button, after the fifteen commands and before the spacer, so
    // the fifteen keep their places and shortcuts.
    extraButton = new QToolButton(ui->topWidget);
    extraButton->setObjectName(QStringLiteral("toolButton_tools"));
    extraButton->setText(tr("Инструменты"));
    extraButton->setToolTip(tr("Инструменты"));
    extraButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    extraButton->setPopupMode(QToolButton::InstantPopup);
    extraButton->setAutoRaise(true);
    extraMenu = new QMenu(extraButton);
    extraButton->setMenu(extraMenu);
    ui->toolLayout->insertWidget(ui->toolLayout->indexOf(ui->toolButton_15) + 1, extraButton);

    QAction *trends = extraMenu->addAction(tr("Тренды"), this, [this]() { showWatchWindow(trendWin); });
    trends->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    addAction(trends);
    QAction *curves = extraMenu->addAction(tr("Графики отопления"), this, [this]() { showWatchWindow(curveWin); });
    curves->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    addAction(curves);
    extraMenu->addAction(tr("Найти прибор…"), this, [this]() {
        if (DeviceSearchDialog::findInto(paramTree->documentModel(), workers()->ioHelper()->portArbiter(), this))
            paramTree->rebuild();
    })->setObjectName(QStringLiteral("findDeviceAction"));
    // What was kept about the device at this address and port (its name
    // checks) is dropped: the next session asks it afresh.
    extraMenu->addAction(tr("Забыть прибор"), this, [this]() {
        const CommSettings link = CommSettings::fromDocument(paramTree->documentModel());
        BackupStore::forgetNameChecks(link.address.trimmed(), link.port.trimmed());
    })->setObjectName(QStringLiteral("forgetDeviceAction"));
}

template <typename Window>
void HrcTreeWin::showWatchWindow(QPointer<Window> &window)
{
    if (!window || window->tree() != paramTree) {
        delete window;
        window = new Window(paramTree, this);
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void HrcTreeWin::wizardClose(QDomDocument doc, int wizadStage)
{
    wizardStage = wizadStage;
    if (!doc.isNull() && doc != document) {
        // Another document: a tree, workers and panel of its own; the
        // compare and history windows are made anew for it.
        const bool workedOffline = jobs()->workedOffline();
        delete compareWin;
        delete historyWin;
        disconnectWorker();
        stopWorkers();
        delete testParamWin;
        delete waitWin;
        treeWorkers.reset();
        delete paramTree;
        document = doc;
        paramTree = new HrcTree(document, this, ui->scrollAreaWidgetContents);
        ui->verticalLayoutTree->addWidget(paramTree);
        treeWorkers.reset(new HrcTreeWorkers(paramTree, true, portArbiter));
        jobs()->setWorkedOffline(workedOffline);
        waitWin = new WaitWin(this, paramTree);
        testParamWin = new TestParamWin(this, paramTree, waitWin);
        connect(testParamWin, &TestParamWin::jobStarting, this, &HrcTreeWin::onPanelJobStarting);
    }
    paramTree->setStyleSheet(QStringLiteral("font: 10pt Segoe UI;"));
    paramTree->header()->setStyleSheet(QStringLiteral("font: 8pt Verdana;"));
    paramTree->buildTree();
    connectWorker();
    installSearchAndLinkHealth();
    if (KavuMon *mon = treeWorkers->monitor()) {
        connect(mon, &KavuMon::linkLost, this, &HrcTreeWin::onMonitorLinkLost, Qt::UniqueConnection);
        connect(mon, &KavuMon::linkRestored, this, &HrcTreeWin::onMonitorLinkRestored, Qt::UniqueConnection);
        // Back from the wizard: the monitor stopped when the window closed;
        // should its thread not have ended yet, it starts again once it has.
        mon->start();
    }
    show();
}

QTreeWidgetItem *HrcTreeWin::firstSelected() const
{
    const QList<QTreeWidgetItem *> selected = paramTree->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void HrcTreeWin::do_read_allparam()
{
    startJobOn(nullptr, KavuComm::opRead, false);
}

void HrcTreeWin::do_write_allparams()
{
    startJob(QString::fromLatin1(HrcDocument::allSets), KavuComm::opWrite, false, false);
}

void HrcTreeWin::do_write_only_changed_param()
{
    if (isJobRunning() || paramTree->topLevelItemCount() == 0)
        return;
    paramTree->setCurrentItem(paramTree->topLevelItem(0));
    writeAction = DeviceBackup::writeChanged();
    do_write_allparam_selected_node(true, true);
}

void HrcTreeWin::do_write_changedparam_selected_node()
{
    do_write_allparam_selected_node(true, true);
}

void HrcTreeWin::do_write_allparam_selected_node(bool onlyChanged, bool allNodeChilds)
{
    QTreeWidgetItem *item = firstSelected();
    if (!item)
        return;
    if (allNodeChilds && item->childCount() == 0)
        item = item->parent();
    if (!item) {
        writeAction.clear();
        return;
    }
    if (writeAction.isEmpty())
        writeAction = item->childCount() == 0 ? DeviceBackup::writeOne() : DeviceBackup::writeBranch();
    startJobOn(item, KavuComm::opWrite, onlyChanged);
}

void HrcTreeWin::do_write_allparam_selected_node(bool onlyChanged)
{
    do_write_allparam_selected_node(onlyChanged, false);
}

void HrcTreeWin::do_write_allparam_selected_node()
{
    do_write_allparam_selected_node(false, false);
}

void HrcTreeWin::do_read_allparam_selected_node(bool isOneParam)
{
    QTreeWidgetItem *item = firstSelected();
    if (!item)
        return;
    if (!isOneParam && item->childCount() == 0)
        item = item->parent();
    if (!item)
        return;
    startJobOn(item, KavuComm::opRead, false);
}

void HrcTreeWin::do_read_allparam_selected_node()
{
    do_read_allparam_selected_node(false);
}

void HrcTreeWin::do_read_one_param()
{
    do_read_allparam_selected_node(true);
}

void HrcTreeWin::do_set_param_todefault()
{
    if (isJobRunning())
        return;
    if (QTreeWidgetItem *item = firstSelected())
        paramTree->updateItems(item, QStringLiteral("defaultvalue"), HrcTree::Highlight | HrcTree::IncludeLocal);
}

void HrcTreeWin::do_set_selected_node_todefault(bool all)
{
    if (isJobRunning())
        return;
    QTreeWidgetItem *item = firstSelected();
    if (!all && item) {
        paramTree->updateItems(item, QStringLiteral("defaultvalue"), HrcTree::IncludeLocal);
        return;
    }
    for (int i = 0; i < paramTree->topLevelItemCount(); ++i)
        paramTree->updateItems(paramTree->topLevelItem(i), QStringLiteral("defaultvalue"), HrcTree::IncludeLocal);
}

void HrcTreeWin::do_set_selected_node_todefault()
{
    do_set_selected_node_todefault(false);
}

void HrcTreeWin::do_goto_nextproblem_param()
{
    if (paramTree->topLevelItemCount() == 0)
        return;
    if (!firstSelected()) {
        QTreeWidgetItem *first = paramTree->topLevelItem(0);
        first->setSelected(true);
        paramTree->setCurrentItem(first);
    }
    if (!paramTree->gotoNextProblem(firstSelected()))
        sayNoFurtherProblem(ui->toolButton_10, tr("Ниже нет проблемных параметров"));
}

void HrcTreeWin::do_goto_prevproblem_param()
{
    if (QTreeWidgetItem *item = firstSelected()) {
        if (!paramTree->gotoPrevProblem(item))
            sayNoFurtherProblem(ui->toolButton_11, tr("Выше нет проблемных параметров"));
    }
}

QString HrcTreeWin::linkStateText() const
{
    return linkState->text();
}

void HrcTreeWin::onMonitorLinkLost(const QString &message)
{
    linkState->setStyleSheet(QStringLiteral("color: red;"));
    linkState->setText(message);
}

void HrcTreeWin::onMonitorLinkRestored(const QString &message)
{
    linkState->setStyleSheet(QString());
    linkState->setText(message);
}

void HrcTreeWin::sayNoFurtherProblem(QWidget *button, const QString &text)
{
    statusText = text;
    QToolTip::showText(button->mapToGlobal(QPoint(0, button->height())), text, button);
}

void HrcTreeWin::on_toolButton_12_clicked()
{
    if (isJobRunning())
        return;
    msgBox->showWarning();
}

void HrcTreeWin::onCloseMessageBox()
{
    if (!msgBox->isAccepted() || isJobRunning())
        return;
    paramTree->updateItems(nullptr, QStringLiteral("defaultvalue"), HrcTree::Highlight);
    writeAction = DeviceBackup::init();
    do_write_allparams();
}

void HrcTreeWin::on_toolButton_14_clicked()
{
    if (isJobRunning())
        return;
    checkingConnection = true;
    startJob(QStringLiteral("dev"), KavuComm::opRead, true, false);
}

int HrcTreeWin::panelOffset() const
{
    return ui->topWidget->height();
}

void HrcTreeWin::showTestParamPanel()
{
    if (testParamWin->isVisible()) {
        testParamWin->hide();
        return;
    }
    testParamWin->show();
    testParamWin->placeBeside(panelOffset());
    testParamWin->raise();
}

void HrcTreeWin::showAboutWin()
{
    msgBox->showAbout();
}

void HrcTreeWin::doOpenHelp()
{
    HelpWin::openHelp(this);
}

void HrcTreeWin::on_toolButton_1_clicked()
{
    if (isJobRunning())
        return;
    disconnectWorker();
    stopWorkers();
    emit treeWinClose(document, wizardStage);
    close();
}

void HrcTreeWin::on_toolButton_exit_clicked()
{
    disconnectWorker();
    stopWorkers();
    close();
}

void HrcTreeWin::on_toolButton_tomax_clicked()
{
    const QRect desktop = (screen() ? screen() : QGuiApplication::primaryScreen())->geometry();
    resize(desktop.width(), desktop.height());
    move(0, 0);
    ui->toolButton_tomax->hide();
    ui->toolButton_tomin->show();
    testParamWin->placeBeside(panelOffset());
}

void HrcTreeWin::on_toolButton_tomin_clicked()
{
    const QRect desktop = (screen() ? screen() : QGuiApplication::primaryScreen())->geometry();
    resize(1180, 700);
    move((desktop.width() - 1180) / 2, (desktop.height() - 700) / 2);
    ui->toolButton_tomin->hide();
    ui->toolButton_tomax->show();
    testParamWin->placeBeside(panelOffset());
}

void HrcTreeWin::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        dragging = true;
        setCursor(Qt::ClosedHandCursor);
        const QPoint p = QtCompat::eventPosition(event).toPoint();
        pressX = p.x();
        pressY = p.y();
    }
    QWidget::mousePressEvent(event);
}

void HrcTreeWin::mouseMoveEvent(QMouseEvent *event)
{
    if (dragging) {
        const QPoint topLeft = QtCompat::eventGlobalPosition(event).toPoint() - QPoint(pressX, pressY);
        move(topLeft);
        testParamWin->followParent(topLeft.x(), topLeft.y());
    }
    QWidget::mouseMoveEvent(event);
}

void HrcTreeWin::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        dragging = false;
        unsetCursor();
    }
    QWidget::mouseReleaseEvent(event);
}
