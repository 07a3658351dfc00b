#include "CompareWin.h"

#include "HelpWin.h"
#include "HrcTree.h"
#include "HrcTreeWin.h"
#include "HrcTreeWorkers.h"
#include "KavuIOhelper.h"
#include "ValueCodec.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString kNamekavu = QStringLiteral("namekavu");
const QString kValue = QStringLiteral("value");

template <typename Visit>
void forEachCompared(const QDomElement &start, Visit visit)
{
    for (QDomElement child = start.firstChildElement(); !child.isNull(); child = child.nextSiblingElement()) {
        if (HrcDocument::isSet(child))
            forEachCompared(child, visit);
        else if (HrcDocument::isParameter(child) && HrcDocument::isCompared(child))
            visit(child);
    }
}

} // namespace

CompareWin::CompareWin(HrcTreeWin *ownerWindow)
    : QWidget(ownerWindow, Qt::Window)
    , owner(ownerWindow)
    , paramTree(ownerWindow->tree())
{
    setObjectName(QStringLiteral("compareWin"));
    setWindowTitle(tr("Сравнение параметров"));
    titles[DocumentColumn] = tr("Документ");
    titles[FileColumn] = tr("Файл");
    titles[FactoryColumn] = tr("Заводские");

    readButton = new QPushButton(tr("Прочитать из прибора"), this);
    readButton->setObjectName(QStringLiteral("readDeviceButton"));
    fileButton = new QPushButton(tr("Открыть файл…"), this);
    fileButton->setObjectName(QStringLiteral("openFileButton"));
    filter = new QLineEdit(this);
    filter->setObjectName(QStringLiteral("compareFilter"));
    filter->setPlaceholderText(tr("Фильтр по названию или имени"));
    filter->setClearButtonEnabled(true);
    onlyDifferences = new QCheckBox(tr("Только различия"), this);
    onlyDifferences->setObjectName(QStringLiteral("onlyDifferences"));
    onlyDifferences->setChecked(true);

    rows = new QTreeWidget(this);
    rows->setObjectName(QStringLiteral("compareRows"));
    rows->setColumnCount(ColumnCount);
    rows->setRootIsDecorated(false);
    rows->setUniformRowHeights(true);
    rows->setAlternatingRowColors(true);
    rows->header()->setSectionResizeMode(QHeaderView::Interactive);
    rows->setColumnWidth(NameColumn, 330);
    rows->setColumnWidth(KeyColumn, 80);
    for (int c = DocumentColumn; c < ColumnCount; ++c)
        rows->setColumnWidth(c, 130);

    takeFrom = new QComboBox(this);
    takeFrom->setObjectName(QStringLiteral("takeFrom"));
    auto *tickAll = new QPushButton(tr("Отметить различия"), this);
    tickAll->setObjectName(QStringLiteral("tickDiffering"));
    auto *untick = new QPushButton(tr("Снять отметки"), this);
    takeButton = new QPushButton(tr("Взять отмеченные значения"), this);
    takeButton->setObjectName(QStringLiteral("takeButton"));
    auto *close = new QPushButton(tr("Закрыть"), this);
    status = new QLabel(this);
    status->setObjectName(QStringLiteral("compareStatus"));
    hint = HelpWin::addEmptyHint(rows->viewport());

    auto *top = new QHBoxLayout;
    top->addWidget(readButton);
    top->addWidget(fileButton);
    top->addWidget(filter, 1);
    top->addWidget(onlyDifferences);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel(tr("Взять значения из:"), this));
    bottom->addWidget(takeFrom);
    bottom->addWidget(tickAll);
    bottom->addWidget(untick);
    bottom->addWidget(takeButton);
    bottom->addStretch(1);
    bottom->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(rows, 1);
    layout->addWidget(status);
    layout->addLayout(bottom);

    connect(readButton, &QPushButton::clicked, this, &CompareWin::readDeviceNow);
    connect(fileButton, &QPushButton::clicked, this, &CompareWin::pickFile);
    connect(filter, &QLineEdit::textChanged, this, &CompareWin::applyFilter);
    connect(onlyDifferences, &QCheckBox::toggled, this, &CompareWin::applyFilter);
    connect(tickAll, &QPushButton::clicked, this, [this]() { tickDiffering(Column(takeFrom->currentData().toInt())); });
    connect(untick, &QPushButton::clicked, this, [this]() {
        for (int i = 0; i < rows->topLevelItemCount(); ++i)
            rows->topLevelItem(i)->setCheckState(NameColumn, Qt::Unchecked);
    });
    connect(takeButton, &QPushButton::clicked, this, [this]() { takeTicked(); });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    HelpWin::installWindowKeys(this, QStringLiteral("11-compare.html"));
    // After every job of the main window the device's last values may have
    // changed, and the document's changes too.
    connect(owner->workers()->ioHelper(), &KavuIOhelper::kavuIOFinished, this, [this]() {
        if (deviceIsLastRead)
            showDeviceLastRead();
        else
            refresh();
    });
    connect(owner, &HrcTreeWin::deviceReadKeepingDocument, this, [this](bool) {
        readButton->setEnabled(true);
        showDeviceLastRead();
    });

    // Factory values: the description's own.
    forEachCompared(paramTree->documentModel().allParams(), [&](const QDomElement &p) {
        if (p.hasAttribute(QStringLiteral("defaultvalue")))
            sources[FactoryColumn].insert(p.attribute(kNamekavu), p.attribute(QStringLiteral("defaultvalue")));
    });
    showDeviceLastRead();
    resize(1100, 640);
}

