#include "HrcTree.h"

#include "ErrorText.h"
#include "HrcEditDelegate.h"
#include "HrcValueText.h"
#include "KavuMon.h"
#include "ParameterSpec.h"
#include "ValueCodec.h"

#include <QAction>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QStyle>
#include <QDateTime>
#include <QTime>
#include <QTreeWidgetItemIterator>

namespace {

const QString kNamekavu = QStringLiteral("namekavu");
const QString kValue = QStringLiteral("value");
const QString kInterviewSet = QStringLiteral("paramters_interview");
const int kIdColumn = 2;
const int kValueColumn = 2;
const int kErrorColumn = 7;

} // namespace

HrcTree::HrcTree(const QDomDocument &document, QWidget *owner, QWidget *parent)
    : QTreeWidget(parent)
    , m_model(document)
    , m_owner(owner)
{
    m_setIcon.addPixmap(style()->standardPixmap(QStyle::SP_DirClosedIcon), QIcon::Normal, QIcon::Off);
    m_setIcon.addPixmap(style()->standardPixmap(QStyle::SP_DirOpenIcon), QIcon::Normal, QIcon::On);
    m_paramIcon = style()->standardIcon(QStyle::SP_DriveNetIcon);

    if (m_owner) {
        m_readBranch = newAction(tr("Прочитать параметры ветви"), &HrcTree::readBranchRequested);
        m_writeParam = newAction(tr("Записать параметр"), &HrcTree::writeParamRequested);
        m_writeBranch = newAction(tr("Записать параметры ветви"), &HrcTree::writeBranchRequested);
        m_writeChangedBranch = newAction(tr("Записать только измененные параметры ветви"),
                                         &HrcTree::writeChangedBranchRequested);
        m_branchToDefault = newAction(tr("Установить в заводские значение параметры ветви"),
                                      &HrcTree::branchToDefaultRequested);
        m_readParam = newAction(tr("Прочитать параметр"), &HrcTree::readParamRequested);
        m_paramToDefault = newAction(tr("Установить в заводское значение"), &HrcTree::paramToDefaultRequested);
        m_setComputerTime = new QAction(tr("Установить время компьютера"), this);
        connect(m_setComputerTime, &QAction::triggered, this, &HrcTree::setSelectedToComputerTime);
        setContextMenuPolicy(Qt::CustomContextMenu);
        connect(this, &QWidget::customContextMenuRequested, this, &HrcTree::showContextMenu);
    }
    connect(this, &QTreeWidget::itemChanged, this, &HrcTree::onItemChanged);
    // Editors open only through onParamUpdateRequest, always on the value column.
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setItemDelegate(new HrcEditDelegate(this));

    m_baseNames = m_model.baseNames();
    m_typeNames = m_model.types();
    m_logHeader = m_model.logHeader();
}

QAction *HrcTree::newAction(const QString &text, void (HrcTree::*request)())
{
    auto *action = new QAction(text, this);
    connect(action, &QAction::triggered, this, request);
    return action;
}

void HrcTree::attachIoWorker(QObject *worker)
{
    m_ioWorker = worker;
}

void HrcTree::attachMonitor(KavuMon *monitor)
{
    if (m_monitor)
        disconnect(m_monitor, nullptr, this, nullptr);
    m_monitor = monitor;
    if (monitor)
        connect(monitor, &KavuMon::kavuMonUpdating, this, &HrcTree::onKavuMonUpdating);
}

KavuMon *HrcTree::monitor() const
{
    return m_monitor;
}

uint HrcTree::treeIdOf(const QTreeWidgetItem *item)
{
    return item ? item->data(kIdColumn, Qt::UserRole).toUInt() : 0;
}

QDomElement HrcTree::elementOf(const QTreeWidgetItem *item) const
{
    if (!item)
        return QDomElement();
    return m_elements.value(treeIdOf(item));
}

void HrcTree::setItemColour(QTreeWidgetItem *item, const QColor &colour) const
{
    if (!item)
        return;
    // The colour is the row's state: kept in the element first, then painted
    // over every column (the reason's own mark included).
    const QDomElement element = elementOf(item);
    HrcDocument::setRowMark(element, colour == changedColour() ? HrcDocument::RowMark::Changed
                                     : colour == problemColour() ? HrcDocument::RowMark::Problem
                                                                 : HrcDocument::RowMark::Normal);
    HrcDocument::setProblemReason(element, false);
    const int columns = qMax(columnCount(), item->columnCount());
    for (int c = 0; c < columns; ++c)
        item->setForeground(c, colour);
}

