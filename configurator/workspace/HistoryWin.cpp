#include "HistoryWin.h"

#include "CompareWin.h"
#include "HelpWin.h"
#include "HrcTree.h"
#include "HrcTreeWin.h"
#include "ValueCodec.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

HistoryWin::HistoryWin(HrcTreeWin *ownerWindow)
    : QWidget(ownerWindow, Qt::Window)
    , owner(ownerWindow)
    , paramTree(ownerWindow->tree())
{
    setObjectName(QStringLiteral("historyWin"));
    setWindowTitle(tr("История резервных копий"));
    devices = new QComboBox(this);
    devices->setObjectName(QStringLiteral("historyDevice"));
    devices->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    rows = new QTreeWidget(this);
    rows->setObjectName(QStringLiteral("historyRows"));
    rows->setRootIsDecorated(false);
    rows->setSelectionMode(QAbstractItemView::ExtendedSelection);
    rows->setHeaderLabels({tr("Время"), tr("Действие"), tr("Прибор"), tr("Изменено значений")});
    rows->setColumnWidth(TimeColumn, 170);
    rows->setColumnWidth(ActionColumn, 320);
    rows->setColumnWidth(DeviceColumn, 250);
    compare = new QPushButton(tr("Сравнить"), this);
    compare->setObjectName(QStringLiteral("historyCompare"));
    compare->setToolTip(tr("Две выбранные копии между собой, одну — с документом"));
    restore = new QPushButton(tr("Восстановить…"), this);
    restore->setObjectName(QStringLiteral("historyRestore"));
    hint = HelpWin::addEmptyHint(rows->viewport());
    auto *again = new QPushButton(tr("Обновить"), this);
    again->setObjectName(QStringLiteral("historyRefresh"));
    auto *close = new QPushButton(tr("Закрыть"), this);

    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(tr("Прибор:"), this));
    top->addWidget(devices);
    top->addStretch(1);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(compare);
    bottom->addWidget(restore);
    bottom->addWidget(again);
    bottom->addStretch(1);
    bottom->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(rows, 1);
    layout->addLayout(bottom);

    connect(devices, QOverload<int>::of(&QComboBox::activated), this, [this](int) { fillRows(); });
    connect(compare, &QPushButton::clicked, this, &HistoryWin::compareSelected);
    connect(restore, &QPushButton::clicked, this, &HistoryWin::restoreSelected);
    connect(again, &QPushButton::clicked, this, &HistoryWin::refresh);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    HelpWin::installWindowKeys(this, QStringLiteral("12-history.html"));
    connect(rows, &QTreeWidget::itemSelectionChanged, this, [this]() {
        const int selected = rows->selectedItems().size();
        compare->setEnabled(selected == 1 || selected == 2);
        restore->setEnabled(selected == 1);
    });
    resize(960, 480);
    refresh();
}

QString HistoryWin::actionText(const QString &action)
{
    static const QHash<QString, const char *> texts = {
        {QStringLiteral("read"), QT_TRANSLATE_NOOP("HistoryWin", "После чтения всех параметров")},
        {QStringLiteral("write"), QT_TRANSLATE_NOOP("HistoryWin", "Перед записью всех параметров")},
        {QStringLiteral("write-changed"), QT_TRANSLATE_NOOP("HistoryWin", "Перед записью измененных параметров")},
        {QStringLiteral("write-branch"), QT_TRANSLATE_NOOP("HistoryWin", "Перед записью ветви")},
        {QStringLiteral("write-one"), QT_TRANSLATE_NOOP("HistoryWin", "Перед записью параметра")},
        {QStringLiteral("factory"), QT_TRANSLATE_NOOP("HistoryWin", "Перед записью заводских значений")},
        {QStringLiteral("init"), QT_TRANSLATE_NOOP("HistoryWin", "Перед инициализацией прибора")},
        {QStringLiteral("restore"), QT_TRANSLATE_NOOP("HistoryWin", "Перед восстановлением")},
    };
    const char *text = texts.value(action);
    return text ? tr(text) : action;
}

void HistoryWin::refresh()
{
    const QString current = BackupStore::deviceFolder(paramTree->documentModel());
    const QString chosen = devices->count() > 0 ? devices->currentData().toString() : current;
    devices->clear();
    devices->addItem(tr("Все приборы"), QString());
    QStringList folders = BackupStore::devices();
    if (!folders.contains(current))
        folders.prepend(current);
    for (const QString &folder : folders)
        devices->addItem(folder == current ? tr("%1 (подключенный)").arg(folder) : folder, folder);
    devices->setCurrentIndex(qMax(0, devices->findData(chosen)));
    fillRows();
}

