#pragma once

#include "TreeFilter.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class HrcTree;
class QLabel;
class QLineEdit;
class QTimer;
class QToolButton;

// The search field and filter buttons above the main tree. The filter is
// applied as the engineer types and again (shortly after) whenever the
// tree's items or colours change, so "only changed" follows the edits and a
// rebuilt tree is filtered as well.
class TreeSearchBar : public QWidget
{
    Q_OBJECT

public:
    explicit TreeSearchBar(QWidget *parent = nullptr);
    ~TreeSearchBar() override;

    void setTree(HrcTree *tree);
    QLineEdit *searchField() const { return field; }
    QToolButton *changedButton() const { return changed; }
    QToolButton *problemsButton() const { return problems; }
    QToolButton *notFactoryButton() const { return notFactory; }
    TreeFilter::Criteria criteria() const;
    int shownCount() const { return lastShown; }

public slots:
    // Ctrl+F: focus the field with its text selected.
    void focusSearch();
    void applyNow();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void scheduleApply();

    QPointer<HrcTree> tree;
    std::unique_ptr<TreeFilter> filter;
    QLineEdit *field = nullptr;
    QToolButton *changed = nullptr;
    QToolButton *problems = nullptr;
    QToolButton *notFactory = nullptr;
    QLabel *result = nullptr;
    QTimer *later = nullptr;
    bool applying = false;
    int lastShown = -1;
};
