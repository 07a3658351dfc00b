// Values of every parameter of the device description written to the
// simulator, read back and shown: the texts come back exactly (no tolerance),
// at the edge steps of every scale.
#include "CommSettings.h"
#include "IoTestSupport.h"
#include "KavuComm.h"
#include "ValueCodec.h"

#include <QtTest>

#include <cmath>

using namespace iotest;

namespace {

// The transfer of the I/O service, driven one parameter at a time.
struct Transfer : KavuComm
{
    int run(IoParameter &p, KavuCommOperation op)
    {
        operation = op;
        return transferParameter(p);
    }
};

// Decimals of one step of a point at scale (scale 100: 0,001 -> 3).
int stepDecimals(int scale)
{
    return int(std::ceil(std::log10(10.0 * scale) - 1e-9));
}

// Step k of a point half as an engineer types it, with all its decimals.
QString stepText(int k, int scale)
{
    return QString::number(k / (10.0 * scale), 'f', stepDecimals(scale)).replace('.', ',');
}

// First and last step of a half within the limit texts and 15 bits.
void stepRange(const QString &minText, const QString &maxText, int scale, int *first, int *last)
{
    double lo = -3276.7 * 10 * scale, hi = -lo;
    ValueCodec::parseFloatText(minText, lo);
    ValueCodec::parseFloatText(maxText, hi);
    *first = int(qMax(-32767.0, std::ceil(lo * 10 * scale - 1e-6)));
    *last = int(qMin(32767.0, std::floor(hi * 10 * scale + 1e-6)));
}

// Values at the edges of what the parameter takes, as typed.
QStringList edgeValues(const ParameterSpec &spec)
{
    QStringList values;
    switch (spec.kind) {
    case ValueKind::Point: {
        int x0, x1, y0, y1;
        stepRange(ValueCodec::part(spec.minValue, 0), ValueCodec::part(spec.maxValue, 0), spec.scale, &x0, &x1);
        stepRange(ValueCodec::part(spec.minValue, 1), ValueCodec::part(spec.maxValue, 1), spec.scale, &y0, &y1);
        // A y half of -0x7000 steps or below puts 0xF in the high nibble of
        // the first data byte, which the protocol reads as an exception.
        y0 = qMax(y0, -(0x7000 - 1));
        // Both ends, around zero, and numbers whose decimal text is just
        // below the step in binary (1,15 is 1,1499...).
        auto step = [&spec](double v, int lo, int hi) { return qBound(lo, int(std::lround(v * 10 * spec.scale)), hi); };
        QVector<int> xs = {x0, x0 + 1, x1 - 1, x1, step(0, x0, x1), step(0.1, x0, x1), step(-0.1, x0, x1)};
        QVector<int> ys = {y1, y1 - 1, y0 + 1, y0, step(1.15, y0, y1), step(2.3, y0, y1), step(0.57, y0, y1)};
        for (double v : {1.15, 2.3, 0.57, 1.01, 1.13, 1.14, 1.16, 1.17, 1.18, 1.19}) {
            xs << step(v, x0, x1) << step(-v, x0, x1);
            ys << step(v, y0, y1) << step(v * 10, y0, y1);
        }
        for (int i = 0; i < xs.size(); ++i)
            values << stepText(xs[i], spec.scale) + ';' + stepText(ys[i], spec.scale);
        break;
    }
    case ValueKind::Float: {
        double lo = -1000, hi = 1000;
        ValueCodec::parseFloatText(spec.minValue, lo);
        ValueCodec::parseFloatText(spec.maxValue, hi);
        for (double v : {lo, lo + 0.1, (lo + hi) / 2, hi - 0.1, hi})
            values << ValueCodec::floatText(v);
        break;
    }
    case ValueKind::Enum:
        if (spec.enumIndex)
            values << QStringLiteral("0") << QString::number(spec.valueSet.size() - 1);
        else
            values << spec.valueSet.constFirst() << spec.valueSet.constLast();
        break;
    case ValueKind::Byte:
    case ValueKind::Short:
    case ValueKind::Word: {
        const quint32 width = spec.kind == ValueKind::Byte ? 0xFF : 0xFFFF;
        quint32 lo = 0, hi = width;
        ValueCodec::parseUnsigned(spec.minValue, width, &lo);
        ValueCodec::parseUnsigned(spec.maxValue, width, &hi);
        for (quint32 v : {lo, lo + 1, hi - 1, hi})
            values << QString::number(v);
        break;
    }
    case ValueKind::Time:
        values << QStringLiteral("00:00:00") << QStringLiteral("23:59:59") << QStringLiteral("7:08:09");
        break;
    case ValueKind::DateTime:
        values << QStringLiteral("2000/01/01/00:00:00") << QStringLiteral("2024/02/29/23:59:59");
        break;
    case ValueKind::Raw:
        values << QStringLiteral("00") << QStringLiteral("0123456789abcdef");
        break;
    case ValueKind::Text:
    case ValueKind::Unknown:
        break;
    }
    return values;
}

// The text the configurator keeps for a typed value: what the device holds.
QString canonical(const ParameterSpec &spec, const QString &typed)
{
    switch (spec.kind) {
    case ValueKind::Point: {
        quint32 word = 0;
        return ValueCodec::encodePoint(typed, spec.scale, &word) ? ValueCodec::decodePoint(word, spec.scale) : QString();
    }
    case ValueKind::Float: {
        float f = 0;
        return ValueCodec::parseFloat(typed, &f) ? ValueCodec::floatText(f) : QString();
    }
    case ValueKind::Time:
        return typed.size() == 7 ? '0' + typed : typed;
    case ValueKind::Raw:
        return typed.toUpper();
    default:
        return typed;
    }
}

} // namespace