void HistoryWin::fillRows()
{
    entries = BackupStore::list(devices->currentData().toString());
    rows->clear();
    HrcDocument &model = paramTree->documentModel();
    // Each backup against the one before it of the same device (the list is
    // newest first, so the one before comes later).
    QHash<QString, BackupStore::Values> loaded;
    auto valuesOf = [&](const QString &path) {
        if (!loaded.contains(path)) {
            BackupStore::Values values;
            QString error;
            BackupStore::load(path, &values, &error);
            loaded.insert(path, values);
        }
        return loaded.value(path);
    };
    for (int i = 0; i < entries.size(); ++i) {
        const BackupStore::Entry &entry = entries.at(i);
        auto *item = new QTreeWidgetItem(rows);
        item->setText(TimeColumn, entry.stamp.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")));
        item->setText(ActionColumn, actionText(entry.action));
        item->setText(DeviceColumn, entry.device);
        item->setToolTip(TimeColumn, entry.path);
        item->setData(TimeColumn, Qt::UserRole, i);
        int before = -1;
        for (int j = i + 1; j < entries.size() && before < 0; ++j) {
            if (entries.at(j).device == entry.device)
                before = j;
        }
        if (before < 0) {
            item->setText(ChangedColumn, QStringLiteral("—"));
            continue;
        }
        const BackupStore::Values now = valuesOf(entry.path);
        const BackupStore::Values then = valuesOf(entries.at(before).path);
        int changed = 0;
        for (auto it = now.cbegin(); it != now.cend(); ++it) {
            const QDomElement parameter = model.findParameter(it.key());
            // The clock and read-only values change by themselves: not counted.
            if (then.contains(it.key()) && !parameter.isNull() && HrcDocument::isCompared(parameter)
                && !ValueCodec::sameText(model.spec(parameter), it.value(), then.value(it.key())))
                ++changed;
        }
        item->setText(ChangedColumn, QString::number(changed));
    }
    compare->setEnabled(false);
    restore->setEnabled(false);

    hint->setVisible(entries.isEmpty());
    if (!entries.isEmpty())
        return;
    if (!devices->currentData().toString().isEmpty() && !BackupStore::list().isEmpty())
        hint->setText(tr("У этого прибора резервных копий пока нет.\n\nВыберите «Все приборы» в списке «Прибор:», "
                         "чтобы увидеть копии других приборов."));
    else
        hint->setText(tr("Резервных копий пока нет.\n\nПрограмма сама сохраняет копию параметров прибора после "
                         "каждого чтения всех параметров и перед каждой записью в прибор. Прочитайте все параметры "
                         "прибора и нажмите «Обновить».\n\nF1 — справка по истории."));
}

QVector<BackupStore::Entry> HistoryWin::selectedEntries() const
{
    QVector<BackupStore::Entry> chosen;
    for (int i = 0; i < rows->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = rows->topLevelItem(i);
        if (item->isSelected())
            chosen << entries.value(item->data(TimeColumn, Qt::UserRole).toInt());
    }
    return chosen;
}

void HistoryWin::compareSelected()
{
    const QVector<BackupStore::Entry> chosen = selectedEntries();
    if (chosen.isEmpty() || chosen.size() > 2)
        return;
    CompareWin *window = owner->compareWindow();
    // The older of two in the device's column, the newer in the file's.
    const BackupStore::Entry &newer = chosen.first();
    QString error;
    BackupStore::Values values;
    if (!BackupStore::load(newer.path, &values, &error)) {
        QMessageBox::warning(this, tr("Конфигуратор HRC417"), tr("Ошибка чтение файла %1:\n%2.").arg(newer.path, error));
        return;
    }
    const auto title = [](const BackupStore::Entry &e) {
        return tr("Копия %1").arg(e.stamp.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")));
    };
    window->setSource(CompareWin::FileColumn, title(newer), values);
    if (chosen.size() == 2) {
        const BackupStore::Entry &older = chosen.last();
        if (!BackupStore::load(older.path, &values, &error)) {
            QMessageBox::warning(this, tr("Конфигуратор HRC417"), tr("Ошибка чтение файла %1:\n%2.").arg(older.path, error));
            return;
        }
        window->setSource(CompareWin::DeviceColumn, title(older), values);
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void HistoryWin::restoreSelected()
{
    const QVector<BackupStore::Entry> chosen = selectedEntries();
    if (chosen.size() != 1)
        return;
    compareSelected();
    CompareWin *window = owner->compareWindow();
    // Every value of the backup that differs from the document is ticked,
    // ready to be taken and reviewed.
    window->takeFromBox()->setCurrentIndex(window->takeFromBox()->findData(int(CompareWin::FileColumn)));
    window->filterEdit()->clear();
    window->onlyDifferencesBox()->setChecked(true);
    window->tickDiffering(CompareWin::FileColumn);
}
