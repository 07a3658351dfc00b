// The configurator's entry point: plug-in paths, the resources, the device
// description, the style sheet, the translator, then the setup wizard as the
// first window and the main window behind it.
//
//   configurator [--port NAME] [--verbose] [FILE]
//
// --port NAME (or the variable HRC417_PORT) presets the document's "Port",
// e.g. ttyUSB0, COM3 or a simulator's pseudo-terminal, after the wizard has
// restored the last configuration, so that "Проверка связи" works at once.
// FILE, a configuration file (.hrc417), is opened in the main window when
// the wizard hands over to it, as its "Открыть" button would open it.
// --verbose writes the diagnostics (the hrc.* logging categories) to
// standard error; QT_LOGGING_RULES chooses them one by one.
#include "ConfiguratorShell.h"
#include "HrcDocument.h"
#include "HrcLog.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char *argv[])
{
    ConfiguratorShell::addLibraryPaths();
    // The resource bundles (description, images, translation; style sheet)
    // are linked in as object libraries and register themselves.
    QApplication app(argc, argv);
    // The same name as the command-line tool, so that both keep the device
    // backups in one folder whatever the program file is called.
    QCoreApplication::setApplicationName(QStringLiteral("hrc417"));
    QCoreApplication::setApplicationVersion(QStringLiteral(HRC_VERSION));

    QCommandLineParser options;
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Serial port to preset."),
                                        QStringLiteral("NAME"));
    options.addOption(portOption);
    const QCommandLineOption verboseOption(QStringLiteral("verbose"), QStringLiteral("Diagnostics on standard error."));
    options.addOption(verboseOption);
    options.addPositionalArgument(QStringLiteral("file"), QStringLiteral("Configuration file to open."),
                                  QStringLiteral("[FILE]"));
    options.parse(QCoreApplication::arguments()); // unknown arguments are the toolkit's business
    if (options.isSet(verboseOption))
        HrcLog::enableVerboseLogging();
    QString port = options.value(portOption);
    if (port.isEmpty())
        port = qEnvironmentVariable("HRC417_PORT");

    ConfiguratorShell shell(QString::fromLatin1(HrcDocument::resourcePath), port);
    if (!shell.isReady())
        return 0;
    if (!options.positionalArguments().isEmpty())
        shell.openWhenHandedOver(options.positionalArguments().constFirst());
    shell.show();
    return app.exec();
}