class TestValueRoundTrip : public QObject
{
    Q_OBJECT

private slots:
    void pointStepsAreExactAtEveryScale();
    void reportedPointsComeBackAsWritten();
    void everyParameterThroughTheSimulator();
};

void TestValueRoundTrip::pointStepsAreExactAtEveryScale()
{
    // Every step at both ends of a half's range, both signs, at the scales
    // of the description and others: typed text -> word -> text -> word.
    for (int scale : {1, 2, 3, 7, 10, 100, 1000}) {
        for (int base : {0, 32767 - 300}) {
            for (int k = base; k <= base + 300; ++k) {
                for (int sign : {1, -1}) {
                    const int v = sign * k;
                    const quint16 half = v < 0 ? quint16(0x8000 - v) : quint16(v);
                    const quint32 word = quint32(half) | (quint32(half) << 16);
                    const QString shown = ValueCodec::decodePoint(word, scale);
                    quint32 again = 0;
                    QVERIFY2(ValueCodec::encodePoint(shown, scale, &again) && again == word,
                             qPrintable(QString("scale %1 step %2: %3").arg(scale).arg(v).arg(shown)));
                    if (scale == 1 || scale == 10 || scale == 100 || scale == 1000) {
                        const QString typed = stepText(v, scale) + ';' + stepText(v, scale);
                        QVERIFY2(ValueCodec::encodePoint(typed, scale, &again) && again == word,
                                 qPrintable(QString("scale %1: %2").arg(scale).arg(typed)));
                        QCOMPARE(ValueCodec::decodePoint(again, scale), shown);
                    }
                }
            }
        }
    }
    // A negative zero half reads as zero; finer than a step goes to the nearest.
    QCOMPARE(ValueCodec::decodePoint(0x80008000u, 100), QString("0;0"));
    quint32 word = 0;
    QVERIFY(ValueCodec::encodePoint("1,1549;-1,1551", 100, &word));
    QCOMPARE(ValueCodec::decodePoint(word, 100), QString("1,155;-1,155"));
}

