// The main window's side of its jobs: what a command asks the job controller
// for, and what the engineer sees of a job (the locked commands, the wait
// window's texts, the rows' colours, the test panel). The job's life itself
// (start, progress, backups, the offline rule, the document after a read)
// is the controller's.
#include "HrcTreeWin.h"

#include "CompareWin.h"
#include "DeviceBackup.h"
#include "ErrorText.h"
#include "HrcTree.h"
#include "HrcTreeWorkers.h"
#include "JobController.h"
#include "KavuIOhelper.h"
#include "KavuMon.h"
#include "LinkHealthPanel.h"
#include "TestParamWin.h"
#include "WaitWin.h"

#include <QMessageBox>
#include <QShortcut>
#include <QToolButton>

JobController *HrcTreeWin::jobs() const
{
    return treeWorkers->jobs();
}

bool HrcTreeWin::isJobRunning() const
{
    return treeWorkers && jobs()->isRunning();
}

void HrcTreeWin::connectWorker()
{
    disconnectWorker();
    KavuIOhelper *helper = treeWorkers->ioHelper();
    JobController *controller = jobs();
    connect(helper, &KavuIOhelper::kavuIOStarting, this, &HrcTreeWin::onKavuIOStarting);
    connect(controller, &JobController::started, this, &HrcTreeWin::onJobStarted);
    connect(controller, &JobController::progress, this, [this](const QVector<JobProgress> &updates) {
        for (const JobProgress &update : updates)
            onKavuIOUpdating(update.treeID, update.done, update.total);
    });
    connect(controller, &JobController::verifying, this, [this](int verified, int count) {
        // The writes are done; what remains is reading them back.
        verifying = true;
        waitWin->setMessage(tr("Проверка записи чтением. Проверено %1 из %2").arg(verified, 4).arg(count, 4), false);
    });
    connect(controller, &JobController::finished, this, [this](const JobEnd &end) {
        lastEnd = end;
        onKavuIOFinished(end.message, end.errors, end.total);
    });
    controller->setBackupSaver([this](const QString &action) {
        DeviceBackup::save(paramTree->documentModel(), action, this);
    });
}

