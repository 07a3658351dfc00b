#include "HrcLog.h"

// QtInfoMsg: debug messages are disabled until a rule enables them.
Q_LOGGING_CATEGORY(lcIo, "hrc.io", QtInfoMsg)
Q_LOGGING_CATEGORY(lcWizard, "hrc.wizard", QtInfoMsg)
Q_LOGGING_CATEGORY(lcWorkspace, "hrc.workspace", QtInfoMsg)

void HrcLog::enableVerboseLogging()
{
    QLoggingCategory::setFilterRules(QStringLiteral("hrc.*.debug=true"));
}