void TestValueRoundTrip::reportedPointsComeBackAsWritten()
{
    Simulator sim;
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    HrcDocument document = loadDocument();
    connectTo(document, sim.path(), 1);
    CommSettings::publish(CommSettings::fromDocument(document));
    Transfer transfer;
    transfer.readPortSettings();
    QVERIFY(transfer.tryConnect());

    const QDomElement corr = document.findParameter("corr[0]");
    const struct {
        const char *typed, *shown;
    } cases[] = {{"0,00;1,15", "0;1,15"}, {"2,30;0,57", "2,3;0,57"}, {"-0,01;1,499", "-0,01;1,499"}, {"-9,999;0,501", "-9,999;0,501"}};
    for (const auto &c : cases) {
        IoParameter p = IoParameter::fromElement(corr);
        QCOMPARE(p.spec.scale, 100);
        p.value = c.typed;
        QCOMPARE(transfer.run(p, KavuComm::opWrite), 0);
        QCOMPARE(p.ioValue, QString(c.shown));
        IoParameter read = IoParameter::fromElement(corr);
        QCOMPARE(transfer.run(read, KavuComm::opRead), 0);
        QCOMPARE(read.ioValue, QString(c.shown));
    }
    transfer.closeSession();
}

void TestValueRoundTrip::everyParameterThroughTheSimulator()
{
    Simulator sim;
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    HrcDocument document = loadDocument();
    connectTo(document, sim.path(), 1);
    CommSettings::publish(CommSettings::fromDocument(document));
    Transfer transfer;
    transfer.readPortSettings();
    QVERIFY(transfer.tryConnect());

    int checked = 0;
    QSet<int> scales;
    for (QDomElement e : parametersOf(document, HrcDocument::allSets)) {
        const ParameterSpec spec = document.spec(e);
        QVERIFY2(spec.kind != ValueKind::Unknown, qPrintable(spec.name));
        if (spec.local || spec.readOnly || spec.polled || spec.commParam || e.hasAttribute("readonly"))
            continue;
        for (const QString &typed : edgeValues(spec)) {
            const QString what = spec.name + " = " + typed;
            QVERIFY2(ValueCodec::problem(spec, typed).isEmpty(), qPrintable(what + ": " + ValueCodec::problem(spec, typed)));
            const QString expected = canonical(spec, typed);
            IoParameter p = IoParameter::fromElement(e);
            p.value = typed;
            QVERIFY2(transfer.run(p, KavuComm::opWrite) == 0, qPrintable(what + " not written: " + QString::number(p.resultCode)));
            QVERIFY2(p.ioValue == expected, qPrintable(what + ": written as " + p.ioValue));
            IoParameter read = IoParameter::fromElement(e);
            QVERIFY2(transfer.run(read, KavuComm::opRead) == 0, qPrintable(what + " not read: " + QString::number(read.resultCode)));
            // The device's clock runs on after it is set.
            if (spec.kind != ValueKind::DateTime)
                QVERIFY2(read.ioValue == expected, qPrintable(what + ": read back " + read.ioValue));
            // Shown the same way as the value written.
            if (spec.kind != ValueKind::DateTime) {
                e.setAttribute("value", expected);
                const QString shownWritten = document.displayText(e);
                e.setAttribute("value", read.ioValue);
                QVERIFY2(!shownWritten.isEmpty() && document.displayText(e) == shownWritten,
                         qPrintable(what + ": shown " + document.displayText(e) + " for " + shownWritten));
            }
            ++checked;
        }
        if (spec.kind == ValueKind::Point)
            scales.insert(spec.scale);
    }
    transfer.closeSession();
    QVERIFY2(checked > 900, qPrintable(QString::number(checked)));
    QCOMPARE(scales, (QSet<int>{1, 100}));
}

QTEST_GUILESS_MAIN(TestValueRoundTrip)
#include "tst_valueroundtrip.moc"
