#pragma once

#include <QDomDocument>
#include <QString>

#include <memory>

class FlyTranslator;
class HrcTreeWin;
class PortArbiter;
class Wizard;

// The long-lived objects of a run and their wiring: the parsed device
// description, the style sheet, the translator, the wizard and the main
// window, of which exactly one is visible at a time. Built in the order the
// program starts; destroyed in the reverse order.
class ConfiguratorShell
{
public:
    // Parses the description (a resource path or a file). On a parse error
    // the message box with line and column is shown and no window is made.
    // portPreset, when not empty, becomes the document's "Port" once the
    // wizard has restored the last configuration.
    explicit ConfiguratorShell(const QString &descriptionPath, const QString &portPreset = QString(),
                               const QString &languageDir = QString());
    ~ConfiguratorShell();

    bool isReady() const { return wizardWindow != nullptr; }
    // Shows the wizard, the first window of every run.
    void show();
    // A configuration file to open in the main window when the wizard first
    // hands over to it (the program started with a file, e.g. from a
    // double-click on it): its values become changes to write.
    void openWhenHandedOver(const QString &fileName);

    Wizard *wizard() const { return wizardWindow.get(); }
    HrcTreeWin *mainWindow() const { return treeWindow.get(); }
    FlyTranslator *translator() const { return flyTranslator.get(); }

    // The style sheet as the program applies it: the resource's bytes up to
    // the first zero byte, read as UTF-8; empty when it cannot be read.
    static QString styleSheet(const QString &path);
    // Adds ".", "imageformats" and "platforms" to the plug-in paths; before
    // the application object exists.
    static void addLibraryPaths();

private:
    QDomDocument description;
    // The serial port's one owner at a time, shared by both windows' workers.
    std::shared_ptr<PortArbiter> portArbiter;
    std::unique_ptr<FlyTranslator> flyTranslator;
    std::unique_ptr<Wizard> wizardWindow;
    std::unique_ptr<HrcTreeWin> treeWindow;
    QString fileToOpen;
};
