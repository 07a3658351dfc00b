#include "TrendWin.h"

#include "AtomicFile.h"
#include "DeviceText.h"
#include "HelpWin.h"
#include "HrcTree.h"
#include "KavuMon.h"
#include "ValueCodec.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <qcustomplot.h>

namespace {

const QString kNamekavu = QStringLiteral("namekavu");
const char *const timeFormat = "dd.MM.yyyy hh:mm:ss";

double keyOf(const QDateTime &time)
{
    return time.toMSecsSinceEpoch() / 1000.0;
}

QColor seriesColour(int n)
{
    static const QColor colours[] = {Qt::red,        Qt::blue,        QColor(0, 140, 0), Qt::magenta,
                                     QColor(230, 130, 0), Qt::darkCyan, Qt::darkYellow, Qt::darkMagenta,
                                     Qt::black,      Qt::darkRed,     Qt::darkBlue,      Qt::gray};
    return colours[n % (sizeof colours / sizeof colours[0])];
}

} // namespace

TrendWin::TrendWin(HrcTree *tree, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , paramTree(tree)
{
    setObjectName(QStringLiteral("TrendWin"));
    setWindowTitle(tr("Тренды"));
    customPlot = new QCustomPlot(this);
    customPlot->setObjectName(QStringLiteral("trendPlot"));
    customPlot->setMinimumSize(640, 360);
    customPlot->legend->setVisible(true);
    customPlot->legend->setFont(QFont(font().family(), 8));
    // New values come in on the right; the legend keeps to the left.
    customPlot->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignLeft);
    QSharedPointer<QCPAxisTickerDateTime> ticker(new QCPAxisTickerDateTime);
    ticker->setDateTimeFormat(QStringLiteral("hh:mm:ss"));
    customPlot->xAxis->setTicker(ticker);
    customPlot->xAxis->setLabel(tr("Время"));
    customPlot->yAxis->setVisible(false);
    customPlot->installEventFilter(this);
    customPlot->setMouseTracking(true);
    // Decimal commas on the axes, as everywhere in the program.
    customPlot->setLocale(QLocale(QLocale::Russian, QLocale::Russia));

    minutesBox = new QSpinBox(this);
    minutesBox->setObjectName(QStringLiteral("minutesBox"));
    minutesBox->setRange(1, maxWindowMinutes);
    minutesBox->setValue(5);
    minutesBox->setSuffix(tr(" мин"));
    pauseButton = new QPushButton(tr("Пауза"), this);
    pauseButton->setObjectName(QStringLiteral("pauseButton"));
    pauseButton->setCheckable(true);
    auto *csvButton = new QPushButton(tr("Экспорт CSV..."), this);
    csvButton->setObjectName(QStringLiteral("csvButton"));
    auto *pngButton = new QPushButton(tr("Сохранить PNG..."), this);
    pngButton->setObjectName(QStringLiteral("pngButton"));
    readoutLabel = new QLabel(this);
    readoutLabel->setObjectName(QStringLiteral("readoutLabel"));
    readoutLabel->setWordWrap(true);
    readoutLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *controls = new QHBoxLayout;
    controls->addWidget(new QLabel(tr("Окно времени:"), this));
    controls->addWidget(minutesBox);
    controls->addWidget(pauseButton);
    controls->addStretch();
    controls->addWidget(csvButton);
    controls->addWidget(pngButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(customPlot, 1);
    layout->addWidget(readoutLabel);

    connect(minutesBox, QOverload<int>::of(&QSpinBox::valueChanged), this, [this]() { refreshRange(); });
    connect(pauseButton, &QPushButton::toggled, this, &TrendWin::setPaused);
    connect(csvButton, &QPushButton::clicked, this, &TrendWin::chooseCsvFile);
    connect(pngButton, &QPushButton::clicked, this, &TrendWin::choosePngFile);
    HelpWin::installWindowKeys(this, QStringLiteral("10-trends.html"));

    // In the middle of the plot while it has no curve.
    hintLabel = HelpWin::addEmptyHint(customPlot);
    if (paramTree) {
        // A box ticked or cleared in the tree changes what the hint says.
        connect(paramTree, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem *, int column) {
            if (column == 0)
                updateHint();
        });
    }

    attachMonitor();
    updateHint();
    refreshRange();
    resize(900, 560);
}

void TrendWin::attachMonitor()
{
    if (!paramTree || !paramTree->monitor())
        return;
    monitor = paramTree->monitor();
    // After the tree's own slot: the value is in the document by then.
    connect(monitor, &KavuMon::kavuMonUpdating, this, &TrendWin::onKavuMonUpdating);
}

void TrendWin::onKavuMonUpdating(uint treeId, int, int)
{
    if (!paramTree)
        return;
    const QDomElement element = paramTree->elementById(treeId);
    if (element.isNull() || resultCodeOf(element) != codeSuccess)
        return;
    addSample(element.attribute(kNamekavu), element.attribute(QStringLiteral("label")),
              element.attribute(QStringLiteral("ioValue")), QDateTime::currentDateTime());
}

