#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QTranslator>

#include <functional>

// Run-time language switching from plain XML language files (*.lng) in the
// "Language" directory beside the program. Installed into the application
// before any window exists; "default.lng" is the start-up language.
//
// Lookup: the table of the asked context first, then every table, then the
// source text itself, so untranslated texts show as the program writes them.
// Qt Core and Qt Xml only, so that programs without windows (the hrc417
// command-line tool) translate from the same files. GUI thread only (the
// lookups may come from any thread, the loads may not).
class LanguageTranslator : public QTranslator
{
    Q_OBJECT
public:
    // Called for a language file that cannot be parsed, with its file name and
    // the translated parse error; the file is skipped.
    using ParseErrorReport = std::function<void(const QString &fileName, const QString &message)>;

    // Scans languageDir (empty: applicationDirPath() + "/Language"), installs
    // itself and loads the start-up language.
    explicit LanguageTranslator(QObject *parent = nullptr, const QString &languageDir = QString(),
                                ParseErrorReport report = {});
    ~LanguageTranslator() override;

    // Replaces the tables with those of files[index]; false when that file
    // cannot be opened or parsed (the tables are then empty).
    bool loadLanguage(int index);

    const QStringList &languageNames() const { return names; }
    const QStringList &languageFiles() const { return files; }
    const QStringList &languageIcons() const { return icons; }
    int startIndex() const { return currentIndex; }

    QString translate(const char *context, const char *sourceText, const char *disambiguation = nullptr,
                      int n = -1) const override;
    bool isEmpty() const override { return false; }

private:
    void clearTables();

    QStringList names;
    QStringList files;
    QStringList icons;
    int currentIndex = 0;
    // Several tables may share a context name; the one added last wins.
    QMultiHash<QString, QHash<QString, QString> *> translations;
};
