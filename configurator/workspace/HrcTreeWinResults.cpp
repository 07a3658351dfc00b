// The main window's account of its jobs: the result that stays in the status
// bar until the next job, the session log, and writing again the values the
// device did not take.
#include "HrcTreeWin.h"

#include "ErrorText.h"
#include "HrcDocument.h"
#include "HrcTree.h"
#include "JobController.h"
#include "KavuComm.h"
#include "SessionLog.h"
#include "ui_HrcTreeWin.h"

#include <QAction>
#include <QMenu>

namespace {

// How many problems of a job the log lists by name.
const int kProblemsListed = 5;

} // namespace

void HrcTreeWin::installResultBar()
{
    sessionLogWin = new SessionLogWin(this);
    resultBar = new JobStatusBar(ui->bottomFrame);
    ui->bottomLayout->insertWidget(0, resultBar, 1);
    connect(resultBar, &JobStatusBar::writeDifferingAgainRequested, this, &HrcTreeWin::writeDifferingAgain);
    auto showLog = [this]() {
        sessionLogWin->show();
        sessionLogWin->raise();
        sessionLogWin->activateWindow();
    };
    connect(resultBar, &JobStatusBar::sessionLogRequested, this, showLog);

    writeDifferingAction = extraMenu->addAction(tr("Записать расходящиеся значения снова"), this,
                                                &HrcTreeWin::writeDifferingAgain);
    writeDifferingAction->setObjectName(QStringLiteral("actionWriteDifferingAgain"));
    writeDifferingAction->setEnabled(false);
    QAction *log = extraMenu->addAction(tr("Журнал сеанса…"), this, showLog);
    log->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
    log->setObjectName(QStringLiteral("actionSessionLog"));
    addAction(log);
}

QString HrcTreeWin::jobTitle() const
{
    const JobRequest &job = jobs()->request();
    if (job.checkConnection)
        return tr("Проверка связи");
    const bool read = job.operation == KavuComm::opRead;
    if (job.names.isEmpty()) // the test panel's single parameter
        return read ? tr("Опрос отдельного параметра") : tr("Запись отдельного параметра");
    const bool all = job.names == QLatin1String(HrcDocument::allSets) || job.names == QLatin1String("hrc417All");
    if (all)
        return read ? tr("Чтение всех параметров")
                    : job.onlyChanged ? tr("Запись изменённых параметров") : tr("Запись всех параметров");
    QStringList names = job.names.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (names.size() > 3)
        names = names.mid(0, 3) << QStringLiteral("…");
    const QString listed = names.join(QStringLiteral(", "));
    return read ? tr("Чтение: %1").arg(listed)
                : job.onlyChanged ? tr("Запись изменённых: %1").arg(listed) : tr("Запись: %1").arg(listed);
}

void HrcTreeWin::noteJobBegins()
{
    problemsThisJob.clear();
    resultBar->showRunning(jobTitle());
}

void HrcTreeWin::noteJobProgress(const QDomElement &element)
{
    if (element.isNull() || HrcDocument::isSet(element))
        return;
    const QString name = element.attribute(QStringLiteral("namekavu"));
    const QString prefix = name + QStringLiteral(": ");
    // A later report of the same parameter (the read-back of a write) replaces the earlier one.
    for (int i = 0; i < problemsThisJob.size(); ++i) {
        if (problemsThisJob.at(i).startsWith(prefix)) {
            problemsThisJob.removeAt(i);
            break;
        }
    }
    if (resultCodeOf(element) != codeSuccess)
        problemsThisJob << prefix + elementOutcomeText(element);
}

void HrcTreeWin::noteJobEnded(bool problem)
{
    differingLastJob = lastEnd.differing;
    writeDifferingAction->setEnabled(!differingLastJob.isEmpty());
    resultBar->showResult(statusText, problem, differingLastJob);

    QStringList details = statusText.split(QLatin1Char('\n')).mid(1); // the counts under the result
    if (!differingLastJob.isEmpty())
        details << tr("расходятся: %1").arg(differingLastJob.join(QStringLiteral(", ")));
    details << problemsThisJob.mid(0, kProblemsListed);
    if (problemsThisJob.size() > kProblemsListed)
        details << tr("… и ещё %1").arg(problemsThisJob.size() - kProblemsListed);
    sessionLogWin->add(jobTitle(), statusText.section(QLatin1Char('\n'), 0, 0), details);
}

void HrcTreeWin::writeDifferingAgain()
{
    if (isJobRunning() || differingLastJob.isEmpty())
        return;
    startJob(differingLastJob.join(QLatin1Char(';')), KavuComm::opWrite, false, false);
}
