#pragma once

#include "BackupStore.h"

#include <QDomElement>
#include <QWidget>

class HrcTree;
class HrcTreeWin;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// Compares the document's values with up to three other sources: the device
// (its last read, or read now), a configuration file (or a backup) and the
// factory values. One row per device setting; polled values, read-only ones
// and the clock are left out. The engineer ticks rows and takes the values of
// one column: they become changes of the document (changed colour, the value
// before kept for undo), to be written by the usual write commands.
class CompareWin : public QWidget
{
    Q_OBJECT

public:
    enum Column { NameColumn = 0, KeyColumn, DocumentColumn, DeviceColumn, FileColumn, FactoryColumn, ColumnCount };

    explicit CompareWin(HrcTreeWin *owner);

    HrcTree *tree() const { return paramTree; }
    QTreeWidget *table() const { return rows; }
    QLineEdit *filterEdit() const { return filter; }
    QCheckBox *onlyDifferencesBox() const { return onlyDifferences; }
    QComboBox *takeFromBox() const { return takeFrom; }
    // Over the table while it shows no row: why, and what gives it rows.
    QLabel *emptyHint() const { return hint; }


    // Sources. The device column is the device's last read unless another
    // set of values (a backup) is put there; empty values clear a column.
    void showDeviceLastRead();
    void setSource(Column column, const QString &title, const BackupStore::Values &values);
    bool loadFile(Column column, const QString &path, QString *errorString);
    // Reads the device through the main window, the document kept.
    void readDeviceNow();

    // Rows whose value in column differs from the document's (among the
    // rows the filter lets through); for the document column the rows it
    // has changed.
    int differenceCount(Column column) const;
    QTreeWidgetItem *row(const QString &name) const;
    // Ticks every visible row that differs in column.
    void tickDiffering(Column column);
    // Takes the chosen column's values of the ticked rows into the document;
    // returns how many values changed.
    int takeTicked();

public slots:
    void refresh();

private slots:
    void pickFile();
    void applyFilter();

private:
    void buildRows();
    QString cellText(const QDomElement &parameter, const QString &value) const;
    bool hasValue(Column column, const QString &name) const;
    QString valueOf(Column column, const QString &name) const;
    bool differs(Column column, const QString &name) const;
    void updateHeader();
    void updateHint();

    HrcTreeWin *owner;
    HrcTree *paramTree;
    QTreeWidget *rows;
    QLineEdit *filter;
    QCheckBox *onlyDifferences;
    QComboBox *takeFrom;
    QPushButton *readButton;
    QPushButton *fileButton;
    QPushButton *takeButton;
    QLabel *status;
    QLabel *hint;
    QString titles[ColumnCount];
    // The sources: device, file, factory (the document is read live).
    BackupStore::Values sources[ColumnCount];
    bool deviceIsLastRead = true;
};
