// The windows of the tools menu that watch the device while the monitor
// polls it, against hrc417-sim on a pseudo-terminal: the live trends (empty
// at first, with a hint what to tick) and the heating curves with the
// measured operating point.
#include "HeatingCurveWin.h"
#include "HelpWin.h"
#include "HrcTree.h"
#include "HrcTreeWin.h"
#include "HrcTreeWorkers.h"
#include "IoTestSupport.h"
#include "KavuIOhelper.h"
#include "KavuMon.h"
#include "TrendWin.h"
#include "WaitWin.h"
#include "WorkspaceTestSupport.h"

#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <qcustomplot.h>
#include <sys/resource.h>
#include <utility>

using namespace wstest;

namespace {

double number(const QString &text)
{
    return QString(text).replace(QLatin1Char(','), QLatin1Char('.')).toDouble();
}

// A simulator and a main window connected to it, with the graphs of both
// contours at their factory values (as the wizard leaves a new setting).
struct Session : WindowSession
{
    Session()
        : WindowSession(QStringList(), 2, {"commSettings", "otopKontur1", "otopKontur2"})
    {
    }

    // Ticks a polled value's box as a person does: a click and the space bar.
    void tick(const QString &name)
    {
        tree()->expandAll();
        // A person scrolls to the row first: with the search bar above it
        // the tree has less room, and lower rows are out of view.
        QCoreApplication::processEvents();
        tree()->scrollToItem(item(name), QAbstractItemView::PositionAtCenter);
        clickCell(*tree(), item(name), 0);
        QTest::keyClick(tree(), Qt::Key_Space);
    }

    // The tools menu's entry with that text.
    QAction *toolsAction(const QString &text) const
    {
        for (QAction *a : window->toolsMenu()->actions()) {
            if (a->text() == text)
                return a;
        }
        return nullptr;
    }
};

void editCell(QTableWidget *table, int row, int column, const QString &text)
{
    QTableWidgetItem *cell = table->item(row, column);
    const QPoint pos = table->visualItemRect(cell).center();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, pos);
    QLineEdit *edit = nullptr;
    QVERIFY(QTest::qWaitFor([&]() { return (edit = openEditor<QLineEdit>(table->viewport())); }, 3000));
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_VERIFY(!openEditor<QLineEdit>(table->viewport()));
}

} // namespace

class TestWatchWindows : public QObject
{
    Q_OBJECT

private slots:
    void trendsOfThePolledValues();
    void heatingCurvesWithTheOperatingPoint();
    void heatingCurvesWithoutPointsSayWhereTheyComeFrom();
};

