// The wizard's graph pages: heating and return-water graphs of both contours,
// their tables and plots, the point count, graph type and return-water
// control, the hysteresis edits, the leave rules and the point editor. The
// pages lie behind the hidden forward button; they are reached through the
// stage machine and used with clicks and keys on their widgets.
#include "HeatingGraph.h"
#include "HrcTree.h"
#include "IoTestSupport.h"
#include "KavuIOhelper.h"
#include "OStagesMap.h"
#include "Wizard.h"
#include "WorkspaceTestSupport.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <qcustomplot.h>

namespace {

template <typename T>
T *child(QWidget *w, const char *name)
{
    T *found = w->findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no widget %s", name);
    return found;
}

QVector<double> keys(QCPGraph *graph)
{
    QVector<double> result;
    for (const QCPGraphData &d : *graph->data())
        result << d.key;
    return result;
}

QVector<double> values(QCPGraph *graph)
{
    QVector<double> result;
    for (const QCPGraphData &d : *graph->data())
        result << d.value;
    return result;
}

void setPoints(Wizard *w, const QString &prefix, int first, const QStringList &points)
{
    for (int i = 0; i < points.size(); ++i)
        w->tree()->paramValue(QStringLiteral("%1[%2]").arg(prefix).arg(first + i), points.at(i));
}

// Types text into a line edit as a person does and leaves it with Enter.
void typeInto(QLineEdit *edit, const QString &text)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

// Chooses an item of a combo box with the keyboard.
void chooseWithKeys(QComboBox *box, const QString &text)
{
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Home);
    while (box->currentText() != text && box->currentIndex() < box->count() - 1)
        QTest::keyClick(box, Qt::Key_Down);
}

const QStringList heatingPoints = {"-25,0;90,0", "-10,0;70,0", "0,0;55,0", "8,0;40,0", "15,0;30,0"};
const QStringList returnPoints = {"-25,0;70,0", "-10,0;55,0", "0,0;45,0", "8,0;38,0", "15,0;30,0"};

} // namespace

class TestWizardGraphs : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void heatingPageShowsPointsOfContourOne();
    void pointCountChangesTableAndPlotAtOnce();
    void contourTwoReadsItsOwnPoints();
    void rangesArePaddedForNegativeX();
    void unreadablePointsGiveZero();
    void hysteresisBandFollowsTheStoredValues();
    void hysteresisEditsRejectTheBounds();
    void returnWaterControlSwitch();
    void leaveRulesWriteThePages();
    void forwardStepWritesEveryPointToTheDevice();
    void pointEditorByStageEnteredFrom();
    void screenshots();

private:
    std::unique_ptr<Wizard> makeWizard();
    QTemporaryDir settingsDir;
    std::unique_ptr<iotest::Simulator> sim;
    std::unique_ptr<Wizard> w;
};

void TestWizardGraphs::initTestCase()
{
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
}

void TestWizardGraphs::cleanupTestCase()
{
    w.reset();
    sim.reset();
}

void TestWizardGraphs::init()
{
    w = makeWizard();
    setPoints(w.get(), "Grtp", 0, heatingPoints);
    setPoints(w.get(), "Grtr", 0, returnPoints);
    // Offline: the forward steps write nothing; the wizard's own box.
    child<QCheckBox>(w.get(), "workOfflineCheckBox")->click();
}

std::unique_ptr<Wizard> TestWizardGraphs::makeWizard()
{
    HrcDocument doc = iotest::loadDocument();
    auto wizard = std::make_unique<Wizard>(doc.document(), nullptr);
    wizard->show();
    if (!QTest::qWaitForWindowExposed(wizard.get()))
        qWarning("wizard not exposed");
    return wizard;
}

