#pragma once

#include <QObject>

#include <memory>

class HrcTree;
class JobController;
class KavuIOhelper;
class KavuMon;
class PortArbiter;
class QTreeWidgetItem;

// Gives a tree its I/O worker and, for the main window's tree, its polling
// monitor, and keeps them informed from the GUI thread: which parameters show
// the changed colour (for jobs that write only changed parameters), which
// polling boxes are ticked and whether the log box is. The workers never see
// the widget. Deleting it stops both workers. Its owner (the tree's window)
// keeps it beside the tree and deletes it first: the workers must be
// detached before the tree begins to take itself apart. Both workers share
// the serial port through the arbiter handed in (the application's), or
// through one of their own.
class HrcTreeWorkers : public QObject
{
    Q_OBJECT

public:
    HrcTreeWorkers(HrcTree *tree, bool withMonitor, std::shared_ptr<PortArbiter> arbiter = nullptr);
    ~HrcTreeWorkers() override;

    KavuIOhelper *ioHelper() const { return helper.get(); }
    // The life of the worker's jobs (start, progress, end), for the windows.
    JobController *jobs() const { return controller.get(); }
    KavuMon *monitor() const { return mon.get(); }

    // Sends the tick state of every polling box to the monitor.
    void syncPolling();

    // Whether the workers made from now on keep the base-name checks of a
    // known device between sessions (in its backup folder), so that a repeat
    // read sends none. The program turns it on; a test that counts exchanges
    // or changes the simulated device between runs leaves it off.
    static void setKeepNameChecksByDefault(bool on);

private slots:
    void onItemChanged(QTreeWidgetItem *item, int column);
    void onLogFileState(bool opened);
    void onParameterEdited(const QString &name, const QString &value);

private:
    HrcTree *tree;
    std::unique_ptr<KavuIOhelper> helper;
    std::unique_ptr<JobController> controller; // follows helper, goes before it
    std::unique_ptr<KavuMon> mon;
};
