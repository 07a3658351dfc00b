#include "VisitLog.h"

#include "ErrorText.h"
#include "HrcDocument.h"

VisitLog::VisitLog(QObject *parent)
    : QObject(parent)
    , started(QDateTime::currentDateTime())
{
}

VisitLog::Entry &VisitLog::entryFor(const QString &name)
{
    const QString k = key(name);
    if (!entries.contains(k))
        order << name;
    return entries[k];
}

void VisitLog::noteExchange(const QDomElement &element, bool write)
{
    // Sets, point halves and the test panel's scratch element are not parameters.
    if (!HrcDocument::isParameter(element))
        return;
    const QString name = element.attribute(QStringLiteral("namekavu"));
    if (name.isEmpty() || element.hasAttribute(QStringLiteral("localparam")))
        return;
    const QString value = element.attribute(QStringLiteral("ioValue"));
    const int code = resultCodeOf(element);
    if (HrcDocument::wasNotExchanged(element))
        return;
    if (element.hasAttribute(QStringLiteral("ivparam")))
        notePolled(name, value, code);
    else if (write)
        noteWritten(name, value, code);
    else
        noteRead(name, value, code);
}

void VisitLog::noteRead(const QString &name, const QString &value, int code)
{
    if (code != 0)
        return;
    Entry &e = entryFor(name);
    if (!e.read) {
        e.read = true;
        e.firstRead = value;
    }
    e.known = true;
    e.deviceValue = value;
}

void VisitLog::noteWritten(const QString &name, const QString &value, int code)
{
    if (writtenThisJob.contains(key(name)))
        return;
    writtenThisJob.insert(key(name));
    Entry &e = entryFor(name);
    e.writeTried = true;
    e.writeCode = code;
    // A new write waits for its own read-back, unless that came first (the
    // worker may report the read-back before the write's progress).
    if (!(e.verified && code == 0 && e.written == value)) {
        e.verified = false;
        e.verify = NotChecked;
        e.deviceHolds.clear();
    }
    if (code == 0) {
        e.written = value;
        e.known = true;
        e.deviceValue = value;
    }
}

void VisitLog::noteVerified(const QString &name, const QString &written, const QString &deviceHolds, int outcome)
{
    Entry &e = entryFor(name);
    e.verified = true;
    e.verify = outcome;
    e.deviceHolds = deviceHolds;
    if (!written.isEmpty())
        e.written = written;
    if (outcome == Confirmed || outcome == Differs) {
        e.known = true;
        e.deviceValue = deviceHolds;
    }
}

void VisitLog::notePolled(const QString &name, const QString &value, int code)
{
    polled.insert(name, code == 0 ? value : errorText(code));
    lastPoll = QDateTime::currentDateTime();
}
