#include "HeatingGraph.h"

#include "ValueCodec.h"

#include <QStringList>
#include <QVector>

#include <algorithm>
#include <qcustomplot.h>

namespace {
const double rangePadding = 2.0;
} // namespace

double HeatingGraph::readNumber(const QString &text)
{
    double number = 0.0;
    return ValueCodec::parseFloatText(text, number) ? number : 0.0;
}

QPointF HeatingGraph::parsePoint(const QString &value)
{
    const QStringList parts = value.split(QLatin1Char(';'));
    const double x = readNumber(parts.value(0));
    const double y = parts.size() > 1 ? readNumber(parts.at(1)) : 0.0;
    return QPointF(x, y);
}

void HeatingGraph::drawGraph(QCustomPlot *plot, const QVector<double> &x, const QVector<double> &y,
                             const QString &xCaption, const QString &yCaption)
{
    // Every show draws the page anew; old graphs would carry stale points
    // into the hysteresis band, which is built from the first graph.
    plot->clearGraphs();
    QCPGraph *graph = plot->addGraph();
    graph->setData(x, y);
    QPen pen(Qt::red);
    pen.setWidthF(2.0);
    graph->setPen(pen);
    graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, Qt::red, Qt::white, 7));
    plot->xAxis->setLabel(xCaption);
    plot->yAxis->setLabel(yCaption);
    if (!x.isEmpty()) {
        const auto [minX, maxX] = std::minmax_element(x.cbegin(), x.cend());
        const auto [minY, maxY] = std::minmax_element(y.cbegin(), y.cend());
        plot->xAxis->setRange(*minX - rangePadding, *maxX + rangePadding);
        plot->yAxis->setRange(*minY - rangePadding, *maxY + rangePadding);
    }
    plot->replot();
}

void HeatingGraph::drawHysteresisBand(QCustomPlot *plot, double plus, double minus)
{
    if (plot->graphCount() == 0)
        return;
    QVector<double> x;
    QVector<double> upper;
    QVector<double> lower;
    double smallest = 0.0;
    double largest = 0.0;
    bool first = true;
    for (const QCPGraphData &point : *plot->graph(0)->data()) {
        x.append(point.key);
        upper.append(point.value + plus);
        lower.append(point.value + minus);
        const double low = std::min(point.value, point.value + minus);
        const double high = std::max(point.value, point.value + plus);
        smallest = first ? low : std::min(smallest, low);
        largest = first ? high : std::max(largest, high);
        first = false;
    }
    QPen pen(Qt::magenta);
    pen.setWidthF(1.5);
    pen.setStyle(Qt::DashLine);
    if (plus != 0.0) {
        QCPGraph *band = plot->addGraph();
        band->setData(x, upper);
        band->setPen(pen);
    }
    if (minus != 0.0) {
        QCPGraph *band = plot->addGraph();
        band->setData(x, lower);
        band->setPen(pen);
    }
    if (!first)
        plot->yAxis->setRange(smallest - rangePadding, largest + rangePadding);
    plot->replot();
}
