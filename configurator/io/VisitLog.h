#pragma once

#include "LinkHealth.h"

#include <QDateTime>
#include <QDomElement>
#include <QHash>
#include <QSet>
#include <QObject>
#include <QString>
#include <QStringList>

// What this run of the program did with the device, for the commissioning
// report: per parameter the value found at its first read, the value written
// and what reading it back showed; the link counters of the visit; the
// operating values of the last poll. Filled in the GUI thread from the
// outcomes the workers write into the document; never from edited values.
class VisitLog : public QObject
{
    Q_OBJECT

public:
    // The read-back outcome of a write, in the order the job worker reports it.
    enum Verify { Confirmed = 0, Differs = 1, Failed = 2, NotChecked = 3 };

    struct Entry
    {
        bool read = false;        // read successfully at least once
        QString firstRead;        // the value found at the first successful read
        bool writeTried = false;  // a write of it was sent
        int writeCode = 0;        // result of the last write (0: written)
        QString written;          // the value the last successful write sent
        bool verified = false;    // the last write's read-back outcome arrived
        int verify = NotChecked;
        QString deviceHolds;      // what the read-back found
        bool known = false;       // deviceValue comes from the device
        QString deviceValue;      // the newest value read, written or read back
    };

    explicit VisitLog(QObject *parent = nullptr);

    // The outcome of an exchange of element by a job (the element's ioValue
    // and ioLastErrCode). Point halves and the test panel's scratch
    // parameter are left out.
    void noteExchange(const QDomElement &element, bool write);
    void noteRead(const QString &name, const QString &value, int code);
    void noteWritten(const QString &name, const QString &value, int code);
    void notePolled(const QString &name, const QString &value, int code);
    void addLinkCounts(const LinkCounts &counts) { link += counts; }
    void setLinkCounts(const LinkCounts &counts) { link = counts; }

    bool has(const QString &name) const { return entries.contains(key(name)); }
    Entry entry(const QString &name) const { return entries.value(key(name)); }
    // Names in the order they were first exchanged.
    QStringList names() const { return order; }
    const LinkCounts &linkCounts() const { return link; }
    // Operating values of the last poll, by name (errors as their text).
    QHash<QString, QString> polledValues() const { return polled; }
    QDateTime lastPollTime() const { return lastPoll; }
    QDateTime startTime() const { return started; }
    // Whether anything was exchanged with the device in this visit.
    bool isEmpty() const { return entries.isEmpty() && polled.isEmpty(); }

public slots:
    // A job begins: its first report of each written parameter is the
    // write's, a second one the read-back's (whose outcome comes through
    // noteVerified).
    void beginJob() { writtenThisJob.clear(); }
    // The read-back of a written parameter (the job worker's
    // parameterVerified): outcome one of Verify.
    void noteVerified(const QString &name, const QString &written, const QString &deviceHolds, int outcome);

private:
    static QString key(const QString &name) { return name.toLower(); }
    Entry &entryFor(const QString &name);

    QHash<QString, Entry> entries;
    QSet<QString> writtenThisJob;
    QStringList order;
    QHash<QString, QString> polled;
    QDateTime lastPoll;
    QDateTime started;
    LinkCounts link;
};
