#pragma once

#include <QDomElement>
#include <QStyledItemDelegate>

class HrcTree;
class KavuMon;

// Edits values in place, in the value column of a parameter tree: chooses the
// editor from the parameter's type, subtype and name, fills it from the
// document element, writes the edited text back into the element's value
// (keeping the previous one as undoValue), marks a changed parameter with the
// changed colour and refreshes the item. Nothing is sent to the device.
class QLineEdit;

class HrcEditDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    // The editor kinds, in the order they are chosen.
    enum EditorKind { LogFileEditor, PortList, EnumList, Bitmask, TimeEditor, DateTimeEditor,
                      FloatEditor, IntegerEditor, TextEditor };

    static const int valueColumn = 2;

    explicit HrcEditDelegate(HrcTree *tree);

    static EditorKind editorKind(const QDomElement &element);

    // Link settings (commparam) normally take effect once written to the
    // device: until then the value in force there stays as undoValue. Where
    // the tree describes how to reach the device (the wizard's link page),
    // every edit is in force at once. Local settings ("Port", "TimeOut")
    // always are (CommSettings reads their value, never an undoValue).
    void setLinkSettingsInForceAtOnce(bool atOnce) { linkSettingsAtOnce = atOnce; }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;

    // The reason a value is refused (limits, or a value required), empty when
    // the editor's text may be stored.
    static QString refusalReason(const QLineEdit *edit, const QString &minText, const QString &maxText);

protected:
    // Enter on a value the limits refuse says why, at the editor, instead of
    // leaving the engineer without an answer.
    bool eventFilter(QObject *object, QEvent *event) override;

private:
    QDomElement elementAt(const QModelIndex &index) const;
    KavuMon *monitor() const;
    // The point parameter an X or Y element belongs to, its value made a
    // valid pair ("0;0" when it was not one).
    QDomElement preparedPoint(const QDomElement &half) const;
    QWidget *createComboBox(QWidget *parent, const QStringList &entries) const;
    QWidget *createPortEditor(QWidget *parent) const;
    void fillEditor(QWidget *editor, const QModelIndex &index) const;
    // The value the editor would store now.
    QString editorOutput(QWidget *editor, const QDomElement &element) const;

    HrcTree *tree;
    bool linkSettingsAtOnce = false;
};