void HrcTree::markProblemReason(QTreeWidgetItem *item) const
{
    HrcDocument::setProblemReason(elementOf(item), true);
    item->setForeground(kErrorColumn, problemColour());
}

QColor HrcTree::itemColour(const QTreeWidgetItem *item)
{
    return item ? item->foreground(0).color() : QColor();
}

QDomElement HrcTree::rowElement(const QTreeWidgetItem *item)
{
    const auto *tree = item ? qobject_cast<const HrcTree *>(item->treeWidget()) : nullptr;
    return tree ? tree->elementOf(item) : QDomElement();
}

bool HrcTree::isChangedItem(const QTreeWidgetItem *item)
{
    return HrcDocument::isChangedRow(rowElement(item));
}

void HrcTree::resetTree()
{
    disconnect(this, &QTreeWidget::itemDoubleClicked, this,
               qOverload<QTreeWidgetItem *, int>(&HrcTree::onParamUpdateRequest));
    clear();
    m_elements.clear();
    m_counter = 0;
    m_fullTree = false;
}

void HrcTree::rebuild()
{
    const QString names = m_builtNames;
    if (m_builtSummary)
        buildSummary(names);
    else
        buildTree(names);
}

void HrcTree::buildTree(const QString &names)
{
    m_builtNames = names;
    m_builtSummary = false;
    const QStringList nameList = names.isEmpty() ? QStringList() : names.split(QLatin1Char(';'));
    resetTree();

    setRootIsDecorated(true);
    QStringList headers = {tr("Описание"), tr("Параметр"), tr("Значение")};
    // The value column takes the device clock's text whole ("2026/12/09/15:06:26").
    const int clockWidth = fontMetrics().horizontalAdvance(QStringLiteral("0000/00/00/00:00:00")) + 16;
    QList<int> widths = {400, 100, qMax(150, clockWidth)};
    if (names.isEmpty()) {
        m_fullTree = true;
        headers << tr("Тип") << tr("Минимум") << tr("Максимум") << tr("Зав.настройки")
                << tr("Ошибки обмена и несоотвествия");
        widths << 70 << 150 << 150 << 150 << 400;
    }
    setColumnCount(headers.size());
    setHeaderLabels(headers);
    for (int c = 0; c < widths.size(); ++c)
        setColumnWidth(c, widths.at(c));
    for (int c = 1; c < headers.size(); ++c)
        headerItem()->setTextAlignment(c, Qt::AlignCenter);
    // The exchange errors and differences are shown right after the value,
    // in view at the window's default width (the column stays column 7).
    if (m_fullTree)
        header()->moveSection(header()->visualIndex(kErrorColumn), kValueColumn + 1);
    header()->show();

    if (m_fullTree) {
        buildBranch(m_model.findParameter(QStringLiteral("hrc417All")), true, nullptr);
    } else {
        for (const QString &name : nameList) {
            const QDomElement element = m_model.findParameter(name);
            if (HrcDocument::isParameter(element))
                buildParameter(element, true, nullptr);
            else
                buildBranch(element, true, nullptr);
        }
    }

    connect(this, &QTreeWidget::itemDoubleClicked, this,
            qOverload<QTreeWidgetItem *, int>(&HrcTree::onParamUpdateRequest));
    setEnabled(true);
}

void HrcTree::buildSummary(const QString &names)
{
    m_builtNames = names;
    m_builtSummary = true;
    resetTree();
    setColumnCount(2);
    setColumnWidth(0, 400);
    setColumnWidth(1, 100);
    setRootIsDecorated(false);
    header()->hide();
    // A hint only: setting it on a child widget changes nothing visible, and
    // doing it once keeps a shown tree shown.
    if (!(windowFlags() & Qt::FramelessWindowHint)) {
        const bool wasVisible = isVisible();
        setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
        if (wasVisible)
            show();
    }
    for (const QString &name : names.split(QLatin1Char(';'))) {
        const QDomElement element = m_model.findParameter(name);
        if (HrcDocument::isParameter(element))
            buildParameter(element, false, nullptr);
        else if (!element.isNull())
            buildBranch(element, false, nullptr);
    }
    setEnabled(false);
}

QTreeWidgetItem *HrcTree::createItem(QDomElement element, QTreeWidgetItem *parent)
{
    ++m_counter;
    element.setAttribute(QStringLiteral("treeID"), m_counter);
    auto *item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
    item->setData(kIdColumn, Qt::UserRole, m_counter);
    m_elements.insert(m_counter, element);
    // A new row starts unmarked, whatever an earlier tree of the document showed.
    HrcDocument::setRowMark(element, HrcDocument::RowMark::Normal);
    HrcDocument::setProblemReason(element, false);
    return item;
}