void TrendWin::addSample(const QString &name, const QString &label, const QString &text, const QDateTime &time)
{
    double number = 0;
    if (name.isEmpty() || !ValueCodec::parseFloatText(text, number))
        return;
    // A value already in the last row starts the next cycle.
    if (samples.isEmpty() || samples.last().values.contains(name))
        samples.append(Row{time, {}});
    samples.last().values.insert(name, text);
    seriesFor(name, label)->addData(keyOf(time), number);
    dropOldSamples(time);
    refreshRange();
}

void TrendWin::updateHint()
{
    // An empty legend would be a stray frame in the corner.
    customPlot->legend->setVisible(!graphs.isEmpty());
    if (!graphs.isEmpty()) {
        hintLabel->hide();
        return;
    }
    bool ticked = false;
    if (paramTree) {
        for (QTreeWidgetItemIterator it(paramTree); *it && !ticked; ++it) {
            const QTreeWidgetItem *item = *it;
            // The log file's box switches the log, not a value.
            ticked = (item->flags() & Qt::ItemIsUserCheckable) && item->checkState(0) == Qt::Checked
                     && paramTree->elementOf(item).attribute(kNamekavu) != QLatin1String("logfile");
        }
    }
    hintLabel->setText(ticked ? tr("Отмеченные значения опрашиваются: кривые появятся, как только прибор вернет "
                                   "первые числа. Если их долго нет, проверьте связь с прибором и ошибки опроса в "
                                   "дереве.")
                              : tr("Здесь пока нет кривых: ни одно значение не опрашивается.\n\nОтметьте флажками "
                                   "параметры в ветви «Опрос оперативных параметров» дерева главного окна "
                                   "(например, «Температура на входе 1, °С» в ветви «Входы»). Программа начнет их "
                                   "опрашивать, и у каждого числового значения здесь появится своя кривая.\n\n"
                                   "F1 — справка по трендам."));
    hintLabel->show();
}

QCPGraph *TrendWin::seriesFor(const QString &name, const QString &label)
{
    if (QCPGraph *graph = graphs.value(name))
        return graph;
    const QString unit = unitOf(label);
    QCPAxis *axis = axes.value(unit);
    if (!axis) {
        // The first group takes the left axis, every further one an axis of
        // its own beside it.
        axis = axes.isEmpty() ? customPlot->yAxis : customPlot->axisRect()->addAxis(QCPAxis::atLeft);
        axis->setVisible(true);
        axis->setLabel(unit.isEmpty() ? tr("Состояние") : unit);
        axes.insert(unit, axis);
    }
    QCPGraph *graph = customPlot->addGraph(customPlot->xAxis, axis);
    QPen pen(seriesColour(names.size()));
    pen.setWidthF(1.5);
    graph->setPen(pen);
    // The states change in steps; the rest are joined by lines.
    if (unit.isEmpty())
        graph->setLineStyle(QCPGraph::lsStepLeft);
    graph->setName(label.isEmpty() ? name : label);
    graphs.insert(name, graph);
    labels.insert(name, label.isEmpty() ? name : label);
    names.append(name);
    updateHint();
    return graph;
}

QCPGraph *TrendWin::graphOf(const QString &name) const
{
    return graphs.value(name);
}

QString TrendWin::unitOf(const QString &label)
{
    const int comma = label.lastIndexOf(QLatin1Char(','));
    if (comma < 0)
        return QString();
    const QString unit = label.mid(comma + 1).trimmed();
    // A unit is a short sign; a longer tail is part of the caption.
    return unit.size() <= 3 ? unit : QString();
}

QString TrendWin::captionOf(const QString &label)
{
    if (unitOf(label).isEmpty())
        return label;
    return label.left(label.lastIndexOf(QLatin1Char(','))).trimmed();
}

void TrendWin::dropOldSamples(const QDateTime &now)
{
    const QDateTime oldest = now.addSecs(-60 * maxWindowMinutes);
    int drop = 0;
    while (drop < samples.size() && samples.at(drop).time < oldest)
        ++drop;
    if (drop == 0)
        return;
    samples.remove(0, drop);
    for (QCPGraph *graph : qAsConst(graphs))
        graph->data()->removeBefore(keyOf(oldest));
}

int TrendWin::windowMinutes() const
{
    return minutesBox->value();
}

void TrendWin::setWindowMinutes(int minutes)
{
    minutesBox->setValue(minutes);
}

void TrendWin::setPaused(bool pause)
{
    if (pauseButton->isChecked() != pause)
        pauseButton->setChecked(pause);
    if (paused == pause)
        return;
    paused = pause;
    pauseButton->setText(paused ? tr("Продолжить") : tr("Пауза"));
    // Values keep coming while paused; the plot holds still until resumed.
    frozenEnd = customPlot->xAxis->range().upper;
    refreshRange();
}

