#pragma once

#include <QHash>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTranslator>
#include <QVector>

#include <functional>

// What one language file (*.lng, XML) holds: its name and flag from <info>,
// and per <context> the messages' source -> translation (contexts without
// messages left out), in file order. Widget-free, so it can be tested and
// fuzzed on its own.
struct LanguageFile
{
    QString name;
    QString flag;
    // Language code ("ru", "en") for Qt's own translations; may be empty.
    QString locale;
    QVector<QPair<QString, QHash<QString, QString>>> tables;
    // Where and why parsing failed.
    QString error;
    int line = 0;
    int column = 0;

    // false (error, line, column set) when content is not well-formed XML.
    bool parse(const QByteArray &content);
};

// Run-time language switching from plain XML language files (*.lng) in the
// "Language" directory beside the program. Installed into the application
// before any window exists; "default.lng" is the start-up language.
//
// Lookup: the table of the asked context first, then every table, then the
// source text itself, so untranslated texts show as the program writes them.
// Each language also brings Qt's own translation of that language (qtbase_*.qm
// in the toolkit's translations directory), installed after this translator so
// that Qt's dialogs find their texts there first.
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

    // "Language" beside the program; when there is none, the installed data
    // directory's "Language" (<bindir>/../share/hrc417/Language).
    static QString defaultLanguageDir();

    // Scans languageDir (empty: defaultLanguageDir()), installs itself and
    // loads the start-up language.
    explicit LanguageTranslator(QObject *parent = nullptr, const QString &languageDir = QString(),
                                ParseErrorReport report = {});
    ~LanguageTranslator() override;

    // Replaces the tables with those of files[index]; false when that file
    // cannot be opened or parsed (the tables are then empty).
    bool loadLanguage(int index);

    const QStringList &languageNames() const { return names; }
    const QStringList &languageFiles() const { return files; }
    const QStringList &languageIcons() const { return icons; }
    // The language code of each file ("ru", "en"): its info's "locale", else
    // the base name of its flag.
    const QStringList &languageCodes() const { return codes; }
    int startIndex() const { return currentIndex; }
    // Every text as the loaded language shows it, mapped to its source text:
    // taken before a switch, it tells which shown texts are the program's own.
    QHash<QString, QString> shownToSource() const;

    QString translate(const char *context, const char *sourceText, const char *disambiguation = nullptr,
                      int n = -1) const override;
    bool isEmpty() const override { return false; }

private:
    void clearTables();
    // Qt's own texts (file dialogs, standard buttons) in the language of the
    // code, from the toolkit's translations; none for its source language.
    void loadToolkitTranslation(const QString &code);

    QStringList names;
    QStringList files;
    QStringList icons;
    QStringList codes;
    int currentIndex = 0;
    QTranslator toolkit;
    bool toolkitInstalled = false;
    // Several tables may share a context name; the one added last wins.
    QMultiHash<QString, QHash<QString, QString> *> translations;
};