void TestWatchWindows::trendsOfThePolledValues()
{
    Session s;
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    QVERIFY(s.toolsAction("Тренды"));
    QCOMPARE(s.toolsAction("Тренды")->shortcut(), QKeySequence("Ctrl+T"));
    QTest::keyClick(s.window.get(), Qt::Key_T, Qt::ControlModifier);
    auto *trends = s.window->findChild<TrendWin *>();
    QVERIFY(trends);
    QVERIFY(QTest::qWaitForWindowExposed(trends));
    QCOMPARE(trends->tree(), s.tree());

    // Three polled values of three kinds: a temperature, an output level and
    // a pump state. Each comes with the cycles the monitor reads.
    // Opened with nothing polled: the empty plot says what to tick.
    QLabel *hint = trends->emptyHint();
    QVERIFY(hint->isVisible());
    QVERIFY2(hint->text().contains("в ветви «Опрос оперативных параметров» дерева главного окна"),
             qPrintable(hint->text()));
    QVERIFY(!saveScreenshot(trends, "trend_window_empty").isEmpty());
    const QStringList polled = {"r.cor:0", "r.oe:0", "s.pmp:0"};
    // Ticked, the value is awaited (its first reply comes through the event
    // loop, which has not run since the tick).
    s.tick(polled.first());
    QVERIFY(hint->isVisible());
    QVERIFY2(hint->text().startsWith("Отмеченные значения опрашиваются"), qPrintable(hint->text()));
    for (const QString &name : polled.mid(1))
        s.tick(name);
    QTRY_VERIFY_WITH_TIMEOUT(trends->rows().size() >= 4, 20000);
    // With a curve the hint is gone.
    QVERIFY(!hint->isVisible());
    QVERIFY(trends->plot()->legend->visible());
    QCOMPARE(QSet<QString>(trends->seriesNames().cbegin(), trends->seriesNames().cend()),
             QSet<QString>(polled.cbegin(), polled.cend()));

    // One value axis per unit, each series on the axis of its unit.
    QCPAxis *celsius = trends->axisOfUnit("°С");
    QCPAxis *percent = trends->axisOfUnit("%");
    QCPAxis *states = trends->axisOfUnit(QString());
    QVERIFY(celsius && percent && states);
    QCOMPARE(QSet<QCPAxis *>({celsius, percent, states}).size(), 3);
    QCOMPARE(trends->graphOf("r.cor:0")->valueAxis(), celsius);
    QCOMPARE(trends->graphOf("r.oe:0")->valueAxis(), percent);
    QCOMPARE(trends->graphOf("s.pmp:0")->valueAxis(), states);
    QCOMPARE(celsius->label(), QString("°С"));

    // The last point of each series is the value the monitor left in the document.
    for (const QString &name : polled) {
        auto data = trends->graphOf(name)->data();
        QVERIFY(data->size() >= 3);
        QCOMPARE((data->constEnd() - 1)->value, number(s.element(name).attribute("ioValue")));
    }

    // The time window: 1 to 60 minutes, ending at the last value.
    trends->setWindowMinutes(1);
    QCOMPARE(trends->plot()->xAxis->range().size(), 60.0);
    auto *minutes = trends->findChild<QSpinBox *>("minutesBox");
    minutes->setValue(90);
    QCOMPARE(trends->windowMinutes(), 60);
    QCOMPARE(trends->plot()->xAxis->range().size(), 3600.0);
    const double lastKey = trends->rows().last().time.toMSecsSinceEpoch() / 1000.0;
    QCOMPARE(trends->plot()->xAxis->range().upper, lastKey);

    // Paused, the plot holds still while the values keep coming.
    auto *pause = trends->findChild<QPushButton *>("pauseButton");
    QTest::mouseClick(pause, Qt::LeftButton);
    QVERIFY(trends->isPaused());
    QCOMPARE(pause->text(), QString("Продолжить"));
    const QCPRange held = trends->plot()->xAxis->range();
    const int rowsPaused = trends->rows().size();
    QTRY_VERIFY_WITH_TIMEOUT(trends->rows().size() >= rowsPaused + 2, 20000);
    QCOMPARE(trends->plot()->xAxis->range(), held);
    QTest::mouseClick(pause, Qt::LeftButton);
    QVERIFY(!trends->isPaused());
    QVERIFY(trends->plot()->xAxis->range().upper > held.upper);

    // The read-out under the mouse: the values read last before that moment.
    trends->setWindowMinutes(1);
    trends->plot()->replot();
    auto celsiusData = trends->graphOf("r.cor:0")->data();
    const QCPGraphData pointed = *(celsiusData->constBegin() + celsiusData->size() / 2);
    const int x = int(std::ceil(trends->plot()->xAxis->coordToPixel(pointed.key)));
    const QPoint at(x, trends->plot()->axisRect()->center().y());
    QMouseEvent move(QEvent::MouseMove, at, trends->plot()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(trends->plot(), &move);
    const QString shown = QString::number(pointed.value, 'f', 2).replace('.', ',');
    QVERIFY2(trends->readout().contains("Температура на входе 1, °С: " + shown + " °С"),
             qPrintable(trends->readout()));
    // The time shown is the mouse's (a fraction of a pixel after the point,
    // which may already be the next second).
    const double mouseKey = trends->plot()->xAxis->pixelToCoord(at.x());
    QVERIFY(trends->readout().startsWith(QDateTime::fromMSecsSinceEpoch(qint64(mouseKey * 1000)).toString("hh:mm:ss")));

    // Export: the monitor log's layout, one line per polling cycle.
    QTemporaryDir dir;
    const QString csv = dir.filePath("trends.csv");
    QVERIFY(trends->exportCsv(csv));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split("\r\n", Qt::SkipEmptyParts);
    QStringList header = {"Время"};
    for (const QString &name : trends->seriesNames())
        header << s.element(name).attribute("label");
    QCOMPARE(lines.first(), header.join(';'));
    QCOMPARE(lines.size(), trends->rows().size() + 1);
    int celsiusCells = 0;
    const int celsiusColumn = trends->seriesNames().indexOf("r.cor:0") + 1;
    for (int i = 1; i < lines.size(); ++i) {
        const QStringList cells = lines.at(i).split(';');
        QCOMPARE(cells.size(), header.size());
        const TrendWin::Row &row = trends->rows().at(i - 1);
        QCOMPARE(cells.first(), row.time.toString("dd.MM.yyyy hh:mm:ss"));
        QCOMPARE(cells.at(celsiusColumn), row.values.value("r.cor:0"));
        if (!cells.at(celsiusColumn).isEmpty()) {
            QCOMPARE((celsiusData->constBegin() + celsiusCells)->value, number(cells.at(celsiusColumn)));
            ++celsiusCells;
        }
    }
    QVERIFY(celsiusCells <= celsiusData->size());
    QVERIFY(celsiusCells >= 4);
    QString error;
    QVERIFY(!trends->exportCsv(dir.filePath("missing/trends.csv"), &error));
    QVERIFY2(error.contains(QDir::toNativeSeparators(dir.filePath("missing"))), qPrintable(error));

    const QString png = dir.filePath("trends.png");
    QVERIFY(trends->exportPng(png));
    const QImage image(png);
    QCOMPARE(image.size(), trends->plot()->size());

    // On a full disk (files may not grow to half the CSV's size) both
    // exports fail with the reason and leave the files as they were.
    file.close();
    QByteArray csvBefore, pngBefore;
    for (const auto &[name, bytes] : {std::pair<QString, QByteArray *>{csv, &csvBefore}, {png, &pngBefore}}) {
        QFile f(name);
        QVERIFY(f.open(QIODevice::ReadOnly));
        *bytes = f.readAll();
        QVERIFY(bytes->size() > 64);
    }
    struct rlimit old;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit tiny = old;
    tiny.rlim_cur = rlim_t(csvBefore.size() / 2);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    QString csvError, pngError;
    const bool csvWritten = trends->exportCsv(csv, &csvError);
    const bool pngWritten = trends->exportPng(png, &pngError);
    setrlimit(RLIMIT_FSIZE, &old);
    QVERIFY(!csvWritten && !pngWritten);
    for (const QString &reason : {csvError, pngError})
        QVERIFY2(reason.contains(QString::fromLocal8Bit(std::strerror(EFBIG))), qPrintable(reason));
    for (const auto &[name, bytes] : {std::pair<QString, QByteArray *>{csv, &csvBefore}, {png, &pngBefore}}) {
        QFile f(name);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), *bytes);
    }

    trends->setWindowMinutes(2);
    QVERIFY(!saveScreenshot(trends, "trend_window").isEmpty());
}

