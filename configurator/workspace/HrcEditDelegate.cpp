#include "HrcEditDelegate.h"

#include "BitmaskEditor.h"
#include "FValidator.h"
#include "HrcTree.h"
#include "IValidator.h"
#include "LogFileNameEditor.h"
#include "ParameterSpec.h"
#include "PortNameEditor.h"
#include "ValueCodec.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimeEdit>
#include <QToolTip>

#include <climits>

namespace {

const QString kValue = QStringLiteral("value");
const QString kNamekavu = QStringLiteral("namekavu");
// What an editor would store as it was opened, and whether a list entry was
// picked: an editor left as it opened stores nothing.
const char *const kOpenedOutput = "hrcOpenedOutput";
const char *const kEntryPicked = "hrcEntryPicked";

double floatLimit(const QString &text, bool *present)
{
    double value = 0.0;
    *present = ValueCodec::parseFloatText(text, value);
    return *present ? value : 0.0;
}

int integerLimit(const QString &text, int fallback)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? value : fallback;
}

} // namespace

HrcEditDelegate::HrcEditDelegate(HrcTree *owningTree)
    : QStyledItemDelegate(owningTree)
    , tree(owningTree)
{
}

QDomElement HrcEditDelegate::elementAt(const QModelIndex &index) const
{
    const uint id = index.sibling(index.row(), valueColumn).data(Qt::UserRole).toUInt();
    return tree->elementById(id);
}

HrcEditDelegate::EditorKind HrcEditDelegate::editorKind(const QDomElement &e)
{
    const QString name = e.attribute(kNamekavu);
    const ParameterSpec spec = ParameterSpec::fromElement(e);
    if (name == QLatin1String("logfile"))
        return LogFileEditor;
    if (spec.kind == ValueKind::Enum)
        return name == QLatin1String("Port") ? PortList : EnumList;
    if (spec.bitmask)
        return Bitmask;
    switch (spec.kind) {
    case ValueKind::Time:
        return TimeEditor;
    case ValueKind::DateTime:
        return DateTimeEditor;
    case ValueKind::Float:
    case ValueKind::Point:
        return FloatEditor;
    case ValueKind::Word:
    case ValueKind::Short:
        return IntegerEditor;
    default:
        return TextEditor;
    }
}

void HrcEditDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    if (!(option.state & QStyle::State_Selected)) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // The state colour of the row stays visible under the selection.
    QStyleOptionViewItem selected(option);
    const QVariant foreground = index.sibling(index.row(), 0).data(Qt::ForegroundRole);
    if (foreground.isValid()) {
        const QColor colour = foreground.value<QBrush>().color();
        selected.palette.setColor(QPalette::Active, QPalette::HighlightedText, colour);
        selected.palette.setColor(QPalette::Inactive, QPalette::HighlightedText, colour);
        selected.palette.setColor(QPalette::Disabled, QPalette::HighlightedText, colour);
    }
    QStyledItemDelegate::paint(painter, selected, index);
}

QSize HrcEditDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    return QStyledItemDelegate::sizeHint(option, index);
}

QWidget *HrcEditDelegate::createComboBox(QWidget *parent, const QStringList &entries) const
{
    auto *combo = new QComboBox(parent);
    combo->setFrame(true);
    combo->addItems(entries);
    // Choosing an entry is the whole edit: take it and close the editor.
    connect(combo, qOverload<int>(&QComboBox::activated), this, [this, combo](int) {
        combo->setProperty(kEntryPicked, true);
        auto *self = const_cast<HrcEditDelegate *>(this);
        emit self->commitData(combo);
        emit self->closeEditor(combo, QAbstractItemDelegate::NoHint);
    });
    // The list opens at once, as if the user had pressed on the box.
    QCoreApplication::postEvent(combo, new QMouseEvent(QEvent::MouseButtonPress, QPointF(2, 2),
                                                       QPointF(combo->mapToGlobal(QPoint(2, 2))), Qt::LeftButton,
                                                       Qt::LeftButton, Qt::NoModifier));
    return combo;
}

