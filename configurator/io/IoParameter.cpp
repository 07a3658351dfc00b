#include "IoParameter.h"

IoParameter IoParameter::fromElement(const QDomElement &element)
{
    IoParameter p;
    p.treeID = element.attribute(QStringLiteral("treeID")).toUInt();
    p.name = element.attribute(QStringLiteral("namekavu"));
    p.label = element.attribute(QStringLiteral("label"));
    p.type = element.attribute(QStringLiteral("type"));
    p.subtype = element.attribute(QStringLiteral("subtype"));
    p.value = element.attribute(QStringLiteral("value"));
    p.valueSet = element.attribute(QStringLiteral("valueset"));
    p.defaultValue = element.attribute(QStringLiteral("defaultvalue"));
    p.scaleFloat = element.attribute(QStringLiteral("scaleFloat"));
    p.local = element.hasAttribute(QStringLiteral("localparam"));
    p.comm = element.hasAttribute(QStringLiteral("commparam"));
    return p;
}