void TestWizardGraphs::heatingPageShowsPointsOfContourOne()
{
    // The contour page (one heating contour by factory values), then forward.
    w->stagesMap()->setStage(Wizard::stContoursSet);
    child<QAbstractButton>(w.get(), "nextButton")->click();
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stOtopSettings));
    QCOMPARE(child<QStackedWidget>(w.get(), "stackedWidget")->currentWidget()->objectName(), QString("OtopSettingsPage"));
    QCOMPARE(child<QLabel>(w.get(), "stageName")->text(), QString("Настройка 1-го контура: Отопление"));
    QVERIFY(child<QWidget>(w.get(), "GraphTypeGroup")->isVisible());
    QVERIFY(child<QRadioButton>(w.get(), "GraphTypOne_OtopSettings")->isChecked()); // Ugr 0
    QCOMPARE(child<QComboBox>(w.get(), "GraphCount_OtopSettings")->currentText(), QString("5"));

    auto *table = child<QTableWidget>(w.get(), "table_OtopSettings");
    QCOMPARE(table->rowCount(), 5);
    QVERIFY(!table->isEnabled());
    QCOMPARE(table->item(0, 0)->text(), QString("1"));
    QCOMPARE(table->item(0, 1)->text(), QString("-25.0"));
    QCOMPARE(table->item(4, 2)->text(), QString("30.0"));
    QCOMPARE(table->item(2, 1)->textAlignment(), int(Qt::AlignCenter));

    auto *plot = child<QCustomPlot>(w.get(), "Plot_OtopSettings");
    QCOMPARE(plot->graphCount(), 1);
    QCOMPARE(keys(plot->graph(0)), (QVector<double>{-25, -10, 0, 8, 15}));
    QCOMPARE(values(plot->graph(0)), (QVector<double>{90, 70, 55, 40, 30}));
    QCOMPARE(plot->graph(0)->pen().color(), QColor(Qt::red));
    QCOMPARE(plot->xAxis->label(), QString("Тн/Тпр"));
    QCOMPARE(plot->yAxis->label(), QString("Tконт"));
    QCOMPARE(plot->xAxis->range(), QCPRange(-27, 17));
    QCOMPARE(plot->yAxis->range(), QCPRange(28, 92));

    // The graph type is written as the radio buttons change.
    QTest::mouseClick(child<QRadioButton>(w.get(), "GraphTypTwo_OtopSettings"), Qt::LeftButton, Qt::NoModifier,
                      QPoint(8, 8));
    QCOMPARE(w->tree()->paramValue("Ugr"), QString("1"));
    w->stagesMap()->setStage(Wizard::stContoursSet);
    w->stagesMap()->setStage(Wizard::stOtopSettings);
    QVERIFY(child<QRadioButton>(w.get(), "GraphTypTwo_OtopSettings")->isChecked());
}

void TestWizardGraphs::pointCountChangesTableAndPlotAtOnce()
{
    w->stagesMap()->setStage(Wizard::stOtopSettings);
    auto *box = child<QComboBox>(w.get(), "GraphCount_OtopSettings");
    QCOMPARE(QStringList({box->itemText(0), box->itemText(1), box->itemText(2), box->itemText(3)}),
             (QStringList{"2", "3", "4", "5"}));
    chooseWithKeys(box, "3");
    QCOMPARE(box->currentText(), QString("3"));
    QCOMPARE(w->tree()->paramValue("Node[0]"), QString("3"));
    QCOMPARE(child<QTableWidget>(w.get(), "table_OtopSettings")->rowCount(), 3);
    auto *plot = child<QCustomPlot>(w.get(), "Plot_OtopSettings");
    QCOMPARE(plot->graphCount(), 1);
    QCOMPARE(keys(plot->graph(0)), (QVector<double>{-25, -10, 0}));
    QCOMPARE(plot->xAxis->range(), QCPRange(-27, 2));

    // The same box on the contour-2 page writes Node[2] and leaves Node[0].
    w->stagesMap()->setStage(Wizard::stOtopSettings2C);
    chooseWithKeys(box, "2");
    QCOMPARE(w->tree()->paramValue("Node[2]"), QString("2"));
    QCOMPARE(w->tree()->paramValue("Node[0]"), QString("3"));
    QCOMPARE(child<QTableWidget>(w.get(), "table_OtopSettings")->rowCount(), 2);

    // Elsewhere the box writes nothing.
    w->stagesMap()->setStage(Wizard::stContoursSet);
    box->setCurrentIndex(3);
    QCOMPARE(w->tree()->paramValue("Node[0]"), QString("3"));
    QCOMPARE(w->tree()->paramValue("Node[2]"), QString("2"));
}

