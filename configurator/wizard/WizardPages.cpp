// The wizard's pages: what each stage shows, the contour and pump boxes, the
// fields a guided page needs, and what leaving a page stores in the document.
#include "Wizard.h"

#include "HrcDocument.h"
#include "HrcTree.h"
#include "OStagesMap.h"
#include "ValueCodec.h"
#include "ui_Wizard.h"

#include <QTextCursor>
#include <QTextDocument>
#include <QToolTip>

// ---- Stages ------------------------------------------------------------------------

void Wizard::onCommSettingsShow(int)
{
    setStageText(ui->stageName, "Связь с прибором");
    ui->stackedWidget->setCurrentWidget(ui->commPage);
    showButtonsPage(ui->wizardButtonsPage);
    const bool languages = ui->langSelectComboBox->count() >= 2;
    ui->langFrame->setVisible(languages);
    // A job hides the language button; it comes back with this page.
    if (languages && !ui->langSelectComboBox->isVisible())
        ui->langLabel->show();
    setStageText(ui->stageActionName, "Укажите параметры связи с прибором");
    ui->editCommParamButton->show();
    ui->showAllParamButton->show();
    ui->workOfflineCheckBox->show();
    ui->checkCommParamButton->show();
    ui->CommPageRightPanel->show();
    m_tree->buildSummary(QLatin1String(WizardRules::linkSettingsSet));
    setNavigation(false, ui->nextButton->isEnabled(), false);
}

void Wizard::onParamsTreeShow(int)
{
    storeAllValues();
    disconnectIoWorker();
    emit wizardClose(m_tree->document(), 0);
    close();
}

void Wizard::onGetDeviceInfo(int)
{
    setStageText(ui->stageName, "Связь с прибором");
    ui->stackedWidget->setCurrentWidget(ui->checkConnPage);
    showButtonsPage(ui->wizardButtonsPage);
    if (ui->langSelectComboBox->count() >= 2 && !ui->langSelectComboBox->isVisible())
        ui->langLabel->show();
    ui->logTextEdit->clear();
    if (m_stages->isOffline()) {
        // No exchange took place: nothing to report about the device.
        setStageText(ui->commCheckTitle, "Программа работает offline: связь с прибором не проверялась.");
        ui->prevButton->setEnabled(true);
        return;
    }
    setStageText(ui->commCheckTitle, "Связь с прибором установлена.");
    for (const char *name : {"Dev", "ver", "p.ver"}) {
        const QDomElement element = m_tree->findParameter(QLatin1String(name));
        // The device's text as plain text: markup from the device is shown, never rendered.
        QTextCursor end(ui->logTextEdit->document());
        end.movePosition(QTextCursor::End);
        if (!ui->logTextEdit->document()->isEmpty())
            end.insertBlock();
        end.insertText(HrcDocument::translated(element.attribute(QStringLiteral("label"))) + QStringLiteral(": ")
                       + m_tree->displayText(element));
    }
    ui->logTextEdit->append(QStringLiteral("<br><br><b>")
                            + tr("Для последующей конфигурации прибора необходимо перевести его в режим \"Останов\" "
                                 "(нажмите и удерживайте кнопку \"Пуск/Стоп\")")
                            + QStringLiteral("</b>"));
    ui->prevButton->setEnabled(true);
    ui->finishRightWidget->show();
    ui->editAllParamButton->show();
}

void Wizard::onEditCommSettingsShow(int)
{
    setStageText(ui->stageName, "Настройка параметров связи");
    ui->stackedWidget->setCurrentWidget(ui->commPage);
    showButtonsPage(ui->commEditButtons);
    setStageText(ui->stageActionName, "Укажите параметры связи с прибором");
    ui->checkCommParamButton->show();
    ui->editCommParamButton->hide();
    ui->showAllParamButton->hide();
    ui->workOfflineCheckBox->hide();
    m_tree->buildTree(QLatin1String(WizardRules::linkSettingsSet));
    ui->CommPageRightPanel->show();
}

void Wizard::onCheckCommSettingsShow(int)
{
    setStageText(ui->stageName, "Предварительная настройка");
    ui->stackedWidget->setCurrentWidget(ui->OtopSettingsPage);
    showButtonsPage(ui->wizardButtonsPage);
    setNavigation(true, true, false);
    ui->pb_OtopSettingsPage->setValue(10);
}

