#include "TreeFilter.h"

#include "HrcTree.h"
#include "ValueCodec.h"

#include <QFont>
#include <QSet>
#include <QTreeWidgetItemIterator>

namespace {

const QString kNamekavu = QStringLiteral("namekavu");
const QString kDefault = QStringLiteral("defaultvalue");
// The columns a match is marked in: caption, name, value. Bold, because the
// style sheet gives every row its own background.
constexpr int kMarkedColumns = 3;

void setMarked(QTreeWidgetItem *item, bool marked)
{
    for (int c = 0; c < kMarkedColumns; ++c) {
        if (marked) {
            QFont font = item->font(c);
            font.setBold(true);
            item->setFont(c, font);
        } else {
            item->setData(c, Qt::FontRole, QVariant());
        }
    }
}

} // namespace

bool TreeFilter::textMatches(const QTreeWidgetItem *item, const QString &text) const
{
    if (item->text(0).contains(text, Qt::CaseInsensitive))
        return true;
    const QDomElement element = tree->elementOf(item);
    if (!HrcDocument::isParameter(element))
        return false;
    return element.attribute(kNamekavu).contains(text, Qt::CaseInsensitive)
        || tree->displayText(element).contains(text, Qt::CaseInsensitive);
}

bool TreeFilter::isAtFactoryValue(const QTreeWidgetItem *item) const
{
    const QDomElement element = tree->elementOf(item);
    // Without a factory value (the chosen port, polled values) there is
    // nothing to differ from; an unread value is not known to differ.
    if (!element.hasAttribute(kDefault) || element.hasAttribute(QStringLiteral("ivparam"))
        || element.attribute(kNamekavu) == QLatin1String("Port")
        || element.attribute(QStringLiteral("value")).isEmpty())
        return true;
    // Values compare by the codec's one rule ("5" is the factory "5,0",
    // "-25;90" is "-25,0;90,0"), not as texts; what it does not read as a
    // value of the kind (an entry's text for an enumeration) compares as shown.
    if (ValueCodec::sameText(tree->documentModel().spec(element), element.attribute(QStringLiteral("value")),
                             element.attribute(kDefault)))
        return true;
    return tree->displayText(element) == tree->displayText(element, kDefault);
}

bool TreeFilter::parameterMatches(const QTreeWidgetItem *item, const Criteria &criteria, bool textMatched) const
{
    const QDomElement element = tree->elementOf(item);
    if (!HrcDocument::isParameter(element) || HrcDocument::isPointHalf(element))
        return false;
    if (!textMatched)
        return false;
    if (criteria.onlyChanged && !HrcTree::isChangedItem(item))
        return false;
    // A problem row is red, or has its reason in red (an edit a job left out).
    if (criteria.onlyProblems && !HrcTree::isProblemItem(item))
        return false;
    if (criteria.notFactory && isAtFactoryValue(item))
        return false;
    return true;
}

int TreeFilter::filterItem(QTreeWidgetItem *item, const Criteria &criteria, bool textMatched, bool active)
{
    const QString text = criteria.text.trimmed();
    const bool ownText = active && !text.isEmpty() && textMatches(item, text);
    const bool matchedHere = textMatched || ownText;
    const QDomElement element = tree->elementOf(item);

    if (HrcDocument::isParameter(element) && !HrcDocument::isPointHalf(element)) {
        const bool shown = !active || parameterMatches(item, criteria, text.isEmpty() || matchedHere);
        item->setHidden(!shown);
        if (shown && active && ownText) {
            setMarked(item, true);
            markedItems << item;
        }
        // A point's halves go with the point.
        for (int i = 0; i < item->childCount(); ++i)
            item->child(i)->setHidden(false);
        return shown ? 1 : 0;
    }
    int shownInside = 0;
    for (int i = 0; i < item->childCount(); ++i)
        shownInside += filterItem(item->child(i), criteria, matchedHere, active);
    item->setHidden(active && shownInside == 0);
    if (active && shownInside > 0) {
        item->setExpanded(true);
        if (ownText) {
            setMarked(item, true);
            markedItems << item;
        }
    }
    return shownInside;
}

void TreeFilter::clearMarks()
{
    // The marked items may have gone with a rebuilt tree: only items still
    // in it are touched.
    const QSet<QTreeWidgetItem *> marked(markedItems.begin(), markedItems.end());
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        if (marked.contains(*it))
            setMarked(*it, false);
    markedItems.clear();
}

int TreeFilter::apply(const Criteria &criteria)
{
    clearMarks();
    const bool active = !criteria.isEmpty();
    int shown = 0;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        shown += filterItem(tree->topLevelItem(i), criteria, false, active);
    return shown;
}
