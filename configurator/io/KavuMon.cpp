#include "KavuMon.h"

#include "CommSettings.h"
#include "DeviceText.h"
#include "FileConventions.h"
#include "HrcLog.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QThread>
#include <QTime>

KavuMon::KavuMon(const HrcDocument &doc, uint ms, const QString &name, std::shared_ptr<PortArbiter> sharedArbiter)
    : KavuComm(std::move(sharedArbiter))
    , document(doc)
    , guiSide(new QObject)
    , thread(new QThread)
{
    CommSettings::publish(CommSettings::fromDocument(document));
    readPortSettings();
    qRegisterMetaType<LinkCounts>("LinkCounts");
    logFileName = resolveLogFileName(name);
    scanIntervalMs = effectiveInterval(ms);
    logHeader = document.logHeader();

    const QDomElement interview = document.findParameter(QStringLiteral("paramters_interview"));
    if (HrcDocument::isSet(interview)) {
        hasInterview = true;
        // A private copy of the branch gives the monitor the document's
        // display texts without sharing a node with the GUI thread.
        QDomElement shadowSet = shadowDocument.importNode(interview, true).toElement();
        shadowDocument.appendChild(shadowSet);
        shadowModel = HrcDocument(shadowDocument);

        Entry caption;
        caption.caption = true;
        entries.append(caption);
        elements.append(interview);
        std::function<void(const QDomElement &, const QDomElement &)> collect =
            [&](const QDomElement &set, const QDomElement &shadow) {
                QDomElement s = shadow.firstChildElement();
                for (QDomElement c = set.firstChildElement(); !c.isNull();
                     c = c.nextSiblingElement(), s = s.nextSiblingElement()) {
                    if (HrcDocument::isSet(c)) {
                        collect(c, s);
                    } else if (HrcDocument::isParameter(c) && c.hasAttribute(QStringLiteral("ivparam"))) {
                        Entry e;
                        e.parameter = IoParameter::fromElement(c);
                        e.shadow = s;
                        entries.append(e);
                        elements.append(c);
                    }
                }
            };
        collect(interview, shadowSet);
    }

    connect(thread.get(), &QThread::started, this, &KavuMon::doExecIO);
    connect(this, &KavuMon::kavuMonFinished, thread.get(), &QThread::quit, Qt::DirectConnection);
    connect(thread.get(), &QThread::finished, guiSide.get(), [this] { onThreadFinished(); }, Qt::QueuedConnection);
    connect(this, &KavuMon::monParameterPolled, guiSide.get(),
            [this](int entry, const QString &ioValue, int code) {
                if (entry < 0 || entry >= elements.size())
                    return;
                QDomElement element = elements[entry];
                element.setAttribute(QStringLiteral("ioValue"), ioValue);
                setResultCode(element, code);
                emit kavuMonUpdating(element.attribute(QStringLiteral("treeID")).toUInt(), 0, 0);
            },
            Qt::QueuedConnection);
    moveToThread(thread.get());
}

KavuMon::~KavuMon()
{
    terminate();
    thread->quit();
    thread->wait();
    // QThread::wait orders the loop's last step before this point inside Qt;
    // the flag makes that order one ThreadSanitizer sees as well.
    (void)loopEnded.load(std::memory_order_acquire);
}

void KavuMon::start()
{
    if (thread->isRunning()) {
        if (!isTerminating())
            return;
        if (!loopEnded.load()) {
            // A stopped monitor may still wait for a reply: it starts again
            // from onThreadFinished, when its thread has said it ended.
            startWhenEnded.store(true);
            return;
        }
        thread->wait();
    }
    CommSettings::publish(CommSettings::fromDocument(document));
    state.store(stateIdle);
    loopEnded.store(false);
    thread->start(QThread::InheritPriority);
}

void KavuMon::terminate()
{
    startWhenEnded.store(false);
    KavuComm::terminate();
}

void KavuMon::onThreadFinished()
{
    // A finished() that arrives after a new start belongs to the thread
    // before: the start waiting now waits for the running thread's own.
    if (!loopEnded.load() || !startWhenEnded.exchange(false))
        return;
    start();
}

bool KavuMon::isRunning() const
{
    return thread->isRunning();
}

bool KavuMon::wait(unsigned long ms)
{
    return thread->wait(ms);
}

void KavuMon::setPolled(const QString &name, bool polled)
{
    std::lock_guard<std::mutex> lock(settingsMutex);
    if (polled)
        polledNames.insert(name);
    else
        polledNames.remove(name);
}

void KavuMon::setPolledNames(const QSet<QString> &names)
{
    std::lock_guard<std::mutex> lock(settingsMutex);
    polledNames = names;
}

void KavuMon::setLogEnabled(bool enabled)
{
    std::lock_guard<std::mutex> lock(settingsMutex);
    logEnabled = enabled;
}

QString KavuMon::logFile() const
{
    std::lock_guard<std::mutex> lock(settingsMutex);
    return logFileName;
}

QString KavuMon::resolveLogFileName(const QString &value)
{
    if (FileConventions::drivePathsAreNative())
        return value;
    static const QRegularExpression drivePath(QStringLiteral("^[A-Za-z]:[\\\\/]"));
    if (!drivePath.match(value).hasMatch())
        return value;
    const int cut = qMax(value.lastIndexOf(QLatin1Char('\\')), value.lastIndexOf(QLatin1Char('/')));
    return QDir::home().filePath(value.mid(cut + 1));
}

