#include "ParameterSpec.h"

ValueKind ParameterSpec::kindOf(const QString &type, const QString &subtype)
{
    if (subtype == QLatin1String("parpoint"))
        return ValueKind::Point;
    static const struct {
        const char *type;
        ValueKind kind;
    } kinds[] = {{"byte", ValueKind::Byte},   {"short", ValueKind::Short},    {"word", ValueKind::Word},
                 {"enum", ValueKind::Enum},   {"float", ValueKind::Float},    {"text", ValueKind::Text},
                 {"time", ValueKind::Time},   {"datetime", ValueKind::DateTime}, {"raw", ValueKind::Raw}};
    for (const auto &k : kinds) {
        if (type == QLatin1String(k.type))
            return k.kind;
    }
    return ValueKind::Unknown;
}

bool ParameterSpec::splitName(const QString &name, QString *base, int *index, int *channel)
{
    QString left = name;
    *channel = 0;
    *index = -1;
    const int colon = name.indexOf(QLatin1Char(':'));
    if (colon >= 0) {
        bool ok = false;
        *channel = name.mid(colon + 1).toInt(&ok);
        if (!ok || *channel < 0 || *channel > 2047)
            return false;
        left = name.left(colon);
    }
    const int bracket = left.indexOf(QLatin1Char('['));
    if (bracket >= 0) {
        if (!left.endsWith(QLatin1Char(']')))
            return false;
        bool ok = false;
        *index = left.mid(bracket + 1, left.size() - bracket - 2).toInt(&ok);
        if (!ok || *index < 0 || *index > 0xFFFF)
            return false;
        left = left.left(bracket);
    }
    *base = left;
    return !base->isEmpty();
}

bool ParameterSpec::longAddressMode(const QDomElement &anyParameter)
{
    const QDomNodeList parameters = anyParameter.ownerDocument().elementsByTagName(QStringLiteral("parameter"));
    for (int i = 0; i < parameters.size(); ++i) {
        const QDomElement p = parameters.at(i).toElement();
        if (p.attribute(QStringLiteral("namekavu")) != QLatin1String("A.Len"))
            continue;
        QString mode = p.attribute(QStringLiteral("value"));
        if (mode.isEmpty())
            mode = p.attribute(QStringLiteral("defaultvalue"));
        return mode.trimmed() == QLatin1String("1");
    }
    return true; // a description without the setting limits nothing
}

ParameterSpec ParameterSpec::inDocument(const QDomElement &e)
{
    ParameterSpec spec = fromElement(e);
    // In the 8-bit address mode a frame carries addresses up to 255 only; a
    // larger one would reach another device (the library keeps the low byte).
    if (spec.name == QLatin1String("Addr") && !longAddressMode(e))
        spec.maxValue = QString::number(kShortAddressMax);
    return spec;
}

ParameterSpec ParameterSpec::fromElement(const QDomElement &e)
{
    ParameterSpec spec;
    spec.name = e.attribute(QStringLiteral("namekavu"));
    spec.nameValid = splitName(spec.name, &spec.baseName, &spec.index, &spec.channel);
    spec.type = e.attribute(QStringLiteral("type"));
    spec.subtype = e.attribute(QStringLiteral("subtype"));
    spec.kind = kindOf(spec.type, spec.subtype);
    spec.bitmask = spec.subtype == QLatin1String("bitmask");
    spec.enumIndex = spec.subtype == QLatin1String("enumindex");
    spec.defaultValue = e.attribute(QStringLiteral("defaultvalue"));
    spec.minValue = e.attribute(QStringLiteral("minvalue"));
    spec.maxValue = e.attribute(QStringLiteral("maxvalue"));
    if (spec.kind == ValueKind::Enum)
        spec.valueSet = e.attribute(QStringLiteral("valueset")).split(QLatin1Char(';'));
    bool scaleOk = false;
    spec.scale = e.attribute(QStringLiteral("scaleFloat")).trimmed().toInt(&scaleOk);
    if (!scaleOk || spec.scale <= 0)
        spec.scale = 1;
    const QString readOnly = e.attribute(QStringLiteral("readonly"));
    spec.readOnly = !readOnly.isEmpty() && readOnly != QLatin1String("0")
                    && readOnly.compare(QLatin1String("no"), Qt::CaseInsensitive) != 0;
    spec.polled = e.hasAttribute(QStringLiteral("ivparam"));
    spec.commParam = e.hasAttribute(QStringLiteral("commparam"));
    spec.local = e.hasAttribute(QStringLiteral("localparam"));
    return spec;
}
