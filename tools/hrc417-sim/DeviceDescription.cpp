#include "DeviceDescription.h"

#include "DeviceCodec.h"

#include <QDomDocument>
#include <QFile>
#include <QSet>

namespace {

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
        const ParameterSpec spec = ParameterSpec::fromElement(e);
        if (!spec.nameValid) {
            warnings_ << QStringLiteral("parameter \"%1\": malformed name, ignored").arg(spec.name);
            continue;
        }
        if (spec.kind == ValueKind::Unknown) {
            warnings_ << QStringLiteral("parameter \"%1\": unknown type \"%2\", ignored").arg(spec.name, spec.type);
            continue;
        }

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

QVector<int> DeviceDescription::named(const QString& name) const
{
    QVector<int> full, base;
    for (int i = 0; i < parameters_.size(); ++i) {
        const ParameterSpec& p = parameters_[i];
        if (p.name.compare(name, Qt::CaseInsensitive) == 0)
            full << i;
        else if (p.baseName.compare(name, Qt::CaseInsensitive) == 0)
            base << i;
    }
    return full.isEmpty() ? base : full;
}

int DeviceDescription::find(uint16_t hash, int index, int channel) const
{
    return byKey_.value(key(hash, index, channel), -1);
}