QWidget *HrcEditDelegate::createPortEditor(QWidget *parent) const
{
    auto *editor = new PortNameEditor(parent);
    // Picking an entry or pressing Enter is the whole edit.
    connect(editor, &PortNameEditor::chosen, this, [this, editor]() {
        auto *self = const_cast<HrcEditDelegate *>(this);
        emit self->commitData(editor);
        emit self->closeEditor(editor, QAbstractItemDelegate::NoHint);
    });
    return editor;
}

QWidget *HrcEditDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const
{
    if (index.column() != valueColumn)
        return nullptr;
    const QDomElement e = elementAt(index);
    if (e.isNull())
        return nullptr;

    switch (editorKind(e)) {
    case LogFileEditor:
        return new LogFileNameEditor(parent);
    case PortList:
        return createPortEditor(parent);
    case EnumList:
        return createComboBox(parent, HrcDocument::translated(e.attribute(QStringLiteral("valueset")))
                                          .split(QLatin1Char(';')));
    case Bitmask:
        return new BitmaskEditor(parent);
    case TimeEditor: {
        auto *edit = new QTimeEdit(parent);
        edit->setDisplayFormat(QStringLiteral("hh:mm:ss"));
        const QTime min = ValueCodec::parseTime(e.attribute(QStringLiteral("minvalue")));
        const QTime max = ValueCodec::parseTime(e.attribute(QStringLiteral("maxvalue")));
        if (max.isValid())
            edit->setMaximumTime(max);
        if (min.isValid())
            edit->setMinimumTime(min);
        return edit;
    }
    case DateTimeEditor: {
        auto *edit = new QDateTimeEdit(parent);
        // The tree's own form of the clock, so the editor shows what the row showed.
        edit->setDisplayFormat(QStringLiteral("yyyy/MM/dd/HH:mm:ss"));
        return edit;
    }
    case FloatEditor:
    case IntegerEditor:
    case TextEditor:
        break;
    }

    auto *edit = new QLineEdit(parent);
    edit->setFrame(true);
    edit->setText(e.attribute(kValue));
    edit->setReadOnly(e.attribute(QStringLiteral("readonly")) == QLatin1String("yes"));
    const QString minText = e.attribute(QStringLiteral("minvalue"));
    // The limit as the value rules see it (the device address follows the address mode).
    const QString maxText = ParameterSpec::inDocument(e).maxValue;
    edit->setProperty("hrcMinText", minText);
    edit->setProperty("hrcMaxText", maxText);
    if (editorKind(e) == FloatEditor) {
        bool hasMin = false, hasMax = false;
        double min = floatLimit(minText, &hasMin);
        double max = floatLimit(maxText, &hasMax);
        // Without limits the value is free rather than held at 0.
        if (!hasMin)
            min = -1e9;
        if (!hasMax)
            max = 1e9;
        edit->setValidator(new FValidator(min, max, edit));
    } else if (editorKind(e) == IntegerEditor) {
        edit->setValidator(new IValidator(integerLimit(minText, INT_MIN), integerLimit(maxText, INT_MAX), edit));
    }
    return edit;
}

void HrcEditDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    fillEditor(editor, index);
    const QDomElement e = elementAt(index);
    if (!e.isNull())
        editor->setProperty(kOpenedOutput, editorOutput(editor, e));
}

QString HrcEditDelegate::editorOutput(QWidget *editor, const QDomElement &e) const
{
    switch (editorKind(e)) {
    case LogFileEditor:
        return static_cast<LogFileNameEditor *>(editor)->text();
    case PortList:
        return static_cast<QComboBox *>(editor)->currentText();
    case EnumList: {
        auto *combo = static_cast<QComboBox *>(editor);
        if (ParameterSpec::fromElement(e).enumIndex)
            return QString::number(combo->currentIndex());
        // The stored text is the untranslated entry.
        const QStringList entries = ValueCodec::entries(e.attribute(QStringLiteral("valueset")));
        const int i = combo->currentIndex();
        return i >= 0 && i < entries.size() ? entries.at(i) : combo->currentText();
    }
    case Bitmask:
        return QString::number(static_cast<BitmaskEditor *>(editor)->value());
    case TimeEditor:
        return ValueCodec::timeText(static_cast<QTimeEdit *>(editor)->time());
    case DateTimeEditor:
        return ValueCodec::dateTimeText(static_cast<QDateTimeEdit *>(editor)->dateTime());
    case FloatEditor:
    case IntegerEditor:
    case TextEditor:
        break;
    }
    return static_cast<QLineEdit *>(editor)->text();
}

