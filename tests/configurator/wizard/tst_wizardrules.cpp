// The wizard's rules on the shipped description, without windows or a device:
// the stage table, the forward paths, the contour choice, pump counts and the
// graph point counts.
#include "HrcDocument.h"
#include "ValueCodec.h"
#include "WizardRules.h"

#include <QtTest>

Q_DECLARE_METATYPE(ContourChoice)

namespace {

using S = WizardStages;

HrcDocument shipped()
{
    HrcDocument document = HrcDocument::load(HrcDocument::resourcePath);
    if (document.isNull())
        qFatal("no device description");
    return document;
}

QStringList valueSet(const HrcDocument &document, const QString &name)
{
    return ValueCodec::entries(document.findParameter(name).attribute(QStringLiteral("valueset")));
}

ContourChoice choice(bool heatingFirst, bool heatingSecond, bool waterFirst, bool waterSecond)
{
    ContourChoice c;
    c.heatingFirst = heatingFirst;
    c.heatingSecond = heatingSecond;
    c.waterFirst = waterFirst;
    c.waterSecond = waterSecond;
    return c;
}

// Every choice of one or two of the four boxes.
QList<ContourChoice> possibleChoices()
{
    QList<ContourChoice> all;
    for (int bits = 1; bits < 16; ++bits) {
        const ContourChoice c = choice(bits & 1, bits & 2, bits & 4, bits & 8);
        if (c.count() <= 2)
            all.append(c);
    }
    return all;
}

} // namespace

class TestWizardRules : public QObject
{
    Q_OBJECT

private slots:
    void stageTableNamesTheDescriptionsParameters();
    void forwardPathsFollowTheTable();
    void contourChoiceRoundTrip_data();
    void contourChoiceRoundTrip();
    void pumpCountsTheDeviceAccepts();
    void graphCountsPointsAndHysteresis();
};

void TestWizardRules::stageTableNamesTheDescriptionsParameters()
{
    HrcDocument document = shipped();
    QSet<QString> seen;
    for (const StageStep &step : WizardRules::stageTable()) {
        const QString where = QStringLiteral("%1 \"%2\"").arg(step.from).arg(QLatin1String(step.action));
        // One row per stage and action: a second would replace the first.
        QVERIFY2(!seen.contains(where), qPrintable(where));
        seen.insert(where);
        QVERIFY2(step.from >= 0 && step.from < S::stageCount, qPrintable(where));
        QVERIFY2(!step.targets.isEmpty(), qPrintable(where));
        for (int target : step.targets)
            QVERIFY2(target >= 0 && target < S::stageCount && target != step.from, qPrintable(where));
        QCOMPARE(WizardRules::step(step.from, QLatin1String(step.action)), &step);
        if (!step.jobParams)
            continue;
        // Reads may name whole sets; writes name parameters the engineer may set.
        for (const QString &name : QString::fromLatin1(step.jobParams).split(QLatin1Char(';'))) {
            const QDomElement element = document.findParameter(name);
            QVERIFY2(!element.isNull(), qPrintable(where + QStringLiteral(": ") + name));
            if (step.jobWrites)
                QVERIFY2(HrcDocument::isEditable(element), qPrintable(where + QStringLiteral(": ") + name));
        }
    }
    // Pages left only backwards, by hand-over or by the ready button.
    for (int leaf : {S::stParamsTree, S::stCheckCommSettings, S::stEditGraphData, S::stEditSensorSettings,
                     S::stEditContourOneSettings, S::stEditContourTwoSettings, S::stFinal})
        QVERIFY(!WizardRules::step(leaf, QStringLiteral("next")));
    // Each contour's graph points are written with the page that shows them.
    QCOMPARE(QLatin1String(WizardRules::step(S::stOtopSettings2C, QStringLiteral("next"))->jobParams),
             QLatin1String("Node[2];Grtp[5];Grtp[6];Grtp[7];Grtp[8];Grtp[9]"));
    QVERIFY(!WizardRules::step(S::stCommSettings, QStringLiteral("checkConn"))->jobWrites);
}

