#pragma once

#include <QMetaType>

// How a job of the I/O worker ended, beyond kavuIOFinished's message, error
// count and total: carried from the worker thread to the GUI thread in one
// value, and kept by the worker for the slots of kavuIOFinished.
struct JobResult
{
    // The port opened and the device answered; when not, nothing was
    // exchanged and the message says why.
    bool connected = false;
    bool cancelled = false;
    // The port went away during the job (codePortLost): it stopped at once;
    // kavuIOFinished's message says so, `succeeded` how far it got.
    bool portLost = false;
    bool verified = false; // the read-back was on for this job
    int asked = 0;         // parameters the job was to exchange
    int succeeded = 0;
    int failed = 0;
    // Write jobs: values sent, and what reading them back found.
    int written = 0;
    int confirmed = 0;
    int differing = 0;
    // The result code of the first parameter that failed; 0 when none did.
    int firstError = 0;
};

Q_DECLARE_METATYPE(JobResult)
