// The main window's "Отчёт…": the visit record laid out as a report, saved
// where the engineer chose and beside the device's backups.
#include "HrcTreeWin.h"

#include "CommSettings.h"
#include "HrcTree.h"
#include "ReportBuilder.h"
#include "ReportDialog.h"
#include "ReportWriter.h"
#include "VisitLog.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

void HrcTreeWin::showReportDialog()
{
    HrcDocument model(document);
    QString besideBackups;
    ReportDialog dialog(
        [&](const ReportPeople &people, const QString &fileName) {
            const ReportWriter writer(ReportBuilder::fromVisit(model, *visitLog, people));
            QString error;
            if (!writer.write(fileName, &error))
                return tr("Отчёт не сохранён в %1: %2").arg(QDir::toNativeSeparators(fileName), error);
            // Beside the backups of the device the visit reached; none offline.
            const VisitLog::Entry dev = visitLog->entry(QStringLiteral("Dev"));
            if (dev.known) {
                const QString folder = ReportBuilder::backupFolder(ReportBuilder::deviceFolderName(
                    dev.deviceValue, visitLog->entry(QStringLiteral("ver")).deviceValue,
                    CommSettings::fromDocument(model).address, CommSettings::fromDocument(model).port));
                besideBackups = QDir(folder).filePath(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"))
                                                      + QStringLiteral("_report.") + QFileInfo(fileName).suffix());
                if (!QDir().mkpath(folder) || !writer.write(besideBackups, &error))
                    besideBackups = tr("не удалось: %1").arg(error.isEmpty() ? folder : error);
            }
            return QString();
        },
        this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    QString said = tr("Отчёт сохранён: %1").arg(QDir::toNativeSeparators(dialog.fileName()));
    if (!besideBackups.isEmpty())
        said += QLatin1Char('\n') + tr("Копия рядом с резервными копиями прибора: %1").arg(QDir::toNativeSeparators(besideBackups));
    QMessageBox::information(this, tr("Отчёт"), said);
}