void HrcTree::buildBranch(const QDomElement &set, bool makeItems, QTreeWidgetItem *parent)
{
    QTreeWidgetItem *item = parent;
    if (makeItems) {
        item = createItem(set, parent);
        const QString title = set.firstChildElement(QStringLiteral("title")).text();
        item->setText(0, title.isEmpty() ? tr("Folder") : HrcDocument::translated(title));
        item->setIcon(0, m_setIcon);
        if (!parent)
            item->setExpanded(true);
        if (set.attribute(kNamekavu) == kInterviewSet) {
            // Caption above the polling check boxes; its identifier also names the set.
            QTreeWidgetItem *caption = createItem(set, item);
            caption->setText(0, tr("Вкл/выкл опрос параметра"));
            QFont font = caption->font(0);
            font.setBold(true);
            caption->setFont(0, font);
        }
    }
    for (QDomElement child = set.firstChildElement(); !child.isNull(); child = child.nextSiblingElement()) {
        if (HrcDocument::isSet(child))
            buildBranch(child, makeItems, item);
        else if (HrcDocument::isParameter(child))
            buildParameter(child, makeItems, item);
    }
}

void HrcTree::buildParameter(const QDomElement &element, bool makeItems, QTreeWidgetItem *parent)
{
    const QString name = element.attribute(kNamekavu);
    // The port is the program's own choice, made on the wizard's pages.
    if (m_fullTree && name == QLatin1String("Port"))
        return;

    QTreeWidgetItem *item = createItem(element, parent);
    item->setText(0, HrcDocument::translated(element.attribute(QStringLiteral("label"))));
    if (!makeItems) {
        item->setText(1, m_model.displayText(element));
        return;
    }

    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (element.hasAttribute(QStringLiteral("ivparam")) || name == QLatin1String("logfile")) {
        flags |= Qt::ItemIsUserCheckable;
        item->setCheckState(0, Qt::Unchecked);
    } else {
        item->setIcon(0, m_paramIcon);
    }
    item->setText(1, name);
    item->setText(kValueColumn, m_model.displayText(element));
    item->setTextAlignment(1, Qt::AlignCenter);
    item->setTextAlignment(kValueColumn, Qt::AlignCenter);

    if (m_fullTree) {
        item->setText(3, HrcDocument::typeName(element));
        item->setText(4, m_model.displayText(element, QStringLiteral("minvalue")));
        item->setText(5, m_model.displayText(element, QStringLiteral("maxvalue")));
        item->setText(6, m_model.displayText(element, QStringLiteral("defaultvalue")));
        for (int c = 3; c <= 6; ++c)
            item->setTextAlignment(c, Qt::AlignCenter);
    }

    if (HrcDocument::isPoint(element)) {
        item->setFlags(flags);
        buildPointHalves(element, item);
    } else {
        if (HrcDocument::isEditable(element))
            flags |= Qt::ItemIsEditable;
        item->setFlags(flags);
    }

    if (m_fullTree && HrcDocument::hasProblemCode(element)) {
        item->setText(kErrorColumn, errorText(resultCodeOf(element)));
        if (HrcDocument::wasNotExchanged(element))
            markProblemReason(item);
        else
            setItemColour(item, problemColour());
    }
}

void HrcTree::buildPointHalves(QDomElement point, QTreeWidgetItem *item)
{
    m_model.preparePointChildren(point);
    const QDomElement halves[2] = {HrcDocument::pointX(point), HrcDocument::pointY(point)};
    const QString captions[2] = {QStringLiteral("X="), QStringLiteral("Y=")};
    const QString idAttributes[2] = {QStringLiteral("xID"), QStringLiteral("yID")};
    for (int i = 0; i < 2; ++i) {
        QTreeWidgetItem *child = createItem(halves[i], item);
        child->setText(0, captions[i]);
        child->setText(kValueColumn, m_model.displayText(halves[i]));
        child->setTextAlignment(kValueColumn, Qt::AlignCenter);
        child->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable);
        point.setAttribute(idAttributes[i], m_counter);
    }
}

