#pragma once

#include <QPointF>
#include <QPointer>
#include <QVector>
#include <QWidget>

class HrcTree;
class QComboBox;
class QCPCurve;
class QCustomPlot;
class QLabel;
class QTableWidget;
class QTableWidgetItem;
class QTreeWidgetItem;

// The heating graph and the return-water graph (with its hysteresis band) of
// both heating contours, drawn as the wizard's graph pages draw them, with the
// measured operating point while polling runs: the outdoor temperature against
// the supply and the return temperature, and the trail of the last points.
// The measured values are the inputs the monitor polls (the boxes ticked in the
// tree); which input measures what is chosen at the top. The graph points are
// edited in the tables below the plots: an edit goes into the main tree as an
// edit there does (changed colour, undo value, written by the write commands).
class HeatingCurveWin : public QWidget
{
    Q_OBJECT

public:
    explicit HeatingCurveWin(HrcTree *tree, QWidget *parent = nullptr);

    static constexpr int contourCount = 2;
    static constexpr int trailLength = 60;

    enum Graph { Heating = 0, Return = 1 };
    enum Measure { Outdoor = 0, Supply1, Return1, Supply2, Return2, MeasureCount };

    HrcTree *tree() const { return paramTree; }
    QCustomPlot *plot(int contour, Graph graph) const { return contours[contour].plots[graph]; }
    QTableWidget *table(int contour, Graph graph) const { return contours[contour].tables[graph]; }
    QComboBox *inputBox(Measure measure) const { return inputBoxes[measure]; }
    // Over a plot whose graph has no point in the document: where points
    // come from.
    QLabel *emptyHint(int contour, Graph graph) const { return contours[contour].hints[graph]; }
    // The measured points, oldest first; the last one is the current point.
    const QVector<QPointF> &trail(int contour, Graph graph) const { return contours[contour].trails[graph]; }
    // The name of the graph point shown in a row of a table: "Grtp[5]".
    static QString pointName(int contour, Graph graph, int row);

public slots:
    void onKavuMonUpdating(uint treeId, int, int);
    // Redraws every plot and table from the document.
    void refresh();
    // Takes back the last edit made in this window; false if there is none.
    bool undoLastEdit();

private:
    struct Contour
    {
        QCustomPlot *plots[2] = {nullptr, nullptr};
        QTableWidget *tables[2] = {nullptr, nullptr};
        QLabel *hints[2] = {nullptr, nullptr};
        QLabel *status = nullptr;
        QVector<QPointF> trails[2];
        QCPCurve *trailCurves[2] = {nullptr, nullptr};
        QCPCurve *currentCurves[2] = {nullptr, nullptr};
    };
    struct Edit
    {
        QString name;
        QString oldValue;
        QString oldUndoValue;
        bool wasChanged = false;
    };

    QWidget *buildContourPage(int contour);
    void drawContour(int contour, Graph graph);
    void drawLive(int contour, Graph graph);
    void onCellEdited(int contour, Graph graph, QTableWidgetItem *item);
    void onTreeItemChanged(QTreeWidgetItem *item);
    void scheduleRefresh();
    void showStatus(int contour);
    QString value(const QString &name) const;

    QPointer<HrcTree> paramTree;
    Contour contours[contourCount];
    QComboBox *inputBoxes[MeasureCount] = {};
    QVector<Edit> edits;
    bool hasOutdoor = false;
    double outdoor = 0;
    double measured[MeasureCount] = {};
    bool hasMeasured[MeasureCount] = {};
    bool filling = false;
    bool refreshPending = false;
};