void Wizard::onContoursSetShow(int)
{
    setStageText(ui->stageName, "Предварительная настройка");
    ui->stackedWidget->setCurrentWidget(ui->checkForKontur2Page);
    showButtonsPage(ui->wizardButtonsPage);
    showContourChoice(WizardRules::storedContourChoice(m_tree->documentModel()));
    setNavigation(true, true, false);
    applyContourChoice();
    ui->pb_checkForKontur2Page->setValue(5);
}

void Wizard::onHotWaterSettingsShow(int)
{
    setStageText(ui->stageName, "Настройка 1-го контура: ГВС");
    ui->stackedWidget->setCurrentWidget(ui->HotWaterSettingsPage);
    showButtonsPage(ui->wizardButtonsPage);
    ui->TempUstavka->setText(value(QStringLiteral("T.sp[0]")));
    setNavigation(true, true, false);
    ui->pb_HotWaterSettingsPage->setValue(15);
}

void Wizard::onHotWaterSettings_2C_Show(int)
{
    setStageText(ui->stageName, "Настройка 2-го контура: ГВС");
    ui->stackedWidget->setCurrentWidget(ui->HotWaterSettingsPage);
    showButtonsPage(ui->wizardButtonsPage);
    ui->TempUstavka->setText(value(QStringLiteral("T.sp[1]")));
    setNavigation(true, true, false);
    ui->pb_HotWaterSettingsPage->setValue(45);
}

void Wizard::onPumpC1SettingsShow(int)
{
    setStageText(ui->stageName, "Предварительная настройка");
    ui->stackedWidget->setCurrentWidget(ui->PumpC1SettingsPage);
    showButtonsPage(ui->wizardButtonsPage);
    ui->PumpWorkTime->setText(value(QStringLiteral("t.wm[0]")));
    showPumpCount(QStringLiteral("pump[0]"), ui->isUsePumpC1One, ui->isUsePumpC1Two);
    showPumpCount(QStringLiteral("pump[1]"), ui->isUsePumpUpOne, ui->isUsePumpUpTwo);
    setNavigation(true, true, false);
    ui->pb_PumpC1->setValue(40);
}

void Wizard::onPumpC2SettingsShow(int)
{
    setStageText(ui->stageName, "Предварительная настройка");
    ui->stackedWidget->setCurrentWidget(ui->PumpHotWaterSettingsPage);
    showButtonsPage(ui->wizardButtonsPage);
    ui->PumpHotWaterWorkTime->setText(value(QStringLiteral("t.wm[1]")));
    showPumpCount(QStringLiteral("pump[2]"), ui->isUsePumpC2One, ui->isUsePumpC2Two);
    setNavigation(true, true, false);
    ui->pb_PumpC2->setValue(60);
}

void Wizard::onPumpColdWaterSettingsShow(int)
{
    setStageText(ui->stageName, "Предварительная настройка");
    ui->stackedWidget->setCurrentWidget(ui->PumpColdWaterSettingsPage);
    showButtonsPage(ui->wizardButtonsPage);
    ui->PumpColdWaterWorkTime->setText(value(QStringLiteral("t.wm[2]")));
    ui->isUsePumpCold->setChecked(value(QStringLiteral("hws")) != QLatin1String("0"));
    on_isUsePumpCold_clicked(ui->isUsePumpCold->isChecked());
    showPumpCount(QStringLiteral("pump[3]"), ui->isUsePumpColdOne, ui->isUsePumpColdTwo);
    setNavigation(true, true, false);
    ui->pb_PumpColdWater->setValue(80);
}

void Wizard::onAdditionalSettingsShow(int)
{
    setStageText(ui->stageName, "Предварительная настройка");
    ui->stackedWidget->setCurrentWidget(ui->AdditionalSettingsPage);
    showButtonsPage(ui->wizardButtonsPage);
    ui->editAddSettingsK2Link->setVisible(contourChoice().count() != 1);
    setNavigation(true, true, false);
    ui->pb_AdditionalSettingsPage->setValue(95);
}

