#pragma once

#include "JobController.h"

#include <QDomDocument>
#include <QList>
#include <QMap>
#include <QPoint>
#include <QPointer>
#include <QVector>
#include <QWidget>

#include <memory>

class CompareWin;
class HeatingCurveWin;
class HistoryWin;
class HrcMessageBox;
class HrcTree;
class HrcTreeWorkers;
class JobStatusBar;
class LinkHealthPanel;
class PortArbiter;
class QLabel;
class QAction;
class QMenu;
class QShortcut;
class SessionLogWin;
class QToolButton;
class QTreeWidgetItem;
class TestParamWin;
class TreeSearchBar;
class TrendWin;
class VisitLog;
class WaitWin;

namespace Ui {
class HrcTreeWin;
}

// The workspace: fifteen commands over the full parameter tree. Commands
// either change the document and the tree locally (factory values, problem
// navigation, files) or hand a list of names to the tree's I/O worker, lock
// the window and show the wait window until the worker reports the end.
class HrcTreeWin : public QWidget
{
    Q_OBJECT

public:
    // arbiter: who holds the serial port, shared with the application's
    // other windows; without one the window's workers have a port of their own.
    explicit HrcTreeWin(const QDomDocument &document, QWidget *parent = nullptr,
                        std::shared_ptr<PortArbiter> arbiter = nullptr);
    ~HrcTreeWin() override;

    HrcTree *tree() const { return paramTree; }
    TestParamWin *testPanel() const { return testParamWin; }
    WaitWin *waitWindow() const { return waitWin; }
    HrcMessageBox *messageBox() const { return msgBox; }
    HrcTreeWorkers *workers() const { return treeWorkers.get(); }
    QToolButton *toolButton(int number) const;
    // The menu behind the button after the fifteen commands: the windows that
    // watch, compare and report on the device add their entries here.
    QMenu *toolsMenu() const { return extraMenu; }
    QToolButton *toolsButton() const { return extraButton; }
    // Search and filters above the tree (Ctrl+F); the link-health panel
    // below it, shown from the tools menu.
    TreeSearchBar *searchBar() const { return treeSearch; }
    LinkHealthPanel *linkHealthPanel() const { return linkHealth; }
    // What this run did with the device, for the report.
    VisitLog *visit() const { return visitLog; }
    bool isJobRunning() const;
    // The text the wait window showed last for the end of a job.
    QString lastStatus() const { return statusText; }
    // What the polling monitor said last about the line (lost, restored),
    // shown at the bottom of the window; empty while nothing happened.
    QString linkStateText() const;

    // The last job's result below the tree, and the log of this run's jobs.
    JobStatusBar *jobStatusBar() const { return resultBar; }
    SessionLogWin *sessionLog() const { return sessionLogWin; }
    // The parameters the last write job's read-back found different.
    QStringList lastDiffering() const { return differingLastJob; }
    // Writes the values of lastDiffering() once more.
    void writeDifferingAgain();

