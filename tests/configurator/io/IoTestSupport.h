#pragma once

#include "HrcDocument.h"
#include "SimProcess.h"

#include <QDomElement>
#include <QList>
#include <QObject>
#include <QSignalSpy>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <memory>

class KavuIOhelper;

namespace iotest {

// A fresh, unshared copy of the shipped device description.
HrcDocument loadDocument();

// Points the document's port at path and sets "TimeOut".
void connectTo(HrcDocument &document, const QString &path, int timeoutSec);

// Every parameter below the sets of names, in document order.
QList<QDomElement> parametersOf(HrcDocument &document, const QString &names);

// A valid value for the parameter that differs from its factory value; empty
// for parameters that cannot be written (texts).
QString distinctValue(const QDomElement &parameter);

// Whether two value texts of the parameter mean the same value (numbers are
// compared as numbers, "12,50" equals "12,5").
bool sameValue(const QDomElement &parameter, const QString &a, const QString &b);

// The simulator, started with its exchange log on.
class Simulator
{
public:
    explicit Simulator(const QStringList &extraArgs = QStringList());
    bool started() const { return ok; }
    QString error() const;
    QString path() const;
    QString log() const;
    // Exchange lines of the log that are writes of the name.
    int writesOf(const QString &deviceName, int fromByte = 0) const;
    int stop();

private:
    std::unique_ptr<hrcsim::SimProcess> process;
    bool ok = false;
};

// The simulator's arguments for a device that never answers: it drops every
// reply, and its log still shows what it was asked.
QStringList silentDeviceArgs();

// A port that opens but on which the device never answers.
class SilentDevice : public Simulator
{
public:
    SilentDevice()
        : Simulator(silentDeviceArgs())
    {
    }
};

// Records a worker's signals in the test thread, and what the element named
// by each kavuIOUpdating held at that moment.
class JobRecorder : public QObject
{
    Q_OBJECT
public:
    JobRecorder(KavuIOhelper *helper, HrcDocument document);

    struct Update
    {
        uint id;
        int done;
        int total;
        QString ioLastErrCode; // of the element with that treeID, when it arrived
    };
    QList<int> starting;
    QList<Update> updates;
    QString message;
    int count = 0;
    int total = 0;
    int finishedCount = 0;

    // Waits for kavuIOFinished.
    bool waitFinished(int ms = 30000);
    void reset();

signals:
    void finished();

private:
    HrcDocument document;
};

} // namespace iotest
