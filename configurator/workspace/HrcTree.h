#pragma once

#include "HrcDocument.h"

#include <QColor>
#include <QHash>
#include <QIcon>
#include <QPointer>
#include <QTreeWidget>

class KavuMon;
class QAction;

// The parameter tree: a view of the device description document. Every item
// stands for one element (through the treeID stored in column 2, Qt::UserRole);
// values live in the document, and the item's text colour carries its state
// (normal, changed, problem).
//
// The same widget is the main window's full tree (eight columns), a wizard
// page's selection tree (three columns) and the wizard's summary list. It runs
// in the GUI thread only; worker threads use the HrcDocument that documentModel()
// returns, never the widget.
//
// The I/O worker and the polling monitor are created by the I/O code and
// attached after construction (attachIoWorker, attachMonitor).
class HrcTree : public QTreeWidget
{
    Q_OBJECT

public:
    // owner: the main window, which runs the context menu's commands (the
    // ...Requested signals), or none (the wizard's trees have no context menu).
    HrcTree(const QDomDocument &document, QWidget *owner = nullptr, QWidget *parent = nullptr);

    HrcDocument &documentModel() { return m_model; }
    QDomDocument document() const { return m_model.document(); }
    QWidget *owner() const { return m_owner; }

    void attachIoWorker(QObject *worker);
    QObject *ioWorker() const { return m_ioWorker; }
    // Connects the monitor's kavuMonUpdating(uint,int,int) to onKavuMonUpdating.
    void attachMonitor(KavuMon *monitor);
    KavuMon *monitor() const;

    // Document operations (see HrcDocument).
    QDomElement findElement(const QDomElement &start, const QString &name) const
    {
        return HrcDocument::findElement(start, name);
    }
    QDomElement findParameter(const QString &name) const { return m_model.findParameter(name); }
    QString paramValue(const QString &name, const QString &newValue = QString())
    {
        return m_model.paramValue(name, newValue);
    }
    QString displayText(const QDomElement &element, const QString &attribute = QString()) const
    {
        return m_model.displayText(element, attribute);
    }

    // Takes an edit made in place, after the element got its new value (when
    // `changed`): an X or Y makes its point's pair whole, a changed parameter
    // gets the changed colour, the value before is kept by the link-setting
    // rule (HrcDocument::keepUndoValue) and parameterEdited says what changed.
    // Returns whether the parameter's value changed.
    bool acceptEdit(QDomElement element, const QString &before, const QString &value, bool changed);
    // Where the tree says how to reach the device (the wizard's link page),
    // every edit of a link setting is in force at once.
    void setLinkSettingsInForceAtOnce(bool atOnce) { m_linkSettingsAtOnce = atOnce; }

    // names: ";"-separated set or parameter names; empty builds the full tree.
    void buildTree(const QString &names = QString());
    // Label and value of every parameter of the named branches, read-only.
    void buildSummary(const QString &names);
    // Builds again what was built last (tree or summary, same names), e.g.
    // for the captions of another language.
    void rebuild();
    QTreeWidgetItem *createItem(QDomElement element, QTreeWidgetItem *parent);

    // Sets the value of item's parameter (or of every parameter under it;
    // the whole tree without an item) from source: an attribute's name, or
    // the value itself with SourceIsValue. Highlight gives a parameter that
    // may change the changed colour; IncludeLocal refreshes the program's own
    // and the link settings too.
    enum UpdateFlag { Highlight = 0x1, SourceIsValue = 0x2, IncludeLocal = 0x4 };
    Q_DECLARE_FLAGS(UpdateFlags, UpdateFlag)
    void updateItems(QTreeWidgetItem *item, const QString &source, UpdateFlags flags);
    void updateItems(QTreeWidgetItem *item, bool highlight, const QString &source, bool sourceIsValue,
                     bool includeLocal);
    QTreeWidgetItem *findItem(const QString &name, QTreeWidgetItem *start = nullptr) const;
    void selectParameter(const QString &name);
    void setBranchColour(QTreeWidgetItem *item, const QColor &colour);
    void setColourByNames(const QString &names, const QColor &colour);
    QTreeWidgetItem *gotoNextProblem(QTreeWidgetItem *start);
    QTreeWidgetItem *gotoPrevProblem(QTreeWidgetItem *start);

    QDomElement elementOf(const QTreeWidgetItem *item) const;
    QDomElement elementById(uint treeId) const { return m_elements.value(treeId); }
    static uint treeIdOf(const QTreeWidgetItem *item);

