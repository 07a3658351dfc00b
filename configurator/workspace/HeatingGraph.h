#pragma once

#include <QPointF>
#include <QString>

class QCustomPlot;

// Drawing rules of the wizard's graph pages, free of the document.
class HeatingGraph
{
public:
    // A point value "x;y" with decimal commas; a missing or unreadable
    // coordinate reads as 0.
    static QPointF parsePoint(const QString &value);

    // Replaces the plot's graphs by the supply graph (red) through the points,
    // captions the axes and pads both ranges by 2.
    static void drawGraph(QCustomPlot *plot, const QVector<double> &x, const QVector<double> &y,
                          const QString &xCaption, const QString &yCaption);

    // Adds the return-water band around the plot's first graph: y + plus above
    // and y + minus below (magenta; a zero side is not drawn) and widens the
    // y range to hold it, padded by 2.
    static void drawHysteresisBand(QCustomPlot *plot, double plus, double minus);

    // A number typed with a point or a comma; 0 when it does not read.
    static double readNumber(const QString &text);
};
