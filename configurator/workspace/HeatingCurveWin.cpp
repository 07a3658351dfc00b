#include "HeatingCurveWin.h"

#include "HeatingGraph.h"
#include "HelpWin.h"
#include "HrcTree.h"
#include "KavuMon.h"
#include "ValueCodec.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <qcustomplot.h>

namespace {

const QString kNamekavu = QStringLiteral("namekavu");
const QString kValue = QStringLiteral("value");
const double rangePadding = 2.0;

// A number typed with a point or a comma (the codec's rule); false when it
// does not read.
bool readNumber(const QString &text, double *number)
{
    return ValueCodec::parseFloatText(ValueCodec::typedNumber(text), *number);
}

// The input each measured temperature comes from, as the plant is usually
// wired: 1 outdoor, 2 and 3 supply and return of contour 1, 5 and 6 of
// contour 2 (4 is hot water).
const int defaultInputs[HeatingCurveWin::MeasureCount] = {0, 1, 2, 4, 5};
const char *const measureCaptions[HeatingCurveWin::MeasureCount] = {
    QT_TRANSLATE_NOOP("HeatingCurveWin", "Наружный воздух"),
    QT_TRANSLATE_NOOP("HeatingCurveWin", "Подача контура 1"),
    QT_TRANSLATE_NOOP("HeatingCurveWin", "Обратная вода контура 1"),
    QT_TRANSLATE_NOOP("HeatingCurveWin", "Подача контура 2"),
    QT_TRANSLATE_NOOP("HeatingCurveWin", "Обратная вода контура 2"),
};

int measureOf(int contour, HeatingCurveWin::Graph graph)
{
    return 1 + 2 * contour + int(graph);
}

void widenRange(QCPAxis *axis, double value)
{
    const QCPRange r = axis->range();
    if (value - rangePadding < r.lower || value + rangePadding > r.upper)
        axis->setRange(qMin(r.lower, value - rangePadding), qMax(r.upper, value + rangePadding));
}

} // namespace

HeatingCurveWin::HeatingCurveWin(HrcTree *tree, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , paramTree(tree)
{
    setObjectName(QStringLiteral("HeatingCurveWin"));
    setWindowTitle(tr("Графики отопления"));

    auto *outdoorRow = new QHBoxLayout;
    auto *measureRow = new QHBoxLayout;
    for (int m = 0; m < MeasureCount; ++m) {
        auto *box = new QComboBox(this);
        box->setObjectName(QStringLiteral("inputBox%1").arg(m));
        for (int i = 0; i < 8; ++i)
            box->addItem(tr("Вход %1").arg(i + 1), i);
        box->setCurrentIndex(defaultInputs[m]);
        inputBoxes[m] = box;
        QHBoxLayout *row = m == Outdoor ? outdoorRow : measureRow;
        row->addWidget(new QLabel(tr(measureCaptions[m]), this));
        row->addWidget(box);
        row->addSpacing(8);
        // Another input: the points measured so far belong to the old one.
        connect(box, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this, m]() {
            hasMeasured[m] = false;
            if (m == Outdoor)
                hasOutdoor = false;
            for (int c = 0; c < contourCount; ++c) {
                for (Graph g : {Heating, Return}) {
                    if (m == Outdoor || m == measureOf(c, g)) {
                        contours[c].trails[g].clear();
                        drawLive(c, g);
                    }
                }
                showStatus(c);
            }
        });
    }
    measureRow->addStretch();
    auto *undoButton = new QPushButton(tr("Отменить правку"), this);
    undoButton->setObjectName(QStringLiteral("undoButton"));
    undoButton->setShortcut(QKeySequence::Undo);
    connect(undoButton, &QPushButton::clicked, this, &HeatingCurveWin::undoLastEdit);
    outdoorRow->addStretch();
    outdoorRow->addWidget(undoButton);

    auto *tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("contourTabs"));
    for (int c = 0; c < contourCount; ++c)
        tabs->addTab(buildContourPage(c), tr("Контур %1").arg(c + 1));

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(outdoorRow);
    layout->addLayout(measureRow);
    layout->addWidget(tabs, 1);
    HelpWin::installWindowKeys(this, QStringLiteral("14-heating-curves.html"));

    if (paramTree) {
        if (KavuMon *monitor = paramTree->monitor())
            connect(monitor, &KavuMon::kavuMonUpdating, this, &HeatingCurveWin::onKavuMonUpdating);
        // A job or an edit in the tree changes the graphs shown here.
        connect(paramTree, &QTreeWidget::itemChanged, this,
                [this](QTreeWidgetItem *item, int) { onTreeItemChanged(item); });
    }
    refresh();
    resize(1100, 720);
}

