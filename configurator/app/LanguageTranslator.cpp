#include "LanguageTranslator.h"

#include <QCoreApplication>
#include <QDir>
#include <QDomDocument>
#include <QFile>

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

bool parseFile(const QString &path, QDomDocument *document, QString *error, int *line, int *column)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    return document->setContent(&file, true, error, line, column);
}

} // namespace

LanguageTranslator::LanguageTranslator(QObject *parent, const QString &languageDir, ParseErrorReport report)
    : QTranslator(parent)
{
    QTranslator::load(QStringLiteral(":/resources/defaultlang.qm"));
    QCoreApplication::installTranslator(this);

    const QString dirPath =
        languageDir.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/Language") : languageDir;
    const QDir dir(dirPath);
    const QStringList fileNames = dir.entryList({QStringLiteral("*.lng")}, QDir::Files, QDir::Name);
    for (const QString &fileName : fileNames) {
        const QString path = dir.filePath(fileName);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        QDomDocument document;
        QString error;
        int line = 0;
        int column = 0;
        if (!document.setContent(&file, true, &error, &line, &column)) {
            if (report) {
                report(fileName, QCoreApplication::translate("FlyTranslator", "Ошибка разбора в строке %1, символ %2:\n%3")
                                     .arg(line)
                                     .arg(column)
                                     .arg(error));
            }
            continue;
        }
        const QDomElement info = document.documentElement().firstChildElement(QStringLiteral("info"));
        const QString name = info.attribute(QStringLiteral("name"));
        const QString flag = info.attribute(QStringLiteral("flag"));
        if (name.isEmpty())
            continue;
        names.append(name);
        files.append(path);
        icons.append(flag.isEmpty() ? QString::fromLatin1(noIcon) : dir.absolutePath() + QDir::separator() + flag);
        if (fileName == QLatin1String("default.lng"))
            currentIndex = names.size() - 1;
    }
    if (!names.isEmpty())
        loadLanguage(currentIndex);
}

LanguageTranslator::~LanguageTranslator()
{
    QCoreApplication::removeTranslator(this);
    clearTables();
}

void LanguageTranslator::clearTables()
{
    qDeleteAll(translations);
    translations.clear();
}

bool LanguageTranslator::loadLanguage(int index)
{
    clearTables();
    if (index < 0 || index >= files.size())
        return false;
    QDomDocument document;
    QString error;
    int line = 0;
    int column = 0;
    if (!parseFile(files.at(index), &document, &error, &line, &column))
        return false;

    for (const QDomElement &context : elementRun(document.documentElement(), QStringLiteral("context"))) {
        auto *table = new QHash<QString, QString>;
        for (const QDomElement &message : elementRun(context, QStringLiteral("message"))) {
            table->insert(message.firstChildElement(QStringLiteral("source")).text(),
                          message.firstChildElement(QStringLiteral("translation")).text());
        }
        if (table->isEmpty()) {
            delete table;
            continue;
        }
        translations.insert(context.firstChildElement(QStringLiteral("name")).text(), table);
    }
    return true;
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
