#include "ConfiguratorShell.h"

#include "ConfigStore.h"
#include "FlyTranslator.h"
#include "HrcTreeWin.h"
#include "HrcTreeWorkers.h"
#include "PortArbiter.h"
#include "Wizard.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QSettings>

ConfiguratorShell::ConfiguratorShell(const QString &descriptionPath, const QString &portPreset,
                                     const QString &languageDir)
{
    QFile file(descriptionPath);
    QString error;
    int line = 0;
    int column = 0;
    bool parsed = false;
    if (file.open(QIODevice::ReadOnly)) {
        parsed = description.setContent(&file, true, &error, &line, &column);
    } else {
        error = file.errorString();
    }
    if (!parsed) {
        QMessageBox::information(nullptr, QApplication::translate("ConfiguratorShell", "Конфигуратор HRC417"),
                                 QApplication::translate("ConfiguratorShell", "Ошибка разбора в строке %1, символ %2:\n%3")
                                     .arg(line)
                                     .arg(column)
                                     .arg(error),
                                 QMessageBox::Ok);
        description = QDomDocument();
        return;
    }

    qApp->setStyleSheet(styleSheet(QStringLiteral(":/resources/style.qss")));
    flyTranslator = std::make_unique<FlyTranslator>(nullptr, languageDir);
    // The language the engineer chose last time, before any window makes its
    // texts, so that every window starts in it.
    bool stored = false;
    const int chosen = ConfigStore::lastConfiguration()->value(QStringLiteral("hrc417/useLangIndex")).toInt(&stored);
    if (stored && chosen >= 0 && chosen < flyTranslator->languageFiles().size() && chosen != flyTranslator->startIndex())
        flyTranslator->loadLanguage(chosen);
    portArbiter = std::make_shared<PortArbiter>();
    // A known device is read without the base-name checks of its last session.
    HrcTreeWorkers::setKeepNameChecksByDefault(true);
    wizardWindow = std::make_unique<Wizard>(description, flyTranslator.get(), nullptr, portArbiter);
    wizardWindow->presetPort(portPreset);
    treeWindow = std::make_unique<HrcTreeWin>(description, nullptr, portArbiter);

    // Told before the hand-over, so that the first connection after offline
    // work offers to compare first.
    QObject::connect(wizardWindow.get(), &Wizard::wizardClose, treeWindow.get(), [this](const QDomDocument &, int) {
        treeWindow->setWorkedOffline(wizardWindow->isWorkingOffline());
    });
    QObject::connect(wizardWindow.get(), &Wizard::wizardClose, treeWindow.get(), &HrcTreeWin::wizardClose);
    QObject::connect(treeWindow.get(), &HrcTreeWin::treeWinClose, wizardWindow.get(), &Wizard::treeWinClose);
    // After the main window has taken the document (connected after it).
    QObject::connect(wizardWindow.get(), &Wizard::wizardClose, treeWindow.get(), [this](const QDomDocument &, int) {
        if (fileToOpen.isEmpty())
            return;
        const QString fileName = fileToOpen;
        fileToOpen.clear();
        treeWindow->openConfigFile(fileName);
    });
}

ConfiguratorShell::~ConfiguratorShell()
{
    // A worker still waiting for the port stops waiting; the windows then
    // stop their workers and wait for their threads.
    if (portArbiter)
        portArbiter->shutdown();
    treeWindow.reset();
    wizardWindow.reset();
    flyTranslator.reset();
}

void ConfiguratorShell::show()
{
    if (wizardWindow)
        wizardWindow->show();
}

void ConfiguratorShell::openWhenHandedOver(const QString &fileName)
{
    fileToOpen = fileName;
}

QString ConfiguratorShell::styleSheet(const QString &path)
{
    QFile style(path);
    if (!style.open(QIODevice::ReadOnly))
        return QString();
    QByteArray content = style.readAll();
    const int zero = content.indexOf('\0');
    if (zero >= 0)
        content.truncate(zero);
    return QString::fromUtf8(content);
}

void ConfiguratorShell::addLibraryPaths()
{
    QStringList paths = QCoreApplication::libraryPaths();
    paths << QStringLiteral(".") << QStringLiteral("imageformats") << QStringLiteral("platforms");
    QCoreApplication::setLibraryPaths(paths);
}