bool HrcTree::setPointHalf(const QDomElement &half, const QString &value)
{
    const QString name = half.attribute(kNamekavu);
    const QDomElement point = findParameter(name);
    if (point.isNull())
        return false;
    if (point.attribute(kValue).split(QLatin1Char(';')).size() != 2)
        updateItems(findItem(name), QStringLiteral("0;0"), SourceIsValue | IncludeLocal);
    const QString pair = point.attribute(kValue);
    const QString x = ValueCodec::part(pair, 0);
    const QString y = ValueCodec::part(pair, 1);
    const QString newPair = half.tagName() == QLatin1String("X") ? value + QLatin1Char(';') + y
                                                                : x + QLatin1Char(';') + value;
    if (newPair == pair)
        return false;
    updateItems(findItem(name), newPair, SourceIsValue | IncludeLocal);
    return true;
}

bool HrcTree::acceptEdit(QDomElement element, const QString &before, const QString &value, bool changed)
{
    const QString name = element.attribute(kNamekavu);
    if (HrcDocument::isPointHalf(element) && changed)
        changed = setPointHalf(element, value);
    if (changed && !element.hasAttribute(QStringLiteral("localparam")))
        setItemColour(findItem(name), changedColour());
    HrcDocument::keepUndoValue(element, before, m_linkSettingsAtOnce);
    if (changed)
        emit parameterEdited(name, HrcDocument::isPointHalf(element) ? findParameter(name).attribute(kValue) : value);
    return changed;
}

void HrcTree::updateItems(QTreeWidgetItem *item, bool highlight, const QString &source, bool sourceIsValue,
                          bool includeLocal)
{
    UpdateFlags flags;
    flags.setFlag(Highlight, highlight);
    flags.setFlag(SourceIsValue, sourceIsValue);
    flags.setFlag(IncludeLocal, includeLocal);
    updateItems(item, source, flags);
}

void HrcTree::updateItems(QTreeWidgetItem *item, const QString &source, UpdateFlags flags)
{
    if (!item) {
        for (int i = 0; i < topLevelItemCount(); ++i)
            updateItems(topLevelItem(i), source, flags);
        return;
    }
    QDomElement element = elementOf(item);
    if (HrcDocument::isSet(element)) {
        for (int i = 0; i < item->childCount(); ++i)
            updateItems(item->child(i), source, flags);
        return;
    }
    const bool highlight = flags.testFlag(Highlight);
    const bool sourceIsValue = flags.testFlag(SourceIsValue);
    const bool includeLocal = flags.testFlag(IncludeLocal);
    if (!HrcDocument::isParameter(element))
        return;
    if (!includeLocal && (element.hasAttribute(QStringLiteral("localparam"))
                          || element.hasAttribute(QStringLiteral("commparam"))))
        return;

    QString value;
    if (sourceIsValue) {
        value = source;
    } else if (source == QLatin1String("defaultvalue")
               && (element.attribute(kNamekavu) == QLatin1String("Port")
                   || element.hasAttribute(QStringLiteral("ivparam")))) {
        // The chosen port and polled values have no factory setting to return to.
        value = element.attribute(kValue);
    } else {
        value = element.attribute(source);
    }
    element.setAttribute(kValue, value);

    // Polled and read-only values come from the device only: never changed,
    // so never among the parameters to write.
    const bool mayChange = HrcDocument::isEditable(element) || element.hasAttribute(QStringLiteral("localparam"))
        || element.hasAttribute(QStringLiteral("commparam"));
    setItemColour(item, highlight && mayChange && !value.isEmpty() ? changedColour() : normalColour());
    item->setText(kValueColumn, m_model.displayText(element));

    if (HrcDocument::isPoint(element) && !value.isEmpty()) {
        QDomElement x = element.firstChildElement();
        QDomElement y = x.nextSiblingElement();
        x.setAttribute(kValue, ValueCodec::part(value, 0));
        y.setAttribute(kValue, ValueCodec::part(value, 1));
        if (item->childCount() >= 2) {
            item->child(0)->setText(kValueColumn, ValueCodec::part(value, 0));
            item->child(1)->setText(kValueColumn, ValueCodec::part(value, 1));
        }
    }
}

QTreeWidgetItem *HrcTree::findItem(const QString &name, QTreeWidgetItem *start) const
{
    if (start) {
        if (elementOf(start).attribute(kNamekavu) == name)
            return start;
        for (int i = 0; i < start->childCount(); ++i) {
            if (QTreeWidgetItem *found = findItem(name, start->child(i)))
                return found;
        }
        return nullptr;
    }
    for (int i = 0; i < topLevelItemCount(); ++i) {
        if (QTreeWidgetItem *found = findItem(name, topLevelItem(i)))
            return found;
    }
    return nullptr;
}

