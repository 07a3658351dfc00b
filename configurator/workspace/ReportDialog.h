#pragma once

#include "ReportBuilder.h"

#include <QDialog>

#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

// The "Отчёт…" dialog: plant, engineer and remark (remembered for the next
// report), PDF or HTML, and the file. "Сохранить" hands them to save, which
// returns "" when the report was written or the reason it was not; the
// dialog closes only on success.
class ReportDialog : public QDialog
{
    Q_OBJECT

public:
    using Save = std::function<QString(const ReportPeople &people, const QString &fileName)>;

    ReportDialog(Save save, QWidget *parent = nullptr);

    ReportPeople people() const;
    QString fileName() const;
    QLineEdit *plantEdit() const { return plant; }
    QLineEdit *engineerEdit() const { return engineer; }
    QPlainTextEdit *remarkEdit() const { return remark; }
    QComboBox *formatBox() const { return format; }
    QLineEdit *fileEdit() const { return file; }
    QLabel *statusLabel() const { return status; }

public slots:
    void accept() override;

private:
    void browse();
    void matchSuffix();

    Save save;
    QLineEdit *plant = nullptr;
    QLineEdit *engineer = nullptr;
    QPlainTextEdit *remark = nullptr;
    QComboBox *format = nullptr;
    QLineEdit *file = nullptr;
    QLabel *status = nullptr;
};