void TestWizardGraphs::contourTwoReadsItsOwnPoints()
{
    setPoints(w.get(), "Grtp", 5, {"-30,0;95,0", "-15,0;80,0", "0,0;60,0", "10,0;45,0", "20,0;25,0"});
    w->stagesMap()->setStage(Wizard::stOtopSettings2C);
    QCOMPARE(child<QLabel>(w.get(), "stageName")->text(), QString("Настройка 2-го контура: Отопление"));
    QVERIFY(!child<QWidget>(w.get(), "GraphTypeGroup")->isVisible());
    QVERIFY(!child<QWidget>(w.get(), "GraphTypeTitle")->isVisible());
    auto *table = child<QTableWidget>(w.get(), "table_OtopSettings");
    QCOMPARE(table->rowCount(), 5);
    for (int row = 0; row < 5; ++row)
        QCOMPARE(table->item(row, 0)->text(), QString::number(row + 1));
    QCOMPARE(table->item(0, 1)->text(), QString("-30.0"));
    QCOMPARE(table->item(4, 2)->text(), QString("25.0"));
    auto *plot = child<QCustomPlot>(w.get(), "Plot_OtopSettings");
    QCOMPARE(values(plot->graph(0)), (QVector<double>{95, 80, 60, 45, 25}));
}

void TestWizardGraphs::rangesArePaddedForNegativeX()
{
    setPoints(w.get(), "Grtp", 0, {"-30,0;80,0", "-20,0;70,0", "-10,5;60,0", "-5,0;55,0", "-1,0;50,0"});
    w->stagesMap()->setStage(Wizard::stOtopSettings);
    auto *plot = child<QCustomPlot>(w.get(), "Plot_OtopSettings");
    QCOMPARE(plot->xAxis->range(), QCPRange(-32, 1));
    QCOMPARE(plot->yAxis->range(), QCPRange(48, 82));
    QCOMPARE(keys(plot->graph(0)).at(2), -10.5);
}

void TestWizardGraphs::unreadablePointsGiveZero()
{
    setPoints(w.get(), "Grtp", 0, {"abc;70,0", "12,5", "-5,0;x", "7,0;", "3,0;4,0"});
    w->stagesMap()->setStage(Wizard::stOtopSettings);
    auto *table = child<QTableWidget>(w.get(), "table_OtopSettings");
    QCOMPARE(table->rowCount(), 5);
    QCOMPARE(table->item(0, 1)->text(), QString("abc"));
    QCOMPARE(table->item(1, 1)->text(), QString("12.5"));
    QCOMPARE(table->item(1, 2)->text(), QString(""));
    auto *plot = child<QCustomPlot>(w.get(), "Plot_OtopSettings");
    QCOMPARE(plot->graph(0)->dataCount(), 5);
    // Sorted by x: (-5;0) (0;70) (3;4) (7;0) (12.5;0).
    QCOMPARE(keys(plot->graph(0)), (QVector<double>{-5, 0, 3, 7, 12.5}));
    QCOMPARE(values(plot->graph(0)), (QVector<double>{0, 70, 4, 0, 0}));
    QCOMPARE(HeatingGraph::parsePoint("abc;70,0"), QPointF(0, 70));
    QCOMPARE(HeatingGraph::parsePoint("12,5"), QPointF(12.5, 0));
    QCOMPARE(HeatingGraph::parsePoint("-5,0;x"), QPointF(-5, 0));
}

void TestWizardGraphs::hysteresisBandFollowsTheStoredValues()
{
    w->tree()->paramValue("Hy.b1[0]", "0");
    w->tree()->paramValue("Hy.b2[0]", "-10");
    w->stagesMap()->setStage(Wizard::stBackWaterSettings);
    QCOMPARE(child<QStackedWidget>(w.get(), "stackedWidget")->currentWidget()->objectName(),
             QString("BackWaterSettingsPage"));
    auto *plot = child<QCustomPlot>(w.get(), "Plot_BackWater");
    QCOMPARE(plot->graphCount(), 2); // no upper band
    QCOMPARE(plot->graph(0)->pen().color(), QColor(Qt::red));
    QCOMPARE(plot->graph(1)->pen().color(), QColor(Qt::magenta));
    QCOMPARE(keys(plot->graph(1)), keys(plot->graph(0)));
    QCOMPARE(values(plot->graph(1)), (QVector<double>{60, 45, 35, 28, 20}));
    QCOMPARE(plot->yAxis->label(), QString("Tобр"));
    QCOMPARE(plot->yAxis->range(), QCPRange(18, 72));
    QCOMPARE(child<QLineEdit>(w.get(), "GistPlus_BackWater")->text(), QString("0"));
    QCOMPARE(child<QLineEdit>(w.get(), "GistMinus_BackWater")->text(), QString("-10"));

    // Both sides: three graphs, range from the lower to the upper band.
    w->tree()->paramValue("Hy.b1[0]", "5,0");
    w->tree()->paramValue("Hy.b2[0]", "-5,0");
    w->stagesMap()->setStage(Wizard::stContoursSet);
    w->stagesMap()->setStage(Wizard::stBackWaterSettings);
    QCOMPARE(plot->graphCount(), 3);
    QCOMPARE(values(plot->graph(1)), (QVector<double>{75, 60, 50, 43, 35}));
    QCOMPARE(values(plot->graph(2)), (QVector<double>{65, 50, 40, 33, 25}));
    QCOMPARE(plot->yAxis->range(), QCPRange(23, 77));
    QCOMPARE(plot->xAxis->range(), QCPRange(-27, 17));
}