void KavuMon::onTimeScanChanged(uint ms)
{
    scanIntervalMs = effectiveInterval(ms);
}

void KavuMon::onLogFileNameChanged(QString name)
{
    std::lock_guard<std::mutex> lock(settingsMutex);
    logFileName = resolveLogFileName(name);
    reopenLog = true;
}

bool KavuMon::isPolled(const QString &name)
{
    std::lock_guard<std::mutex> lock(settingsMutex);
    return polledNames.contains(name);
}

void KavuMon::doExecIO()
{
    {
        std::lock_guard<std::mutex> lock(settingsMutex);
        reopenLog = true;
    }
    preciseTimersForThisThread();
    lastErr = codeNotConnected;
    if (hasInterview) {
        setStateUnlessTerminating(stateConnected);
        // The monitor gave the port up to a job and waited its turn: its
        // next turn reads every value once before it yields again, so jobs
        // in a row cannot keep the values from ever being read.
        bool yieldedToJob = false;
        // The port went away and has not been opened again since.
        bool lost = false;
        while (state.load() == stateConnected) {
            qCDebug(lcIo) << "!!!!!!!!!!!!!!!Mon" << QTime::currentTime() << " state:" << 1 << " lastErr" << lastErr;
            // Wait for the port, in turn with the jobs (a job pauses the monitor).
            if (!arbiter->acquire(PortArbiter::Claimant::Monitor, cancelRequested()))
                break;
            // The settings as they stand now, a job's written ones included.
            readPortSettings();
            lastErr = codeNotConnected;
            if (!tryConnect()) {
                closeSession();
                arbiter->release();
                publishLinkCounts();
                arbiter->pause(1000, cancelRequested());
            } else {
                if (lost) {
                    lost = false;
                    emit linkRestored(tr("Связь с прибором восстановлена (%1)").arg(portText));
                }
                bool wholeCycle = yieldedToJob;
                portGone = false;
                while (state.load() == stateConnected && !portGone && (wholeCycle || !arbiter->jobWaiting())) {
                    pollCycle(!wholeCycle);
                    publishLinkCounts();
                    wholeCycle = false;
                }
                yieldedToJob = state.load() == stateConnected && !portGone;
                // The port is closed before another worker may open it; a
                // port that went away is closed, so that the device, once
                // back (under the same name), is opened anew.
                closeSession();
                arbiter->release();
                publishLinkCounts();
                if (isTerminating())
                    break;
                if (portGone) {
                    lost = true;
                    emit linkLost(portLostText());
                    arbiter->pause(1000, cancelRequested());
                }
            }
            setStateUnlessTerminating(stateConnected);
        }
    }
    if (log)
        log->close();
    loopEnded.store(true);
    emit kavuMonFinished(false);
}

void KavuMon::publishLinkCounts()
{
    const LinkCounts counts = takeGatheredLinkCounts();
    if (!counts.isEmpty())
        emit linkCountsTaken(counts);
}

void KavuMon::pollCycle(bool yieldToJobs)
{
    qCDebug(lcIo) << "Mon" << QTime::currentTime() << " state:" << state.load() << " port:" << portIndex;
    lineReady = false;
    logLine = QTime::currentTime().toString(Qt::TextDate);
    pollEntries(yieldToJobs);
    writeLog();
    if (portGone)
        return; // the port is reopened after a pause of its own
    // A job or a stop request ends the pause at once.
    arbiter->pauseUnlessJobWaits(int(scanIntervalMs.load()), [this] { return state.load() != stateConnected; });
}

void KavuMon::pollEntries(bool yieldToJobs)
{
    for (int i = 0; i < entries.size(); ++i) {
        if (state.load() != stateConnected || (yieldToJobs && arbiter->jobWaiting()))
            return;
        Entry &e = entries[i];
        QString field = QStringLiteral("-");
        if (!e.caption && isPolled(e.parameter.name)) {
            lineReady = true;
            const int result = transferParameter(e.parameter);
            if (result == codePortLost)
                portGone = true;
            if (result == 0) {
                e.shadow.setAttribute(QStringLiteral("ioValue"), e.parameter.ioValue);
                field = shadowModel.displayText(e.shadow, QStringLiteral("ioValue"));
            } else {
                field = QStringLiteral("err(%1)").arg(result);
            }
            emit monParameterPolled(i, e.parameter.ioValue, e.parameter.resultCode);
        }
        logLine += DeviceText::csvField(field, QLatin1Char(';')) + QLatin1Char(';');
        QThread::msleep(2);
    }
}

void KavuMon::writeLog()
{
    bool enabled, reopen;
    QString name;
    {
        std::lock_guard<std::mutex> lock(settingsMutex);
        enabled = logEnabled;
        reopen = reopenLog;
        name = logFileName;
        reopenLog = !enabled;
    }
    if (!enabled) {
        if (log)
            log->close();
        return;
    }
    if (reopen) {
        if (log)
            log->close();
        log.reset(new QFile(name));
        // Binary mode: the line ends are the same bytes on every system.
        if (log->open(QIODevice::WriteOnly | QIODevice::Append)) {
            emit kavuMonLogFileState(true);
            log->write("\n" + logHeader.toLocal8Bit() + "\n");
            log->flush();
        } else {
            emit kavuMonLogFileState(false);
        }
    }
    if (lineReady && log && log->isOpen()) {
        log->write(logLine.toLocal8Bit() + "\r\n");
        log->flush();
    }
}
