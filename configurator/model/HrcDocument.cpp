#include "HrcDocument.h"

#include "HrcValueText.h"
#include "ValueCodec.h"

#include <QDateTime>
#include <QFile>

namespace {

const QString kNamekavu = QStringLiteral("namekavu");
const QString kValue = QStringLiteral("value");

QDomElement nextInDocumentOrder(const QDomElement &current, const QDomElement &root)
{
    QDomElement child = current.firstChildElement();
    if (!child.isNull())
        return child;
    QDomElement node = current;
    while (!node.isNull() && node != root) {
        QDomElement sibling = node.nextSiblingElement();
        if (!sibling.isNull())
            return sibling;
        node = node.parentNode().toElement();
    }
    return QDomElement();
}

// Calls visit for every element below and including root, in document order.
template <typename Visit>
QDomElement walk(const QDomElement &root, Visit visit)
{
    for (QDomElement e = root; !e.isNull(); e = nextInDocumentOrder(e, root)) {
        if (visit(e))
            return e;
    }
    return QDomElement();
}

} // namespace

const char *const HrcDocument::resourcePath = ":/resources/hrc417.xml";
const char *const HrcDocument::allSets = "configuration;otopKontur1;otopKontur2;GeneralParam";

const QStringList &HrcDocument::allSetNames()
{
    static const QStringList names = QString::fromLatin1(allSets).split(QLatin1Char(';'));
    return names;
}

HrcDocument::HrcDocument(const QDomDocument &document)
    : m_document(document)
{
    auto specs = QSharedPointer<QHash<QString, ParameterSpec>>::create();
    const QDomNodeList list = allParams().elementsByTagName(QStringLiteral("parameter"));
    for (int i = 0; i < list.size(); ++i) {
        const ParameterSpec spec = ParameterSpec::fromElement(list.at(i).toElement());
        if (!specs->contains(spec.name))
            specs->insert(spec.name, spec);
    }
    m_specs = specs;
}

ParameterSpec HrcDocument::spec(const QDomElement &element) const
{
    if (m_specs && isParameter(element)) {
        const auto found = m_specs->constFind(element.attribute(kNamekavu));
        if (found != m_specs->constEnd())
            return *found;
    }
    return ParameterSpec::fromElement(element);
}

HrcDocument HrcDocument::load(const QString &fileName, QString *errorMessage)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        if (errorMessage)
            *errorMessage = file.errorString();
        return HrcDocument();
    }
    return parse(file.readAll(), errorMessage);
}

HrcDocument HrcDocument::parse(const QByteArray &content, QString *errorMessage)
{
    QDomDocument document;
    QString message;
    int line = 0;
    int column = 0;
    if (!document.setContent(content, &message, &line, &column)) {
        if (errorMessage)
            *errorMessage = tr("Ошибка разбора в строке %1, символ %2:\n%3").arg(line).arg(column).arg(message);
        return HrcDocument();
    }
    return HrcDocument(document);
}

QDomElement HrcDocument::allParams() const
{
    return m_document.documentElement().firstChildElement(QStringLiteral("allparams"));
}

QDomElement HrcDocument::testParam() const
{
    return m_document.documentElement().firstChildElement(QStringLiteral("testParam"));
}

QDomElement HrcDocument::findElement(const QDomElement &start, const QString &name)
{
    return walk(start, [&name](const QDomElement &e) {
        return e.hasAttribute(kNamekavu) && e.attribute(kNamekavu).compare(name, Qt::CaseInsensitive) == 0;
    });
}

QDomElement HrcDocument::findParameter(const QString &name) const
{
    const QDomElement root = allParams();
    return root.isNull() ? QDomElement() : findElement(root, name);
}

QDomElement HrcDocument::findByTreeId(uint id) const
{
    const QString text = QString::number(id);
    if (id == testParamTreeId) {
        const QDomElement test = testParam();
        if (test.attribute(QStringLiteral("treeID")) == text)
            return test;
    }
    const QDomElement root = allParams();
    if (root.isNull())
        return QDomElement();
    return walk(root, [&text](const QDomElement &e) { return e.attribute(QStringLiteral("treeID")) == text; });
}

QString HrcDocument::paramValue(const QString &name, const QString &newValue)
{
    QDomElement element = findParameter(name);
    if (element.isNull())
        return QStringLiteral("e_r_r");
    if (!newValue.isEmpty()) {
        element.setAttribute(kValue, newValue);
        if (isPoint(element))
            setPointHalves(element, newValue);
    }
    return element.attribute(kValue);
}