void TrendWin::refreshRange()
{
    const double span = 60.0 * windowMinutes();
    const double end = paused ? frozenEnd
        : samples.isEmpty()   ? keyOf(QDateTime::currentDateTime())
                              : keyOf(samples.last().time);
    customPlot->xAxis->setRange(end - span, end);
    for (QCPAxis *axis : qAsConst(axes)) {
        bool found = false;
        QCPRange range;
        for (QCPGraph *graph : axis->graphs()) {
            bool ok = false;
            const QCPRange r = graph->getValueRange(ok, QCP::sdBoth, QCPRange(end - span, end));
            if (ok) {
                range = found ? QCPRange(qMin(range.lower, r.lower), qMax(range.upper, r.upper)) : r;
                found = true;
            }
        }
        if (found) {
            const double pad = qMax(1.0, range.size() * 0.1);
            axis->setRange(range.lower - pad, range.upper + pad);
        }
    }
    customPlot->replot(QCustomPlot::rpQueuedReplot);
}

QString TrendWin::readoutAt(double key) const
{
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(qint64(key * 1000.0));
    QStringList parts(time.toString(QStringLiteral("hh:mm:ss")));
    for (const QString &name : names) {
        QCPGraph *graph = graphs.value(name);
        auto data = graph->data();
        auto it = data->findEnd(key, false);
        if (it == data->constBegin())
            continue;
        --it;
        // "Caption: value unit", the unit once (the caption's unit tail left off).
        const QString label = labels.value(name);
        const QString unit = unitOf(label);
        parts << QStringLiteral("%1: %2%3")
                     .arg(captionOf(label), ValueCodec::withDecimalComma(QString::number(it->value, 'f', 2)),
                          unit.isEmpty() ? QString() : QLatin1Char(' ') + unit);
    }
    return parts.join(QStringLiteral("; "));
}

QString TrendWin::readout() const
{
    return readoutLabel->text();
}

bool TrendWin::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == customPlot && event->type() == QEvent::MouseMove) {
        const auto *move = static_cast<QMouseEvent *>(event);
        if (customPlot->axisRect()->rect().contains(move->pos()))
            readoutLabel->setText(readoutAt(customPlot->xAxis->pixelToCoord(move->pos().x())));
    }
    return QWidget::eventFilter(watched, event);
}

bool TrendWin::exportCsv(const QString &fileName, QString *error) const
{
    QString text = tr("Время");
    // Captions such as "(Тн/Тпр; Тконт)" hold the separator: quoted as any CSV field.
    for (const QString &name : names)
        text += QLatin1Char(';') + DeviceText::csvField(labels.value(name), QLatin1Char(';'));
    text += QStringLiteral("\r\n");
    for (const Row &row : samples) {
        text += row.time.toString(QString::fromLatin1(timeFormat));
        for (const QString &name : names)
            text += QLatin1Char(';') + DeviceText::csvField(row.values.value(name), QLatin1Char(';'));
        text += QStringLiteral("\r\n");
    }
    // Written whole or not at all: an old file stays if the write fails.
    QString reason;
    return AtomicFile::write(fileName, text.toUtf8(), error ? error : &reason);
}

bool TrendWin::exportPng(const QString &fileName, QString *error) const
{
    QString reason;
    if (!error)
        error = &reason;
    if (!AtomicFile::checkTarget(fileName, error))
        return false;
    // The plot as it is shown, at the screen's usual 96 dots per inch.
    QImage image = customPlot->toPixmap(customPlot->width(), customPlot->height()).toImage();
    const int dotsPerMeter = qRound(96 / 0.0254);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    if (!image.save(&png, "PNG")) {
        *error = tr("не удалось составить изображение PNG");
        return false;
    }
    return AtomicFile::write(fileName, png.data(), error);
}

void TrendWin::chooseCsvFile()
{
    const QString name = QFileDialog::getSaveFileName(this, tr("Экспорт CSV..."), QDir::homePath(),
                                                      QStringLiteral("CSV (*.csv)"));
    QString error;
    if (!name.isEmpty() && !exportCsv(name, &error))
        readoutLabel->setText(tr("Не удалось записать файл ") + QDir::toNativeSeparators(name) + QStringLiteral(": ")
                              + error);
}

void TrendWin::choosePngFile()
{
    const QString name = QFileDialog::getSaveFileName(this, tr("Сохранить PNG..."), QDir::homePath(),
                                                      QStringLiteral("PNG (*.png)"));
    QString error;
    if (!name.isEmpty() && !exportPng(name, &error))
        readoutLabel->setText(tr("Не удалось записать файл ") + QDir::toNativeSeparators(name) + QStringLiteral(": ")
                              + error);
}
