#include "LanguageTranslator.h"
#include "QtCompat.h"

#include <QCoreApplication>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QVariant>

namespace {

const char *const noIcon = ":/resources/images/no_icon.gif";

// The first child element named tag, then every following sibling element
// whatever its name: the way language files have always been read.
QList<QDomElement> elementRun(const QDomElement &parent, const QString &tag)
{
    QList<QDomElement> run;
    for (QDomElement e = parent.firstChildElement(tag); !e.isNull(); e = e.nextSiblingElement())
        run.append(e);
    return run;
}

bool readFile(const QString &path, QByteArray *content)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    *content = file.readAll();
    return true;
}

} // namespace

bool LanguageFile::parse(const QByteArray &content)
{
    QDomDocument document;
    if (!document.setContent(content, true, &error, &line, &column))
        return false;
    const QDomElement root = document.documentElement();
    const QDomElement info = root.firstChildElement(QStringLiteral("info"));
    name = info.attribute(QStringLiteral("name"));
    flag = info.attribute(QStringLiteral("flag"));
    locale = info.attribute(QStringLiteral("locale"));
    for (const QDomElement &context : elementRun(root, QStringLiteral("context"))) {
        QHash<QString, QString> table;
        for (const QDomElement &message : elementRun(context, QStringLiteral("message"))) {
            table.insert(message.firstChildElement(QStringLiteral("source")).text(),
                         message.firstChildElement(QStringLiteral("translation")).text());
        }
        if (!table.isEmpty())
            tables.append(qMakePair(context.firstChildElement(QStringLiteral("name")).text(), table));
    }
    return true;
}

QString LanguageTranslator::defaultLanguageDir()
{
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString beside = programDir + QStringLiteral("/Language");
#ifdef HRC_DATA_DIR_FROM_BIN
    // An installed program (e.g. /usr/bin) keeps its data in the shared data
    // directory (/usr/share/hrc417), found relative to the program.
    if (!QDir(beside).exists()) {
        const QString installed =
            QDir::cleanPath(programDir + QStringLiteral("/" HRC_DATA_DIR_FROM_BIN "/Language"));
        if (QDir(installed).exists())
            return installed;
    }
#endif
    return beside;
}

LanguageTranslator::LanguageTranslator(QObject *parent, const QString &languageDir, ParseErrorReport report)
    : QTranslator(parent)
{
    // The built-in translation is in the program's resources; were it missing,
    // the texts would stay as written in the sources.
    [[maybe_unused]] const bool builtIn = QTranslator::load(QStringLiteral(":/resources/defaultlang.qm"));
    QCoreApplication::installTranslator(this);

    const QString dirPath = languageDir.isEmpty() ? defaultLanguageDir() : languageDir;
    const QDir dir(dirPath);
    const QStringList fileNames = dir.entryList({QStringLiteral("*.lng")}, QDir::Files, QDir::Name);
    for (const QString &fileName : fileNames) {
        const QString path = dir.filePath(fileName);
        QByteArray content;
        if (!readFile(path, &content))
            continue;
        LanguageFile language;
        if (!language.parse(content)) {
            if (report) {
                report(fileName, QCoreApplication::translate("FlyTranslator", "Ошибка разбора в строке %1, символ %2:\n%3")
                                     .arg(language.line)
                                     .arg(language.column)
                                     .arg(language.error));
            }
            continue;
        }
        const QString &name = language.name;
        const QString &flag = language.flag;
        if (name.isEmpty())
            continue;
        names.append(name);
        files.append(path);
        icons.append(flag.isEmpty() ? QString::fromLatin1(noIcon) : dir.absolutePath() + QDir::separator() + flag);
        codes.append(language.locale.isEmpty() ? QFileInfo(flag).baseName() : language.locale);
        if (fileName == QLatin1String("default.lng"))
            currentIndex = names.size() - 1;
    }
    if (!names.isEmpty())
        loadLanguage(currentIndex);
}

LanguageTranslator::~LanguageTranslator()
{
    if (toolkitInstalled)
        QCoreApplication::removeTranslator(&toolkit);
    QCoreApplication::removeTranslator(this);
    clearTables();
}

void LanguageTranslator::clearTables()
{
    qDeleteAll(translations);
    translations.clear();
}

void LanguageTranslator::loadToolkitTranslation(const QString &code)
{
    if (toolkitInstalled) {
        QCoreApplication::removeTranslator(&toolkit);
        toolkitInstalled = false;
    }
    if (code.isEmpty())
        return;
    // Installed last, so it is asked first; it knows only Qt's own contexts.
    if (toolkit.load(QStringLiteral("qtbase_") + code, QtCompat::translationsPath()))
        toolkitInstalled = QCoreApplication::installTranslator(&toolkit);
}

bool LanguageTranslator::loadLanguage(int index)
{
    clearTables();
    if (index < 0 || index >= files.size())
        return false;
    loadToolkitTranslation(codes.at(index));
    // Windows that pick their own files by language (the help) read it here.
    if (QCoreApplication::instance())
        QCoreApplication::instance()->setProperty("languageCode", QVariant(codes.at(index)));
    QByteArray content;
    LanguageFile language;
    if (!readFile(files.at(index), &content) || !language.parse(content))
        return false;
    for (const auto &table : qAsConst(language.tables))
        translations.insert(table.first, new QHash<QString, QString>(table.second));
    return true;
}

QHash<QString, QString> LanguageTranslator::shownToSource() const
{
    QHash<QString, QString> shown;
    for (auto table = translations.cbegin(); table != translations.cend(); ++table) {
        for (auto it = table.value()->cbegin(); it != table.value()->cend(); ++it)
            shown.insert(it.value().isEmpty() ? it.key() : it.value(), it.key());
    }
    return shown;
}

QString LanguageTranslator::translate(const char *context, const char *sourceText, const char *, int) const
{
    const QString source = QString::fromUtf8(sourceText);
    const QString contextName = QString::fromUtf8(context);
    QString result;
    // value() of a multi-hash gives the entry inserted last.
    if (const QHash<QString, QString> *table = translations.value(contextName, nullptr))
        result = table->value(source);
    if (result.isEmpty()) {
        for (auto it = translations.cbegin(); it != translations.cend(); ++it) {
            // Only a real translation ends the search: the tables' order is
            // the hash's, and an empty entry met first would otherwise hide a
            // translation another context holds, depending on that order.
            const auto found = it.value()->constFind(source);
            if (found != it.value()->cend() && !found.value().isEmpty()) {
                result = found.value();
                break;
            }
        }
    }
    return result.isEmpty() ? source : result;
}
