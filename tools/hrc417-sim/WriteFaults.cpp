#include "WriteFaults.h"

#include "ValueCodec.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

bool isNumber(ValueKind kind)
{
    return kind == ValueKind::Byte || kind == ValueKind::Short || kind == ValueKind::Word
        || kind == ValueKind::Enum || kind == ValueKind::Float || kind == ValueKind::Point;
}

double rawMaximum(ValueKind kind)
{
    return kind == ValueKind::Short || kind == ValueKind::Word ? 65535.0 : 255.0;
}

// One number of the stored text changed by the fault; limits are the texts
// of its half of minvalue/maxvalue.
double changed(const WriteFault& fault, double value, const QString& minText, const QString& maxText)
{
    if (fault.kind == WriteFault::Offset)
        return value + fault.step;
    double low = 0, high = 0;
    if (!ValueCodec::parseFloatText(minText, low) || !ValueCodec::parseFloatText(maxText, high))
        return value;
    return std::min(value, low + (high - low) / 2);
}

}  // namespace

bool WriteFaults::parse(const QString& spec, QString& error)
{
    QHash<QString, WriteFault> parsed;
    for (const QString& rawItem : spec.split(',', Qt::SkipEmptyParts)) {
        const QString item = rawItem.trimmed();
        const int eq = item.indexOf('=');
        const QString kind = item.left(eq).trimmed().toLower();
        QString name = item.mid(eq + 1).trimmed();
        WriteFault fault;
        if (eq <= 0 || name.isEmpty()) {
            error = QStringLiteral("write fault \"%1\": expected KIND=NAME").arg(item);
            return false;
        }
        if (kind == "ignore") {
            fault.kind = WriteFault::Ignore;
        } else if (kind == "clamp") {
            fault.kind = WriteFault::Clamp;
        } else if (kind == "offset") {
            fault.kind = WriteFault::Offset;
            const int colon = name.lastIndexOf(':');
            if (colon <= 0 || !ValueCodec::parseFloatText(name.mid(colon + 1), fault.step)) {
                error = QStringLiteral("write fault \"%1\": expected offset=NAME:STEP").arg(item);
                return false;
            }
            name = name.left(colon);
        } else {
            error = QStringLiteral("unknown write fault \"%1\" (ignore, clamp, offset)").arg(kind);
            return false;
        }
        parsed.insert(name.toLower(), fault);
    }
    faults_ = parsed;
    return true;
}

bool WriteFaults::check(const DeviceDescription& description, QString& error) const
{
    for (auto it = faults_.cbegin(); it != faults_.cend(); ++it) {
        const auto& parameters = description.parameters();
        const auto found = std::find_if(parameters.cbegin(), parameters.cend(), [&](const ParameterSpec& p) {
            return p.name.toLower() == it.key();
        });
        if (found == parameters.cend()) {
            error = QStringLiteral("--write-faults: the description has no parameter %1").arg(it.key());
            return false;
        }
        if (it.value().kind != WriteFault::Ignore && !isNumber(found->kind)) {
            error = QStringLiteral("--write-faults: %1 is not a number (clamp and offset change numbers)")
                        .arg(found->name);
            return false;
        }
        if (it.value().kind == WriteFault::Clamp && (found->minValue.isEmpty() || found->maxValue.isEmpty())
            && found->kind != ValueKind::Enum) {
            error = QStringLiteral("--write-faults: %1 has no limits to clamp within").arg(found->name);
            return false;
        }
    }
    return true;
}

bool WriteFaults::apply(const ParameterSpec& spec, QString& text) const
{
    const auto it = faults_.constFind(spec.name.toLower());
    if (it == faults_.cend())
        return true;
    const WriteFault& fault = it.value();
    if (fault.kind == WriteFault::Ignore)
        return false;

    if (spec.kind == ValueKind::Float || spec.kind == ValueKind::Point) {
        const QStringList halves = text.split(';');
        QStringList result;
        for (int i = 0; i < halves.size(); ++i) {
            double v = 0;
            if (!ValueCodec::parseFloatText(halves[i], v))
                return true;
            result << ValueCodec::floatText(changed(fault, v, spec.minValue.section(';', i, i),
                                                    spec.maxValue.section(';', i, i)));
        }
        text = result.join(';');
        return true;
    }
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok)
        return true;
    QString minText = spec.minValue, maxText = spec.maxValue;
    if (spec.kind == ValueKind::Enum) {
        // An enumeration by index clamps within its entries' indexes.
        minText = "0";
        maxText = QString::number(spec.enumIndex ? spec.valueSet.size() - 1 : rawMaximum(spec.kind));
    }
    const double stored = std::clamp(std::round(changed(fault, v, minText, maxText)), 0.0, rawMaximum(spec.kind));
    text = QString::number(qint64(stored));
    return true;
}