QWidget *HeatingCurveWin::buildContourPage(int contour)
{
    auto *page = new QWidget(this);
    auto *grid = new QGridLayout(page);
    Contour &c = contours[contour];
    const QStringList titles = {tr("Отопительный график"), tr("График температуры обратной воды")};
    for (Graph g : {Heating, Return}) {
        auto *title = new QLabel(QStringLiteral("<b>%1</b>").arg(titles.at(g)), page);
        auto *plot = new QCustomPlot(page);
        plot->setObjectName(QStringLiteral("curvePlot%1_%2").arg(contour).arg(int(g)));
        plot->setMinimumSize(420, 300);
        auto *table = new QTableWidget(0, 2, page);
        table->setObjectName(QStringLiteral("curveTable%1_%2").arg(contour).arg(int(g)));
        table->setHorizontalHeaderLabels({tr("Тн/Тпр"), g == Heating ? tr("Tконт") : tr("Tобр")});
        table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
        table->setMaximumHeight(200);
        connect(table, &QTableWidget::itemChanged, this,
                [this, contour, g](QTableWidgetItem *item) { onCellEdited(contour, g, item); });
        grid->addWidget(title, 0, g);
        grid->addWidget(plot, 1, g);
        grid->addWidget(table, 2, g);
        grid->setRowStretch(1, 1);
        c.plots[g] = plot;
        c.tables[g] = table;
        c.hints[g] = HelpWin::addEmptyHint(plot);
    }
    c.status = new QLabel(page);
    c.status->setObjectName(QStringLiteral("liveStatus%1").arg(contour));
    grid->addWidget(c.status, 3, 0, 1, 2);
    return page;
}

QString HeatingCurveWin::pointName(int contour, Graph graph, int row)
{
    return QStringLiteral("%1[%2]").arg(graph == Heating ? QStringLiteral("Grtp") : QStringLiteral("Grtr"))
        .arg(5 * contour + row);
}

QString HeatingCurveWin::value(const QString &name) const
{
    return paramTree ? paramTree->findParameter(name).attribute(kValue) : QString();
}

void HeatingCurveWin::refresh()
{
    refreshPending = false;
    for (int c = 0; c < contourCount; ++c) {
        drawContour(c, Heating);
        drawContour(c, Return);
        showStatus(c);
    }
}

void HeatingCurveWin::scheduleRefresh()
{
    if (refreshPending)
        return;
    refreshPending = true;
    QTimer::singleShot(0, this, &HeatingCurveWin::refresh);
}