void TestWizardGraphs::hysteresisEditsRejectTheBounds()
{
    w->stagesMap()->setStage(Wizard::stBackWaterSettings);
    auto *plus = child<QLineEdit>(w.get(), "GistPlus_BackWater");
    auto *minus = child<QLineEdit>(w.get(), "GistMinus_BackWater");
    QCOMPARE(plus->text(), QString("5,0"));
    typeInto(plus, "100");
    QCOMPARE(plus->text(), QString("5,0"));
    QCOMPARE(w->tree()->paramValue("Hy.b1[0]"), QString("5,0"));
    typeInto(plus, "0");
    QCOMPARE(plus->text(), QString("5,0"));
    typeInto(plus, "abc");
    QCOMPARE(plus->text(), QString("5,0"));
    typeInto(plus, "99.5");
    QCOMPARE(w->tree()->paramValue("Hy.b1[0]"), QString("99,5"));
    typeInto(plus, "7,5"); // the document's own form is taken too
    QCOMPARE(w->tree()->paramValue("Hy.b1[0]"), QString("7,5"));

    typeInto(minus, "-100");
    QCOMPARE(minus->text(), QString("-5,0"));
    typeInto(minus, "0");
    QCOMPARE(minus->text(), QString("-5,0"));
    typeInto(minus, "-3");
    QCOMPARE(w->tree()->paramValue("Hy.b2[0]"), QString("-3"));
    QCOMPARE(w->tree()->paramValue("Hy.b2[1]"), QString("-5,0"));

    // On the contour-2 page the edits belong to contour 2.
    w->stagesMap()->setStage(Wizard::stBackWaterSettings2C);
    child<QCheckBox>(w.get(), "IsUseBackWater")->click(); // contour 2 has the control off
    typeInto(minus, "-8");
    QCOMPARE(w->tree()->paramValue("Hy.b2[1]"), QString("-8"));
    QCOMPARE(w->tree()->paramValue("Hy.b2[0]"), QString("-3"));
    // The band is redrawn on the next show only.
    auto *plot = child<QCustomPlot>(w.get(), "Plot_BackWater");
    QCOMPARE(values(plot->graph(2)).at(0), values(plot->graph(0)).at(0) - 5.0);
}

void TestWizardGraphs::returnWaterControlSwitch()
{
    w->stagesMap()->setStage(Wizard::stBackWaterSettings);
    auto *use = child<QCheckBox>(w.get(), "IsUseBackWater");
    QVERIFY(use->isChecked()); // k.obr[0] factory value 1
    const QList<QWidget *> controlled = {child<QWidget>(w.get(), "GistPlus_BackWater"),
                                         child<QWidget>(w.get(), "GistMinus_BackWater"),
                                         child<QWidget>(w.get(), "GraphCount_BackWaterSettings"),
                                         child<QWidget>(w.get(), "otopPointsBackWater")};
    for (QWidget *c : controlled)
        QVERIFY(c->isEnabled());
    QTest::mouseClick(use, Qt::LeftButton, Qt::NoModifier, QPoint(8, use->height() / 2));
    QCOMPARE(w->tree()->paramValue("k.obr[0]"), QString("0"));
    for (QWidget *c : controlled)
        QVERIFY2(!c->isEnabled(), qPrintable(c->objectName()));
    QTest::mouseClick(use, Qt::LeftButton, Qt::NoModifier, QPoint(8, use->height() / 2));
    QCOMPARE(w->tree()->paramValue("k.obr[0]"), QString("1"));
    QVERIFY(controlled.at(0)->isEnabled());
    QCOMPARE(w->tree()->paramValue("k.obr[1]"), QString("0"));

    // Contour 2: its own switch, shown from the document.
    w->stagesMap()->setStage(Wizard::stBackWaterSettings2C);
    QVERIFY(!use->isChecked());
    QVERIFY(!controlled.at(0)->isEnabled());
    QCOMPARE(child<QLabel>(w.get(), "stageName")->text(), QString("Настройка 2-го контура: Отопление"));
}

