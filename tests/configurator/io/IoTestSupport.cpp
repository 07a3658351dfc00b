#include "IoTestSupport.h"

#include "KavuIOhelper.h"
#include "ValueCodec.h"

#include <QFile>
#include <QRegularExpression>

#include <cmath>

namespace iotest {

HrcDocument loadDocument()
{
    QString error;
    HrcDocument document = HrcDocument::load(QString::fromLatin1(HrcDocument::resourcePath), &error);
    Q_ASSERT_X(!document.isNull(), "loadDocument", qPrintable(error));
    return document;
}

void connectTo(HrcDocument &document, const QString &path, int timeoutSec)
{
    document.paramValue(QStringLiteral("Port"), path);
    document.paramValue(QStringLiteral("TimeOut"), QString::number(timeoutSec));
}

QList<QDomElement> parametersOf(HrcDocument &document, const QString &names)
{
    QList<QDomElement> result;
    std::function<void(const QDomElement &)> walk = [&](const QDomElement &e) {
        for (QDomElement c = e.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
            if (HrcDocument::isSet(c))
                walk(c);
            else if (HrcDocument::isParameter(c))
                result.append(c);
        }
    };
    for (const QString &name : names.split(QLatin1Char(';'))) {
        const QDomElement e = document.findParameter(name);
        if (HrcDocument::isSet(e))
            walk(e);
        else if (HrcDocument::isParameter(e))
            result.append(e);
    }
    return result;
}

namespace {

double number(const QString &text)
{
    double value = 0;
    return ValueCodec::parseFloatText(text, value) ? value : 0.0;
}

QString shifted(double value, double step, const QString &min, const QString &max)
{
    double v = value + step;
    if (!max.isEmpty() && v > number(max))
        v = value - step;
    if (!min.isEmpty() && v < number(min))
        v = value;
    return ValueCodec::floatText(v);
}

} // namespace

QString distinctValue(const QDomElement &p)
{
    const QString type = p.attribute(QStringLiteral("type"));
    const QString subtype = p.attribute(QStringLiteral("subtype"));
    const QString def = p.attribute(QStringLiteral("defaultvalue"));
    const QString min = p.attribute(QStringLiteral("minvalue"));
    const QString max = p.attribute(QStringLiteral("maxvalue"));
    if (subtype == QLatin1String("parpoint")) {
        return shifted(number(ValueCodec::part(def, 0)), 1.5, ValueCodec::part(min, 0), ValueCodec::part(max, 0))
               + QLatin1Char(';')
               + shifted(number(ValueCodec::part(def, 1)), -2, ValueCodec::part(min, 1), ValueCodec::part(max, 1));
    }
    if (type == QLatin1String("float"))
        return shifted(number(def), 0.5, min, max);
    if (type == QLatin1String("enum")) {
        const QStringList entries = ValueCodec::entries(p.attribute(QStringLiteral("valueset")));
        if (subtype == QLatin1String("enumindex"))
            return QString::number((def.toInt() + 1) % qMax(1, entries.size()));
        for (const QString &e : entries)
            if (e != def)
                return e;
        return def;
    }
    if (subtype == QLatin1String("bitmask"))
        return def == QLatin1String("5") ? QStringLiteral("6") : QStringLiteral("5");
    if (type == QLatin1String("byte") || type == QLatin1String("short") || type == QLatin1String("word")) {
        const qlonglong d = def.toLongLong();
        const qlonglong hi = max.isEmpty() ? 255 : max.toLongLong();
        return QString::number(d + 1 <= hi ? d + 1 : d - 1);
    }
    if (type == QLatin1String("time"))
        return QStringLiteral("07:08:09");
    if (type == QLatin1String("datetime"))
        return QStringLiteral("2024/02/03/04:05:06");
    return QString();
}

bool sameValue(const QDomElement &p, const QString &a, const QString &b)
{
    // Exactly the same value on the line: the same step of a point, the same
    // float ("55,0" and "55" are one value).
    const ParameterSpec spec = ParameterSpec::fromElement(p);
    if (spec.kind == ValueKind::Point) {
        quint32 x = 0, y = 0;
        return ValueCodec::encodePoint(a, spec.scale, &x) && ValueCodec::encodePoint(b, spec.scale, &y) && x == y;
    }
    if (spec.kind == ValueKind::Float) {
        float x = 0, y = 0;
        return ValueCodec::parseFloat(a, &x) && ValueCodec::parseFloat(b, &y) && x == y;
    }
    return a == b;
}

QStringList silentDeviceArgs()
{
    return {QStringLiteral("--faults"), QStringLiteral("drop=1")};
}

Simulator::Simulator(const QStringList &extraArgs)
{
    std::vector<std::string> args{"--verbose"};
    for (const QString &a : extraArgs)
        args.push_back(a.toStdString());
    process.reset(new hrcsim::SimProcess(args));
    ok = process->start();
}

QString Simulator::error() const
{
    return QString::fromStdString(process->error());
}

QString Simulator::path() const
{
    return QString::fromStdString(process->ptyPath());
}

QString Simulator::log() const
{
    return QString::fromStdString(process->stderrText());
}

int Simulator::writesOf(const QString &deviceName, int fromByte) const
{
    const QRegularExpression line(QStringLiteral(" write ") + QRegularExpression::escape(deviceName)
                                  + QStringLiteral("(\\[| |$)"),
                                  QRegularExpression::MultilineOption);
    int n = 0;
    auto it = line.globalMatch(log().mid(fromByte));
    while (it.hasNext()) {
        it.next();
        ++n;
    }
    return n;
}

int Simulator::stop()
{
    return process->stop();
}

JobRecorder::JobRecorder(KavuIOhelper *helper, HrcDocument doc)
    : document(doc)
{
    connect(helper, &KavuIOhelper::kavuIOStarting, this, [this](int t) { starting.append(t); });
    connect(helper, &KavuIOhelper::kavuIOUpdating, this, [this](uint id, int d, int t) {
        const QDomElement e = document.findByTreeId(id);
        updates.append({id, d, t, e.attribute(QStringLiteral("ioLastErrCode"))});
    });
    connect(helper, &KavuIOhelper::kavuIOFinished, this, [this](const QString &m, int c, int t) {
        message = m;
        count = c;
        total = t;
        ++finishedCount;
        emit finished();
    });
}

void JobRecorder::reset()
{
    starting.clear();
    updates.clear();
    message.clear();
    count = total = finishedCount = 0;
}

bool JobRecorder::waitFinished(int ms)
{
    if (finishedCount > 0)
        return true;
    QSignalSpy spy(this, &JobRecorder::finished);
    return spy.wait(ms);
}

} // namespace iotest