void HeatingCurveWin::drawContour(int contour, Graph graph)
{
    Contour &c = contours[contour];
    QCustomPlot *plot = c.plots[graph];
    QTableWidget *table = c.tables[graph];
    // The point counts as the device keeps them: Node[0..3] of contours 1, 2.
    const int count = qBound(0, value(QStringLiteral("Node[%1]").arg(2 * contour + int(graph))).toInt(), 5);
    QVector<double> xs;
    QVector<double> ys;
    filling = true;
    table->setRowCount(count);
    for (int i = 0; i < count; ++i) {
        const QString text = value(pointName(contour, graph, i));
        const QPointF point = HeatingGraph::parsePoint(text);
        xs.append(point.x());
        ys.append(point.y());
        const QStringList parts = text.split(QLatin1Char(';'));
        for (int column = 0; column < 2; ++column) {
            auto *item = new QTableWidgetItem(parts.value(column));
            item->setTextAlignment(Qt::AlignCenter);
            table->setItem(i, column, item);
        }
        table->setVerticalHeaderItem(i, new QTableWidgetItem(QString::number(i + 1)));
    }
    filling = false;
    QLabel *hint = c.hints[graph];
    hint->setVisible(count == 0);
    if (count == 0) {
        const QDomElement nodes = paramTree ? paramTree->findParameter(QStringLiteral("Node[%1]").arg(2 * contour + int(graph)))
                                            : QDomElement();
        hint->setText(tr("У графика нет точек: в документе не задано их количество.\n\nПрочитайте параметры прибора "
                         "(«Прочитать все параметры») или откройте файл настроек; число точек задает параметр «%1».")
                          .arg(HrcDocument::translated(nodes.attribute(QStringLiteral("label")))));
    }

    // The live curves are plottables the graph drawing does not clear.
    plot->clearPlottables();
    c.trailCurves[graph] = nullptr;
    c.currentCurves[graph] = nullptr;
    HeatingGraph::drawGraph(plot, xs, ys, tr("Тн/Тпр"), graph == Heating ? tr("Tконт") : tr("Tобр"));
    if (graph == Return) {
        HeatingGraph::drawHysteresisBand(plot, HeatingGraph::readNumber(value(QStringLiteral("Hy.b1[%1]").arg(contour))),
                                         HeatingGraph::readNumber(value(QStringLiteral("Hy.b2[%1]").arg(contour))));
    }

    auto *trailCurve = new QCPCurve(plot->xAxis, plot->yAxis);
    QPen trailPen(QColor(0, 90, 220, 150));
    trailPen.setWidthF(1.2);
    trailCurve->setPen(trailPen);
    trailCurve->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, QColor(0, 90, 220, 150), 4));
    auto *currentCurve = new QCPCurve(plot->xAxis, plot->yAxis);
    currentCurve->setLineStyle(QCPCurve::lsNone);
    currentCurve->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, QColor(0, 60, 200), 12));
    c.trailCurves[graph] = trailCurve;
    c.currentCurves[graph] = currentCurve;
    drawLive(contour, graph);
}

void HeatingCurveWin::drawLive(int contour, Graph graph)
{
    Contour &c = contours[contour];
    QCPCurve *trailCurve = c.trailCurves[graph];
    QCPCurve *currentCurve = c.currentCurves[graph];
    if (!trailCurve || !currentCurve)
        return;
    const QVector<QPointF> &points = c.trails[graph];
    QVector<double> xs;
    QVector<double> ys;
    for (const QPointF &p : points) {
        xs.append(p.x());
        ys.append(p.y());
    }
    trailCurve->setData(xs, ys);
    if (points.isEmpty()) {
        currentCurve->data()->clear();
    } else {
        currentCurve->setData({points.last().x()}, {points.last().y()});
        QCustomPlot *plot = c.plots[graph];
        widenRange(plot->xAxis, points.last().x());
        widenRange(plot->yAxis, points.last().y());
    }
    c.plots[graph]->replot(QCustomPlot::rpQueuedReplot);
}

void HeatingCurveWin::onKavuMonUpdating(uint treeId, int, int)
{
    if (!paramTree)
        return;
    const QDomElement element = paramTree->elementById(treeId);
    const QString name = element.attribute(kNamekavu);
    if (!name.startsWith(QLatin1String("r.cor:"))
        || resultCodeOf(element) != codeSuccess)
        return;
    double number = 0;
    if (!readNumber(element.attribute(QStringLiteral("ioValue")), &number))
        return;
    const int input = name.mid(6).toInt();
    if (inputBoxes[Outdoor]->currentData().toInt() == input) {
        outdoor = number;
        hasOutdoor = true;
    }
    for (int c = 0; c < contourCount; ++c) {
        for (Graph g : {Heating, Return}) {
            const int m = measureOf(c, g);
            if (inputBoxes[m]->currentData().toInt() != input)
                continue;
            measured[m] = number;
            hasMeasured[m] = true;
            // A point needs both temperatures; the outdoor one is read first
            // in every cycle, so it belongs to the same cycle.
            if (!hasOutdoor)
                continue;
            QVector<QPointF> &trail = contours[c].trails[g];
            trail.append(QPointF(outdoor, number));
            if (trail.size() > trailLength)
                trail.remove(0, trail.size() - trailLength);
            drawLive(c, g);
        }
        showStatus(c);
    }
}

