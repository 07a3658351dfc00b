#include "HrcTreeWin.h"

#include "BackupStore.h"
#include "CompareWin.h"
#include "ConfigFileDialog.h"
#include "ConfigStore.h"
#include "DeviceBackup.h"
#include "ErrorText.h"
#include "HeatingCurveWin.h"
#include "HelpWin.h"
#include "HistoryWin.h"
#include "HrcEditDelegate.h"
#include "HrcLog.h"
#include "HrcMessageBox.h"
#include "HrcTree.h"
#include "HrcTreeWorkers.h"
#include "KavuIOhelper.h"
#include "KavuMon.h"
#include "LinkHealthPanel.h"
#include "TestParamWin.h"
#include "TrendWin.h"
#include "ValueCodec.h"
#include "WaitWin.h"
#include "ui_HrcTreeWin.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScreen>
#include <QShortcut>
#include <QLabel>
#include <QSizeGrip>
#include <QTimer>
#include <QToolTip>
#include <QUrl>

namespace {

// Shortest time between two progress repaints: about 30 a second.
const int progressIntervalMs = 33;
const QString kNamekavu = QStringLiteral("namekavu");

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

    progressTimer = new QTimer(this);
    progressTimer->setInterval(progressIntervalMs);
    connect(progressTimer, &QTimer::timeout, this, [this] {
        // Idle once nothing came in a whole interval, so that the next
        // update is shown at once.
        if (pendingProgress.isEmpty())
            progressTimer->stop();
        flushProgress();
    });

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

