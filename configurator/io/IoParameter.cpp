#include "IoParameter.h"

#include "HrcDocument.h"

IoParameter IoParameter::fromElement(const QDomElement &element)
{
    IoParameter p;
    p.treeID = element.attribute(QStringLiteral("treeID")).toUInt();
    p.name = element.attribute(QStringLiteral("namekavu"));
    p.label = element.attribute(QStringLiteral("label"));
    p.spec = ParameterSpec::fromElement(element);
    // A clock set from the computer is taken as the job is handed over, not
    // when the engineer asked for it.
    p.value = HrcDocument::valueToSend(element);
    p.defaultValue = element.attribute(QStringLiteral("defaultvalue"));
    p.local = element.hasAttribute(QStringLiteral("localparam"));
    p.comm = element.hasAttribute(QStringLiteral("commparam"));
    return p;
}
