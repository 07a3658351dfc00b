#include "DeviceBackup.h"

#include "BackupStore.h"
#include "HrcDocument.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

namespace {
bool failureSaid = false;
bool cleanupFailureSaid = false;

// A note beside the window, once: the job goes on while it is shown.
void tellOnce(bool &said, QWidget *window, const QString &objectName, const QString &text)
{
    if (said)
        return;
    said = true;
    auto *box = new QMessageBox(QMessageBox::Warning, QCoreApplication::translate("HrcTreeWin", "Конфигуратор HRC417"),
                                text, QMessageBox::Ok, window);
    box->setObjectName(objectName);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}
} // namespace

void DeviceBackup::save(const HrcDocument &document, const QString &action, QWidget *window)
{
    BackupStore::saveLater(BackupStore::deviceFolder(document), action,
                           BackupStore::deviceValues(document.allParams()), window,
                           [window](const QString &reason) {
                               tellOnce(failureSaid, window, QStringLiteral("backupFailedBox"),
                                        BackupStore::failedText(reason));
                           },
                           [window](const QString &reason) {
                               tellOnce(cleanupFailureSaid, window, QStringLiteral("backupCleanupFailedBox"),
                                        BackupStore::cleanupFailedText(reason));
                           });
}
