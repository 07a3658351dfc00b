#include "HrcTreeWorkers.h"

#include "CommSettings.h"

#include "HrcTree.h"
#include "JobController.h"
#include "KavuIOhelper.h"
#include "KavuMon.h"

#include <QAbstractItemModel>
#include <QSet>
#include <QTreeWidgetItemIterator>

namespace {
const int errorColumn = 7;
const QString logFileName = QStringLiteral("logfile");
bool keepNameChecksByDefault = false;
} // namespace

void HrcTreeWorkers::setKeepNameChecksByDefault(bool on)
{
    keepNameChecksByDefault = on;
}

HrcTreeWorkers::HrcTreeWorkers(HrcTree *owner, bool withMonitor, std::shared_ptr<PortArbiter> arbiter)
    : tree(owner)
    , helper(new KavuIOhelper(owner->documentModel(), std::move(arbiter)))
    , controller(new JobController(helper.get(), owner->documentModel()))
{
    helper->setKeepNameChecks(keepNameChecksByDefault);
    helper->setChangedTest([owner](const QString &name) {
        const QTreeWidgetItem *item = owner->findItem(name);
        return item && HrcTree::isChangedItem(item);
    });
    owner->attachIoWorker(helper.get());

    if (withMonitor) {
        HrcDocument &document = owner->documentModel();
        mon.reset(new KavuMon(document, CommSettings::valueOrDefault(document, QStringLiteral("timescan")).toUInt(),
                              CommSettings::valueOrDefault(document, logFileName), helper->portArbiter()));
        owner->attachMonitor(mon.get());
        connect(mon.get(), &KavuMon::kavuMonLogFileState, this, &HrcTreeWorkers::onLogFileState);
        connect(owner, &HrcTree::parameterEdited, this, &HrcTreeWorkers::onParameterEdited);
        connect(owner, &QTreeWidget::itemChanged, this, &HrcTreeWorkers::onItemChanged);
        // A rebuilt tree starts with every box cleared.
        connect(owner->model(), &QAbstractItemModel::modelReset, this, &HrcTreeWorkers::syncPolling);
        syncPolling();
    }
}

HrcTreeWorkers::~HrcTreeWorkers()
{
    // Detach only what is still ours: a successor may already be attached.
    if (mon && tree->monitor() == mon.get())
        tree->attachMonitor(nullptr);
    if (tree->ioWorker() == helper.get())
        tree->attachIoWorker(nullptr);
}

void HrcTreeWorkers::onParameterEdited(const QString &name, const QString &value)
{
    // The polling interval and the log file edited in the tree take effect
    // in the running monitor at once.
    if (!mon || tree->monitor() != mon.get())
        return;
    if (name == logFileName)
        mon->onLogFileNameChanged(value);
    else if (name == QLatin1String("timescan"))
        mon->onTimeScanChanged(value.toUInt());
}

void HrcTreeWorkers::syncPolling()
{
    if (!mon)
        return;
    bool logTicked = false;
    QSet<QString> ticked;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        QTreeWidgetItem *item = *it;
        if (!(item->flags() & Qt::ItemIsUserCheckable))
            continue;
        const QString name = tree->elementOf(item).attribute(QStringLiteral("namekavu"));
        const bool isTicked = item->checkState(0) == Qt::Checked;
        if (name == logFileName)
            logTicked = isTicked;
        else if (isTicked)
            ticked.insert(name);
    }
    mon->setPolledNames(ticked);
    mon->setLogEnabled(logTicked);
}

void HrcTreeWorkers::onItemChanged(QTreeWidgetItem *item, int column)
{
    if (!mon || column != 0 || !(item->flags() & Qt::ItemIsUserCheckable))
        return;
    const QString name = tree->elementOf(item).attribute(QStringLiteral("namekavu"));
    const bool ticked = item->checkState(0) == Qt::Checked;
    if (name == logFileName)
        mon->setLogEnabled(ticked);
    else
        mon->setPolled(name, ticked);
}

void HrcTreeWorkers::onLogFileState(bool opened)
{
    QTreeWidgetItem *item = tree->findItem(logFileName);
    if (!item)
        return;
    tree->setItemColour(item, opened ? HrcTree::normalColour() : HrcTree::problemColour());
    item->setText(errorColumn, opened ? QString() : tr("Невозможно открыть файл"));
}