void TestWizardRules::forwardPathsFollowTheTable()
{
    // Every path the forward button asks for is a target of the stage's "next".
    for (int stage = 0; stage < S::stageCount; ++stage) {
        const StageStep *next = WizardRules::step(stage, QStringLiteral("next"));
        for (const ContourChoice &c : possibleChoices()) {
            for (bool offline : {false, true}) {
                const int path = WizardRules::forwardPath(stage, c, offline);
                if (path != -1) {
                    QVERIFY2(next && next->targets.contains(path), qPrintable(QString::number(stage)));
                }
            }
        }
    }
    const ContourChoice oneHeating = choice(true, false, false, false);
    const ContourChoice oneWater = choice(false, false, false, true);
    QCOMPARE(WizardRules::forwardPath(S::stCommSettings, oneHeating, false), int(S::stGetDeviceInfo));
    QCOMPARE(WizardRules::forwardPath(S::stCommSettings, oneHeating, true), int(S::stContoursSet));
    QCOMPARE(WizardRules::forwardPath(S::stContoursSet, oneWater, false), int(S::stHotWaterSettings));
    QCOMPARE(WizardRules::forwardPath(S::stContoursSet, choice(false, true, true, false), false),
             int(S::stOtopSettings));
    // After contour 1's pumps: the end of the contours, or contour 2 as chosen.
    QCOMPARE(WizardRules::forwardPath(S::stPumpC1Settings, oneHeating, false), int(S::stPumpColdWaterSettings));
    QCOMPARE(WizardRules::forwardPath(S::stPumpC1Settings, choice(true, true, false, false), false),
             int(S::stOtopSettings2C));
    QCOMPARE(WizardRules::forwardPath(S::stPumpC1Settings, choice(true, false, true, false), false),
             int(S::stHotWaterSettings2C));
    QCOMPARE(WizardRules::forwardPath(S::stPumpC1Settings, choice(false, false, true, true), false),
             int(S::stHotWaterSettings2C));
    QCOMPARE(WizardRules::forwardPath(S::stOtopSettings, oneHeating, false), -1);
}

void TestWizardRules::contourChoiceRoundTrip_data()
{
    QTest::addColumn<ContourChoice>("chosen");
    QTest::addColumn<QString>("kont");
    QTest::addColumn<QString>("node0");
    QTest::addColumn<QString>("node2");
    QTest::addColumn<ContourChoice>("readBack");
    // Before each choice contour 1 is a hot-water contour (1 point) and
    // contour 2 a heating contour of 3 points; a heating contour made of a
    // hot-water one gets its factory count (5), a heating one keeps its own.
    const ContourChoice h1 = choice(true, false, false, false);
    const ContourChoice w1 = choice(false, false, true, false);
    const ContourChoice hh = choice(true, true, false, false);
    const ContourChoice ww = choice(false, false, true, true);
    const ContourChoice hw = choice(true, false, true, false);
    QTest::newRow("heating 1") << h1 << "0" << "5" << "3" << h1;
    QTest::newRow("heating 2 alone is contour 1") << choice(false, true, false, false) << "0" << "5" << "3" << h1;
    QTest::newRow("water 1") << w1 << "0" << "1" << "3" << w1;
    QTest::newRow("water 2 alone is contour 1") << choice(false, false, false, true) << "0" << "1" << "3" << w1;
    QTest::newRow("two heating") << hh << "1" << "5" << "3" << hh;
    QTest::newRow("two water") << ww << "1" << "1" << "1" << ww;
    QTest::newRow("heating and water") << hw << "1" << "5" << "1" << hw;
    QTest::newRow("water 1, heating 2") << choice(false, true, true, false) << "1" << "5" << "1" << hw;
    QTest::newRow("heating 2, water 2") << choice(false, true, false, true) << "1" << "5" << "1" << hw;
    QTest::newRow("heating 1, water 2") << choice(true, false, false, true) << "1" << "5" << "1" << hw;
}

void TestWizardRules::contourChoiceRoundTrip()
{
    QFETCH(ContourChoice, chosen);
    QFETCH(QString, kont);
    QFETCH(QString, node0);
    QFETCH(QString, node2);
    QFETCH(ContourChoice, readBack);
    HrcDocument document = shipped();
    const QString names[3] = {QStringLiteral("kont"), QStringLiteral("Node[0]"), QStringLiteral("Node[2]")};
    document.paramValue(names[0], QStringLiteral("1"));
    document.paramValue(names[1], QStringLiteral("1"));
    document.paramValue(names[2], QStringLiteral("3"));

    WizardRules::storeContourChoice(document, chosen);
    const QString expected[3] = {kont, node0, node2};
    for (int i = 0; i < 3; ++i) {
        const QString stored = document.paramValue(names[i]);
        QCOMPARE(stored, expected[i]);
        // kont is chosen by index, the point counts by entry.
        if (i > 0)
            QVERIFY(valueSet(document, names[i]).contains(stored));
    }
    QCOMPARE(WizardRules::storedContourChoice(document), readBack);
    // The page shows what was chosen, up to which box holds a lone contour.
    QCOMPARE(readBack.count(), chosen.count());
    QCOMPARE(readBack.anyHeating(), chosen.anyHeating());

    // Without a contour, or with too many, nothing is stored.
    for (const ContourChoice &refused : {ContourChoice(), choice(true, true, true, false)}) {
        document.paramValue(names[2], QStringLiteral("4"));
        WizardRules::storeContourChoice(document, refused);
        QCOMPARE(document.paramValue(names[0]), kont);
        QCOMPARE(document.paramValue(names[2]), QStringLiteral("4"));
    }
}