namespace {
const char *const sensorList = "in-t[0];in-t[1];in-t[2];in-t[3];in-t[4];in-t[5];in-t[6];in-t[7]";
const char *const contourOneList = "Tm.dy;Tm.ng;p.hot[0];d.ngt[0];S.w[0]";
const char *const contourTwoList = "p.hot[1];d.ngt[1];S.w[1]";
} // namespace

void Wizard::onEditSensorSettingsShow(int)
{
    setStageText(ui->stageActionName, "Предварительная настройка");
    ui->CommPageRightPanel->hide();
    m_tree->buildTree(QLatin1String(sensorList));
    ui->stackedWidget->setCurrentWidget(ui->commPage);
    showButtonsPage(ui->commEditButtons);
}

void Wizard::onEditContourOneSettingsShow(int)
{
    setStageText(ui->stageActionName, "Предварительная настройка");
    ui->CommPageRightPanel->hide();
    m_tree->buildTree(QLatin1String(contourOneList));
    ui->stackedWidget->setCurrentWidget(ui->commPage);
    showButtonsPage(ui->commEditButtons);
}

void Wizard::onEditContourTwoSettingsShow(int)
{
    setStageText(ui->stageActionName, "Предварительная настройка");
    ui->CommPageRightPanel->hide();
    m_tree->buildTree(QLatin1String(contourTwoList));
    ui->stackedWidget->setCurrentWidget(ui->commPage);
    showButtonsPage(ui->commEditButtons);
}

void Wizard::onFinalShow(int)
{
    setStageText(ui->stageName, "Предварительная настройка");
    ui->stackedWidget->setCurrentWidget(ui->checkConnPage);
    showButtonsPage(ui->wizardButtonsPage);
    ui->finishRightWidget->show();
    ui->editAllParamButton->show();
    ui->saveParamButton->show();
    setStageText(ui->commCheckTitle, "Предварительная настройка завершена успешно");
    ui->logTextEdit->clear();
    setNavigation(true, false, true);
}

// ---- Contours and pumps ------------------------------------------------------------

ContourChoice Wizard::contourChoice() const
{
    ContourChoice choice;
    choice.heatingFirst = ui->IsOtopFirstCheckBox->isChecked();
    choice.heatingSecond = ui->IsOtopSecondCheckBox->isChecked();
    choice.waterFirst = ui->IsWaterFirstCheckBox->isChecked();
    choice.waterSecond = ui->IsWaterSecondCheckBox->isChecked();
    return choice;
}

void Wizard::showContourChoice(const ContourChoice &choice)
{
    ui->IsOtopFirstCheckBox->setChecked(choice.heatingFirst);
    ui->IsOtopSecondCheckBox->setChecked(choice.heatingSecond);
    ui->IsWaterFirstCheckBox->setChecked(choice.waterFirst);
    ui->IsWaterSecondCheckBox->setChecked(choice.waterSecond);
}

int Wizard::applyContourChoice()
{
    const ContourChoice choice = contourChoice();
    for (QCheckBox *box :
         {ui->IsOtopFirstCheckBox, ui->IsOtopSecondCheckBox, ui->IsWaterFirstCheckBox, ui->IsWaterSecondCheckBox})
        box->setEnabled(!choice.isFull() || box->isChecked());
    // Without a contour there is nothing to set up: the contour page stays.
    const bool none = choice.count() == 0 && ui->stackedWidget->currentIndex() == 1;
    ui->nextButton->setEnabled(!none);
    ui->MaxKonturMessageText->setVisible(!none && choice.isFull());
    return choice.count();
}

void Wizard::showPumpCount(const QString &name, QWidget *first, QWidget *second)
{
    const PumpBoxes boxes = WizardRules::pumpBoxes(value(name));
    static_cast<QCheckBox *>(first)->setChecked(boxes.first);
    static_cast<QCheckBox *>(second)->setChecked(boxes.second);
}

void Wizard::storePumpCount(const QString &name, const QWidget *first, const QWidget *second)
{
    const PumpBoxes boxes = {static_cast<const QCheckBox *>(first)->isChecked(),
                             static_cast<const QCheckBox *>(second)->isChecked()};
    setValue(name, WizardRules::pumpCount(m_tree->findParameter(name), boxes));
}

