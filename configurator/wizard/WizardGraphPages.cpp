// The wizard's graph pages: heating and return-water graphs of both contours
// and the stage that edits their points in the embedded tree.
#include "Wizard.h"

#include "HeatingGraph.h"
#include "HrcTree.h"
#include "OStagesMap.h"
#include "ValueCodec.h"
#include "ui_Wizard.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QTableWidget>

#include <qcustomplot.h>

void Wizard::fillGraph(int contour, int count, QTableWidget *table, const QString &prefix, QCustomPlot *plot,
                       const QString &yCaption)
{
    table->setRowCount(0);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table->setEnabled(false);
    QVector<double> xs;
    QVector<double> ys;
    for (int i = 0; i < count; ++i) {
        table->insertRow(i);
        const QString text = value(WizardRules::pointName(prefix, contour, i));
        const QStringList parts = ValueCodec::withDecimalPoint(text).split(QLatin1Char(';'));
        const QPointF point = HeatingGraph::parsePoint(text);
        xs.append(point.x());
        ys.append(point.y());
        const QStringList cells = {QString::number(i + 1), parts.value(0), parts.value(1)};
        for (int column = 0; column < cells.size(); ++column) {
            auto *item = new QTableWidgetItem(cells.at(column));
            item->setTextAlignment(Qt::AlignCenter);
            table->setItem(i, column, item);
        }
    }
    HeatingGraph::drawGraph(plot, xs, ys, tr("Тн/Тпр"), tr(yCaption.toUtf8().constData()));
}

void Wizard::showOtopPage(int contour)
{
    if (contour == 0) {
        ui->GraphTypeGroup->show();
        ui->GraphTypeTitle->show();
        if (value(QStringLiteral("Ugr")).toInt() == 0)
            ui->GraphTypOne_OtopSettings->setChecked(true);
        else
            ui->GraphTypTwo_OtopSettings->setChecked(true);
        setStageText(ui->stageName, "Настройка 1-го контура: Отопление");
    } else {
        // The graph type is one setting of the device, shown with contour 1.
        ui->GraphTypeGroup->hide();
        ui->GraphTypeTitle->hide();
        setStageText(ui->stageName, "Настройка 2-го контура: Отопление");
    }
    showButtonsPage(ui->wizardButtonsPage);
    ui->stackedWidget->setCurrentWidget(ui->OtopSettingsPage);
    setNavigation(true, true, false);
    const int n = value(WizardRules::pointCountName(contour == 0 ? stOtopSettings : stOtopSettings2C)).toInt();
    const int item = ui->GraphCount_OtopSettings->findText(QString::number(n));
    if (item >= 0) {
        // Showing the stored count is no choice of the user's.
        const QSignalBlocker blocker(ui->GraphCount_OtopSettings);
        ui->GraphCount_OtopSettings->setCurrentIndex(item);
    }
    fillGraph(contour, n, ui->table_OtopSettings, QStringLiteral("Grtp"), ui->Plot_OtopSettings,
              QStringLiteral("Tконт"));
    ui->pb_OtopSettingsPage->setValue(contour == 0 ? 15 : 45);
}

void Wizard::showBackWaterPage(int contour)
{
    const QString c = QString::number(contour);
    setStageText(ui->stageName, contour == 0 ? "Настройка 1-го контура: Отопление" : "Настройка 2-го контура: Отопление");
    showButtonsPage(ui->wizardButtonsPage);
    ui->stackedWidget->setCurrentWidget(ui->BackWaterSettingsPage);
    setNavigation(true, true, false);

    const QString countText = value(WizardRules::pointCountName(contour == 0 ? stBackWaterSettings
                                                                           : stBackWaterSettings2C));
    const int item = ui->GraphCount_BackWaterSettings->findText(countText);
    if (item >= 0) {
        const QSignalBlocker blocker(ui->GraphCount_BackWaterSettings);
        ui->GraphCount_BackWaterSettings->setCurrentIndex(item);
    }

    const bool controlOn = value(QStringLiteral("k.obr[%1]").arg(c)) != QLatin1String("0");
    {
        // Showing the stored state is no user choice: it must not write back.
        const QSignalBlocker blocker(ui->IsUseBackWater);
        ui->IsUseBackWater->setChecked(controlOn);
    }
    for (QWidget *w : {static_cast<QWidget *>(ui->GistPlus_BackWater), static_cast<QWidget *>(ui->GistMinus_BackWater),
                       static_cast<QWidget *>(ui->GraphCount_BackWaterSettings),
                       static_cast<QWidget *>(ui->otopPointsBackWater)})
        w->setEnabled(controlOn);

    const QString plus = value(QStringLiteral("Hy.b1[%1]").arg(c));
    const QString minus = value(QStringLiteral("Hy.b2[%1]").arg(c));
    ui->GistPlus_BackWater->setText(plus);
    ui->GistMinus_BackWater->setText(minus);
    fillGraph(contour, countText.toInt(), ui->table_BackWater, QStringLiteral("Grtr"), ui->Plot_BackWater,
              QStringLiteral("Tобр"));
    HeatingGraph::drawHysteresisBand(ui->Plot_BackWater, HeatingGraph::readNumber(plus),
                                     HeatingGraph::readNumber(minus));
    ui->pb_BackWaterSettingsPage->setValue(contour == 0 ? 30 : 55);
}