    bool isFullTree() const { return m_fullTree; }
    bool isEditorRequested() const { return m_editorRequested; }

    // The actions the context menu would offer at pos (viewport coordinates);
    // empty where no menu is shown.
    QList<QAction *> contextActionsAt(const QPoint &pos) const;

    static QColor normalColour() { return QColor::fromHsv(34, 34, 34, 255); }
    static QColor changedColour() { return QColor(Qt::darkGreen); }
    static QColor problemColour() { return QColor(Qt::red); }
    void setItemColour(QTreeWidgetItem *item, const QColor &colour) const;
    static QColor itemColour(const QTreeWidgetItem *item);
    // The row's state as its element keeps it (HrcDocument::rowMark): a
    // failed exchange, or a reason marked as a problem (a parameter the last
    // job left out); an edit still to write. Rows of other widgets are neither.
    static bool isProblemItem(const QTreeWidgetItem *item);
    static bool isChangedItem(const QTreeWidgetItem *item);
    // After a read job's result for the parameter: when the job left it out
    // (its set's time ran out or the job was cancelled), the value shown was
    // not read now, so the row is marked as a problem like a failed read, the
    // reason in column 7. An edit not yet written keeps its changed colour (it
    // is still to be sent); its red reason still makes it a problem row.
    void markLeftOutOfRead(uint treeId);
    // The reason column in red (a parameter left out or not read back): a
    // problem row whose value and colour stay.
    void markProblemReason(QTreeWidgetItem *item) const;

    const QStringList &baseNames() const { return m_baseNames; }
    const QStringList &typeNames() const { return m_typeNames; }
    const QString &logHeader() const { return m_logHeader; }

signals:
    // The engineer changed the named parameter's value in the tree (for a
    // point, value is its whole pair).
    void parameterEdited(const QString &name, const QString &value);
    // The context menu's commands on the selected row; the owner window runs them.
    void readBranchRequested();
    void writeBranchRequested();
    void writeChangedBranchRequested();
    void branchToDefaultRequested();
    void readParamRequested();
    void writeParamRequested();
    void paramToDefaultRequested();

public slots:
    void onKavuMonUpdating(uint treeId, int, int);
    void onParamUpdateRequest(QTreeWidgetItem *item, int column);
    void onParamUpdateRequest(QTreeWidgetItem *item) { onParamUpdateRequest(item, -1); }
    void onItemChanged(QTreeWidgetItem *item, int column);
    void showContextMenu(const QPoint &pos);
    // Context action of date-time parameters: the computer's clock as the
    // selected parameter's new value.
    void setSelectedToComputerTime();

protected:
    // F2 and Enter open the editor of the current row.
    void keyPressEvent(QKeyEvent *event) override;

protected slots:
    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    static QDomElement rowElement(const QTreeWidgetItem *item);
    void openValueEditor(QTreeWidgetItem *item);
    void resetTree();
    void buildBranch(const QDomElement &set, bool makeItems, QTreeWidgetItem *parent);
    void buildParameter(const QDomElement &element, bool makeItems, QTreeWidgetItem *parent);
    void buildPointHalves(QDomElement point, QTreeWidgetItem *item);
    // Stores one half of a point's pair (a pair that was none becomes "0;0"
    // first); whether the pair changed.
    bool setPointHalf(const QDomElement &half, const QString &value);
    void expandAncestors(QTreeWidgetItem *item);
    QTreeWidgetItem *gotoProblem(QTreeWidgetItem *start, bool forward);
    QAction *newAction(const QString &text, void (HrcTree::*request)());

    HrcDocument m_model;
    QHash<uint, QDomElement> m_elements;
    uint m_counter = 0;
    bool m_fullTree = false;
    QString m_builtNames;
    bool m_builtSummary = false;
    bool m_editorRequested = false;
    bool m_linkSettingsAtOnce = false;
    QWidget *m_owner = nullptr;
    QPointer<QObject> m_ioWorker;
    QPointer<KavuMon> m_monitor;
    QIcon m_setIcon;
    QIcon m_paramIcon;
    QStringList m_baseNames;
    QStringList m_typeNames;
    QString m_logHeader;

    QAction *m_readBranch = nullptr;
    QAction *m_writeParam = nullptr;
    QAction *m_writeBranch = nullptr;
    QAction *m_writeChangedBranch = nullptr;
    QAction *m_branchToDefault = nullptr;
    QAction *m_readParam = nullptr;
    QAction *m_paramToDefault = nullptr;
    QAction *m_setComputerTime = nullptr;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(HrcTree::UpdateFlags)
