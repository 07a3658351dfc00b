#include "ConfigFileDialog.h"

#include <QDir>
#include <QFileDialog>

QString ConfigFileDialog::saveFileName(QWidget *parent, const QString &caption, const QString &filter)
{
    QFileDialog dialog(parent, caption, QDir::homePath(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("hrc417"));
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.first();
}
