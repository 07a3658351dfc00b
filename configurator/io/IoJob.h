#pragma once

#include "CommSettings.h"
#include "IoParameter.h"
#include "KavuComm.h"

#include <QString>
#include <QVector>

// One job as the worker runs it: a snapshot of the named parts of the
// document, taken in the GUI thread when the job starts. Sets keep their
// order and nesting (a set's deadline covers the parameters directly in it);
// only the parameters that qualify under the job's filters are kept.
struct IoJob
{
    struct Node
    {
        enum Kind { Empty, Set, Parameter };
        Kind kind = Empty;
        uint treeID = 0;      // the set's treeID (sets only)
        int parameter = -1;   // index into parameters (parameters only)
        QVector<Node> children;
    };

    int id = 0;
    KavuComm::KavuCommOperation operation = KavuComm::opRead;
    bool testJob = false;
    int timeoutSec = 0;
    CommSettings settings; // published once the job holds the port
    QVector<Node> roots;             // one per name of the job text
    QVector<IoParameter> parameters; // in processing order
};