void HrcTree::expandAncestors(QTreeWidgetItem *item)
{
    for (QTreeWidgetItem *p = item ? item->parent() : nullptr; p; p = p->parent())
        p->setExpanded(true);
}

void HrcTree::selectParameter(const QString &name)
{
    for (QTreeWidgetItemIterator it(this); *it; ++it) {
        const QString itemName = elementOf(*it).attribute(kNamekavu);
        if (itemName == name || HrcValueText::baseName(itemName) == name) {
            const QList<QTreeWidgetItem *> selected = selectedItems();
            if (!selected.isEmpty())
                selected.first()->setSelected(false);
            (*it)->setSelected(true);
            expandAncestors(*it);
            scrollToItem(*it);
            return;
        }
    }
}

void HrcTree::setBranchColour(QTreeWidgetItem *item, const QColor &colour)
{
    if (!item)
        return;
    for (int i = 0; i < item->childCount(); ++i) {
        QTreeWidgetItem *child = item->child(i);
        const QDomElement element = elementOf(child);
        if (HrcDocument::isSet(element))
            setBranchColour(child, colour);
        else if (HrcDocument::isParameter(element) && !element.hasAttribute(QStringLiteral("commparam")))
            setItemColour(child, colour);
    }
}

void HrcTree::setColourByNames(const QString &names, const QColor &colour)
{
    if (names.isEmpty()) {
        setBranchColour(topLevelItem(0), colour);
        return;
    }
    for (const QString &name : names.split(QLatin1Char(';')))
        setBranchColour(findItem(name), colour);
}

QTreeWidgetItem *HrcTree::gotoProblem(QTreeWidgetItem *start, bool forward)
{
    // Without a start item the search covers the whole tree from its first item.
    QTreeWidgetItemIterator it = start ? QTreeWidgetItemIterator(start) : QTreeWidgetItemIterator(this);
    if (start) {
        if (forward)
            ++it;
        else
            --it;
    }
    for (; *it; forward ? ++it : --it) {
        if (isProblemItem(*it)) {
            QTreeWidgetItem *found = *it;
            if (start)
                start->setSelected(false);
            found->setSelected(true);
            setCurrentItem(found);
            expandAncestors(found);
            scrollToItem(found);
            return found;
        }
    }
    return nullptr;
}

bool HrcTree::isProblemItem(const QTreeWidgetItem *item)
{
    return HrcDocument::isProblemRow(rowElement(item));
}

QTreeWidgetItem *HrcTree::gotoNextProblem(QTreeWidgetItem *start)
{
    return gotoProblem(start, true);
}

QTreeWidgetItem *HrcTree::gotoPrevProblem(QTreeWidgetItem *start)
{
    return gotoProblem(start, false);
}

void HrcTree::onParamUpdateRequest(QTreeWidgetItem *item, int column)
{
    if (!item || column > 2)
        return;
    const QDomElement element = elementOf(item);
    if (HrcDocument::isEditable(element)) {
        if (HrcDocument::isPoint(element) && item->childCount() > 0) {
            item->setExpanded(true);
            setCurrentItem(item->child(0));
            openValueEditor(item->child(0));
        } else {
            openValueEditor(item);
        }
        clearSelection();
    } else if (HrcDocument::isPointHalf(element)) {
        openValueEditor(item);
        clearSelection();
    } else if (element.attribute(kNamekavu) == QLatin1String("logfile")) {
        openValueEditor(item);
    }
}

void HrcTree::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    const bool opensEditor = key == Qt::Key_F2 || key == Qt::Key_Return || key == Qt::Key_Enter;
    if (opensEditor && state() != EditingState && currentItem()
        && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        QTreeWidgetItem *item = currentItem();
        onParamUpdateRequest(item, kValueColumn);
        if (state() == EditingState) {
            event->accept();
            return;
        }
        // Nothing to edit: Enter opens or closes a set.
        if (key != Qt::Key_F2 && item->childCount() > 0) {
            item->setExpanded(!item->isExpanded());
            event->accept();
            return;
        }
    }
    QTreeWidget::keyPressEvent(event);
}

void HrcTree::openValueEditor(QTreeWidgetItem *item)
{
    // The flag keeps the context menu away while the editor is open; a
    // double-click that opens nothing leaves the menu available.
    m_editorRequested = true;
    editItem(item, kValueColumn);
}

