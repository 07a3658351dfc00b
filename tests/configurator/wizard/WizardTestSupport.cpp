#include "WizardTestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QPixmap>
#include <QWidget>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace wizardtest {

SilentPort::SilentPort()
{
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0)
        return;
    if (grantpt(master) != 0 || unlockpt(master) != 0) {
        ::close(master);
        master = -1;
        return;
    }
    slavePath = QString::fromLocal8Bit(ptsname(master));
}

SilentPort::~SilentPort()
{
    if (master >= 0)
        ::close(master);
}

QString saveScreenshot(QWidget *widget, const QString &name)
{
    QString dir = qEnvironmentVariable("HRC_SCREENSHOT_DIR");
    if (dir.isEmpty())
        dir = qEnvironmentVariable("HRC_TEST_OUTPUT", QDir::currentPath()) + QStringLiteral("/screenshots");
    QDir().mkpath(dir);
    const QString path = dir + QLatin1Char('/') + name + QStringLiteral(".png");
    // Layouts follow shown and hidden widgets in posted events.
    QCoreApplication::sendPostedEvents();
    return widget->grab().save(path) ? path : QString();
}

} // namespace wizardtest
