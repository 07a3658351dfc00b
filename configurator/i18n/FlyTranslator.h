#pragma once

#include "LanguageTranslator.h"

// The configurator's translator: the language files of LanguageTranslator,
// with a message box for a language file that cannot be parsed.
class FlyTranslator : public LanguageTranslator
{
    Q_OBJECT
public:
    // Scans languageDir (empty: defaultLanguageDir()), installs itself and
    // loads the start-up language.
    explicit FlyTranslator(QObject *parent = nullptr, const QString &languageDir = QString());
};