void TestWatchWindows::heatingCurvesWithTheOperatingPoint()
{
    Session s;
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    QVERIFY(s.toolsAction("Графики отопления"));
    QTest::keyClick(s.window.get(), Qt::Key_G, Qt::ControlModifier);
    auto *curves = s.window->findChild<HeatingCurveWin *>();
    QVERIFY(curves);
    QVERIFY(QTest::qWaitForWindowExposed(curves));

    // The graphs in numbers: the points of both contours, the band around the
    // return-water graph at Hy.b1/Hy.b2.
    for (int c = 0; c < 2; ++c) {
        for (auto g : {HeatingCurveWin::Heating, HeatingCurveWin::Return}) {
            QCustomPlot *plot = curves->plot(c, g);
            QCOMPARE(plot->graphCount(), g == HeatingCurveWin::Heating ? 1 : 3);
            QCOMPARE(plot->graph(0)->data()->size(), 5);
            QCOMPARE(curves->table(c, g)->rowCount(), 5);
            for (int i = 0; i < 5; ++i) {
                const QStringList xy = s.element(HeatingCurveWin::pointName(c, g, i)).attribute("value").split(';');
                const QCPGraphData &p = *(plot->graph(0)->data()->constBegin() + i);
                QCOMPARE(p.key, number(xy.at(0)));
                QCOMPARE(p.value, number(xy.at(1)));
                QCOMPARE(curves->table(c, g)->item(i, 1)->text(), xy.at(1));
                if (g == HeatingCurveWin::Return) {
                    const double plus = number(s.element(QString("Hy.b1[%1]").arg(c)).attribute("value"));
                    const double minus = number(s.element(QString("Hy.b2[%1]").arg(c)).attribute("value"));
                    QCOMPARE((plot->graph(1)->data()->constBegin() + i)->value, number(xy.at(1)) + plus);
                    QCOMPARE((plot->graph(2)->data()->constBegin() + i)->value, number(xy.at(1)) + minus);
                }
            }
        }
    }
    // Factory graph of contour 1: first point -25;90, band 70 and 60 at -25.
    QCOMPARE(curves->plot(0, HeatingCurveWin::Heating)->graph(0)->data()->constBegin()->value, 90.0);
    QCOMPARE(curves->plot(0, HeatingCurveWin::Return)->graph(1)->data()->constBegin()->value, 70.0);
    QCOMPARE(curves->plot(0, HeatingCurveWin::Return)->graph(2)->data()->constBegin()->value, 60.0);

    // The operating point: inputs 1 (outdoor), 2 and 3 (supply and return of
    // contour 1) as the simulator's plant is wired. Every point is the
    // outdoor and the supply (return) temperature the monitor read last.
    struct Seen
    {
        QPointF expected;
        QPointF shown;
    };
    QList<Seen> supplySeen;
    QList<Seen> returnSeen;
    QObject *monitor = s.tree()->monitor();
    auto *probe = new QObject(curves);
    connect(s.window->workers()->monitor(), &KavuMon::kavuMonUpdating, probe, [&](uint id, int, int) {
        const QString name = s.tree()->elementById(id).attribute("namekavu");
        const double outdoor = number(s.element("r.cor:0").attribute("ioValue"));
        if (name == "r.cor:1" && !curves->trail(0, HeatingCurveWin::Heating).isEmpty())
            supplySeen << Seen{QPointF(outdoor, number(s.element("r.cor:1").attribute("ioValue"))),
                               curves->trail(0, HeatingCurveWin::Heating).last()};
        if (name == "r.cor:2" && !curves->trail(0, HeatingCurveWin::Return).isEmpty())
            returnSeen << Seen{QPointF(outdoor, number(s.element("r.cor:2").attribute("ioValue"))),
                               curves->trail(0, HeatingCurveWin::Return).last()};
    });
    QVERIFY(monitor);
    s.tick("r.cor:0");
    s.tick("r.cor:1");
    s.tick("r.cor:2");
    QTRY_VERIFY_WITH_TIMEOUT(supplySeen.size() >= 4 && returnSeen.size() >= 4, 20000);
    for (const Seen &seen : supplySeen + returnSeen)
        QCOMPARE(seen.shown, seen.expected);
    // The trail holds the points in the order they came; the current point is the last.
    const QVector<QPointF> trail = curves->trail(0, HeatingCurveWin::Heating);
    QVERIFY(trail.size() >= 4);
    QCustomPlot *heating = curves->plot(0, HeatingCurveWin::Heating);
    auto *trailCurve = qobject_cast<QCPCurve *>(heating->plottable(1));
    auto *currentCurve = qobject_cast<QCPCurve *>(heating->plottable(2));
    QVERIFY(trailCurve && currentCurve);
    QCOMPARE(trailCurve->data()->size(), trail.size());
    QCOMPARE(currentCurve->data()->size(), 1);
    QCOMPARE(currentCurve->data()->constBegin()->key, trail.last().x());
    QCOMPARE(currentCurve->data()->constBegin()->value, trail.last().y());
    QVERIFY(heating->xAxis->range().contains(trail.last().x()));
    QVERIFY(heating->yAxis->range().contains(trail.last().y()));
    QVERIFY(curves->findChild<QLabel *>("liveStatus0")->text().startsWith("Тн: "));
    // Contour 2's supply is input 5, not polled: no point there.
    QVERIFY(curves->trail(1, HeatingCurveWin::Heating).isEmpty());
    QVERIFY(!saveScreenshot(curves, "heating_curves").isEmpty());

    // An edit of a point in the table is an edit of the tree's parameter.
    QTableWidget *table = curves->table(0, HeatingCurveWin::Heating);
    editCell(table, 0, 1, "92.5");
    QCOMPARE(s.element("Grtp[0]").attribute("value"), QString("-25,0;92,5"));
    QCOMPARE(s.element("Grtp[0]").attribute("undoValue"), QString("-25,0;90,0"));
    QCOMPARE(HrcTree::itemColour(s.item("Grtp[0]")), HrcTree::changedColour());
    QCOMPARE(s.item("Grtp[0]")->child(1)->text(2), QString("92,5"));
    QTRY_COMPARE(heating->graph(0)->data()->constBegin()->value, 92.5);
    // Outside the limits or no number: nothing changes, the cell shows the point.
    editCell(table, 1, 0, "abc");
    QTRY_COMPARE(table->item(1, 0)->text(), QString("-15,0"));
    editCell(table, 1, 1, "4000");
    QTRY_COMPARE(table->item(1, 1)->text(), QString("77,0"));
    QCOMPARE(s.element("Grtp[1]").attribute("value"), QString("-15,0;77,0"));
    QVERIFY(HrcTree::itemColour(s.item("Grtp[1]")) != HrcTree::changedColour());

    // Undone: the old value and colour come back.
    QTest::mouseClick(curves->findChild<QPushButton *>("undoButton"), Qt::LeftButton);
    QCOMPARE(s.element("Grtp[0]").attribute("value"), QString("-25,0;90,0"));
    QCOMPARE(HrcTree::itemColour(s.item("Grtp[0]")), HrcTree::normalColour());
    QTRY_COMPARE(heating->graph(0)->data()->constBegin()->value, 90.0);
    QVERIFY(!curves->undoLastEdit());

    // Edited again, the point goes to the device with "only changed".
    auto *tabs = curves->findChild<QTabWidget *>("contourTabs");
    QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(1).center());
    QCOMPARE(tabs->currentIndex(), 1);
    editCell(curves->table(1, HeatingCurveWin::Return), 4, 1, "33,5");
    QCOMPARE(s.element("Grtr[9]").attribute("value"), QString("10,0;33,5"));
    const int from = s.sim.log().size();
    QSignalSpy finished(s.window->workers()->ioHelper(), &KavuIOhelper::kavuIOFinished);
    s.window->activateWindow();
    QTest::mouseClick(s.window->toolButton(6), Qt::LeftButton);
    QVERIFY(finished.wait(60000));
    QTRY_VERIFY_WITH_TIMEOUT(s.sim.writesOf("Grtr", from) == 1, 5000);
    QCOMPARE(s.sim.writesOf("Grtp", from), 0);
}

