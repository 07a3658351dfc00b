// hrc417: the configurator's work on the command line.
#include "CliOptions.h"
#include "CliOutput.h"
#include "Commands.h"
#include "DeviceSession.h"
#include "HrcLog.h"
#include "LanguageTranslator.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QFileInfo>

#include <memory>

namespace {

QString text(const char *source)
{
    return QCoreApplication::translate("main", source);
}

// The language a --lang value names: a language file's name ("english"), its
// flag's name ("en") or its own name ("English"), any case. -1 if none.
int languageIndex(const LanguageTranslator &translator, const QString &wanted)
{
    for (int i = 0; i < translator.languageFiles().size(); ++i) {
        const QStringList names{QFileInfo(translator.languageFiles().at(i)).completeBaseName(),
                                QFileInfo(translator.languageIcons().at(i)).completeBaseName(),
                                translator.languageNames().at(i)};
        for (const QString &name : names) {
            if (name.compare(wanted, Qt::CaseInsensitive) == 0)
                return i;
        }
    }
    return -1;
}

QtMessageHandler defaultHandler = nullptr;

// The offscreen platform that the report runs on remarks on a missing runtime
// directory, which says nothing to the user of a command line; every other
// message, the diagnostics that --verbose turns on included, goes on as usual.
void dropRuntimeDirRemark(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")))
        return;
    defaultHandler(type, context, message);
}

} // namespace

int main(int argc, char *argv[])
{
    // The report lays text out and draws its graphs, which takes Qt Gui's
    // fonts: a Gui application on the offscreen platform, no display needed.
    bool reportCommand = false;
    for (int i = 1; i < argc; ++i)
        reportCommand = reportCommand || qstrcmp(argv[i], "report") == 0;
    if (reportCommand && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (reportCommand)
        defaultHandler = qInstallMessageHandler(dropRuntimeDirRemark);
    std::unique_ptr<QCoreApplication> app(reportCommand ? new QGuiApplication(argc, argv)
                                                        : new QCoreApplication(argc, argv));
    QCoreApplication::setApplicationName(QStringLiteral("hrc417"));
    QCoreApplication::setApplicationVersion(QStringLiteral(HRC_VERSION));

    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    CliOutput plainOut(false);

    // The language first, so that every message is in it.
    LanguageTranslator translator(nullptr, QString(), [&plainOut](const QString &fileName, const QString &message) {
        plainOut.error(fileName + QStringLiteral(": ") + message);
    });
    QString lang;
    for (int i = 0; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--lang") && i + 1 < args.size())
            lang = args.at(i + 1);
        else if (args.at(i).startsWith(QLatin1String("--lang=")))
            lang = args.at(i).mid(7);
    }
    if (!lang.isEmpty() && lang.compare(QLatin1String("ru"), Qt::CaseInsensitive) != 0) {
        const int index = languageIndex(translator, lang);
        if (index < 0) {
            plainOut.error(text("--lang: нет файла языка %1 (есть: %2)")
                               .arg(lang, translator.languageNames().join(QStringLiteral(", "))));
            return DeviceSession::BadUsage;
        }
        translator.loadLanguage(index);
    }

    CliOptions options;
    QString error;
    if (!CliOptions::parse(args, &options, &error)) {
        plainOut.error(error);
        plainOut.note(text("Справка: hrc417 --help"));
        return DeviceSession::BadUsage;
    }
    if (options.verbose)
        HrcLog::enableVerboseLogging();
    if (options.help) {
        plainOut.line(helpText(options.command).trimmed());
        return DeviceSession::Success;
    }
    if (options.version) {
        plainOut.line(QStringLiteral("hrc417 ") + QCoreApplication::applicationVersion());
        return DeviceSession::Success;
    }
    if (options.command.isEmpty()) {
        plainOut.error(text("не указана команда"));
        plainOut.note(text("Справка: hrc417 --help"));
        return DeviceSession::BadUsage;
    }
    DeviceSession::catchInterrupts();
    CliOutput out(options.json);
    const int status = runCommand(options, out);
    // Results that did not reach standard output (a full disk, a closed
    // pipe) are a failure however well the device answered.
    if (const int error = CliOutput::standardOutputError()) {
        out.error(text("запись в стандартный вывод не удалась: %1").arg(CliOutput::systemErrorText(error)));
        return DeviceSession::OutputFailed;
    }
    return status;
}