void HeatingCurveWin::showStatus(int contour)
{
    auto shown = [this](int m) {
        const bool known = m == Outdoor ? hasOutdoor : hasMeasured[m];
        const double v = m == Outdoor ? outdoor : measured[m];
        return known ? ValueCodec::withDecimalComma(QString::number(v, 'f', 2)) : QStringLiteral("—");
    };
    const QString text = tr("Тн: %1 °С   Тпр: %2 °С   Тобр: %3 °С")
                             .arg(shown(Outdoor), shown(measureOf(contour, Heating)), shown(measureOf(contour, Return)));
    const bool none = !hasOutdoor && !hasMeasured[measureOf(contour, Heating)] && !hasMeasured[measureOf(contour, Return)];
    contours[contour].status->setText(
        none ? text + tr("   (отметьте входы в ветви \"Опрос оперативных параметров\" для опроса)") : text);
}

void HeatingCurveWin::onCellEdited(int contour, Graph graph, QTableWidgetItem *item)
{
    if (filling || !paramTree)
        return;
    const QString name = pointName(contour, graph, item->row());
    QDomElement element = paramTree->findParameter(name);
    if (element.isNull())
        return;
    const QString old = element.attribute(kValue);
    QTableWidget *table = contours[contour].tables[graph];
    QStringList halves;
    bool valid = true;
    for (int column = 0; column < 2; ++column) {
        QTableWidgetItem *cell = table->item(item->row(), column);
        const QString text = cell ? ValueCodec::typedNumber(cell->text()) : QString();
        double number = 0;
        double low = 0;
        double high = 0;
        const QString minText = element.attribute(QStringLiteral("minvalue")).section(QLatin1Char(';'), column, column);
        const QString maxText = element.attribute(QStringLiteral("maxvalue")).section(QLatin1Char(';'), column, column);
        valid = valid && readNumber(text, &number);
        if (readNumber(minText, &low) && number < low)
            valid = false;
        if (readNumber(maxText, &high) && number > high)
            valid = false;
        halves << text;
    }
    const QString pair = halves.join(QLatin1Char(';'));
    if (!valid || pair == old) {
        // Not a point within the limits: the cell shows the stored one again.
        scheduleRefresh();
        return;
    }
    QTreeWidgetItem *treeItem = paramTree->findItem(name);
    edits.append(Edit{name, old, element.attribute(QStringLiteral("undoValue")),
                      treeItem && HrcTree::isChangedItem(treeItem)});
    // As an edit in the tree: the value with its halves, the changed colour,
    // the value before as the undo value.
    if (treeItem)
        paramTree->updateItems(treeItem, pair, HrcTree::Highlight | HrcTree::SourceIsValue | HrcTree::IncludeLocal);
    else
        paramTree->paramValue(name, pair);
    element.setAttribute(QStringLiteral("undoValue"), old);
    scheduleRefresh();
}

bool HeatingCurveWin::undoLastEdit()
{
    if (edits.isEmpty() || !paramTree)
        return false;
    const Edit edit = edits.takeLast();
    QDomElement element = paramTree->findParameter(edit.name);
    if (QTreeWidgetItem *treeItem = paramTree->findItem(edit.name)) {
        HrcTree::UpdateFlags flags = HrcTree::SourceIsValue | HrcTree::IncludeLocal;
        flags.setFlag(HrcTree::Highlight, edit.wasChanged);
        paramTree->updateItems(treeItem, edit.oldValue, flags);
    } else {
        paramTree->paramValue(edit.name, edit.oldValue);
    }
    element.setAttribute(QStringLiteral("undoValue"), edit.oldUndoValue);
    scheduleRefresh();
    return true;
}

void HeatingCurveWin::onTreeItemChanged(QTreeWidgetItem *item)
{
    if (!paramTree)
        return;
    const QString name = paramTree->elementOf(item).attribute(kNamekavu);
    static const QStringList drawn = {QStringLiteral("Grtp["), QStringLiteral("Grtr["), QStringLiteral("Node["),
                                      QStringLiteral("Hy.b")};
    for (const QString &prefix : drawn) {
        if (name.startsWith(prefix)) {
            scheduleRefresh();
            return;
        }
    }
}
