#pragma once

#include <QDomElement>
#include <QStyledItemDelegate>

class HrcTree;

// Edits values in place, in the value column of a parameter tree: chooses the
// editor from the parameter's type, subtype and name, fills it from the
// document element, writes the edited text back into the element's value and
// hands the edit to the tree (HrcTree::acceptEdit: point pairs, the changed
// colour, undoValue, parameterEdited), then refreshes the item. Nothing is
// sent to the device.
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
    QWidget *createComboBox(QWidget *parent, const QStringList &entries) const;
    QWidget *createPortEditor(QWidget *parent) const;
    void fillEditor(QWidget *editor, const QModelIndex &index) const;
    // The value the editor would store now.
    QString editorOutput(QWidget *editor, const QDomElement &element) const;

    HrcTree *tree;
};
