#pragma once

#include <QDomElement>
#include <QString>

// The outcome of a parameter's last exchange as the configurator keeps it in
// the parameter's "ioLastErrCode" attribute (decimal text): 0 for success, the
// protocol library's negative KAVU_E_* codes, or one of the configurator's own
// codes below. Code reads and writes the attribute only through the functions
// here, so its spelling lives in one place.
enum ResultCode : int {
    codeSuccess = 0,
    // A value that cannot be encoded for the parameter's type (the library's
    // "bad argument" code, refused before anything is sent).
    codeBadValue = -1,
    codeNotConnected = -901,
    codeBadName = -905,
    codeBadIndex = -906,
    // The port is gone (a USB adapter pulled, the line hung up): its reads or
    // writes fail, which is not a silent device.
    codePortLost = -907,
    // The worker ended without saying how (an exception, a thread that died).
    codeLibraryEnded = -910,
    codeNothingToWrite = -915,
    codeOutOfRange = -950,
    // Not (yet) exchanged in this job.
    codeNotExchanged = -1000,
    // Never attempted: the deadline of the parameter's set had passed.
    codeSetDeadlinePassed = -1001,
    // Never attempted: the job was cancelled first.
    codeJobCancelled = -1002,
    // Written, but read back the device holds another value.
    codeReadBackDiffers = -1003,
    // Written, but the job was cancelled before it was read back.
    codeNotVerified = -1004,
};

// The parameter's result code; a parameter that holds none (never exchanged)
// reads as codeNotExchanged.
int resultCodeOf(const QDomElement &parameter);
// Whether the parameter holds a result code at all.
bool hasResultCode(const QDomElement &parameter);
void setResultCode(QDomElement parameter, int code);
// The stored (decimal) text of a code, as the workers carry it to the GUI
// thread; and back.
QString resultCodeText(int code);
int resultCodeFromText(const QString &text);
void setResultCode(QDomElement parameter, const QString &codeText);
