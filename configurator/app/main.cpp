// The configurator's entry point, for now without the setup wizard: it parses
// the device description, applies the style sheet, takes the values of the
// last configuration (factory values where there is none, as the wizard
// does) and opens the workspace.
//
// HRC417_PORT, when set, is taken as the "Port" value (a device path such as
// /dev/ttyUSB0 or a simulator's pseudo-terminal), so that a session can start
// against a given line before the wizard offers the choice.
#include "ConfigStore.h"
#include "HrcDocument.h"
#include "HrcTreeWin.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QSettings>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(HRC_VERSION));

    QFile style(QStringLiteral(":/resources/style.qss"));
    if (style.open(QIODevice::ReadOnly | QIODevice::Text))
        app.setStyleSheet(QString::fromUtf8(style.readAll()));

    QString error;
    HrcDocument description = HrcDocument::load(QString::fromLatin1(HrcDocument::resourcePath), &error);
    if (description.isNull()) {
        QMessageBox::critical(nullptr, QObject::tr("Конфигуратор HRC417"), error);
        return 1;
    }
    ConfigStore::restoreValues(description.allParams(), *ConfigStore::lastConfiguration(), false);
    const QString port = qEnvironmentVariable("HRC417_PORT");
    if (!port.isEmpty())
        description.paramValue(QStringLiteral("Port"), port);

    HrcTreeWin window(description.document());
    window.wizardClose(description.document(), 0);
    return app.exec();
}
