#pragma once

#include "HrcDocument.h"

#include <QDomElement>
#include <QList>
#include <QString>

// The set-up wizard's rules without its widgets: the stage table, the choice
// of contours and what it means for the device's values, the path the
// forward button takes, the pump counts and the graph point counts. The
// wizard's pages only show and collect what these rules read and write.

// Stage ids, in the order the stages are registered. Wizard derives from this,
// so its users name them Wizard::stCommSettings and so on.
struct WizardStages
{
    enum StageId {
        stCommSettings = 0,
        stParamsTree,
        stGetDeviceInfo,
        stEditCommSettings,
        stCheckCommSettings,
        stContoursSet,
        stOtopSettings,
        stEditGraphData,
        stHotWaterSettings,
        stBackWaterSettings,
        stOtopSettings2C,
        stHotWaterSettings2C,
        stBackWaterSettings2C,
        stPumpC1Settings,
        stPumpC2Settings,
        stPumpColdWaterSettings,
        stAdditionalSettings,
        stEditSensorSettings,
        stEditContourOneSettings,
        stEditContourTwoSettings,
        stFinal,
        stageCount
    };
};

// One row of the stage table: leaving stage `from` by `action` goes to one of
// `targets` (the first unless a path is named). When `jobParams` is set, the
// listed parameters are read from the device (or written, with `jobWrites`)
// before the target page is shown.
struct StageStep
{
    int from;
    const char *action;
    QList<int> targets;
    const char *jobParams; // ";"-separated protocol names; nullptr: no device job
    bool jobWrites;
};

// The four boxes of the contour page: heating or hot water, contour 1 or 2.
struct ContourChoice
{
    bool heatingFirst = false;
    bool heatingSecond = false;
    bool waterFirst = false;
    bool waterSecond = false;

    int count() const { return int(heatingFirst) + int(heatingSecond) + int(waterFirst) + int(waterSecond); }
    bool anyHeating() const { return heatingFirst || heatingSecond; }
    // Two contours are the most the device regulates: the other boxes close.
    bool isFull() const { return count() == 2; }
    bool operator==(const ContourChoice &o) const
    {
        return heatingFirst == o.heatingFirst && heatingSecond == o.heatingSecond && waterFirst == o.waterFirst
               && waterSecond == o.waterSecond;
    }
};

// Which of a pump group's two boxes are ticked.
struct PumpBoxes
{
    bool first = false;
    bool second = false;
};

// The parameters a graph page edits in the embedded tree, and its caption.
struct GraphPointList
{
    const char *names;
    const char *caption;
};

namespace WizardRules {

// The set of link settings the communication pages show and edit.
inline constexpr char linkSettingsSet[] = "commSettings";

// Every transition and device job of the wizard, in registration order.
const QList<StageStep> &stageTable();
// The row for leaving `from` by `action`; nullptr when there is none.
const StageStep *step(int from, const QString &action);

// The choice the stored values stand for: "kont" = "0" is one contour, a
// point count ("Node[0]", "Node[2]") of 1 marks a hot-water contour.
ContourChoice storedContourChoice(HrcDocument &document);
// Writes "kont", "Node[0]" and "Node[2]" for a choice of one or two
// contours; any other choice changes nothing.
void storeContourChoice(HrcDocument &document, const ContourChoice &choice);

// The target the forward button asks for on `stage` (-1: the first target).
int forwardPath(int stage, const ContourChoice &choice, bool offline);

// The boxes that show a stored pump count.
PumpBoxes pumpBoxes(const QString &count);
// The number of ticked boxes as a value the parameter's value set accepts:
// a group that cannot be empty gets the nearest count the device takes.
QString pumpCount(const QDomElement &parameter, const PumpBoxes &boxes);

// The contour (0 or 1) a graph stage belongs to.
int graphContour(int stage);
// The point count a graph stage shows and sets ("Node[0]" .. "Node[3]"),
// empty on any other stage.
QString pointCountName(int stage);
// Point i of a contour's graph: prefix "[" 5·contour + i "]".
QString pointName(const QString &prefix, int contour, int i);
// The points the editing stage lists, by the graph stage it was opened from.
GraphPointList graphPointList(int stageFrom);
// A hysteresis text is taken when its number lies strictly inside the
// parameter's limits (a text that is no number counts as 0).
bool acceptsHysteresis(const QDomElement &parameter, const QString &text);
// The number in a value text (either decimal separator); 0 when none.
double number(const QString &text);

} // namespace WizardRules