void TestWizardGraphs::leaveRulesWriteThePages()
{
    // Stage 6: graph type and point count.
    w->stagesMap()->setStage(Wizard::stContoursSet);
    child<QAbstractButton>(w.get(), "nextButton")->click();
    child<QRadioButton>(w.get(), "GraphTypTwo_OtopSettings")->click();
    chooseWithKeys(child<QComboBox>(w.get(), "GraphCount_OtopSettings"), "4");
    w->tree()->paramValue("Ugr", "0"); // only the page counts when it is left
    child<QAbstractButton>(w.get(), "nextButton")->click();
    QCOMPARE(w->tree()->paramValue("Ugr"), QString("1"));
    QCOMPARE(w->tree()->paramValue("Node[0]"), QString("4"));
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stBackWaterSettings));

    // Stage 9: point count and both hysteresis values.
    chooseWithKeys(child<QComboBox>(w.get(), "GraphCount_BackWaterSettings"), "3");
    QCOMPARE(child<QTableWidget>(w.get(), "table_BackWater")->rowCount(), 3);
    child<QLineEdit>(w.get(), "GistPlus_BackWater")->setText("6,5");
    child<QLineEdit>(w.get(), "GistMinus_BackWater")->setText("-4.5");
    child<QAbstractButton>(w.get(), "nextButton")->click();
    QCOMPARE(w->tree()->paramValue("Node[1]"), QString("3"));
    QCOMPARE(w->tree()->paramValue("Hy.b1[0]"), QString("6,5"));
    QCOMPARE(w->tree()->paramValue("Hy.b2[0]"), QString("-4,5"));
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stPumpC1Settings));

    // Stage 10: only Node[2]; stage 12: Node[3] and contour 2's hysteresis.
    w->stagesMap()->setStage(Wizard::stOtopSettings2C);
    chooseWithKeys(child<QComboBox>(w.get(), "GraphCount_OtopSettings"), "2");
    child<QAbstractButton>(w.get(), "nextButton")->click();
    QCOMPARE(w->tree()->paramValue("Node[2]"), QString("2"));
    QCOMPARE(w->tree()->paramValue("Node[0]"), QString("4"));
    QCOMPARE(w->tree()->paramValue("Ugr"), QString("1"));
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stBackWaterSettings2C));
    child<QCheckBox>(w.get(), "IsUseBackWater")->click();
    chooseWithKeys(child<QComboBox>(w.get(), "GraphCount_BackWaterSettings"), "4");
    child<QLineEdit>(w.get(), "GistPlus_BackWater")->setText("3");
    child<QLineEdit>(w.get(), "GistMinus_BackWater")->setText("-2");
    child<QAbstractButton>(w.get(), "nextButton")->click();
    QCOMPARE(w->tree()->paramValue("Node[3]"), QString("4"));
    QCOMPARE(w->tree()->paramValue("Hy.b1[1]"), QString("3"));
    QCOMPARE(w->tree()->paramValue("Hy.b2[1]"), QString("-2"));
    QCOMPARE(w->tree()->paramValue("Hy.b1[0]"), QString("6,5"));
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stPumpC2Settings));
}

