#include "HrcValueText.h"

QString HrcValueText::bitmaskText(uint value)
{
    QString text(8, QLatin1Char('0'));
    for (int bit = 0; bit < 8; ++bit) {
        if (value & (1u << bit))
            text[bit] = QLatin1Char('1');
    }
    return text;
}

QString HrcValueText::part(const QString &text, int index)
{
    return text.section(QLatin1Char(';'), index, index);
}

QStringList HrcValueText::entries(const QString &valueSet)
{
    return valueSet.split(QLatin1Char(';'));
}

QString HrcValueText::floatText(double value)
{
    return QString::number(value, 'g', 6).replace(QLatin1Char('.'), QLatin1Char(','));
}

double HrcValueText::toFloat(const QString &text, bool *ok)
{
    QString normal = text.trimmed();
    normal.replace(QLatin1Char(','), QLatin1Char('.'));
    return normal.toDouble(ok);
}

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