void CompareWin::showDeviceLastRead()
{
    deviceIsLastRead = true;
    titles[DeviceColumn] = tr("Прибор");
    sources[DeviceColumn] = BackupStore::deviceValues(paramTree->documentModel().allParams());
    refresh();
}

void CompareWin::setSource(Column column, const QString &title, const BackupStore::Values &values)
{
    if (column == DeviceColumn)
        deviceIsLastRead = false;
    titles[column] = title;
    sources[column] = values;
    refresh();
}

bool CompareWin::loadFile(Column column, const QString &path, QString *errorString)
{
    BackupStore::Values values;
    if (!BackupStore::load(path, &values, errorString))
        return false;
    setSource(column, QFileInfo(path).fileName(), values);
    return true;
}

void CompareWin::readDeviceNow()
{
    if (owner->isJobRunning())
        return;
    readButton->setEnabled(false);
    owner->readDeviceKeepingDocument();
}

void CompareWin::pickFile()
{
    const QString fileName = QFileDialog::getOpenFileName(this, tr("Отрыть файл конфигурации"), QDir::homePath(),
                                                          tr("Файлы конфигураций Каву (*.hrc417)"));
    if (fileName.isEmpty())
        return;
    QString error;
    if (!loadFile(FileColumn, fileName, &error))
        QMessageBox::warning(this, tr("Конфигуратор HRC417"), tr("Ошибка чтение файла %1:\n%2.").arg(fileName, error));
}

QString CompareWin::cellText(const QDomElement &parameter, const QString &value) const
{
    if (value.isEmpty())
        return QString();
    QDomElement shown = parameter.cloneNode(false).toElement();
    shown.setAttribute(kValue, value);
    return paramTree->displayText(shown);
}

bool CompareWin::hasValue(Column column, const QString &name) const
{
    return column == DocumentColumn || sources[column].contains(name);
}

QString CompareWin::valueOf(Column column, const QString &name) const
{
    if (column == DocumentColumn)
        return paramTree->documentModel().findParameter(name).attribute(kValue);
    return sources[column].value(name);
}

bool CompareWin::differs(Column column, const QString &name) const
{
    if (column == DocumentColumn) {
        const QTreeWidgetItem *item = paramTree->findItem(name);
        return item && HrcTree::isChangedItem(item);
    }
    if (!hasValue(column, name))
        return false;
    const QDomElement parameter = paramTree->documentModel().findParameter(name);
    return !ValueCodec::sameText(paramTree->documentModel().spec(parameter), valueOf(DocumentColumn, name), valueOf(column, name));
}

void CompareWin::refresh()
{
    const int chosen = takeFrom->currentIndex() >= 0 ? takeFrom->currentData().toInt() : int(DeviceColumn);
    takeFrom->clear();
    for (int c = DeviceColumn; c < ColumnCount; ++c)
        takeFrom->addItem(titles[c], c);
    takeFrom->setCurrentIndex(qMax(0, takeFrom->findData(chosen)));
    buildRows();
}

void CompareWin::buildRows()
{
    QHash<QString, bool> ticked;
    for (int i = 0; i < rows->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = rows->topLevelItem(i);
        ticked.insert(item->text(KeyColumn), item->checkState(NameColumn) == Qt::Checked);
    }
    rows->clear();
    forEachCompared(paramTree->documentModel().allParams(), [&](const QDomElement &p) {
        const QString name = p.attribute(kNamekavu);
        auto *item = new QTreeWidgetItem(rows);
        item->setText(NameColumn, HrcDocument::translated(p.attribute(QStringLiteral("label"))));
        item->setText(KeyColumn, name);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(NameColumn, ticked.value(name) ? Qt::Checked : Qt::Unchecked);
        bool anyDifference = false;
        for (int c = DocumentColumn; c < ColumnCount; ++c) {
            const Column column = Column(c);
            item->setText(c, hasValue(column, name) ? cellText(p, valueOf(column, name)) : QStringLiteral("—"));
            if (differs(column, name)) {
                anyDifference = true;
                QFont bold = item->font(c);
                bold.setBold(true);
                item->setFont(c, bold);
                item->setForeground(c, c == DocumentColumn ? HrcTree::changedColour() : QColor(Qt::darkRed));
            }
        }
        item->setData(NameColumn, Qt::UserRole, anyDifference);
    });
    applyFilter();
}

