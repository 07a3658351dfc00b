#include "HrcMessageBox.h"

#include "ui_HrcMessageBox.h"

#include <QCoreApplication>

HrcMessageBox::HrcMessageBox(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::HrcMessageBox)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowTitle(tr("Конфигуратор HRC417"));
    setModal(true);
}

HrcMessageBox::~HrcMessageBox() = default;

void HrcMessageBox::showAbout()
{
    ui->label->setText(tr("О программе"));
    const QString version = QCoreApplication::applicationVersion();
    ui->textEdit->setPlainText(tr("Конфигуратор HRC417") + QLatin1Char('\n')
                               + tr("Версия %1").arg(version.isEmpty() ? QStringLiteral("1.0.0") : version)
                               + QStringLiteral("\n\n")
                               + tr("Настройка регулятора отопления HRC417 по последовательной линии "
                                    "(RS-232 или RS-485): чтение и запись параметров, файлы конфигураций, "
                                    "опрос оперативных параметров с журналом."));
    ui->bYes->hide();
    ui->bNo->hide();
    ui->pushButton->show();
    ui->pushButton->setDefault(true);
    accepted = false;
    show();
    ui->pushButton->setFocus();
}

void HrcMessageBox::showWarning()
{
    ui->label->setText(tr("Предупреждение"));
    ui->textEdit->clear();
    ui->textEdit->append(tr("Параметры прибора записанные ранее будут установлены в заводские настройки."));
    ui->bNo->show();
    ui->bYes->show();
    ui->pushButton->hide();
    // A destructive answer is never the default: Enter cancels, and only a
    // click on "Продолжить" (or Space on it) goes on.
    ui->bYes->setAutoDefault(false);
    ui->bYes->setDefault(false);
    ui->bNo->setDefault(true);
    accepted = false;
    show();
    ui->bNo->setFocus();
}

void HrcMessageBox::on_bYes_clicked()
{
    accepted = true;
    close();
    emit closeMessageBox();
}

void HrcMessageBox::on_bNo_clicked()
{
    accepted = false;
    close();
    emit closeMessageBox();
}

void HrcMessageBox::on_pushButton_clicked()
{
    close();
}
