#include "LogFileNameEditor.h"

#include "ui_LogFileNameEditor.h"

#include <QDir>
#include <QFileDialog>

LogFileNameEditor::LogFileNameEditor(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::LogFileNameEditor)
{
    ui->setupUi(this);
    setAutoFillBackground(true);
    setFocusProxy(ui->lineEdit);
}

LogFileNameEditor::~LogFileNameEditor() = default;

QString LogFileNameEditor::text() const
{
    return ui->lineEdit->text();
}

void LogFileNameEditor::setText(const QString &text)
{
    ui->lineEdit->setText(text);
}

QLineEdit *LogFileNameEditor::lineEdit() const
{
    return ui->lineEdit;
}

void LogFileNameEditor::on_pushButton_clicked()
{
    const QString name = QFileDialog::getSaveFileName(this, tr("Выберите файл журнала"), QDir::homePath(),
                                                      tr("Все файлы (*.*)"));
    if (!name.isEmpty())
        ui->lineEdit->setText(name);
}