void TestWizardGraphs::forwardStepWritesEveryPointToTheDevice()
{
    sim.reset(new iotest::Simulator);
    QVERIFY2(sim->started(), qPrintable(sim->error()));
    child<QCheckBox>(w.get(), "workOfflineCheckBox")->click(); // online again
    QVERIFY(!w->stagesMap()->isOffline());
    w->presetPort(sim->path());
    w->tree()->paramValue("TimeOut", "3");
    w->stagesMap()->setStage(Wizard::stOtopSettings);
    chooseWithKeys(child<QComboBox>(w.get(), "GraphCount_OtopSettings"), "3");
    QSignalSpy finished(w->ioHelper(), &KavuIOhelper::kavuIOFinished);
    child<QAbstractButton>(w.get(), "nextButton")->click();
    QVERIFY(finished.wait(30000));
    QCOMPARE(finished.at(0).at(1).toInt(), 0);
    // All five points go out whatever the point count.
    QCOMPARE(sim->writesOf("Grtp"), 5);
    QCOMPARE(sim->writesOf("Ugr"), 1);
    QCOMPARE(sim->writesOf("Node"), 1);
    QCOMPARE(w->stagesMap()->current(), int(Wizard::stBackWaterSettings));
    QCOMPARE(child<QStackedWidget>(w.get(), "stackedWidget")->currentWidget()->objectName(),
             QString("BackWaterSettingsPage"));
}

void TestWizardGraphs::pointEditorByStageEnteredFrom()
{
    struct Case
    {
        int from;
        const char *button;
        QString prefix;
        int first;
        QString caption;
    };
    const QList<Case> cases = {
        {Wizard::stOtopSettings, "otopPointsTkont", "Grtp", 0, "Редактируйте настройки 1-го контура"},
        {Wizard::stOtopSettings2C, "otopPointsTkont", "Grtp", 5, "Редактируйте настройки 2-го контура"},
        {Wizard::stBackWaterSettings, "otopPointsBackWater", "Grtr", 0, "Редактируйте настройки 1-го контура"},
        {Wizard::stBackWaterSettings2C, "otopPointsBackWater", "Grtr", 5, "Редактируйте настройки 2-го контура"},
    };
    w->tree()->paramValue("k.obr[1]", "1"); // the return-water button works only with the control on
    for (const Case &c : cases) {
        w->stagesMap()->setStage(c.from);
        QTest::mouseClick(child<QAbstractButton>(w.get(), c.button), Qt::LeftButton);
        QCOMPARE(w->stagesMap()->current(), int(Wizard::stEditGraphData));
        QCOMPARE(child<QLabel>(w.get(), "stageActionName")->text(), c.caption);
        QCOMPARE(child<QStackedWidget>(w.get(), "stackedWidget")->currentWidget()->objectName(), QString("commPage"));
        QCOMPARE(child<QStackedWidget>(w.get(), "buttonsStackedWidget")->currentWidget()->objectName(),
                 QString("commEditButtons"));
        QVERIFY(!child<QWidget>(w.get(), "CommPageRightPanel")->isVisible());
        QCOMPARE(w->tree()->topLevelItemCount(), 5);
        for (int i = 0; i < 5; ++i) {
            const QString name = QStringLiteral("%1[%2]").arg(c.prefix).arg(c.first + i);
            QVERIFY2(w->tree()->findItem(name), qPrintable(name));
        }
        // An edited point shows on the graph page after "Вернуться".
        const QString first = QStringLiteral("%1[%2]").arg(c.prefix).arg(c.first);
        w->tree()->paramValue(first, "-40,0;99,0");
        QTest::mouseClick(child<QAbstractButton>(w.get(), "exitCommEditButton"), Qt::LeftButton);
        QCOMPARE(w->stagesMap()->current(), c.from);
        const char *table = c.prefix == "Grtp" ? "table_OtopSettings" : "table_BackWater";
        QCOMPARE(child<QTableWidget>(w.get(), table)->item(0, 1)->text(), QString("-40.0"));
    }
}

void TestWizardGraphs::screenshots()
{
    QFile style(":/resources/style.qss");
    QVERIFY(style.open(QIODevice::ReadOnly));
    qApp->setStyleSheet(QString::fromUtf8(style.readAll()));
    auto styled = makeWizard();
    setPoints(styled.get(), "Grtp", 0, heatingPoints);
    setPoints(styled.get(), "Grtr", 0, returnPoints);
    styled->stagesMap()->setStage(Wizard::stOtopSettings);
    QVERIFY(!wstest::saveScreenshot(styled.get(), "wizard-heating-graph").isEmpty());
    styled->stagesMap()->setStage(Wizard::stBackWaterSettings);
    QVERIFY(!wstest::saveScreenshot(styled.get(), "wizard-return-water-graph").isEmpty());
    qApp->setStyleSheet(QString());
}

QTEST_MAIN(TestWizardGraphs)
#include "tst_wizardgraphs.moc"
