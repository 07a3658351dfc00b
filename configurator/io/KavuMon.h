#pragma once

#include "HrcDocument.h"
#include "IoParameter.h"
#include "KavuComm.h"

#include <QDomDocument>
#include <QDomElement>
#include <QObject>
#include <QSet>
#include <QString>
#include <QVector>

#include <atomic>
#include <memory>
#include <mutex>

class QFile;
class QThread;

// The polling monitor: reads the ticked operating values (the set
// "paramters_interview") over and over in a thread of its own, appends one
// line per cycle to the log file while logging is on, and gives the serial
// port up to I/O jobs while they run.
//
// The tree tells it, from the GUI thread, which parameters are ticked and
// whether logging is on (setPolled, setLogEnabled); the monitor never looks
// at a widget. Each value read is written into its element in the GUI thread
// right before kavuMonUpdating names it.
class KavuMon : public QObject, public KavuComm
{
    Q_OBJECT

public:
    // GUI thread.
    // The monitor waits for the serial port at the arbiter, in turn with the
    // jobs; without one it has a port of its own.
    KavuMon(const HrcDocument &document, uint scanIntervalMs, const QString &logFileName,
            std::shared_ptr<PortArbiter> arbiter = nullptr);
    ~KavuMon() override;

    // Starts polling (GUI thread); stop it with terminate(). Neither waits:
    // started while a stopped monitor's thread still ends (it may be in the
    // middle of an exchange), polling starts again as soon as that thread
    // has ended.
    void start();
    // Stops polling (any thread) and drops a start still waiting for the
    // previous thread's end.
    void terminate() override;
    bool isRunning() const;
    // Waits until the polling thread has ended (after terminate()).
    bool wait(unsigned long ms);

    void setPolled(const QString &name, bool polled);
    void setPolledNames(const QSet<QString> &names);
    void setLogEnabled(bool enabled);

    uint scanInterval() const { return scanIntervalMs.load(); }
    QString logFile() const;

    // The log file the "logfile" value names. The shipped Windows default
    // "c:\hrc417_log.csv" (any drive path) means the file of that name in the
    // home directory on other systems.
    static QString resolveLogFileName(const QString &value);
    // Below 200 ms the interval is 500 ms.
    static uint effectiveInterval(uint ms) { return ms < 200 ? 500 : ms; }

public slots:
    void onTimeScanChanged(uint ms);
    void onLogFileNameChanged(QString name);
    void doExecIO();

signals:
    void kavuMonUpdating(uint treeID, int, int);
    void kavuMonFinished(bool isStartingIO = false);
    // The log file was opened (true) or could not be opened (false).
    void kavuMonLogFileState(bool opened);
    // The link counters of the last poll cycle or connection attempt.
    void linkCountsTaken(LinkCounts counts);
    // The port went away while polling ("Связь потеряна: адаптер отключён
    // (port)"): the monitor closed it and tries to open it again every second.
    void linkLost(QString message);
    // The device answers again after linkLost ("Связь с прибором
    // восстановлена (port)"); polling goes on.
    void linkRestored(QString message);

    // Monitor thread to GUI thread.
    void monParameterPolled(int entry, QString ioValue, int resultCode);

private:
    struct Entry
    {
        bool caption = false; // the tree's caption row: always "-"
        IoParameter parameter;
        QDomElement shadow; // copy in the monitor's own document, for display texts
    };

    // yieldToJobs: a job waiting for the port ends the cycle before the
    // next parameter.
    void pollCycle(bool yieldToJobs);
    void publishLinkCounts();
    void pollEntries(bool yieldToJobs);
    void writeLog();
    bool isPolled(const QString &name);
    // GUI thread: the thread has ended; a start that waited for it runs now.
    void onThreadFinished();

    // GUI thread only.
    HrcDocument document;
    QVector<QDomElement> elements; // the document's element of each entry
    std::unique_ptr<QObject> guiSide;
    std::atomic<bool> startWhenEnded{false};
    // Set by the monitor thread when its loop has returned: what is left of
    // the thread then is Qt's end of it, no exchange.
    std::atomic<bool> loopEnded{false};

    // Copied at construction; afterwards used by the monitor thread only.
    QDomDocument shadowDocument;
    HrcDocument shadowModel;
    QVector<Entry> entries;
    bool hasInterview = false;
    QString logHeader;

    // Set from the GUI thread.
    std::atomic<uint> scanIntervalMs{1000};
    mutable std::mutex settingsMutex;
    QSet<QString> polledNames;
    bool logEnabled = false;
    QString logFileName;
    bool reopenLog = false;

    // Monitor thread.
    bool portGone = false;   // this cycle found the port gone
    std::unique_ptr<QFile> log;
    QString logLine;
    bool lineReady = false;
    std::unique_ptr<QThread> thread;
};
