#include "TreeSearchBar.h"

#include "HrcTree.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QToolButton>

TreeSearchBar::TreeSearchBar(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("treeSearchBar"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(8, 2, 8, 2);
    row->setSpacing(6);

    field = new QLineEdit(this);
    field->setObjectName(QStringLiteral("searchField"));
    field->setPlaceholderText(tr("Поиск по подписи, имени или значению (Ctrl+F)"));
    field->setClearButtonEnabled(true);
    field->setMinimumWidth(320);
    row->addWidget(field, 1);

    auto makeButton = [this, row](const QString &text, const char *name) {
        auto *button = new QToolButton(this);
        button->setObjectName(QLatin1String(name));
        button->setText(text);
        button->setCheckable(true);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        row->addWidget(button);
        connect(button, &QToolButton::toggled, this, &TreeSearchBar::applyNow);
        return button;
    };
    changed = makeButton(tr("Только измененные"), "filterChanged");
    problems = makeButton(tr("Только проблемные"), "filterProblems");
    notFactory = makeButton(tr("Не заводские значения"), "filterNotFactory");

    result = new QLabel(this);
    result->setObjectName(QStringLiteral("searchResult"));
    result->setMinimumWidth(110);
    row->addWidget(result);

    later = new QTimer(this);
    later->setSingleShot(true);
    later->setInterval(150);
    connect(later, &QTimer::timeout, this, &TreeSearchBar::applyNow);
    connect(field, &QLineEdit::textChanged, this, &TreeSearchBar::applyNow);
    // Escape in the field clears the search.
    field->installEventFilter(this);
    connect(field, &QLineEdit::returnPressed, this, [this] {
        if (tree && !criteria().isEmpty())
            tree->setFocus();
    });
}

TreeSearchBar::~TreeSearchBar() = default;

void TreeSearchBar::setTree(HrcTree *newTree)
{
    if (tree)
        disconnect(tree, nullptr, this, nullptr);
    tree = newTree;
    filter.reset(newTree ? new TreeFilter(newTree) : nullptr);
    if (!newTree)
        return;
    // Colours change with edits and jobs, items with every rebuild.
    connect(newTree, &QTreeWidget::itemChanged, this, &TreeSearchBar::scheduleApply);
    connect(newTree->model(), &QAbstractItemModel::rowsInserted, this, &TreeSearchBar::scheduleApply);
    connect(newTree->model(), &QAbstractItemModel::modelReset, this, &TreeSearchBar::scheduleApply);
    applyNow();
}

TreeFilter::Criteria TreeSearchBar::criteria() const
{
    TreeFilter::Criteria c;
    c.text = field->text();
    c.onlyChanged = changed->isChecked();
    c.onlyProblems = problems->isChecked();
    c.notFactory = notFactory->isChecked();
    return c;
}

bool TreeSearchBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == field && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape && !field->text().isEmpty()) {
        field->clear();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TreeSearchBar::focusSearch()
{
    field->setFocus(Qt::ShortcutFocusReason);
    field->selectAll();
}

void TreeSearchBar::scheduleApply()
{
    if (!applying && !criteria().isEmpty())
        later->start();
}

void TreeSearchBar::applyNow()
{
    later->stop();
    if (!filter)
        return;
    applying = true;
    const TreeFilter::Criteria c = criteria();
    lastShown = filter->apply(c);
    applying = false;
    result->setText(c.isEmpty() ? QString() : tr("Найдено: %1").arg(lastShown));
}