void CompareWin::applyFilter()
{
    const QString text = filter->text().trimmed();
    for (int i = 0; i < rows->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = rows->topLevelItem(i);
        const bool matches = text.isEmpty() || item->text(NameColumn).contains(text, Qt::CaseInsensitive)
                             || item->text(KeyColumn).contains(text, Qt::CaseInsensitive);
        const bool shown = matches && (!onlyDifferences->isChecked() || item->data(NameColumn, Qt::UserRole).toBool());
        item->setHidden(!shown);
    }
    updateHeader();
    updateHint();
}

void CompareWin::updateHint()
{
    const QString text = filter->text().trimmed();
    const auto anyMatches = [this, &text]() {
        for (int i = 0; i < rows->topLevelItemCount(); ++i) {
            const QTreeWidgetItem *item = rows->topLevelItem(i);
            if (item->text(NameColumn).contains(text, Qt::CaseInsensitive)
                || item->text(KeyColumn).contains(text, Qt::CaseInsensitive))
                return true;
        }
        return false;
    };
    for (int i = 0; i < rows->topLevelItemCount(); ++i) {
        if (!rows->topLevelItem(i)->isHidden()) {
            hint->hide();
            return;
        }
    }
    // Nothing shown: the factory values are always there, so either nothing
    // else was brought in, or every source agrees, or the filter leaves none.
    if (sources[DeviceColumn].isEmpty() && sources[FileColumn].isEmpty())
        hint->setText(tr("Не с чем сравнивать: значения прибора не прочитаны и файл не открыт.\n\nНажмите "
                         "«Прочитать из прибора», чтобы прочитать все параметры (значения документа останутся как "
                         "были), или «Открыть файл…», чтобы сравнить с файлом конфигурации.\n\nF1 — справка по "
                         "сравнению."));
    else if (!text.isEmpty() && !anyMatches())
        hint->setText(tr("Нет параметров, в названии или имени которых есть «%1».").arg(text));
    else
        hint->setText(tr("Различий нет: документ совпадает со всеми источниками.\n\nСнимите флажок «Только различия», "
                         "чтобы увидеть все параметры."));
    hint->show();
}

int CompareWin::differenceCount(Column column) const
{
    int count = 0;
    for (int i = 0; i < rows->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = rows->topLevelItem(i);
        if (!item->isHidden() && differs(column, item->text(KeyColumn)))
            ++count;
    }
    return count;
}

void CompareWin::updateHeader()
{
    QStringList labels = {tr("Параметр"), tr("Имя")};
    for (int c = DocumentColumn; c < ColumnCount; ++c) {
        const bool empty = c != DocumentColumn && sources[c].isEmpty();
        labels << (empty ? titles[c] : QStringLiteral("%1 (%2)").arg(titles[c]).arg(differenceCount(Column(c))));
    }
    rows->setHeaderLabels(labels);
    for (int c = DocumentColumn; c < ColumnCount; ++c)
        rows->resizeColumnToContents(c);
    int shown = 0;
    for (int i = 0; i < rows->topLevelItemCount(); ++i)
        shown += rows->topLevelItem(i)->isHidden() ? 0 : 1;
    QString text = tr("Показано строк: %1 из %2").arg(shown).arg(rows->topLevelItemCount());
    if (deviceIsLastRead && sources[DeviceColumn].isEmpty())
        text += QStringLiteral(". ") + tr("Значения прибора не прочитаны");
    status->setText(text);
}

QTreeWidgetItem *CompareWin::row(const QString &name) const
{
    for (int i = 0; i < rows->topLevelItemCount(); ++i) {
        if (rows->topLevelItem(i)->text(KeyColumn) == name)
            return rows->topLevelItem(i);
    }
    return nullptr;
}

void CompareWin::tickDiffering(Column column)
{
    for (int i = 0; i < rows->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = rows->topLevelItem(i);
        if (!item->isHidden() && differs(column, item->text(KeyColumn)))
            item->setCheckState(NameColumn, Qt::Checked);
    }
}

int CompareWin::takeTicked()
{
    if (owner->isJobRunning())
        return 0;
    const Column column = Column(takeFrom->currentData().toInt());
    HrcDocument &model = paramTree->documentModel();
    int taken = 0;
    for (int i = 0; i < rows->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = rows->topLevelItem(i);
        const QString name = item->text(KeyColumn);
        if (item->isHidden() || item->checkState(NameColumn) != Qt::Checked || !differs(column, name))
            continue;
        QDomElement parameter = model.findParameter(name);
        const QString value = valueOf(column, name);
        // The value before stays for undo; the new one shows as changed.
        parameter.setAttribute(QStringLiteral("undoValue"), parameter.attribute(kValue));
        if (QTreeWidgetItem *treeItem = paramTree->findItem(name))
            paramTree->updateItems(treeItem, value, HrcTree::Highlight | HrcTree::SourceIsValue | HrcTree::IncludeLocal);
        else
            parameter.setAttribute(kValue, value);
        item->setCheckState(NameColumn, Qt::Unchecked);
        ++taken;
    }
    buildRows();
    status->setText(status->text() + QStringLiteral(". ")
                    + tr("Взято значений: %1. Запишите их командой «Записать только измененные параметры».").arg(taken));
    return taken;
}
