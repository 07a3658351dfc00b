#include "DeviceBackup.h"

#include "BackupStore.h"
#include "HrcDocument.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

namespace {
bool failureSaid = false;
} // namespace

void DeviceBackup::save(const HrcDocument &document, const QString &action, QWidget *window)
{
    BackupStore::saveLater(BackupStore::deviceFolder(document), action,
                           BackupStore::deviceValues(document.allParams()), window, [window](const QString &reason) {
                               if (failureSaid)
                                   return;
                               failureSaid = true;
                               // Not modal: the job goes on while it is shown.
                               auto *box = new QMessageBox(QMessageBox::Warning, QCoreApplication::translate("HrcTreeWin", "Конфигуратор HRC417"),
                                                           BackupStore::failedText(reason), QMessageBox::Ok, window);
                               box->setObjectName(QStringLiteral("backupFailedBox"));
                               box->setAttribute(Qt::WA_DeleteOnClose);
                               box->setModal(false);
                               box->show();
                           });
}
