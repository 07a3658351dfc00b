#include "FlyTranslator.h"

#include <QMessageBox>

FlyTranslator::FlyTranslator(QObject *parent, const QString &languageDir)
    : LanguageTranslator(parent, languageDir, [](const QString &fileName, const QString &message) {
          QMessageBox::information(nullptr, tr("Файл перевода %1").arg(fileName), message, QMessageBox::Ok);
      })
{
}
