#pragma once

#include "AtomicFile.h"

#include <QCoreApplication>
#include <QDomElement>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

class QSettings;

// Configuration files (*.hrc417) and the per-user last-configuration store:
// one INI group "hrc417" with one entry per parameter, the key being the
// parameter's namekavu and the entry its value text. GUI thread (they read
// and write the document).
class ConfigStore
{
    Q_DECLARE_TR_FUNCTIONS(ConfigStore)

public:
    static const char *const group; // "hrc417"

    // Writes the value of every parameter below start, in document order; a
    // value not set yet as the factory value an empty entry would give.
    static void storeValues(const QDomElement &start, QSettings &settings);

    // Sets the value of every parameter below start from the settings: a
    // missing or empty entry gives the factory value, an enum entry that is
    // not one of its choices too (the port name is taken as it stands);
    // keepCommParams leaves the communication parameters untouched.
    static void restoreValues(const QDomElement &start, QSettings &settings, bool keepCommParams);

    // Saves the document's values to fileName without ever losing the file
    // already there (AtomicFile::write; the text is what QSettings would
    // write). On failure *errorString names the file and the reason and the
    // old file is left as it was. Through a symbolic link the link's target
    // is written and the link stays; the target keeps its permissions, a new
    // file gets those of the user's file-creation mask. Where the directory
    // takes no temporary file an existing file is rewritten in place (its
    // old content written back if that fails); *way says which way.
    static bool saveFile(const QDomElement &allParams, const QString &fileName, QString *errorString,
                         AtomicFile::Way *way = nullptr);

    // Checks that fileName can be read, then restores the values from it with
    // the communication parameters kept. On failure the document is unchanged.
    // *faults (when given) gets one line per entry of the file that gave no
    // value of its own: an empty entry (the factory value was taken) or a
    // broken one; entries a save writes empty itself (read-only and polled
    // parameters, empty factory values, link settings) are not listed.
    static bool openFile(const QDomElement &allParams, const QString &fileName, QString *errorString,
                         QStringList *faults = nullptr);

    // An entry of the "hrc417" group whose text holds no usable value.
    struct EntryFault
    {
        int line = 0;  // from 1
        QString name;  // the parameter's namekavu
        bool empty = false; // empty (or ""); otherwise its quoting is broken
    };
    // The faulty entries of a configuration file, in file order; empty when
    // it cannot be read.
    static QVector<EntryFault> entryFaults(const QString &fileName);
    // "строка N: Name — пустое значение" / "— нарушены кавычки"
    static QString faultText(const EntryFault &fault);

    // The warnings the windows show (titled "Конфигуратор HRC417").
    static QString saveFailedText(const QString &fileName, const QString &errorString)
    {
        return tr("Ошибка записи файла %1:\n%2.").arg(fileName, errorString);
    }
    static QString openFailedText(const QString &fileName, const QString &errorString)
    {
        return tr("Ошибка чтение файла %1:\n%2.").arg(fileName, errorString);
    }

    // The last-configuration store: INI format, user scope, organisation
    // "KAVU/ConfigHrc417", application "Hrc417", UTF-8.
    static std::unique_ptr<QSettings> lastConfiguration();
    // Refreshes the store with every value (communication parameters too),
    // keeping its other settings; the file is written whole or not at all.
    // false with *errorString (when given) when it could not be written.
    static bool saveLastConfiguration(const QDomElement &allParams, QString *errorString = nullptr);
};
