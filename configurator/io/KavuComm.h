#pragma once

#include "CommSettings.h"
#include "IoParameter.h"
#include "LinkHealth.h"
#include "PortArbiter.h"
#include "PortFailure.h"
#include "ResultCode.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>

#include <atomic>
#include <memory>

// The connection half of the I/O workers (KavuIOhelper and KavuMon derive from
// it as their second base): the communication settings, the session state,
// the last error code, and the one per-parameter transfer both workers use.
// The serial port is shared through a PortArbiter: the one handed in, or,
// for a worker on its own, one of the worker's.
// Everything runs in the worker's thread except terminate(), which another
// thread calls to stop the worker between two steps.
class KavuComm
{
public:
    enum KavuCommOperation { opRead = 0, opWrite = 1 };
    enum State { stateIdle = 0, stateConnected = 1, stateTerminating = 2 };
    // What the read-back after a write found for one written parameter.
    enum VerifyOutcome { verifyConfirmed, verifyDiffers, verifyFailed, verifyNotChecked };

    explicit KavuComm(std::shared_ptr<PortArbiter> arbiter = nullptr);
    virtual ~KavuComm() = default;

    // Whether a failed transfer is worth repeating: only what the line lost
    // or garbled (no reply, a CRC mismatch, a malformed frame). Anything else
    // is an answer (the device refused the parameter, a reply that does not
    // fit it, a value out of range) or a refusal made before sending, and
    // asking again would only get the same.
    static bool isLineFault(int code);

    // Loads the settings published last (CommSettings) into the fields, or
    // this worker's own ones once keepSettingsPrivate was called.
    void readPortSettings();
    // For workers that run beside others on other ports (a fleet of
    // devices): the settings of each job stay this worker's own instead of
    // being published process-wide, and a named port device is bound to the
    // library slot given instead of the shared one. Call before the first job.
    void keepSettingsPrivate(int librarySlot);
    // Publishes settings process-wide, or keeps them as this worker's own.
    void useSettings(const CommSettings &settings);
    virtual void terminate();
    bool isTerminating() const { return state.load() == stateTerminating; }
    void closeSession();
    bool tryConnect();

    // Transfers one parameter with the current operation; fills its ioValue
    // and ioLastErrCode and returns the parameter's own result (0 = success).
    int transferParameter(IoParameter &parameter);

    // Whether the outcome of an indexed name's base-name check is remembered
    // for the rest of the session (on by default). Off, every indexed name
    // asks the device again, as a fresh session would.
    void setRememberNameChecks(bool on) { rememberNameChecks = on; }
    // Whether those outcomes are also kept on disk per device identity (its
    // name as it answers at connect, its version as read, address and port;
    // BackupStore), so that a later session with the same device sends no
    // check at all (off by default). A version read that differs from the
    // kept one drops them; so does a device that refuses an indexed name
    // whose check was taken from the store.
    void setKeepNameChecks(bool on) { keepNameChecks = on; }

    // Who holds the serial port (ioBusy, monBusy); set at construction.
    const std::shared_ptr<PortArbiter> &portArbiter() const { return arbiter; }

    int lastError() const { return lastErr; }
    // "Связь потеряна: адаптер отключён (port)" for this worker's port.
    QString portLostText() const;
    // Why the last connection attempt failed (kind None after a success).
    const PortFailure &connectFailure() const { return failure; }
    int sessionState() const { return state.load(); }
    KavuCommOperation currentOperation() const { return operation; }
    // The link counters gathered in this thread since the last call: those
    // of ports already closed plus the open port's (zeroed there).
    LinkCounts takeGatheredLinkCounts();

protected:
    // The 1 ms pause after a failed transfer, kept close to 1 ms: a line
    // fault is retried until its deadline, and the line gets a moment before
    // the next request. A transfer that succeeded is followed at once by the
    // next one.
    static void pauseAfterFailure();
    static void preciseTimersForThisThread();
    // Sets the state unless termination was requested meanwhile.
    void setStateUnlessTerminating(int newState);
    int openPortOnly(bool *nameTaken);
    // Asks the device for its name on the port just opened (openResult is
    // what the open returned); a device that does not answer is kept in
    // `failure`.
    int checkDevice(int openResult, QString *deviceName);
    int readText(const QString &name, int channel, QString *text);
    int transferByKind(IoParameter &p, const QByteArray &name, int index, int channel, QString *result);
    bool checkName(const QString &name, QByteArray *base, int *index);
    void reopenAfterCommWrite(const IoParameter &written);
    // Every ClosePort and OpenPort goes through these: a new session may be
    // another device, so what the device told about base names is forgotten.
    // openConfiguredPort keeps why an open failed in `failure`.
    int closePort();
    int openConfiguredPort();

    // Whether terminate() was called since the state was last reset; what a
    // wait for the port checks.
    PortArbiter::Cancelled cancelRequested() const
    {
        return [this] { return isTerminating(); };
    }

    const std::shared_ptr<PortArbiter> arbiter;
    KavuCommOperation operation = opRead;
    std::atomic<int> state{stateIdle};
    int lastErr = codeNotConnected;
    int deviceAddress = 0;
    int addressMode = 0;
    int portIndex = -1;
    QByteArray portDevice; // bound to portIndex with SetPortName; empty = default
    QString portText;      // the port as the settings name it
    PortFailure failure;
    int speedIndex = 0;
    int parity = 0;
    int dataBits = 0;
    int stopBits = 0;
    LinkCounts gatheredLinkCounts; // taken from the library before every close
    bool privateSettings = false;
    int privateSlot = -1;
    CommSettings ownSettings; // with privateSettings

    // Base names the device answered in this session: true when it knows the
    // name without an index (its indexed names fail with codeBadIndex).
    QHash<QByteArray, bool> checkedBaseNames;
    bool rememberNameChecks = true;

private:
    // The checks kept on disk for the device just connected, its identity.
    void loadKeptNameChecks(const QString &deviceName);
    void saveKeptNameChecks();
    void noteVersionRead(const QString &version);
    bool keepNameChecks = false;
    bool keptChecksChanged = false;
    QString keptDevice; // empty: no identity (not connected yet)
    QString keptVersion;
    QString keptAddress;
    QString keptPort;
    QSet<QByteArray> storedBaseNames; // checks taken from the store
};