    addAction(extraMenu->addAction(tr("Тренды"), this, [this]() { showWatchWindow(trendWin); },
                                   QKeySequence(Qt::CTRL + Qt::Key_T)));
    addAction(extraMenu->addAction(tr("Графики отопления"), this, [this]() { showWatchWindow(curveWin); },
                                   QKeySequence(Qt::CTRL + Qt::Key_G)));
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

void HrcTreeWin::connectWorker()
{
    KavuIOhelper *helper = treeWorkers->ioHelper();
    disconnect(helper, nullptr, this, nullptr);
    connect(helper, &KavuIOhelper::kavuIOStarting, this, &HrcTreeWin::onKavuIOStarting);
    connect(helper, &KavuIOhelper::kavuIOUpdating, this, &HrcTreeWin::onKavuIOUpdating);
    connect(helper, &KavuIOhelper::kavuIOFinished, this, &HrcTreeWin::onKavuIOFinished);
    connect(helper, &KavuIOhelper::parameterVerified, this, [this](const QString &name, const QString &, const QString &, int outcome) {
        if (outcome == KavuComm::verifyDiffers && !differingThisJob.contains(name))
            differingThisJob << name;
    });
    connect(helper, &KavuIOhelper::kavuIOVerifying, this, [this](int verified, int count) {
        // The writes are done; what remains is reading them back.
        flushProgress();
        verifying = true;
        waitWin->setMessage(tr("Проверка записи чтением. Проверено %1 из %2").arg(verified, 4).arg(count, 4), false);
    });
}

void HrcTreeWin::disconnectWorker()
{
    if (treeWorkers && treeWorkers->ioHelper())
        disconnect(treeWorkers->ioHelper(), nullptr, this, nullptr);
}

void HrcTreeWin::stopWorkers()
{
    if (!treeWorkers)
        return;
    if (KavuIOhelper *helper = treeWorkers->ioHelper())
        helper->terminate();
    if (KavuMon *mon = treeWorkers->monitor())
        mon->terminate();
}

QTreeWidgetItem *HrcTreeWin::firstSelected() const
{
    const QList<QTreeWidgetItem *> selected = paramTree->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void HrcTreeWin::setCommandsEnabled(bool enabled)
{
    for (QToolButton *button : commandButtons)
        button->setEnabled(enabled);
    for (QShortcut *shortcut : shortcuts)
        shortcut->setEnabled(enabled);
}

void HrcTreeWin::beginJob(int operation)
{
    jobRunning = true;
    verifying = false;
    jobOperation = operation;
    setCommandsEnabled(false);
    noteJobBegins();
}

void HrcTreeWin::onPanelJobStarting(int operation)
{
    if (operation == KavuComm::opWrite)
        DeviceBackup::save(paramTree->documentModel(), DeviceBackup::writeOne(), this);
    jobNames.clear();
    jobOnlyChanged = false;
    beginJob(operation);
}

void HrcTreeWin::startJob(const QString &names, int operation, bool includeCommParams, bool onlyChanged)
{
    const QString action = writeAction.isEmpty() ? DeviceBackup::write() : writeAction;
    writeAction.clear();
    if (jobRunning)
        return;
    const bool readAll = operation == KavuComm::opRead && names == QLatin1String(HrcDocument::allSets);
    if ((operation == KavuComm::opWrite || (readAll && !keepDocumentOnRead)) && offeredCompareFirst())
        return;
    // The device's values as last known, saved before they are overwritten.
    if (operation == KavuComm::opWrite)
        DeviceBackup::save(paramTree->documentModel(), action, this);
    jobNames = names;
    jobOnlyChanged = onlyChanged;
    KavuIOhelper *helper = treeWorkers->ioHelper();
    helper->setJob(names, KavuComm::KavuCommOperation(operation), includeCommParams);
    beginJob(operation);
    paramTree->setEnabled(false);
    waitWin->showConnecting();
    helper->startJob(onlyChanged);
}

void HrcTreeWin::startJobOn(QTreeWidgetItem *item, int operation, bool onlyChanged)
{
    QString names;
    if (!item) {
        paramTree->expandAll();
        names = QString::fromLatin1(HrcDocument::allSets);
    } else {
        item->setExpanded(true);
        names = paramTree->elementOf(item).attribute(kNamekavu);
    }
    startJob(names, operation, true, onlyChanged);
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
    if (jobRunning || paramTree->topLevelItemCount() == 0)
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
    if (jobRunning)
        return;
    if (QTreeWidgetItem *item = firstSelected())
        paramTree->updateItems(item, true, QStringLiteral("defaultvalue"), false, true);
}

void HrcTreeWin::do_set_selected_node_todefault(bool all)
{
    if (jobRunning)
        return;
    QTreeWidgetItem *item = firstSelected();
    if (!all && item) {
        paramTree->updateItems(item, false, QStringLiteral("defaultvalue"), false, true);
        return;
    }
    for (int i = 0; i < paramTree->topLevelItemCount(); ++i)
        paramTree->updateItems(paramTree->topLevelItem(i), false, QStringLiteral("defaultvalue"), false, true);
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
    if (jobRunning)
        return;
    msgBox->showWarning();
}

void HrcTreeWin::onCloseMessageBox()
{
    if (!msgBox->isAccepted() || jobRunning)
        return;
    paramTree->updateItems(nullptr, true, QStringLiteral("defaultvalue"), false, false);
    writeAction = DeviceBackup::init();
    do_write_allparams();
}

void HrcTreeWin::on_toolButton_14_clicked()
{
    if (jobRunning)
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
    if (jobRunning)
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

void HrcTreeWin::on_toolButton_2_clicked()
{
    if (jobRunning)
        return;
    const QString fileName = QFileDialog::getOpenFileName(this, tr("Отрыть файл конфигурации"), QDir::homePath(),
                                                          tr("Файлы конфигураций Каву (*.hrc417)"));
    if (fileName.isEmpty())
        return;
    const QDomElement allParams = paramTree->documentModel().allParams();
    QString error;
    paramTree->collapseAll();
    QStringList faults;
    if (!ConfigStore::openFile(allParams, fileName, &error, &faults)) {
        QMessageBox::warning(this, tr("Конфигуратор HRC417"), tr("Ошибка чтение файла %1:\n%2.").arg(fileName, error),
                             QMessageBox::Ok);
        return;
    }
    // The rebuilt tree has every polling box cleared, which stops polling;
    // the monitor stays ready, so ticking a box afterwards polls again.
    paramTree->buildTree();
    paramTree->setColourByNames(QString::fromLatin1(HrcDocument::allSets), HrcTree::changedColour());
    // Entries that gave no value of their own: the engineer should know
    // which loaded values did not come from the file.
    if (!faults.isEmpty()) {
        QMessageBox box(QMessageBox::Warning, tr("Конфигуратор HRC417"),
                        tr("Файл %1 открыт, но не все значения взяты из него: для пустых записей взяты "
                           "заводские значения, записи с нарушенными кавычками прочитаны как есть.\n\n%2")
                            .arg(QDir::toNativeSeparators(fileName), faults.join(QLatin1Char('\n'))),
                        QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("openFaultsBox"));
        box.exec();
    }
}

void HrcTreeWin::on_toolButton_3_clicked()
{
    if (jobRunning)
        return;
    const QString fileName =
        ConfigFileDialog::saveFileName(this, tr("Сохранить файл конфигурации"), tr("Файлы HRC417 (*.hrc417)"));
    if (fileName.isEmpty())
        return;
    const QDomElement allParams = paramTree->documentModel().allParams();
    QString error;
    if (!ConfigStore::saveFile(allParams, fileName, &error)) {
        QMessageBox::warning(this, tr("Конфигуратор HRC417"), tr("Ошибка записи файла %1:\n%2.").arg(fileName, error),
                             QMessageBox::Ok);
        return;
    }
    if (!ConfigStore::saveLastConfiguration(allParams))
        qCDebug(lcWorkspace) << "the last-configuration store could not be written";
}

void HrcTreeWin::onKavuIOStarting(int)
{
    setCommandsEnabled(false);
}

void HrcTreeWin::onKavuIOUpdating(uint treeID, int done, int total)
{
    if (done == -1)
        return;
    pendingProgress.append({treeID, done, total});
    if (!progressTimer->isActive()) {
        flushProgress();
        progressTimer->start();
    }
}

void HrcTreeWin::flushProgress()
{
    if (pendingProgress.isEmpty())
        return;
    const QVector<Progress> updates = std::move(pendingProgress);
    pendingProgress.clear();
    for (const Progress &p : updates) {
        if (p.treeID != HrcDocument::testParamTreeId) {
            paramTree->onKavuMonUpdating(p.treeID, p.done, p.total);
            // What a read left out shows an old value: a problem, not a fresh read.
            if (jobOperation == KavuComm::opRead)
                paramTree->markLeftOutOfRead(p.treeID);
        }
        noteJobProgress(paramTree->elementById(p.treeID));
    }
    const Progress &last = updates.last();
    const QString text = jobOperation == KavuComm::opRead ? tr("Чтение параметров. Прочитано %1 из %2")
                                                          : tr("Запись параметров. Записано %1 из %2");
    if (!verifying) // the read-back shows its own progress
        waitWin->setMessage(text.arg(last.done, 4).arg(last.total, 4), false);
    if (testParamWin->isVisible()) {
        const QDomElement element = paramTree->elementById(last.treeID);
        if (!element.isNull()) {
            const bool success = resultCodeOf(element) == codeSuccess;
            if (success)
                testParamWin->setResultText(element.attribute(QStringLiteral("value")));
            testParamWin->setStatusText(success ? QString() : elementOutcomeText(element), !success);
        }
    }
}

QString HrcTreeWin::elementOutcomeText(const QDomElement &element) const
{
    return outcomeText(resultCodeOf(element),
                       paramTree->displayText(element, QStringLiteral("ioValue")), paramTree->displayText(element));
}

void HrcTreeWin::onKavuIOFinished(QString msg, int count, int total)
{
    // The job's last results reach the tree before its end is handled.
    progressTimer->stop();
    flushProgress();
    setCommandsEnabled(true);
    const bool read = jobOperation == KavuComm::opRead;
    const JobResult outcome = treeWorkers->ioHelper()->finishedJobResult();
    if (outcome.cancelled) {
        // The parameters left out carry their own mark; the count says how
        // far the job got.
        if (!outcome.connected)
            statusText = tr("Прервано пользователем");
        else
            statusText = (read ? tr("Прервано пользователем. Прочитано %1 из %2")
                               : tr("Прервано пользователем. Записано %1 из %2"))
                             .arg(outcome.succeeded)
                             .arg(total == int(HrcDocument::testParamTreeId) ? 1 : total);
    } else if (outcome.portLost) {
        // The port went away: the job stopped at once; how far it got.
        statusText = msg + QLatin1Char('\n')
                     + (read ? tr("Прочитано %1 из %2") : tr("Записано %1 из %2"))
                           .arg(outcome.succeeded)
                           .arg(total == int(HrcDocument::testParamTreeId) ? 1 : total);
    } else if (!outcome.connected) {
        // The worker tells why the port did not open or the device did not answer.
        statusText = msg.isEmpty() ? tr("Ошибка связи с прибором") : msg;
        if (QTreeWidgetItem *item = firstSelected())
            paramTree->setItemColour(item, HrcTree::problemColour());
        if (checkingConnection) {
            if (QTreeWidgetItem *comm = paramTree->findItem(QStringLiteral("commSettings"))) {
                paramTree->setItemColour(comm, HrcTree::problemColour());
                for (int i = 0; i < comm->childCount(); ++i)
                    paramTree->setItemColour(comm->child(i), HrcTree::problemColour());
                comm->setExpanded(true);
                paramTree->setCurrentItem(comm);
                paramTree->clearSelection();
                comm->setSelected(true);
            }
        }
    } else if (count == 0 && checkingConnection) {
        statusText = tr("Связь с прибором установлена");
        if (QTreeWidgetItem *comm = paramTree->findItem(QStringLiteral("commSettings"))) {
            paramTree->setItemColour(comm, HrcTree::normalColour());
            for (int i = 0; i < comm->childCount(); ++i)
                paramTree->setItemColour(comm->child(i), HrcTree::normalColour());
        }
    } else if (count == 0) {
        if (total == 0)
            statusText = tr("Нет параметров для операции обмена");
        else
            statusText = read ? tr("Параметры прочитаны без ошибок") : tr("Параметры записаны без ошибок");
    } else {
        statusText = (read ? tr("Прочитано с ошибками (%1)") : tr("Записано с ошибками (%1)")).arg(count);
    }
    // A write job tells what it sent and what reading it back found.
    if (!read && outcome.connected && !checkingConnection && total != 0)
        statusText += QLatin1Char('\n') + KavuIOhelper::writeCountsText(outcome, true);
    verifying = false;
    if (!outcome.connected || outcome.portLost)
        waitWin->showFailure(statusText); // stays until the engineer closes it
    else
        waitWin->setMessage(statusText, true);
    paramTree->setEnabled(true);

    if (total == int(HrcDocument::testParamTreeId)) {
        QDomElement test = paramTree->documentModel().testParam();
        if (count == 0) {
            test.setAttribute(QStringLiteral("value"), test.attribute(QStringLiteral("ioValue")));
            testParamWin->setResultText(paramTree->displayText(test));
            testParamWin->setStatusText(statusText, false);
        } else if (!outcome.connected || outcome.cancelled) {
            // No exchange took place: the panel says so rather than showing
            // the code of an earlier one.
            testParamWin->setStatusText(statusText, true);
        } else {
            testParamWin->setStatusText(elementOutcomeText(test), true);
        }
    } else if ((count <= 0 || outcome.cancelled) && testParamWin->isVisible()) {
        // A failed parameter's own text is already there.
        testParamWin->setStatusText(statusText, count != 0 || outcome.cancelled);
    }
    noteJobEnded(count != 0 || outcome.cancelled || !differingThisJob.isEmpty());
    const bool connectionChecked = checkingConnection && count == 0 && !outcome.cancelled;
    checkingConnection = false;
    jobRunning = false;
    const bool readAll = read && jobNames == QLatin1String(HrcDocument::allSets);
    if (readAll && count == 0 && !outcome.cancelled)
        DeviceBackup::save(paramTree->documentModel(), DeviceBackup::read(), this);
    if (readAll && keepDocumentOnRead) {
        restoreDocumentAfterRead();
        emit deviceReadKeepingDocument(count == 0 && !outcome.cancelled);
    }
    // A link just checked: the link figures count from here, not the
    // outages before it.
    if (connectionChecked)
        linkHealth->reset();
    // The first connection after offline edits: compare before anything is written.
    if (connectionChecked)
        offeredCompareFirst();
}

void HrcTreeWin::setWorkedOffline(bool offline)
{
    workedOffline = offline;
    compareOffered = false;
}

bool HrcTreeWin::hasOfflineChanges() const
{
    return workedOffline
           && BackupStore::deviceValues(const_cast<HrcTree *>(paramTree)->documentModel().allParams()).isEmpty();
}

bool HrcTreeWin::offeredCompareFirst()
{
    if (compareOffered || !hasOfflineChanges())
        return false;
    compareOffered = true;
    const auto answer = QMessageBox::question(
        this, tr("Конфигуратор HRC417"),
        tr("Параметры изменены без связи с прибором. Сравнить их с параметрами прибора, прежде чем записывать?"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer != QMessageBox::Yes)
        return false;
    CompareWin *compare = compareWindow();
    compare->show();
    compare->raise();
    compare->readDeviceNow();
    return true;
}

void HrcTreeWin::readDeviceKeepingDocument()
{
    if (jobRunning)
        return;
    documentBeforeRead = BackupStore::documentValues(paramTree->documentModel().allParams());
    keepDocumentOnRead = true;
    do_read_allparam();
    if (!jobRunning) {
        keepDocumentOnRead = false;
        emit deviceReadKeepingDocument(false);
    }
}

void HrcTreeWin::restoreDocumentAfterRead()
{
    keepDocumentOnRead = false;
    const QMap<QString, QString> before = std::move(documentBeforeRead);
    documentBeforeRead.clear();
    const QVector<HrcDocument::KeptValue> kept = paramTree->documentModel().keepValuesAfterRead(before);
    for (const HrcDocument::KeptValue &value : kept) {
        QTreeWidgetItem *item = paramTree->findItem(value.name);
        if (!item)
            continue;
        const QDomElement element = paramTree->elementOf(item);
        if (value.wasRead) // a change to write: shown as changed
            paramTree->updateItems(item, true, element.attribute(QStringLiteral("value")), true, true);
        else // not read: the problem mark stays
            item->setText(2, paramTree->displayText(element));
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

void HrcTreeWin::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        dragging = true;
        setCursor(Qt::ClosedHandCursor);
        const QPoint p = event->localPos().toPoint();
        pressX = p.x();
        pressY = p.y();
    }
    QWidget::mousePressEvent(event);
}

void HrcTreeWin::mouseMoveEvent(QMouseEvent *event)
{
    if (dragging) {
        const QPoint topLeft = event->globalPos() - QPoint(pressX, pressY);
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
