#pragma once

#include <QList>
#include <QString>

class HrcTree;
class QTreeWidgetItem;

// Search and filters over the parameter tree. A parameter is shown when it
// matches the search text (in its caption, name or shown value, or when a
// set above it matches by caption) and every ticked filter: changed (its
// state), problem (a failed exchange, or a reason marked red), not at its factory
// value (by the codec's value rule). Sets are shown when something inside
// them is; the rest is hidden, never removed, so commands on a branch still
// reach every item in it. Text matches are marked in bold and their branches
// expanded.
class TreeFilter
{
public:
    struct Criteria {
        QString text;
        bool onlyChanged = false;
        bool onlyProblems = false;
        bool notFactory = false;
        bool isEmpty() const { return text.trimmed().isEmpty() && !onlyChanged && !onlyProblems && !notFactory; }
    };

    explicit TreeFilter(HrcTree *tree) : tree(tree) {}

    // Applies the criteria to the whole tree; returns the number of
    // parameters shown. Empty criteria show everything and mark nothing.
    int apply(const Criteria &criteria);
    // Does the parameter item match (the text test already passed when
    // textMatched)? Sets and point halves never match by themselves.
    bool parameterMatches(const QTreeWidgetItem *item, const Criteria &criteria, bool textMatched) const;
    bool isAtFactoryValue(const QTreeWidgetItem *item) const;
    const QList<QTreeWidgetItem *> &marked() const { return markedItems; }

private:
    bool textMatches(const QTreeWidgetItem *item, const QString &text) const;
    int filterItem(QTreeWidgetItem *item, const Criteria &criteria, bool textMatched, bool active);
    void clearMarks();

    HrcTree *tree;
    QList<QTreeWidgetItem *> markedItems;
};
