// The main window's configuration files: open one into the document (its
// values become changes to write) and save the document as one.
#include "HrcTreeWin.h"

#include "ConfigFileDialog.h"
#include "ConfigStore.h"
#include "HrcLog.h"
#include "HrcTree.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

void HrcTreeWin::on_toolButton_2_clicked()
{
    if (isJobRunning())
        return;
    const QString fileName = QFileDialog::getOpenFileName(this, tr("Отрыть файл конфигурации"), QDir::homePath(),
                                                          tr("Файлы конфигураций Каву (*.hrc417)"));
    if (!fileName.isEmpty())
        openConfigFile(fileName);
}

bool HrcTreeWin::openConfigFile(const QString &fileName)
{
    if (isJobRunning())
        return false;
    const QDomElement allParams = paramTree->documentModel().allParams();
    QString error;
    paramTree->collapseAll();
    QStringList faults;
    if (!ConfigStore::openFile(allParams, fileName, &error, &faults)) {
        QMessageBox::warning(this, tr("Конфигуратор HRC417"), tr("Ошибка чтение файла %1:\n%2.").arg(fileName, error),
                             QMessageBox::Ok);
        return false;
    }
    // The rebuilt tree has every polling box cleared, which stops polling;
    // the monitor stays ready, so ticking a box afterwards polls again.
    paramTree->buildTree();
    paramTree->setColourByNames(QString::fromLatin1(HrcDocument::allSets), HrcTree::changedColour());
    // Entries that gave no value of their own: the engineer should know
    // which loaded values did not come from the file.
    if (!faults.isEmpty()) {
        QMessageBox box(QMessageBox::Warning, tr("Конфигуратор HRC417"),
                        tr("Файл %1 открыт, но не все значения взяты из него: для пустых записей взяты "
                           "заводские значения, записи с нарушенными кавычками прочитаны как есть.\n\n%2")
                            .arg(QDir::toNativeSeparators(fileName), faults.join(QLatin1Char('\n'))),
                        QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("openFaultsBox"));
        box.exec();
    }
    return true;
}

void HrcTreeWin::on_toolButton_3_clicked()
{
    if (isJobRunning())
        return;
    const QString fileName =
        ConfigFileDialog::saveFileName(this, tr("Сохранить файл конфигурации"), tr("Файлы HRC417 (*.hrc417)"));
    if (fileName.isEmpty())
        return;
    const QDomElement allParams = paramTree->documentModel().allParams();
    QString error;
    if (!ConfigStore::saveFile(allParams, fileName, &error)) {
        QMessageBox::warning(this, tr("Конфигуратор HRC417"), tr("Ошибка записи файла %1:\n%2.").arg(fileName, error),
                             QMessageBox::Ok);
        return;
    }
    if (!ConfigStore::saveLastConfiguration(allParams))
        qCDebug(lcWorkspace) << "the last-configuration store could not be written";
}
