#include "IoParameter.h"

IoParameter IoParameter::fromElement(const QDomElement &element)
{
    IoParameter p;
    p.treeID = element.attribute(QStringLiteral("treeID")).toUInt();
    p.name = element.attribute(QStringLiteral("namekavu"));
    p.label = element.attribute(QStringLiteral("label"));
    p.spec = ParameterSpec::fromElement(element);
    p.value = element.attribute(QStringLiteral("value"));
    p.defaultValue = element.attribute(QStringLiteral("defaultvalue"));
    p.local = element.hasAttribute(QStringLiteral("localparam"));
    p.comm = element.hasAttribute(QStringLiteral("commparam"));
    return p;
}