void HrcTree::closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint)
{
    QTreeWidget::closeEditor(editor, hint);
    m_editorRequested = false;
}

void HrcTree::onItemChanged(QTreeWidgetItem *, int)
{
    m_editorRequested = false;
}

QList<QAction *> HrcTree::contextActionsAt(const QPoint &pos) const
{
    QList<QAction *> actions;
    if (!m_owner || !m_fullTree || m_editorRequested)
        return actions;
    QTreeWidgetItem *item = itemAt(pos);
    if (!item || !item->parent())
        return actions;
    const QDomElement element = elementOf(item);
    if (element.hasAttribute(QStringLiteral("ivparam")) || element.hasAttribute(QStringLiteral("localparam")))
        return actions;
    if (HrcDocument::isSet(element)) {
        if (element.attribute(kNamekavu) != kInterviewSet)
            actions << m_readBranch << m_writeBranch << m_writeChangedBranch << nullptr << m_branchToDefault;
    } else if (HrcDocument::isParameter(element)) {
        actions << m_readParam;
        if (!element.attribute(kValue).isEmpty())
            actions << m_writeParam;
        actions << nullptr << m_paramToDefault;
        if (ParameterSpec::fromElement(element).kind == ValueKind::DateTime && HrcDocument::isEditable(element))
            actions << m_setComputerTime;
    }
    return actions;
}

void HrcTree::setSelectedToComputerTime()
{
    const QList<QTreeWidgetItem *> selected = selectedItems();
    if (selected.isEmpty())
        return;
    QDomElement element = elementOf(selected.first());
    if (ParameterSpec::fromElement(element).kind != ValueKind::DateTime)
        return;
    element.setAttribute(QStringLiteral("undoValue"), element.attribute(kValue));
    // The same form the date-time editor stores, marked to be taken again when
    // it is sent; changed, to be written.
    const QString now = ValueCodec::dateTimeText(QDateTime::currentDateTime());
    HrcDocument::setComputerTime(element, now);
    updateItems(selected.first(), now, Highlight | SourceIsValue | IncludeLocal);
}

void HrcTree::showContextMenu(const QPoint &pos)
{
    const QList<QAction *> actions = contextActionsAt(pos);
    if (actions.isEmpty())
        return;
    QMenu menu(this);
    for (QAction *action : actions) {
        if (action)
            menu.addAction(action);
        else
            menu.addSeparator();
    }
    menu.exec(viewport()->mapToGlobal(pos));
}

void HrcTree::markLeftOutOfRead(uint treeId)
{
    const QDomElement element = m_elements.value(treeId);
    if (element.isNull() || !HrcDocument::wasNotExchanged(element))
        return;
    QTreeWidgetItem *item = findItem(element.attribute(kNamekavu));
    if (!item || isChangedItem(item))
        return;
    setItemColour(item, problemColour());
    item->setText(kErrorColumn, errorText(resultCodeOf(element)));
}

void HrcTree::onKavuMonUpdating(uint treeId, int, int)
{
    const QDomElement element = m_elements.value(treeId);
    if (element.isNull())
        return;
    QTreeWidgetItem *item = findItem(element.attribute(kNamekavu));
    if (!item)
        return;
    const int code = resultCodeOf(element);
    if (HrcDocument::wasNotExchanged(element)) {
        // Left out by the job: the value and its colour stay as they were
        // (an edit stays changed, to be sent again); only the reason is red.
        item->setText(kErrorColumn, errorText(code));
        markProblemReason(item);
    } else if (code == codeNotVerified) {
        // Sent, not read back: the value stands as written; only the note is red.
        item->setText(kErrorColumn, errorText(code));
        markProblemReason(item);
    } else if (code == codeReadBackDiffers) {
        // The device took another value: the row stays red, the engineer's
        // value in the value column, the device's in the note.
        setItemColour(item, problemColour());
        item->setText(kErrorColumn, outcomeText(code, displayText(element, QStringLiteral("ioValue")),
                                                displayText(element, QStringLiteral("value"))));
    } else if (code == codeSuccess) {
        setItemColour(item, normalColour());
        updateItems(item, QStringLiteral("ioValue"), IncludeLocal);
        item->setText(kErrorColumn, tr("Время опроса: ") + QTime::currentTime().toString(Qt::TextDate));
    } else {
        setItemColour(item, problemColour());
        item->setText(kErrorColumn, errorText(code));
    }
    // The reason also where the eye is: on the value itself.
    item->setToolTip(kValueColumn, code == codeSuccess ? QString() : item->text(kErrorColumn));
}