// ---- Leaving a stage ---------------------------------------------------------------

void Wizard::onGetConfigFromUI(int stageFrom)
{
    switch (stageFrom) {
    case stContoursSet:
        WizardRules::storeContourChoice(m_tree->documentModel(), contourChoice());
        break;
    case stOtopSettings:
        setValue(QStringLiteral("Ugr"), ui->GraphTypOne_OtopSettings->isChecked() ? QStringLiteral("0")
                                                                                  : QStringLiteral("1"));
        setValue(WizardRules::pointCountName(stageFrom), ui->GraphCount_OtopSettings->currentText());
        break;
    case stOtopSettings2C:
        setValue(WizardRules::pointCountName(stageFrom), ui->GraphCount_OtopSettings->currentText());
        break;
    case stBackWaterSettings:
    case stBackWaterSettings2C: {
        const QString c = QString::number(WizardRules::graphContour(stageFrom));
        setValue(WizardRules::pointCountName(stageFrom), ui->GraphCount_BackWaterSettings->currentText());
        // The document keeps decimal commas whichever separator was typed.
        setRequiredValue(QStringLiteral("Hy.b1[%1]").arg(c),
                         ValueCodec::withDecimalComma(ui->GistPlus_BackWater->text()));
        setRequiredValue(QStringLiteral("Hy.b2[%1]").arg(c),
                         ValueCodec::withDecimalComma(ui->GistMinus_BackWater->text()));
        break;
    }
    case stHotWaterSettings:
        setRequiredValue(QStringLiteral("T.sp[0]"), ui->TempUstavka->text());
        break;
    case stHotWaterSettings2C:
        setRequiredValue(QStringLiteral("T.sp[1]"), ui->TempUstavka->text());
        break;
    case stPumpC1Settings:
        setRequiredValue(QStringLiteral("t.wm[0]"), ui->PumpWorkTime->text());
        storePumpCount(QStringLiteral("pump[0]"), ui->isUsePumpC1One, ui->isUsePumpC1Two);
        storePumpCount(QStringLiteral("pump[1]"), ui->isUsePumpUpOne, ui->isUsePumpUpTwo);
        break;
    case stPumpC2Settings:
        setRequiredValue(QStringLiteral("t.wm[1]"), ui->PumpHotWaterWorkTime->text());
        storePumpCount(QStringLiteral("pump[2]"), ui->isUsePumpC2One, ui->isUsePumpC2Two);
        break;
    case stPumpColdWaterSettings:
        setRequiredValue(QStringLiteral("t.wm[2]"), ui->PumpColdWaterWorkTime->text());
        setValue(QStringLiteral("hws"), ui->isUsePumpCold->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
        storePumpCount(QStringLiteral("pump[3]"), ui->isUsePumpColdOne, ui->isUsePumpColdTwo);
        break;
    default:
        break;
    }
}

// ---- Required fields ---------------------------------------------------------------

QList<QLineEdit *> Wizard::requiredFields(int stage) const
{
    switch (stage) {
    case stHotWaterSettings:
    case stHotWaterSettings2C:
        return {ui->TempUstavka};
    case stBackWaterSettings:
    case stBackWaterSettings2C:
        return {ui->GistPlus_BackWater, ui->GistMinus_BackWater};
    case stPumpC1Settings:
        return {ui->PumpWorkTime};
    case stPumpC2Settings:
        return {ui->PumpHotWaterWorkTime};
    case stPumpColdWaterSettings:
        return {ui->PumpColdWaterWorkTime};
    default:
        return {};
    }
}

bool Wizard::requiredFieldsFilled()
{
    for (QLineEdit *field : requiredFields(m_stages->current())) {
        if (field->isEnabled() && field->text().trimmed().isEmpty()) {
            field->setFocus();
            QToolTip::showText(field->mapToGlobal(QPoint(0, field->height())), tr("Введите значение"), field);
            return false;
        }
    }
    return true;
}

void Wizard::setRequiredValue(const QString &name, const QString &newValue)
{
    // An emptied field is no value: the one before stays (and is written).
    if (!newValue.trimmed().isEmpty())
        setValue(name, newValue);
}