QString HrcDocument::displayText(const QDomElement &element, const QString &attribute) const
{
    const QString attr = attribute.isEmpty() ? kValue : attribute;
    const bool isLimit = attr == QLatin1String("minvalue") || attr == QLatin1String("maxvalue");
    const QString text = element.attribute(attr);
    if (!isLimit && text.isEmpty())
        return tr("Нет данных");
    if (attr == kValue && holdsComputerTime(element))
        return tr("время компьютера");

    // A half of a point always shows the current value of its parent.
    if (attr == kValue && isPointHalf(element)) {
        const QString parentValue = findParameter(element.attribute(kNamekavu)).attribute(kValue);
        if (parentValue.isEmpty())
            return QString();
        return ValueCodec::part(parentValue, element.tagName() == QLatin1String("X") ? 0 : 1);
    }

    const ParameterSpec parameter = spec(element);
    if (parameter.kind == ValueKind::Enum) {
        if (attr == QLatin1String("minvalue"))
            return translated(parameter.valueSet.constFirst());
        if (attr == QLatin1String("maxvalue"))
            return translated(parameter.valueSet.constLast());
        if (!parameter.enumIndex)
            return translated(text);
        const QStringList entries = ValueCodec::entries(translated(element.attribute(QStringLiteral("valueset"))));
        // A text that is not a number reads as index 0; an index outside the
        // list falls back to the factory value, and when that does not fit
        // either nothing is shown.
        uint index = text.toUInt();
        if (index >= uint(entries.size()))
            index = parameter.defaultValue.toUInt();
        return index < uint(entries.size()) ? entries.at(int(index)) : QString();
    }

    if (parameter.bitmask)
        return ValueCodec::bitmaskText(text.toUInt());

    return text;
}

bool HrcDocument::isCompared(const QDomElement &parameter)
{
    const ParameterSpec spec = ParameterSpec::fromElement(parameter);
    return isEditable(parameter) && !spec.local && !spec.polled && !spec.readOnly
           && spec.kind != ValueKind::DateTime;
}

QVector<HrcDocument::KeptValue> HrcDocument::keepValuesAfterRead(const QMap<QString, QString> &before)
{
    QVector<KeptValue> kept;
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        QDomElement element = findParameter(it.key());
        if (element.isNull() || !isCompared(element) || it.value().isEmpty())
            continue;
        const bool wasRead = resultCodeOf(element) == codeSuccess;
        // What the read left: the device's value for a parameter read (a
        // window's tree may have made it the value already, a caller without
        // one has not), the value as it stood for one not read.
        const QString device = element.attribute(wasRead ? QStringLiteral("ioValue") : QStringLiteral("value"));
        if (ValueCodec::sameText(spec(element), device, it.value()))
            continue;
        // The device's value is the one to return to.
        if (wasRead)
            element.setAttribute(QStringLiteral("undoValue"), device);
        element.setAttribute(QStringLiteral("value"), it.value());
        if (isPoint(element))
            setPointHalves(element, it.value());
        kept.append({it.key(), wasRead});
    }
    return kept;
}

bool HrcDocument::hasProblemCode(const QDomElement &e)
{
    const int code = resultCodeOf(e);
    return code != codeSuccess && code != codeNotExchanged;
}

bool HrcDocument::wasNotExchanged(const QDomElement &e)
{
    const int code = resultCodeOf(e);
    // A lost port: the job stopped before or during the exchange.
    return code == codeSetDeadlinePassed || code == codeJobCancelled || code == codePortLost;
}

namespace {
const QString kRowMark = QStringLiteral("rowMark");
const QString kProblemReason = QStringLiteral("rowReason");
} // namespace

HrcDocument::RowMark HrcDocument::rowMark(const QDomElement &e)
{
    const QString mark = e.attribute(kRowMark);
    if (mark == QLatin1String("changed"))
        return RowMark::Changed;
    if (mark == QLatin1String("problem"))
        return RowMark::Problem;
    return RowMark::Normal;
}

void HrcDocument::setRowMark(QDomElement e, RowMark mark)
{
    if (e.isNull())
        return;
    if (mark == RowMark::Normal)
        e.removeAttribute(kRowMark);
    else
        e.setAttribute(kRowMark, mark == RowMark::Changed ? QStringLiteral("changed") : QStringLiteral("problem"));
}

bool HrcDocument::hasProblemReason(const QDomElement &e)
{
    return e.hasAttribute(kProblemReason);
}

void HrcDocument::setProblemReason(QDomElement e, bool problem)
{
    if (e.isNull())
        return;
    if (problem)
        e.setAttribute(kProblemReason, QStringLiteral("1"));
    else
        e.removeAttribute(kProblemReason);
}

namespace {
const QString kComputerTime = QStringLiteral("computerTime");
}

