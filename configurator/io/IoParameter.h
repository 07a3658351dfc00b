#pragma once

#include "ParameterSpec.h"
#include "ResultCode.h"

#include <QDomElement>
#include <QString>

// The attributes of one parameter element that a transfer needs, copied from
// the document in the GUI thread. Workers transfer these copies and hand the
// outcome (ioValue and the result code) back to the GUI thread, which writes it into
// the element; no worker ever reads or writes the document itself.
struct IoParameter
{
    uint treeID = 0;
    QString name;       // namekavu: NAME, NAME[i] or NAME:channel
    QString label;
    ParameterSpec spec; // kind, value set, scale of the value
    QString value;
    QString defaultValue;
    bool local = false; // localparam: never transferred
    bool comm = false;  // commparam: writing it reopens the port

    // Outcome of the last transfer: the value as the element's attribute text,
    // and the result code.
    QString ioValue;
    int resultCode = codeNotExchanged;

    // GUI thread only (reads the document).
    static IoParameter fromElement(const QDomElement &element);
};
