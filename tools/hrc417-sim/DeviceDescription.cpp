#include "DeviceDescription.h"

#include "DeviceCodec.h"

#include <QDomDocument>
#include <QFile>
#include <QSet>

namespace {

ValueKind kindOf(const QString& type, const QString& subtype, bool& known)
{
    known = true;
    if (subtype == "parpoint")
        return ValueKind::Point;
    if (type == "byte")
        return ValueKind::Byte;
    if (type == "short")
        return ValueKind::Short;
    if (type == "word")
        return ValueKind::Word;
    if (type == "enum")
        return ValueKind::Enum;
    if (type == "float")
        return ValueKind::Float;
    if (type == "text")
        return ValueKind::Text;
    if (type == "time")
        return ValueKind::Time;
    if (type == "datetime")
        return ValueKind::DateTime;
    if (type == "raw")
        return ValueKind::Raw;
    known = false;
    return ValueKind::Byte;
}

// Splits "NAME[i]:c" into its parts; false for a malformed index or channel.
bool splitName(const QString& name, QString& base, int& index, int& channel)
{
    QString left = name;
    channel = 0;
    index = -1;
    const int colon = name.indexOf(':');
    if (colon >= 0) {
        bool ok = false;
        channel = name.mid(colon + 1).toInt(&ok);
        if (!ok || channel < 0 || channel > 2047)
            return false;
        left = name.left(colon);
    }
    const int bracket = left.indexOf('[');
    if (bracket >= 0) {
        if (!left.endsWith(']'))
            return false;
        bool ok = false;
        index = left.mid(bracket + 1, left.size() - bracket - 2).toInt(&ok);
        if (!ok || index < 0 || index > 0xFFFF)
            return false;
        left = left.left(bracket);
    }
    base = left;
    return !base.isEmpty();
}

bool isReadOnly(const QString& attribute)
{
    return !attribute.isEmpty() && attribute != "0" && attribute.compare("no", Qt::CaseInsensitive) != 0;
}

void collect(const QDomElement& parent, QVector<QDomElement>& out)
{
    for (QDomElement child = parent.firstChildElement(); !child.isNull();
         child = child.nextSiblingElement()) {
        if (child.tagName() == "parameter")
            out.append(child);
        else if (child.tagName() == "parameterset")
            collect(child, out);
    }
}

}  // namespace

uint64_t DeviceDescription::key(uint16_t hash, int index, int channel)
{
    return (uint64_t(hash) << 40) | (uint64_t(uint32_t(index + 1)) << 16) | uint64_t(channel);
}

bool DeviceDescription::load(const QString& path, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read the device description %1: %2").arg(path, file.errorString());
        return false;
    }
    QDomDocument document;
    QString parseError;
    int line = 0, column = 0;
    if (!document.setContent(&file, &parseError, &line, &column)) {
        error = QStringLiteral("device description %1, line %2, column %3: %4")
                    .arg(path).arg(line).arg(column).arg(parseError);
        return false;
    }
    const QDomElement allParams = document.documentElement().firstChildElement("allparams");
    QVector<QDomElement> elements;
    collect(allParams, elements);

    parameters_.clear();
    byName_.clear();
    byKey_.clear();
    baseByHash_.clear();
    indexedHashes_.clear();
    maxChannel_ = 0;
    warnings_.clear();

    for (const QDomElement& e : elements) {
        if (e.hasAttribute("localparam"))
            continue;  // a setting of the program, unknown to the device
        ParameterSpec spec;
        spec.name = e.attribute("namekavu");
        if (!splitName(spec.name, spec.baseName, spec.index, spec.channel)) {
            warnings_ << QStringLiteral("parameter \"%1\": malformed name, ignored").arg(spec.name);
            continue;
        }
        bool known = false;
        spec.kind = kindOf(e.attribute("type"), e.attribute("subtype"), known);
        if (!known) {
            warnings_ << QStringLiteral("parameter \"%1\": unknown type \"%2\", ignored")
                             .arg(spec.name, e.attribute("type"));
            continue;
        }
        spec.bitmask = e.attribute("subtype") == "bitmask";
        spec.enumIndex = e.attribute("subtype") == "enumindex";
        spec.defaultValue = e.attribute("defaultvalue");
        spec.minValue = e.attribute("minvalue");
        spec.maxValue = e.attribute("maxvalue");
        if (spec.kind == ValueKind::Enum)
            spec.valueSet = e.attribute("valueset").split(';');
        bool scaleOk = false;
        spec.scale = e.attribute("scaleFloat").toInt(&scaleOk);
        if (!scaleOk || spec.scale <= 0)
            spec.scale = 1;
        spec.readOnly = isReadOnly(e.attribute("readonly"));
        spec.polled = e.attribute("ivparam") == "yes";
        spec.commParam = e.attribute("commparam") == "yes";

        const uint16_t hash = deviceNameHash(spec.baseName);
        if (hash == 0) {
            warnings_ << QStringLiteral("parameter \"%1\": not a valid device name, ignored").arg(spec.name);
            continue;
        }
        const QString knownBase = baseByHash_.value(hash);
        if (!knownBase.isEmpty() && knownBase.compare(spec.baseName, Qt::CaseInsensitive) != 0) {
            warnings_ << QStringLiteral("parameter \"%1\": its name hash %2 is that of \"%3\"; ignored")
                             .arg(spec.name).arg(hash, 4, 16, QChar('0')).arg(knownBase);
            continue;
        }
        const uint64_t k = key(hash, spec.index, spec.channel);
        if (byKey_.contains(k)) {
            warnings_ << QStringLiteral("parameter \"%1\" appears twice; the first is used").arg(spec.name);
            continue;
        }
        baseByHash_.insert(hash, spec.baseName);
        if (spec.index >= 0)
            indexedHashes_.insert(hash);
        maxChannel_ = qMax(maxChannel_, spec.channel);
        byKey_.insert(k, parameters_.size());
        byName_.insert(spec.name, parameters_.size());
        parameters_.append(spec);
    }
    if (parameters_.isEmpty()) {
        error = QStringLiteral("device description %1 holds no device parameters").arg(path);
        return false;
    }
    return true;
}

int DeviceDescription::find(const QString& name) const
{
    return byName_.value(name, -1);
}

int DeviceDescription::find(uint16_t hash, int index, int channel) const
{
    return byKey_.value(key(hash, index, channel), -1);
}
