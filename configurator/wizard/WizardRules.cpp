#include "WizardRules.h"

#include "ValueCodec.h"

#include <QCoreApplication>
#include <QtGlobal>

namespace {

using S = WizardStages;

const char *const deviceInfo = "Dev;ver;p.ver";

QString text(const char *latin) { return QLatin1String(latin); }

} // namespace

namespace WizardRules {

const QList<StageStep> &stageTable()
{
    static const QList<StageStep> table = {
        {S::stCommSettings, "edit", {S::stEditCommSettings}, nullptr, false},
        {S::stCommSettings, "next", {S::stGetDeviceInfo, S::stContoursSet}, deviceInfo, false},
        {S::stCommSettings, "checkConn", {S::stGetDeviceInfo}, deviceInfo, false},
        {S::stCommSettings, "paramsTree", {S::stParamsTree}, HrcDocument::allSets, false},

        {S::stGetDeviceInfo, "paramsTree", {S::stParamsTree}, HrcDocument::allSets, false},
        {S::stGetDeviceInfo, "next", {S::stContoursSet}, HrcDocument::allSets, false},

        {S::stEditCommSettings, "checkConn", {S::stGetDeviceInfo}, deviceInfo, false},

        {S::stContoursSet, "next", {S::stOtopSettings, S::stHotWaterSettings}, "Node[0];Node[2];kont", true},

        {S::stOtopSettings, "editGraph", {S::stEditGraphData}, nullptr, false},
        {S::stOtopSettings, "next", {S::stBackWaterSettings}, "Ugr;Node[0];Grtp[0];Grtp[1];Grtp[2];Grtp[3];Grtp[4]",
         true},

        {S::stHotWaterSettings, "next", {S::stBackWaterSettings}, "T.sp[0]", true},

        {S::stBackWaterSettings, "editGraph", {S::stEditGraphData}, nullptr, false},
        {S::stBackWaterSettings, "next", {S::stPumpC1Settings},
         "k.obr[0];Hy.b1[0];Hy.b2[0];Node[1];Grtr[0];Grtr[1];Grtr[2];Grtr[3];Grtr[4]", true},

        {S::stOtopSettings2C, "editGraph", {S::stEditGraphData}, nullptr, false},
        {S::stOtopSettings2C, "next", {S::stBackWaterSettings2C}, "Node[2];Grtp[5];Grtp[6];Grtp[7];Grtp[8];Grtp[9]",
         true},

        {S::stHotWaterSettings2C, "next", {S::stBackWaterSettings2C}, "T.sp[1]", true},

        {S::stBackWaterSettings2C, "editGraph", {S::stEditGraphData}, nullptr, false},
        {S::stBackWaterSettings2C, "next", {S::stPumpC2Settings},
         "Node[3];Grtr[5];Grtr[6];Grtr[7];Grtr[8];Grtr[9];k.obr[1];Hy.b1[1];Hy.b2[1]", true},

        {S::stPumpC1Settings, "next", {S::stPumpColdWaterSettings, S::stOtopSettings2C, S::stHotWaterSettings2C},
         "pump[0];pump[1];t.wm[0]", true},

        {S::stPumpC2Settings, "next", {S::stPumpColdWaterSettings}, "pump[2];t.wm[1]", true},

        {S::stPumpColdWaterSettings, "next", {S::stAdditionalSettings}, "hws;pump[3];t.wm[2]", true},

        {S::stAdditionalSettings, "editSensor", {S::stEditSensorSettings}, nullptr, false},
        {S::stAdditionalSettings, "editOne", {S::stEditContourOneSettings}, nullptr, false},
        {S::stAdditionalSettings, "editTwo", {S::stEditContourTwoSettings}, nullptr, false},
        // Contour 2's own settings are written with contour 1's, as edited on
        // "Настройки контура 2".
        {S::stAdditionalSettings, "next", {S::stFinal},
         "in-t[0];in-t[1];in-t[2];in-t[3];in-t[4];in-t[5];in-t[6];in-t[7];Tm.dy;Tm.ng;"
         "p.hot[0];d.ngt[0];S.w[0];p.hot[1];d.ngt[1];S.w[1]",
         true},
    };
    return table;
}

const StageStep *step(int from, const QString &action)
{
    for (const StageStep &row : stageTable()) {
        if (row.from == from && action == QLatin1String(row.action))
            return &row;
    }
    return nullptr;
}

ContourChoice storedContourChoice(HrcDocument &document)
{
    ContourChoice choice;
    const bool firstIsWater = document.paramValue(text("Node[0]")) == QLatin1String("1");
    const bool secondIsWater = document.paramValue(text("Node[2]")) == QLatin1String("1");
    if (document.paramValue(text("kont")) == QLatin1String("0")) {
        (firstIsWater ? choice.waterFirst : choice.heatingFirst) = true;
    } else if (!firstIsWater && !secondIsWater) {
        choice.heatingFirst = choice.heatingSecond = true;
    } else if (firstIsWater && secondIsWater) {
        choice.waterFirst = choice.waterSecond = true;
    } else {
        choice.heatingFirst = choice.waterFirst = true;
    }
    return choice;
}

void storeContourChoice(HrcDocument &document, const ContourChoice &choice)
{
    const QString node0 = text("Node[0]");
    const QString node2 = text("Node[2]");
    const QString water = text("1");
    // A point count of 1 marks a hot-water contour. A contour chosen as a
    // heating contour that still has 1 point gets its factory count, or it
    // would come back as a hot-water contour.
    auto makeHeating = [&document, &water](const QString &name) {
        if (document.paramValue(name) != water)
            return;
        const QString factory = document.findParameter(name).attribute(QStringLiteral("defaultvalue"));
        document.paramValue(name, factory == water || factory.isEmpty() ? QStringLiteral("5") : factory);
    };
    switch (choice.count()) {
    case 1:
        document.paramValue(text("kont"), text("0"));
        if (choice.anyHeating())
            makeHeating(node0);
        else
            document.paramValue(node0, water);
        break;
    case 2:
        document.paramValue(text("kont"), text("1"));
        if (choice.heatingFirst && choice.heatingSecond) {
            makeHeating(node0);
            makeHeating(node2);
        } else if (choice.waterFirst && choice.waterSecond) {
            document.paramValue(node0, water);
            document.paramValue(node2, water);
        } else {
            makeHeating(node0);
            document.paramValue(node2, water);
        }
        break;
    default:
        break;
    }
}

int forwardPath(int stage, const ContourChoice &choice, bool offline)
{
    switch (stage) {
    case S::stCommSettings:
        return offline ? S::stContoursSet : S::stGetDeviceInfo;
    case S::stContoursSet:
        return choice.anyHeating() ? S::stOtopSettings : S::stHotWaterSettings;
    case S::stPumpC1Settings:
        if (choice.count() == 1)
            return S::stPumpColdWaterSettings;
        return choice.heatingFirst && choice.heatingSecond ? S::stOtopSettings2C : S::stHotWaterSettings2C;
    default:
        return -1;
    }
}

PumpBoxes pumpBoxes(const QString &count)
{
    const int n = count.toInt();
    return {n > 0, n > 0 && n != 1};
}

QString pumpCount(const QDomElement &parameter, const PumpBoxes &boxes)
{
    const int n = int(boxes.first) + int(boxes.second);
    const QString count = QString::number(n);
    const QStringList entries = ValueCodec::entries(parameter.attribute(QStringLiteral("valueset")));
    if (entries.isEmpty() || entries.contains(count))
        return count;
    // A group that cannot be empty (make-up and cold-water pumps count from
    // 1): the nearest count the device accepts.
    QString nearest = entries.constFirst();
    for (const QString &entry : entries) {
        if (qAbs(entry.toInt() - n) < qAbs(nearest.toInt() - n))
            nearest = entry;
    }
    return nearest;
}

int graphContour(int stage)
{
    return stage == S::stOtopSettings2C || stage == S::stBackWaterSettings2C ? 1 : 0;
}

QString pointCountName(int stage)
{
    switch (stage) {
    case S::stOtopSettings:
        return text("Node[0]");
    case S::stBackWaterSettings:
        return text("Node[1]");
    case S::stOtopSettings2C:
        return text("Node[2]");
    case S::stBackWaterSettings2C:
        return text("Node[3]");
    default:
        return QString();
    }
}

QString pointName(const QString &prefix, int contour, int i)
{
    return QStringLiteral("%1[%2]").arg(prefix).arg(5 * contour + i);
}

GraphPointList graphPointList(int stageFrom)
{
    switch (stageFrom) {
    case S::stOtopSettings2C:
        return {"Grtp[5];Grtp[6];Grtp[7];Grtp[8];Grtp[9]", QT_TRANSLATE_NOOP("Wizard", "Редактируйте настройки 2-го контура")};
    case S::stBackWaterSettings:
        return {"Grtr[0];Grtr[1];Grtr[2];Grtr[3];Grtr[4]", QT_TRANSLATE_NOOP("Wizard", "Редактируйте настройки 1-го контура")};
    case S::stBackWaterSettings2C:
        return {"Grtr[5];Grtr[6];Grtr[7];Grtr[8];Grtr[9]", QT_TRANSLATE_NOOP("Wizard", "Редактируйте настройки 2-го контура")};
    default:
        return {"Grtp[0];Grtp[1];Grtp[2];Grtp[3];Grtp[4]", QT_TRANSLATE_NOOP("Wizard", "Редактируйте настройки 1-го контура")};
    }
}

double number(const QString &text)
{
    double value = 0.0;
    return ValueCodec::parseFloatText(text, value) ? value : 0.0;
}

bool acceptsHysteresis(const QDomElement &parameter, const QString &text)
{
    const double low = number(parameter.attribute(QStringLiteral("minvalue")));
    const double high = number(parameter.attribute(QStringLiteral("maxvalue")));
    const double value = number(text);
    return value > low && value < high;
}

} // namespace WizardRules