    // The compare and history windows of the tools menu (made on first use).
    CompareWin *compareWindow();
    HistoryWin *historyWindow();
    // Reads every parameter from the device while the document keeps its
    // values: a value that differs from the device's stays, as a change to
    // write (its undo value the device's). deviceReadKeepingDocument follows.
    void readDeviceKeepingDocument();
    // The wizard handed over a document it edited with "Работа offline".
    void setWorkedOffline(bool offline);
    // Whether the document was edited offline and no value of the device is
    // known yet: the first exchange then offers to compare first.
    bool hasOfflineChanges() const;
    // Opens a configuration file into the document as "Открыть" does: its
    // values become changes to write. False while a job runs, or when the
    // file cannot be read (the engineer is told why).
    bool openConfigFile(const QString &fileName);

signals:
    void treeWinClose(QDomDocument doc, int wizadStage);
    // The end of readDeviceKeepingDocument: ok when every parameter was read.
    void deviceReadKeepingDocument(bool ok);

public slots:
    void wizardClose(QDomDocument doc, int wizadStage);
    void onKavuIOUpdating(uint treeID, int done, int total);
    void onKavuIOStarting(int total);
    void onKavuIOFinished(QString msg, int count, int total);
    void onCloseMessageBox();
    void do_write_allparams();
    void do_write_only_changed_param();
    void do_write_changedparam_selected_node();
    void do_write_allparam_selected_node(bool onlyChanged, bool allNodeChilds);
    void do_write_allparam_selected_node(bool onlyChanged);
    void do_write_allparam_selected_node();
    void do_goto_nextproblem_param();
    void do_goto_prevproblem_param();
    void do_read_allparam();
    void do_read_allparam_selected_node(bool isOneParam);
    void do_read_allparam_selected_node();
    void do_read_one_param();
    void do_set_param_todefault();
    void do_set_selected_node_todefault(bool all);
    void do_set_selected_node_todefault();
    void showTestParamPanel();
    void showAboutWin();
    void doOpenHelp();
    void on_toolButton_exit_clicked();
    void on_toolButton_tomax_clicked();
    void on_toolButton_tomin_clicked();
    void on_toolButton_1_clicked();
    void on_toolButton_2_clicked();
    void on_toolButton_3_clicked();
    void on_toolButton_12_clicked();
    void on_toolButton_14_clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private slots:
    void onPanelJobStarting(int operation);
    void onMonitorLinkLost(const QString &message);
    void onMonitorLinkRestored(const QString &message);

private:
    // Problem navigation found nothing further that way: said at the button.
    void sayNoFurtherProblem(QWidget *button, const QString &text);
    void installCommands();
    void connectTreeRequests();
    void installToolsMenu();
    void installSearchAndLinkHealth();
    // Feeds the visit record from the current workers (again after a new tree).
    void connectVisitLog();
    void showReportDialog();
    template <typename Window>
    void showWatchWindow(QPointer<Window> &window);
    void connectWorker();
    void disconnectWorker();
    void stopWorkers();
    // The tree's job controller (made anew with the tree).
    JobController *jobs() const;
    void onJobStarted(const JobRequest &request);
    void setCommandsEnabled(bool enabled);
    // Asks the job controller for a job on names; a write is backed up under
    // writeAction (or "write"), keepDocumentOnRead and checkingConnection
    // describe the job asked for. Nothing starts while a job runs.
    void startJob(const QString &names, int operation, bool includeCommParams, bool onlyChanged);
    // Offers to compare the document edited offline with the device first.
    // True when the engineer took the offer (the job asked for does not run).
    bool askCompareFirst();
    // After a read that kept the document: the rows of the values given back.
    void showKeptValues(const QVector<HrcDocument::KeptValue> &kept);
    void startJobOn(QTreeWidgetItem *item, int operation, bool onlyChanged);
    QTreeWidgetItem *firstSelected() const;
    // The connection check's end on the link settings' rows.
    void markConnectionRows(bool reached);
    // What the wait window and the status bar say at the last job's end.
    QString endStatusText(const QString &msg, int count, int total) const;
    int panelOffset() const;
    // The outcome of the element's last exchange as the engineer reads it.
    QString elementOutcomeText(const QDomElement &element) const;
    // The status bar and the session log: made once; fed at a job's
    // beginning, with each reported parameter and at its end.
    void installResultBar();
    void noteJobBegins();
    void noteJobProgress(const QDomElement &element);
    void noteJobEnded(bool problem);
    QString jobTitle() const;

    std::unique_ptr<Ui::HrcTreeWin> ui;
    QDomDocument document;
    HrcTree *paramTree = nullptr;
    // Beside the tree, deleted before it (the workers detach through the tree).
    std::shared_ptr<PortArbiter> portArbiter; // handed to every tree's workers
    std::unique_ptr<HrcTreeWorkers> treeWorkers;
    WaitWin *waitWin = nullptr;
    HrcMessageBox *msgBox = nullptr;
    TestParamWin *testParamWin = nullptr;
    QList<QToolButton *> commandButtons;
    QToolButton *extraButton = nullptr;
    QMenu *extraMenu = nullptr;
    TreeSearchBar *treeSearch = nullptr;
    LinkHealthPanel *linkHealth = nullptr;
    VisitLog *visitLog = nullptr;
    // The watching windows of the tools menu, made anew for another tree.
    QPointer<TrendWin> trendWin;
    QPointer<HeatingCurveWin> curveWin;
    QPointer<CompareWin> compareWin;
    QPointer<HistoryWin> historyWin;
    // What the next startJob asks for beside its arguments.
    QString writeAction; // the action its backup is named by
    bool keepDocumentOnRead = false;
    bool checkingConnection = false;
    JobEnd lastEnd; // the last job's end, for the slots that report it
    QList<QShortcut *> shortcuts;
    int wizardStage = 0;
    bool verifying = false; // the job reads back what it wrote
    QString statusText;
    QLabel *linkState = nullptr;
    JobStatusBar *resultBar = nullptr;
    SessionLogWin *sessionLogWin = nullptr;
    QAction *writeDifferingAction = nullptr;
    QStringList differingLastJob;
    QStringList problemsThisJob; // "name: reason", in the order reported
    bool dragging = false;
    int pressX = 0;
    int pressY = 0;
};
