#pragma once

#include "HrcDocument.h"
#include "KavuComm.h"
#include "LinkHealth.h"

#include <QCoreApplication>
#include <QDomElement>
#include <QString>
#include <QStringList>
#include <QVector>

#include <csignal>
#include <memory>

class CliOutput;
class JobController;
class KavuIOhelper;
struct CliOptions;

// The device as hrc417 reaches it: the device description with the link
// settings (the configurator's last configuration, then the command line's
// link options), and the configurator's own job worker run to its end in an
// event loop for every read or write.
class DeviceSession
{
    Q_DECLARE_TR_FUNCTIONS(DeviceSession)

public:
    // Exit statuses of the program.
    enum Status { Success = 0, Differs = 1, OutputFailed = 1, BadUsage = 2, NoDevice = 3, Refused = 4 };

    explicit DeviceSession(CliOutput &output);
    ~DeviceSession();

    // Loads the description and the link settings; false (message printed)
    // for a link option with a bad value.
    bool setUp(const CliOptions &options);

    HrcDocument &document() { return doc; }
    // "порт …, … бит/с, …" for the user.
    QString linkText();

    // Runs one job over names (sets or parameters) and waits for its end;
    // each parameter's ioValue and ioLastErrCode hold its outcome (-1000 when
    // it was not exchanged). False (message printed) when the device could
    // not be reached, or the port went away during the job (it stops then).
    bool run(const QStringList &names, KavuComm::KavuCommOperation operation, bool includeCommParams,
             const QString &progressLabel);

    // The why and what-to-do when the port did not open or the device did not
    // answer: the port's failure as the configurator tells it, with the
    // options that change it; jobMessage where the failure is not known.
    QString connectionFailureText(const PortFailure &failure, const QString &jobMessage);

    // The link counters of every job of the session so far.
    const LinkCounts &linkCounts() const { return counts; }

    // Set by SIGINT/SIGTERM: the running job is cancelled, monitor stops.
    static volatile std::sig_atomic_t interrupted;
    static void catchInterrupts();
    // Waits ms milliseconds with the event loop running; an interrupt ends
    // the wait at once. False when interrupted.
    static bool pause(int ms);

private:
    CliOutput &out;
    HrcDocument doc;
    std::unique_ptr<KavuIOhelper> helper;
    std::unique_ptr<JobController> jobs; // goes before the worker it follows
    LinkCounts counts;
};