// A document with no graph values yet (nothing read, no file): every plot
// says where its points come from; F1 opens the window's help page; a
// read-all fills the graphs and the hints go.
void TestWatchWindows::heatingCurvesWithoutPointsSayWhereTheyComeFrom()
{
    WindowSession s;
    QVERIFY2(s.ready, qPrintable(s.sim.error()));
    QVERIFY(s.value("Node[0]").isEmpty());
    QTest::keyClick(s.window.get(), Qt::Key_G, Qt::ControlModifier);
    auto *curves = s.window->findChild<HeatingCurveWin *>();
    QVERIFY(curves);
    QVERIFY(QTest::qWaitForWindowExposed(curves));
    for (int c = 0; c < 2; ++c) {
        for (auto g : {HeatingCurveWin::Heating, HeatingCurveWin::Return}) {
            QCOMPARE(curves->table(c, g)->rowCount(), 0);
            QLabel *hint = curves->emptyHint(c, g);
            QCOMPARE(hint->isVisible(), c == 0); // the first tab is shown
            QVERIFY2(hint->text().startsWith("У графика нет точек"), qPrintable(hint->text()));
            QVERIFY(hint->text().contains(g == HeatingCurveWin::Heating ? "«Количество точек отопительного графика»"
                                                                        : "«Количество точек графика обратной воды»"));
        }
    }
    QVERIFY(!saveScreenshot(curves, "heating_curves_empty").isEmpty());
    curves->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), curves);
    QTest::keyClick(curves, Qt::Key_F1);
    QVERIFY(HelpWin::instance());
    QCOMPARE(HelpWin::instance()->currentPage(), QString("14-heating-curves.html"));
    delete HelpWin::instance();

    QSignalSpy finished(s.helper(), &KavuIOhelper::kavuIOFinished);
    QTest::mouseClick(s.window->toolButton(4), Qt::LeftButton);
    QVERIFY(finished.wait(60000));
    QCOMPARE(finished.first().at(1).toInt(), 0);
    QTRY_COMPARE(curves->table(0, HeatingCurveWin::Heating)->rowCount(), 5);
    for (int c = 0; c < 2; ++c) {
        for (auto g : {HeatingCurveWin::Heating, HeatingCurveWin::Return})
            QVERIFY(curves->emptyHint(c, g)->isHidden());
    }
    curves->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), curves);
    QTest::keyClick(curves, Qt::Key_Escape);
    QVERIFY(!curves->isVisible());
}

QTEST_MAIN(TestWatchWindows)
#include "tst_watchwindows.moc"
