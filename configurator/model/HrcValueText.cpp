#include "HrcValueText.h"

QString HrcValueText::baseName(const QString &name)
{
    return name.section(QLatin1Char('['), 0, 0);
}

QString HrcValueText::deviceName(const QString &name)
{
    return baseName(name.section(QLatin1Char(':'), 0, 0));
}

bool HrcValueText::isValidDeviceName(const QString &name)
{
    const QString base = deviceName(name);
    if (base.size() > 8 || base.contains(QLatin1String("..")))
        return false;
    for (const QChar c : base) {
        if (c.isSpace())
            return false;
    }
    const int dots = base.count(QLatin1Char('.'));
    return dots < 5 && base.size() - dots < 5;
}
