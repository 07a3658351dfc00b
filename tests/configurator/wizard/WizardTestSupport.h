#pragma once

#include <QString>

class QWidget;

namespace wizardtest {

// A pseudo-terminal nobody answers on: a port that opens but stays silent.
class SilentPort
{
public:
    SilentPort();
    ~SilentPort();
    bool isOpen() const { return master >= 0; }
    QString path() const { return slavePath; }

private:
    int master = -1;
    QString slavePath;
};

// Saves widget->grab() as name.png in $HRC_SCREENSHOT_DIR (or the test's
// output directory) and returns the file's path; empty on failure.
QString saveScreenshot(QWidget *widget, const QString &name);

} // namespace wizardtest