void HrcEditDelegate::fillEditor(QWidget *editor, const QModelIndex &index) const
{
    const QDomElement e = elementAt(index);
    if (e.isNull())
        return;
    const QString value = e.attribute(kValue);

    switch (editorKind(e)) {
    case LogFileEditor: {
        auto *edit = static_cast<LogFileNameEditor *>(editor);
        edit->show();
        edit->setText(value);
        return;
    }
    case PortList:
        static_cast<PortNameEditor *>(editor)->setPortName(value);
        return;
    case EnumList: {
        auto *combo = static_cast<QComboBox *>(editor);
        if (!ParameterSpec::fromElement(e).enumIndex)
            combo->setCurrentText(HrcDocument::translated(value));
        else
            combo->setCurrentIndex(value.toInt());
        return;
    }
    case Bitmask:
        static_cast<BitmaskEditor *>(editor)->setValue(value.toUInt());
        return;
    case TimeEditor:
        static_cast<QTimeEdit *>(editor)->setTime(ValueCodec::parseTime(value));
        return;
    case DateTimeEditor: {
        const QDateTime when = ValueCodec::parseDateTime(value);
        if (when.isValid())
            static_cast<QDateTimeEdit *>(editor)->setDateTime(when);
        return;
    }
    case FloatEditor:
    case IntegerEditor:
    case TextEditor:
        break;
    }

    auto *edit = static_cast<QLineEdit *>(editor);
    if (HrcDocument::isPointHalf(e)) {
        // Opening changes nothing: the pair is made whole only when a half is stored.
        const QDomElement point = tree->findParameter(e.attribute(kNamekavu));
        const int half = e.tagName() == QLatin1String("X") ? 0 : 1;
        edit->setText(ValueCodec::part(point.attribute(kValue), half));
    } else {
        edit->setText(value);
    }
}

void HrcEditDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    QDomElement e = elementAt(index);
    if (e.isNull())
        return;
    const QString old = e.attribute(kValue);
    const EditorKind kind = editorKind(e);
    // An editor shows something even for an empty or unreadable value (a
    // date-time editor the year 2000, a list its first entry); unless the
    // engineer changed it or picked an entry, that is not a value to store.
    const QVariant opened = editor->property(kOpenedOutput);
    if (opened.isValid() && opened.toString() == editorOutput(editor, e) && !editor->property(kEntryPicked).toBool())
        return;
    QString newValue;
    QString shown;
    bool changed = false;

    switch (kind) {
    case LogFileEditor:
        newValue = shown = static_cast<LogFileNameEditor *>(editor)->text();
        changed = newValue != old;
        break;
    case PortList:
        newValue = shown = static_cast<PortNameEditor *>(editor)->portName();
        changed = newValue != old;
        break;
    case EnumList: {
        auto *combo = static_cast<QComboBox *>(editor);
        shown = combo->currentText();
        if (!ParameterSpec::fromElement(e).enumIndex) {
            // The stored text is the untranslated entry.
            const QStringList entries = ValueCodec::entries(e.attribute(QStringLiteral("valueset")));
            const int i = combo->currentIndex();
            newValue = i >= 0 && i < entries.size() ? entries.at(i) : shown;
            changed = newValue != old;
        } else {
            newValue = QString::number(combo->currentIndex());
            changed = combo->currentIndex() != old.toInt();
        }
        break;
    }
    case Bitmask: {
        const uint bits = static_cast<BitmaskEditor *>(editor)->value();
        newValue = QString::number(bits);
        changed = bits != old.toUInt();
        break;
    }
    case TimeEditor:
        newValue = shown = ValueCodec::timeText(static_cast<QTimeEdit *>(editor)->time());
        changed = newValue != old;
        break;
    case DateTimeEditor:
        newValue = shown = ValueCodec::dateTimeText(static_cast<QDateTimeEdit *>(editor)->dateTime());
        changed = newValue != old;
        break;
    case FloatEditor:
        // The document's form of the typed number (a decimal comma).
        newValue = shown = ValueCodec::typedNumber(static_cast<QLineEdit *>(editor)->text());
        changed = newValue != old;
        break;
    case IntegerEditor:
    case TextEditor:
        newValue = shown = static_cast<QLineEdit *>(editor)->text();
        changed = newValue != old;
        break;
    }

    if (changed)
        e.setAttribute(kValue, newValue);
    if (kind == Bitmask)
        shown = tree->displayText(e);

    tree->acceptEdit(e, old, newValue, changed);
    model->setData(index, shown, Qt::EditRole);
}

void HrcEditDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                           const QModelIndex &) const
{
    QRect rect = option.rect;
    // A date and time or a file path does not fit the value column; those
    // editors reach over the next columns rather than cut the text.
    if (qobject_cast<QDateTimeEdit *>(editor) && !qobject_cast<QTimeEdit *>(editor))
        rect.setWidth(qMax(rect.width(), editor->sizeHint().width()));
    else if (qobject_cast<LogFileNameEditor *>(editor) || qobject_cast<PortNameEditor *>(editor))
        rect.setWidth(qMax(rect.width(), 290));
    editor->setGeometry(rect);
}

QString HrcEditDelegate::refusalReason(const QLineEdit *edit, const QString &minText, const QString &maxText)
{
    if (edit->hasAcceptableInput())
        return QString();
    if (edit->text().trimmed().isEmpty())
        return tr("Введите значение");
    // A text that is no number at all is said to be so, rather than blamed
    // on the limits; the codec's rule decides what a number is.
    const QString typed = ValueCodec::typedNumber(edit->text());
    const auto *floats = qobject_cast<const FValidator *>(edit->validator());
    double number = 0;
    if (floats && !ValueCodec::parseFloatText(typed, number))
        return tr("«%1» — не число").arg(edit->text());
    if (qobject_cast<const IValidator *>(edit->validator())) {
        bool integer = false;
        number = double(typed.toLongLong(&integer));
        if (!integer)
            return tr("«%1» — не целое число").arg(edit->text());
    }
    double limit = 0;
    const bool belowMin = ValueCodec::parseFloatText(minText, limit) && number < limit;
    const bool aboveMax = ValueCodec::parseFloatText(maxText, limit) && number > limit;
    if (floats && !belowMin && !aboveMax)
        return tr("Допустимо не больше %1 знаков после запятой").arg(floats->decimals());
    if (!minText.isEmpty() && !maxText.isEmpty())
        return tr("Допустимо от %1 до %2").arg(minText, maxText);
    if (!minText.isEmpty())
        return tr("Допустимо не меньше %1").arg(minText);
    if (!maxText.isEmpty())
        return tr("Допустимо не больше %1").arg(maxText);
    return tr("Недопустимое значение");
}

bool HrcEditDelegate::eventFilter(QObject *object, QEvent *event)
{
    auto *edit = qobject_cast<QLineEdit *>(object);
    if (edit && edit->validator() && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            QString text = edit->text();
            edit->validator()->fixup(text);
            const QString reason = refusalReason(edit, edit->property("hrcMinText").toString(),
                                                 edit->property("hrcMaxText").toString());
            if (!reason.isEmpty()) {
                QToolTip::showText(edit->mapToGlobal(QPoint(0, edit->height())), reason, edit);
                return true;
            }
        }
    }
    return QStyledItemDelegate::eventFilter(object, event);
}
