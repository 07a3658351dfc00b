#pragma once

#include "BackupStore.h"

#include <QWidget>

class HrcTree;
class HrcTreeWin;
class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;

// The automatic backups of the connected device (or of any device), newest
// first, each with its time, the action it was made for and how many values
// differ from the backup before it. Two of them can be compared in the
// compare window; one restored: the compare window opens with its values
// ticked, to be taken as changes and written.
class HistoryWin : public QWidget
{
    Q_OBJECT

public:
    enum Column { TimeColumn = 0, ActionColumn, DeviceColumn, ChangedColumn, ColumnCount };

    explicit HistoryWin(HrcTreeWin *owner);

    HrcTree *tree() const { return paramTree; }
    QTreeWidget *table() const { return rows; }
    QComboBox *deviceBox() const { return devices; }
    QPushButton *compareButton() const { return compare; }
    QPushButton *restoreButton() const { return restore; }
    // Over the list while it is empty: when backups are made, and where
    // other devices' backups are.
    QLabel *emptyHint() const { return hint; }

    // The action as the list shows it.
    static QString actionText(const QString &action);

public slots:
    // Lists the backups again (the device list too).
    void refresh();
    void compareSelected();
    void restoreSelected();

private:
    void fillRows();
    QVector<BackupStore::Entry> selectedEntries() const;

    HrcTreeWin *owner;
    HrcTree *paramTree;
    QComboBox *devices;
    QTreeWidget *rows;
    QPushButton *compare;
    QPushButton *restore;
    QLabel *hint;
    QVector<BackupStore::Entry> entries;
};