void Wizard::onOtopSettingsShow(int)
{
    showOtopPage(0);
}

void Wizard::onOtopSettings_2C_Show(int)
{
    showOtopPage(1);
}

void Wizard::onBackWaterSettingsShow(int)
{
    showBackWaterPage(0);
}

void Wizard::onBackWaterSettings_2C_Show(int)
{
    showBackWaterPage(1);
}

void Wizard::onEditGraphDataShow(int stageFrom)
{
    const GraphPointList points = WizardRules::graphPointList(stageFrom);
    setStageText(ui->stageActionName, points.caption);
    m_tree->buildTree(QLatin1String(points.names));
    ui->CommPageRightPanel->hide();
    ui->stackedWidget->setCurrentWidget(ui->commPage);
    showButtonsPage(ui->commEditButtons);
}

void Wizard::on_GraphCount_OtopSettings_currentIndexChanged(int)
{
    const int stage = m_stages ? m_stages->current() : -1;
    if (stage != stOtopSettings && stage != stOtopSettings2C)
        return;
    setValue(WizardRules::pointCountName(stage), ui->GraphCount_OtopSettings->currentText());
    showOtopPage(WizardRules::graphContour(stage));
}

void Wizard::on_GraphTypOne_OtopSettings_toggled(bool checked)
{
    setValue(QStringLiteral("Ugr"), checked ? QStringLiteral("0") : QStringLiteral("1"));
}

void Wizard::on_GraphCount_BackWaterSettings_currentIndexChanged(int)
{
    const int stage = m_stages ? m_stages->current() : -1;
    if (stage != stBackWaterSettings && stage != stBackWaterSettings2C)
        return;
    setValue(WizardRules::pointCountName(stage), ui->GraphCount_BackWaterSettings->currentText());
    showBackWaterPage(WizardRules::graphContour(stage));
}

void Wizard::on_IsUseBackWater_toggled(bool checked)
{
    const int stage = m_stages ? m_stages->current() : -1;
    setValue(stage == stBackWaterSettings ? QStringLiteral("k.obr[0]") : QStringLiteral("k.obr[1]"),
             checked ? QStringLiteral("1") : QStringLiteral("0"));
    showBackWaterPage(stage == stBackWaterSettings ? 0 : 1);
}

void Wizard::acceptHysteresis(const QString &name, QWidget *editWidget)
{
    auto *edit = static_cast<QLineEdit *>(editWidget);
    if (WizardRules::acceptsHysteresis(m_tree->findParameter(name), edit->text())) {
        setValue(name, edit->text().trimmed());
    } else {
        edit->setText(value(name));
    }
}

void Wizard::on_GistPlus_BackWater_editingFinished()
{
    const bool second = m_stages && m_stages->current() == stBackWaterSettings2C;
    acceptHysteresis(second ? QStringLiteral("Hy.b1[1]") : QStringLiteral("Hy.b1[0]"), ui->GistPlus_BackWater);
}

void Wizard::on_GistMinus_BackWater_editingFinished()
{
    const bool second = m_stages && m_stages->current() == stBackWaterSettings2C;
    acceptHysteresis(second ? QStringLiteral("Hy.b2[1]") : QStringLiteral("Hy.b2[0]"), ui->GistMinus_BackWater);
}