void HrcTreeWin::disconnectWorker()
{
    if (!treeWorkers)
        return;
    disconnect(treeWorkers->ioHelper(), nullptr, this, nullptr);
    disconnect(jobs(), nullptr, this, nullptr);
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

void HrcTreeWin::setCommandsEnabled(bool enabled)
{
    for (QToolButton *button : commandButtons)
        button->setEnabled(enabled);
    for (QShortcut *shortcut : shortcuts)
        shortcut->setEnabled(enabled);
}

void HrcTreeWin::onJobStarted(const JobRequest &)
{
    verifying = false;
    setCommandsEnabled(false);
    noteJobBegins();
}

void HrcTreeWin::onPanelJobStarting(int operation)
{
    jobs()->noteStartedElsewhere(KavuComm::KavuCommOperation(operation));
}

void HrcTreeWin::startJob(const QString &names, int operation, bool includeCommParams, bool onlyChanged)
{
    JobRequest request;
    request.names = names;
    request.operation = KavuComm::KavuCommOperation(operation);
    request.includeCommParams = includeCommParams;
    request.onlyChanged = onlyChanged;
    request.backupAction = writeAction.isEmpty() ? DeviceBackup::write() : writeAction;
    request.keepDocument = keepDocumentOnRead;
    request.checkConnection = checkingConnection;
    writeAction.clear();
    keepDocumentOnRead = false;
    checkingConnection = false;
    if (jobs()->isRunning())
        return;
    if (jobs()->offerCompareBefore(request) && askCompareFirst())
        return;
    paramTree->setEnabled(false);
    waitWin->showConnecting();
    jobs()->start(request);
}

void HrcTreeWin::startJobOn(QTreeWidgetItem *item, int operation, bool onlyChanged)
{
    QString names;
    if (!item) {
        paramTree->expandAll();
        names = QString::fromLatin1(HrcDocument::allSets);
    } else {
        item->setExpanded(true);
        names = paramTree->elementOf(item).attribute(QStringLiteral("namekavu"));
    }
    startJob(names, operation, true, onlyChanged);
}

void HrcTreeWin::onKavuIOStarting(int)
{
    setCommandsEnabled(false);
}

void HrcTreeWin::onKavuIOUpdating(uint treeID, int done, int total)
{
    if (done == -1)
        return;
    const bool read = jobs()->request().operation == KavuComm::opRead;
    if (treeID != HrcDocument::testParamTreeId) {
        paramTree->onKavuMonUpdating(treeID, done, total);
        // What a read left out shows an old value: a problem, not a fresh read.
        if (read)
            paramTree->markLeftOutOfRead(treeID);
    }
    const QDomElement element = paramTree->elementById(treeID);
    noteJobProgress(element);
    const QString text =
        read ? tr("Чтение параметров. Прочитано %1 из %2") : tr("Запись параметров. Записано %1 из %2");
    if (!verifying) // the read-back shows its own progress
        waitWin->setMessage(text.arg(done, 4).arg(total, 4), false);
    if (testParamWin->isVisible() && !element.isNull()) {
        const bool success = resultCodeOf(element) == codeSuccess;
        if (success)
            testParamWin->setResultText(element.attribute(QStringLiteral("value")));
        testParamWin->setStatusText(success ? QString() : elementOutcomeText(element), !success);
    }
}

QString HrcTreeWin::elementOutcomeText(const QDomElement &element) const
{
    return outcomeText(resultCodeOf(element),
                       paramTree->displayText(element, QStringLiteral("ioValue")), paramTree->displayText(element));
}

void HrcTreeWin::markConnectionRows(bool reached)
{
    QTreeWidgetItem *comm = paramTree->findItem(QStringLiteral("commSettings"));
    if (!comm)
        return;
    const QColor colour = reached ? HrcTree::normalColour() : HrcTree::problemColour();
    paramTree->setItemColour(comm, colour);
    for (int i = 0; i < comm->childCount(); ++i)
        paramTree->setItemColour(comm->child(i), colour);
    if (reached)
        return;
    comm->setExpanded(true);
    paramTree->setCurrentItem(comm);
    paramTree->clearSelection();
    comm->setSelected(true);
}

QString HrcTreeWin::endStatusText(const QString &msg, int count, int total) const
{
    const JobEnd &end = lastEnd;
    const JobResult &outcome = end.result;
    const bool read = end.request.operation == KavuComm::opRead;
    if (outcome.cancelled) {
        // The parameters left out carry their own mark; the count says how
        // far the job got.
        if (!outcome.connected)
            return tr("Прервано пользователем");
        return (read ? tr("Прервано пользователем. Прочитано %1 из %2")
                     : tr("Прервано пользователем. Записано %1 из %2"))
            .arg(outcome.succeeded)
            .arg(end.shownTotal());
    }
    if (outcome.portLost) // the port went away: the job stopped at once; how far it got
        return msg + QLatin1Char('\n')
            + (read ? tr("Прочитано %1 из %2") : tr("Записано %1 из %2")).arg(outcome.succeeded).arg(end.shownTotal());
    if (!outcome.connected) // the worker tells why the port did not open or the device did not answer
        return msg.isEmpty() ? tr("Ошибка связи с прибором") : msg;
    if (count == 0 && end.request.checkConnection)
        return tr("Связь с прибором установлена");
    if (count == 0 && total == 0)
        return tr("Нет параметров для операции обмена");
    if (count == 0)
        return read ? tr("Параметры прочитаны без ошибок") : tr("Параметры записаны без ошибок");
    return (read ? tr("Прочитано с ошибками (%1)") : tr("Записано с ошибками (%1)")).arg(count);
}

void HrcTreeWin::onKavuIOFinished(QString msg, int count, int total)
{
    const JobEnd &end = lastEnd;
    const JobResult &outcome = end.result;
    const bool read = end.request.operation == KavuComm::opRead;
    setCommandsEnabled(true);
    statusText = endStatusText(msg, count, total);
    if (!outcome.cancelled && !outcome.portLost) {
        if (!outcome.connected) {
            if (QTreeWidgetItem *item = firstSelected())
                paramTree->setItemColour(item, HrcTree::problemColour());
            if (end.request.checkConnection)
                markConnectionRows(false);
        } else if (count == 0 && end.request.checkConnection) {
            markConnectionRows(true);
        }
    }
    // A write job tells what it sent and what reading it back found.
    if (!read && outcome.connected && !end.request.checkConnection && total != 0)
        statusText += QLatin1Char('\n') + KavuIOhelper::writeCountsText(outcome, true);
    verifying = false;
    if (!outcome.connected || outcome.portLost)
        waitWin->showFailure(statusText); // stays until the engineer closes it
    else
        waitWin->setMessage(statusText, true);
    paramTree->setEnabled(true);

    if (end.isTestJob()) {
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
    noteJobEnded(count != 0 || outcome.cancelled || !end.differing.isEmpty());
    if (end.request.keepDocument && end.request.isReadAll()) {
        showKeptValues(end.kept);
        emit deviceReadKeepingDocument(end.isClean());
    }
    if (end.connectionChecked()) {
        // A link just checked: the link figures count from here, not the
        // outages before it.
        linkHealth->reset();
        // The first connection after offline edits: compare before anything is written.
        if (jobs()->offerCompareAfterCheck())
            askCompareFirst();
    }
}

void HrcTreeWin::setWorkedOffline(bool offline)
{
    jobs()->setWorkedOffline(offline);
}

bool HrcTreeWin::hasOfflineChanges() const
{
    return jobs()->hasOfflineChanges();
}

bool HrcTreeWin::askCompareFirst()
{
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
    if (isJobRunning())
        return;
    keepDocumentOnRead = true;
    do_read_allparam();
    if (!isJobRunning())
        emit deviceReadKeepingDocument(false);
}

void HrcTreeWin::showKeptValues(const QVector<HrcDocument::KeptValue> &kept)
{
    for (const HrcDocument::KeptValue &value : kept) {
        QTreeWidgetItem *item = paramTree->findItem(value.name);
        if (!item)
            continue;
        const QDomElement element = paramTree->elementOf(item);
        if (value.wasRead) // a change to write: shown as changed
            paramTree->updateItems(item, element.attribute(QStringLiteral("value")),
                                   HrcTree::Highlight | HrcTree::SourceIsValue | HrcTree::IncludeLocal);
        else // not read: the problem mark stays
            item->setText(2, paramTree->displayText(element));
    }
}
