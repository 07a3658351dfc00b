#pragma once

#include <QLoggingCategory>

// The configurator's diagnostics, one logging category per layer. Debug
// output is off by default; QT_LOGGING_RULES (e.g. "hrc.*.debug=true") or
// the programs' --verbose option (enableVerboseLogging) turns it on.
//
//   hrc.io         the connection, the job worker and the polling monitor
//   hrc.wizard     the setup wizard and its stage machine
//   hrc.workspace  the main window and its tools
Q_DECLARE_LOGGING_CATEGORY(lcIo)
Q_DECLARE_LOGGING_CATEGORY(lcWizard)
Q_DECLARE_LOGGING_CATEGORY(lcWorkspace)

namespace HrcLog {

// Turns on the debug output of every hrc.* category (the --verbose option).
// Rules in QT_LOGGING_RULES still take precedence.
void enableVerboseLogging();

} // namespace HrcLog
