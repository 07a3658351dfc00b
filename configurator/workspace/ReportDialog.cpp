#include "ReportDialog.h"

#include "ConfigStore.h"

#include <QComboBox>
#include <QDate>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>

namespace {
const QString kGroup = QStringLiteral("Report");
const QStringList kSuffixes{QStringLiteral("pdf"), QStringLiteral("html")};
} // namespace

ReportDialog::ReportDialog(Save s, QWidget *parent)
    : QDialog(parent)
    , save(std::move(s))
{
    setObjectName(QStringLiteral("ReportDialog"));
    setWindowTitle(tr("Отчёт"));
    plant = new QLineEdit(this);
    plant->setObjectName(QStringLiteral("plantEdit"));
    engineer = new QLineEdit(this);
    engineer->setObjectName(QStringLiteral("engineerEdit"));
    remark = new QPlainTextEdit(this);
    remark->setObjectName(QStringLiteral("remarkEdit"));
    remark->setTabChangesFocus(true);
    remark->setFixedHeight(70);
    format = new QComboBox(this);
    format->setObjectName(QStringLiteral("formatBox"));
    format->addItem(tr("PDF"), kSuffixes.at(0));
    format->addItem(tr("HTML"), kSuffixes.at(1));
    file = new QLineEdit(this);
    file->setObjectName(QStringLiteral("fileEdit"));
    auto *browseButton = new QPushButton(tr("Обзор…"), this);
    auto *fileRow = new QHBoxLayout;
    fileRow->addWidget(file, 1);
    fileRow->addWidget(browseButton);
    status = new QLabel(this);
    status->setObjectName(QStringLiteral("statusLabel"));
    status->setWordWrap(true);
    status->setStyleSheet(QStringLiteral("color: #b00000;"));

    auto *form = new QFormLayout;
    form->addRow(tr("Объект"), plant);
    form->addRow(tr("Инженер"), engineer);
    form->addRow(tr("Примечание"), remark);
    form->addRow(tr("Формат"), format);
    form->addRow(tr("Файл"), fileRow);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Save)->setText(tr("Сохранить"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Отмена"));
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(status);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &ReportDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ReportDialog::reject);
    connect(browseButton, &QPushButton::clicked, this, &ReportDialog::browse);
    connect(format, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &ReportDialog::matchSuffix);

    const std::unique_ptr<QSettings> settings = ConfigStore::lastConfiguration();
    settings->beginGroup(kGroup);
    plant->setText(settings->value(QStringLiteral("Plant")).toString());
    engineer->setText(settings->value(QStringLiteral("Engineer")).toString());
    remark->setPlainText(settings->value(QStringLiteral("Remark")).toString());
    format->setCurrentIndex(qMax(0, kSuffixes.indexOf(settings->value(QStringLiteral("Format")).toString())));
    const QString folder = settings->value(QStringLiteral("Folder"), QDir::homePath()).toString();
    file->setText(QDir(folder).filePath(tr("отчёт_%1").arg(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")))
                                        + QLatin1Char('.') + format->currentData().toString()));
    resize(520, sizeHint().height());
}

ReportPeople ReportDialog::people() const
{
    return ReportPeople{plant->text().trimmed(), engineer->text().trimmed(), remark->toPlainText().trimmed()};
}

QString ReportDialog::fileName() const
{
    return file->text().trimmed();
}

void ReportDialog::matchSuffix()
{
    const QFileInfo info(fileName());
    if (info.fileName().isEmpty())
        return;
    file->setText(info.dir().filePath(info.completeBaseName() + QLatin1Char('.') + format->currentData().toString()));
}

void ReportDialog::browse()
{
    const QString filter = format->currentIndex() == 0 ? tr("Отчёт PDF (*.pdf)") : tr("Отчёт HTML (*.html)");
    const QString chosen = QFileDialog::getSaveFileName(this, tr("Сохранить отчёт"), fileName(), filter);
    if (chosen.isEmpty())
        return;
    file->setText(chosen);
    matchSuffix();
}

void ReportDialog::accept()
{
    if (fileName().isEmpty()) {
        status->setText(tr("Укажите файл отчёта"));
        return;
    }
    matchSuffix();
    const QString error = save(people(), fileName());
    if (!error.isEmpty()) {
        status->setText(error);
        return;
    }
    const std::unique_ptr<QSettings> settings = ConfigStore::lastConfiguration();
    settings->beginGroup(kGroup);
    settings->setValue(QStringLiteral("Plant"), plant->text().trimmed());
    settings->setValue(QStringLiteral("Engineer"), engineer->text().trimmed());
    settings->setValue(QStringLiteral("Remark"), remark->toPlainText().trimmed());
    settings->setValue(QStringLiteral("Format"), format->currentData().toString());
    settings->setValue(QStringLiteral("Folder"), QFileInfo(fileName()).absolutePath());
    QDialog::accept();
}