void HrcDocument::setComputerTime(QDomElement element, const QString &askedAt)
{
    element.setAttribute(kComputerTime, askedAt);
    element.setAttribute(kValue, askedAt);
}

bool HrcDocument::holdsComputerTime(const QDomElement &element)
{
    const QString value = element.attribute(kValue);
    return !value.isEmpty() && element.attribute(kComputerTime) == value
           && ParameterSpec::fromElement(element).kind == ValueKind::DateTime;
}

QString HrcDocument::valueToSend(const QDomElement &element)
{
    return holdsComputerTime(element) ? ValueCodec::dateTimeText(QDateTime::currentDateTime())
                                      : element.attribute(kValue);
}

void HrcDocument::preparePointChildren(QDomElement point)
{
    QDomDocument owner = point.ownerDocument();
    const QString minValue = point.attribute(QStringLiteral("minvalue"));
    const QString maxValue = point.attribute(QStringLiteral("maxvalue"));
    const QString halves[2] = {QStringLiteral("X"), QStringLiteral("Y")};
    for (int i = 0; i < 2; ++i) {
        QDomElement child = point.firstChildElement(halves[i]);
        if (child.isNull()) {
            child = owner.createElement(halves[i]);
            child.setAttribute(kValue, tr("Нет данных"));
            point.appendChild(child);
        }
        child.setAttribute(kNamekavu, point.attribute(kNamekavu));
        child.setAttribute(QStringLiteral("parentID"), point.attribute(QStringLiteral("treeID")));
        child.setAttribute(QStringLiteral("type"), QStringLiteral("float"));
        child.setAttribute(QStringLiteral("minvalue"), ValueCodec::part(minValue, i));
        child.setAttribute(QStringLiteral("maxvalue"), ValueCodec::part(maxValue, i));
    }
}

void HrcDocument::setPointHalves(const QDomElement &point, const QString &value)
{
    const QStringList parts = value.split(QLatin1Char(';'));
    if (parts.size() < 2)
        return;
    QDomElement x = pointX(point);
    QDomElement y = pointY(point);
    if (!x.isNull())
        x.setAttribute(kValue, parts.at(0));
    if (!y.isNull())
        y.setAttribute(kValue, parts.at(1));
}

void HrcDocument::keepUndoValue(QDomElement e, const QString &before, bool linkSettingsAtOnce)
{
    const QString undo = QStringLiteral("undoValue");
    const bool deviceLinkSetting = e.hasAttribute(QStringLiteral("commparam"))
        && e.attribute(QStringLiteral("localparam")) != QLatin1String("yes");
    const bool pendingLinkSetting = deviceLinkSetting && !e.attribute(undo).isEmpty();
    if (deviceLinkSetting && linkSettingsAtOnce)
        e.removeAttribute(undo);
    else if (!pendingLinkSetting)
        e.setAttribute(undo, before);
}

namespace {

template <typename Visit>
void forEachDeviceParameter(const QDomElement &allParams, Visit visit)
{
    const QDomNodeList list = allParams.elementsByTagName(QStringLiteral("parameter"));
    for (int i = 0; i < list.size(); ++i) {
        const QDomElement e = list.at(i).toElement();
        if (!e.hasAttribute(QStringLiteral("localparam")))
            visit(e);
    }
}

} // namespace

QStringList HrcDocument::baseNames() const
{
    QStringList names;
    forEachDeviceParameter(allParams(), [&names](const QDomElement &e) {
        const QString base = HrcValueText::baseName(e.attribute(kNamekavu));
        if (!names.contains(base))
            names.append(base);
    });
    return names;
}

QStringList HrcDocument::types() const
{
    QStringList list;
    forEachDeviceParameter(allParams(), [&list](const QDomElement &e) {
        const QString type = e.attribute(QStringLiteral("type"));
        if (!list.contains(type))
            list.append(type);
    });
    return list;
}

QString HrcDocument::logHeader() const
{
    QString header = tr("Время");
    forEachDeviceParameter(allParams(), [&header](const QDomElement &e) {
        if (e.hasAttribute(QStringLiteral("ivparam")))
            header += QLatin1Char(';') + e.attribute(QStringLiteral("label"));
    });
    return header;
}

QString HrcDocument::translated(const QString &text)
{
    if (text.isEmpty())
        return text;
    return QCoreApplication::translate("HrcTree", text.toUtf8().constData());
}

QVector<QDomElement> HrcDocument::parametersAt(const QDomElement &element)
{
    QVector<QDomElement> result;
    if (isParameter(element)) {
        result.append(element);
    } else if (isSet(element)) {
        for (QDomElement child = element.firstChildElement(); !child.isNull(); child = child.nextSiblingElement())
            result += parametersAt(child);
    }
    return result;
}