void TestWizardRules::pumpCountsTheDeviceAccepts()
{
    HrcDocument document = shipped();
    for (const char *pump : {"pump[0]", "pump[1]", "pump[2]", "pump[3]"}) {
        const QString name = QLatin1String(pump);
        const QDomElement parameter = document.findParameter(name);
        const QStringList accepted = valueSet(document, name);
        QVERIFY2(!accepted.isEmpty(), pump);
        // A stored count comes back as it was through the boxes.
        for (const QString &count : accepted)
            QCOMPARE(WizardRules::pumpCount(parameter, WizardRules::pumpBoxes(count)), count);
        // Whatever is ticked, the count is one the device takes.
        for (int bits = 0; bits < 4; ++bits)
            QVERIFY2(accepted.contains(WizardRules::pumpCount(parameter, {bool(bits & 1), bool(bits & 2)})), pump);
    }
    // Circulation pumps may be none; make-up and cold-water pumps count from 1.
    QCOMPARE(WizardRules::pumpCount(document.findParameter(QStringLiteral("pump[0]")), {}), QStringLiteral("0"));
    QCOMPARE(WizardRules::pumpCount(document.findParameter(QStringLiteral("pump[1]")), {}), QStringLiteral("1"));
    QCOMPARE(WizardRules::pumpCount(document.findParameter(QStringLiteral("pump[3]")), {false, true}),
             QStringLiteral("1"));
    QVERIFY(!WizardRules::pumpBoxes(QStringLiteral("0")).first);
    QVERIFY(WizardRules::pumpBoxes(QStringLiteral("1")).first && !WizardRules::pumpBoxes(QStringLiteral("1")).second);
}

void TestWizardRules::graphCountsPointsAndHysteresis()
{
    HrcDocument document = shipped();
    const struct {
        int stage;
        const char *count;
        const char *prefix;
        int contour;
    } pages[] = {{S::stOtopSettings, "Node[0]", "Grtp", 0},
                 {S::stBackWaterSettings, "Node[1]", "Grtr", 0},
                 {S::stOtopSettings2C, "Node[2]", "Grtp", 1},
                 {S::stBackWaterSettings2C, "Node[3]", "Grtr", 1}};
    for (const auto &page : pages) {
        QCOMPARE(WizardRules::pointCountName(page.stage), QLatin1String(page.count));
        QCOMPARE(WizardRules::graphContour(page.stage), page.contour);
        // The page's point-count box offers "2".."5": counts the device takes.
        const QStringList accepted = valueSet(document, QLatin1String(page.count));
        for (const char *item : {"2", "3", "4", "5"})
            QVERIFY2(accepted.contains(QLatin1String(item)), page.count);
        // The editing stage lists exactly the page's five points, all points
        // of the description.
        QStringList points;
        for (int i = 0; i < 5; ++i) {
            points << WizardRules::pointName(QLatin1String(page.prefix), page.contour, i);
            QVERIFY(HrcDocument::isPoint(document.findParameter(points.last())));
        }
        QCOMPARE(QLatin1String(WizardRules::graphPointList(page.stage).names), points.join(QLatin1Char(';')));
        // Every point and count the page shows is written when it is left.
        const QStringList written =
            QString::fromLatin1(WizardRules::step(page.stage, QStringLiteral("next"))->jobParams).split(QLatin1Char(';'));
        for (const QString &name : points + QStringList{QLatin1String(page.count)})
            QVERIFY2(written.contains(name), qPrintable(name));
    }
    QCOMPARE(WizardRules::pointCountName(S::stContoursSet), QString());

    // Hysteresis: strictly inside the description's limits, either separator.
    const QDomElement plus = document.findParameter(QStringLiteral("Hy.b1[0]"));
    const QDomElement minus = document.findParameter(QStringLiteral("Hy.b2[1]"));
    for (const char *taken : {"5,5", "99.9", "0,1"})
        QVERIFY2(WizardRules::acceptsHysteresis(plus, QLatin1String(taken)), taken);
    for (const char *refused : {"100", "0", "-1", "abc", ""})
        QVERIFY2(!WizardRules::acceptsHysteresis(plus, QLatin1String(refused)), refused);
    QVERIFY(WizardRules::acceptsHysteresis(minus, QStringLiteral("-10")));
    QVERIFY(!WizardRules::acceptsHysteresis(minus, QStringLiteral("0")));
    QVERIFY(!WizardRules::acceptsHysteresis(minus, QStringLiteral("-100,0")));
}

QTEST_GUILESS_MAIN(TestWizardRules)
#include "tst_wizardrules.moc"
