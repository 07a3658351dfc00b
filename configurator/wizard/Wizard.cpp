#include "Wizard.h"

#include "ConfigStore.h"
#include "ErrorText.h"
#include "FlyTranslator.h"
#include "HrcEditDelegate.h"
#include "HelpWin.h"
#include "HrcDocument.h"
#include "DeviceBackup.h"
#include "HrcTree.h"
#include "HrcTreeWorkers.h"
#include "HrcValueText.h"
#include "KavuIOhelper.h"
#include "OStage.h"
#include "OStagesMap.h"
#include "ui_Wizard.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QMessageBox>
#include <QMouseEvent>
#include <QMovie>
#include <QSettings>
#include <QShortcut>
#include <QToolTip>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const char *const settingsGroupKey = "hrc417/bPS";
const char *const geometryKey = "wizardWindowGeometry";
const char *const languageKey = "hrc417/useLangIndex";
const char *const treeStyle = "font: 14pt Segoe UI;";
const char *const treeHeaderStyle = "font: 10pt Verdana; border: none;";
const char *const commSettings = "commSettings";
const char *const allSets = "configuration;otopKontur1;otopKontur2;GeneralParam";
// The property that keeps the source text of a label set by a stage.
const char *const sourceTextProperty = "stageSourceText";

} // namespace

Wizard::Wizard(QDomDocument doc, FlyTranslator *translator, QWidget *parent)
    : QWidget(parent), ui(new Ui::Wizard)
{
    // 1. Form, settings, geometry.
    ui->setupUi(this);
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("#Wizard { background-image: url(:/resources/images/transp.png); }"
                                 "#headerFrame { background-image: url(:/resources/images/hrctree_top_bg.png); }"));
    ui->headerFrame->setAttribute(Qt::WA_StyledBackground);
    settings = ConfigStore::lastConfiguration();
    restoreGeometry(settings->value(QLatin1String(geometryKey)).toByteArray());

    // 2. Help.
    auto *help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, &Wizard::doOpenHelp);

    // 3.-4. The embedded tree with factory values, then the last configuration.
    createTree(doc);
    m_tree->buildTree();
    m_tree->updateItems(nullptr, false, QStringLiteral("defaultvalue"), false, true);
    m_tree->buildSummary(QLatin1String(commSettings));
    m_tree->buildTree(QLatin1String(commSettings));
    restoreStoredValues();

    // 5.-6. Texts and languages.
    m_translator = translator;
    retranslateForm();
    m_tree->buildSummary(QLatin1String(commSettings));
    fillLanguageBox();

    // 7. Window and tree.
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowTitle(tr("Конфигуратор HRC417"));
    applyTreeStyle();
    auto *frameLayout = new QVBoxLayout(ui->hrcFrame);
    frameLayout->setContentsMargins(0, 0, 0, 0);
    frameLayout->addWidget(m_tree);

    // 8. The guided pages are reached through the stage machine only.
    ui->prevButton->hide();
    ui->nextButton->hide();
    ui->readyButton->hide();

    // 9. The busy animation.
    m_movie = new QMovie(this);
    m_movie->stop();
    ui->movieLabel->setMovie(m_movie);
    ui->movieLabel->setScaledContents(true);
    m_movie->setFileName(QStringLiteral(":/resources/images/loader.gif"));

    // 10.-11.
    connectIoWorker();
    registerStages();
}

Wizard::~Wizard()
{
    // The workers detach from their tree when deleted; as a child of the
    // tree they would go only after the tree itself is half destroyed.
    delete m_workers;
}

KavuIOhelper *Wizard::ioHelper() const
{
    return m_workers->ioHelper();
}

QDomDocument Wizard::document() const
{
    return m_tree->document();
}

void Wizard::createTree(const QDomDocument &doc)
{
    m_tree = new HrcTree(doc, nullptr, nullptr);
    // The wizard's link page says how to reach the device as it is set now:
    // what the engineer enters there is used by the next connection.
    if (auto *editor = qobject_cast<HrcEditDelegate *>(m_tree->itemDelegate()))
        editor->setLinkSettingsInForceAtOnce(true);
    m_workers = new HrcTreeWorkers(m_tree, false);
}

void Wizard::applyTreeStyle()
{
    m_tree->setStyleSheet(QLatin1String(treeStyle));
    m_tree->header()->setStyleSheet(QLatin1String(treeHeaderStyle));
}

void Wizard::connectIoWorker()
{
    KavuIOhelper *helper = ioHelper();
    connect(helper, &KavuIOhelper::kavuIOFinished, this, &Wizard::onIOFihished, Qt::UniqueConnection);
    connect(helper, &KavuIOhelper::kavuIOUpdating, this, &Wizard::onIOUpdating, Qt::UniqueConnection);
}

void Wizard::disconnectIoWorker()
{
    KavuIOhelper *helper = ioHelper();
    disconnect(helper, &KavuIOhelper::kavuIOFinished, this, &Wizard::onIOFihished);
    disconnect(helper, &KavuIOhelper::kavuIOUpdating, this, &Wizard::onIOUpdating);
}

void Wizard::registerStages()
{
    m_stages = new OStagesMap(this);
    connect(m_stages, &OStagesMap::SignalGetConfigFromUI, this, &Wizard::onGetConfigFromUI);

    static const char *const stageSlots[stageCount] = {
        SLOT(onCommSettingsShow(int)),          SLOT(onParamsTreeShow(int)),
        SLOT(onGetDeviceInfo(int)),             SLOT(onEditCommSettingsShow(int)),
        SLOT(onCheckCommSettingsShow(int)),     SLOT(onContoursSetShow(int)),
        SLOT(onOtopSettingsShow(int)),          SLOT(onEditGraphDataShow(int)),
        SLOT(onHotWaterSettingsShow(int)),      SLOT(onBackWaterSettingsShow(int)),
        SLOT(onOtopSettings_2C_Show(int)),      SLOT(onHotWaterSettings_2C_Show(int)),
        SLOT(onBackWaterSettings_2C_Show(int)), SLOT(onPumpC1SettingsShow(int)),
        SLOT(onPumpC2SettingsShow(int)),        SLOT(onPumpColdWaterSettingsShow(int)),
        SLOT(onAdditionalSettingsShow(int)),    SLOT(onEditSensorSettingsShow(int)),
        SLOT(onEditContourOneSettingsShow(int)), SLOT(onEditContourTwoSettingsShow(int)),
        SLOT(onFinalShow(int)),
    };
    for (int id = 0; id < stageCount; ++id) {
        const int given = m_stages->addStage(this, stageSlots[id]);
        Q_ASSERT(given == id);
        Q_UNUSED(given)
    }

    const QString title = tr("Установка связи с прибором...");
    const char *const postSlot = SLOT(onStagePostAction(QString, QString, KavuComm::KavuCommOperation));
    auto transition = [&](int from, const char *action, const QList<int> &targets) {
        m_stages->addTransition(from, QLatin1String(action), targets);
    };
    auto post = [&](int from, const char *action, KavuComm::KavuCommOperation op, const char *params) {
        m_stages->addPostAction(from, QLatin1String(action), this, postSlot, title, QLatin1String(params), op);
    };
    const auto read = KavuComm::opRead;
    const auto write = KavuComm::opWrite;
    const char *const deviceInfo = "Dev;ver;p.ver";

    transition(stCommSettings, "edit", {stEditCommSettings});
    transition(stCommSettings, "next", {stGetDeviceInfo, stContoursSet});
    post(stCommSettings, "next", read, deviceInfo);
    transition(stCommSettings, "checkConn", {stGetDeviceInfo});
    post(stCommSettings, "checkConn", read, deviceInfo);
    transition(stCommSettings, "paramsTree", {stParamsTree});
    post(stCommSettings, "paramsTree", read, allSets);

    transition(stGetDeviceInfo, "paramsTree", {stParamsTree});
    post(stGetDeviceInfo, "paramsTree", read, allSets);
    transition(stGetDeviceInfo, "next", {stContoursSet});
    post(stGetDeviceInfo, "next", read, allSets);

    transition(stEditCommSettings, "checkConn", {stGetDeviceInfo});
    post(stEditCommSettings, "checkConn", read, deviceInfo);

    transition(stContoursSet, "next", {stOtopSettings, stHotWaterSettings});
    post(stContoursSet, "next", write, "Node[0];Node[2];kont");

    transition(stOtopSettings, "editGraph", {stEditGraphData});
    transition(stOtopSettings, "next", {stBackWaterSettings});
    post(stOtopSettings, "next", write, "Ugr;Node[0];Grtp[0];Grtp[1];Grtp[2];Grtp[3];Grtp[4]");

    transition(stHotWaterSettings, "next", {stBackWaterSettings});
    post(stHotWaterSettings, "next", write, "T.sp[0]");

    transition(stBackWaterSettings, "editGraph", {stEditGraphData});
    transition(stBackWaterSettings, "next", {stPumpC1Settings});
    post(stBackWaterSettings, "next", write,
         "k.obr[0];Hy.b1[0];Hy.b2[0];Node[1];Grtr[0];Grtr[1];Grtr[2];Grtr[3];Grtr[4]");

    transition(stOtopSettings2C, "editGraph", {stEditGraphData});
    transition(stOtopSettings2C, "next", {stBackWaterSettings2C});
    post(stOtopSettings2C, "next", write, "Node[2];Grtp[5];Grtp[6];Grtp[7];Grtp[8];Grtp[9]");

    transition(stHotWaterSettings2C, "next", {stBackWaterSettings2C});
    post(stHotWaterSettings2C, "next", write, "T.sp[1]");

    transition(stBackWaterSettings2C, "editGraph", {stEditGraphData});
    transition(stBackWaterSettings2C, "next", {stPumpC2Settings});
    post(stBackWaterSettings2C, "next", write,
         "Node[3];Grtr[5];Grtr[6];Grtr[7];Grtr[8];Grtr[9];k.obr[1];Hy.b1[1];Hy.b2[1]");

    transition(stPumpC1Settings, "next", {stPumpColdWaterSettings, stOtopSettings2C, stHotWaterSettings2C});
    post(stPumpC1Settings, "next", write, "pump[0];pump[1];t.wm[0]");

    transition(stPumpC2Settings, "next", {stPumpColdWaterSettings});
    post(stPumpC2Settings, "next", write, "pump[2];t.wm[1]");

    transition(stPumpColdWaterSettings, "next", {stAdditionalSettings});
    post(stPumpColdWaterSettings, "next", write, "hws;pump[3];t.wm[2]");

    transition(stAdditionalSettings, "editSensor", {stEditSensorSettings});
    transition(stAdditionalSettings, "editOne", {stEditContourOneSettings});
    transition(stAdditionalSettings, "editTwo", {stEditContourTwoSettings});
    transition(stAdditionalSettings, "next", {stFinal});
    // Contour 2's own settings are written with contour 1's, as edited on
    // "Настройки контура 2".
    post(stAdditionalSettings, "next", write,
         "in-t[0];in-t[1];in-t[2];in-t[3];in-t[4];in-t[5];in-t[6];in-t[7];Tm.dy;Tm.ng;"
         "p.hot[0];d.ngt[0];S.w[0];p.hot[1];d.ngt[1];S.w[1]");

    m_stages->setStage(stCommSettings);
}

// ---- Values ------------------------------------------------------------------------

QString Wizard::value(const QString &name)
{
    return m_tree->paramValue(name);
}

void Wizard::setValue(const QString &name, const QString &newValue)
{
    QDomElement element = m_tree->findParameter(name);
    if (element.isNull())
        return;
    if (newValue.isEmpty()) {
        // paramValue reads on an empty text; an emptied field is stored as such.
        element.setAttribute(QStringLiteral("value"), newValue);
        return;
    }
    m_tree->paramValue(name, newValue);
}

void Wizard::restoreStoredValues()
{
    if (settings->contains(QLatin1String(settingsGroupKey)))
        ConfigStore::restoreValues(m_tree->documentModel().allParams(), *settings, false);
}

void Wizard::storeAllValues()
{
    ConfigStore::storeValues(m_tree->documentModel().allParams(), *settings);
    settings->sync();
}

void Wizard::presetPort(const QString &portName)
{
    if (portName.isEmpty())
        return;
    setValue(QStringLiteral("Port"), portName);
    if (m_stages->current() == stCommSettings)
        m_tree->buildSummary(QLatin1String(commSettings));
}

// ---- Texts and languages -----------------------------------------------------------

void Wizard::retranslateForm()
{
    ui->retranslateUi(ui->stackedWidget->currentWidget());
    ui->retranslateUi(ui->buttonsStackedWidget->currentWidget());
    // The generated retranslation also titles the pages it is given; the
    // window keeps its own title, and the stages' texts come back.
    setWindowTitle(tr("Конфигуратор HRC417"));
    retranslateStageTexts();
}

void Wizard::setStageText(QLabel *label, const char *sourceText)
{
    label->setProperty(sourceTextProperty, QString::fromUtf8(sourceText));
    label->setText(tr(sourceText));
}

void Wizard::retranslateStageTexts()
{
    for (QLabel *label : {ui->stageName, ui->stageActionName, ui->commCheckTitle}) {
        const QString source = label->property(sourceTextProperty).toString();
        if (!source.isEmpty())
            label->setText(tr(source.toUtf8().constData()));
    }
}

void Wizard::fillLanguageBox()
{
    ui->langLabel->hide();
    ui->langSelectComboBox->hide();
    if (!m_translator || m_translator->languageNames().size() < 2)
        return;
    ui->langSelectComboBox->blockSignals(true);
    ui->langSelectComboBox->clear();
    const QStringList &names = m_translator->languageNames();
    for (int i = 0; i < names.size(); ++i)
        ui->langSelectComboBox->addItem(QIcon(m_translator->languageIcons().at(i)), names.at(i),
                                        m_translator->languageFiles().at(i));
    connect(ui->langLabel, &QPushButton::clicked, this, &Wizard::chooseLang, Qt::UniqueConnection);
    connect(ui->langSelectComboBox, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &Wizard::setLangFromList, Qt::UniqueConnection);
    ui->langLabel->show();
    const int start = m_translator->startIndex();
    ui->langSelectComboBox->setCurrentIndex(start >= 0 && start < names.size() ? start : 0);
    ui->langSelectComboBox->blockSignals(false);
    ui->langLabel->setIcon(ui->langSelectComboBox->itemIcon(ui->langSelectComboBox->currentIndex()));
}

void Wizard::chooseLang()
{
    ui->langLabel->hide();
    ui->langSelectComboBox->show();
}

void Wizard::setLangFromList(int index)
{
    ui->langLabel->setIcon(ui->langSelectComboBox->itemIcon(index));
    ui->langLabel->show();
    ui->langSelectComboBox->hide();
    if (m_translator)
        m_translator->loadLanguage(ui->langSelectComboBox->currentIndex());
    settings->setValue(QLatin1String(languageKey), ui->langSelectComboBox->currentIndex());
    retranslateForm();
    // The tree of the page in view, as it was (a summary or an editable
    // list), with the new language's captions.
    m_tree->rebuild();
}

// ---- Helpers -----------------------------------------------------------------------

void Wizard::showButtonsPage(QWidget *page)
{
    ui->buttonsStackedWidget->setCurrentWidget(page);
}

void Wizard::setNavigation(bool prevEnabled, bool nextEnabled, bool readyEnabled)
{
    ui->prevButton->setEnabled(prevEnabled);
    ui->nextButton->setEnabled(nextEnabled);
    ui->readyButton->setEnabled(readyEnabled);
}

void Wizard::emitCurrentStageShow()
{
    if (OStage *stage = m_stages->stage(m_stages->current()))
        stage->show(m_stages->current());
}

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
    m_tree->buildSummary(QLatin1String(commSettings));
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
        ui->logTextEdit->append(HrcDocument::translated(element.attribute(QStringLiteral("label"))) + QStringLiteral(": ")
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
    m_tree->buildTree(QLatin1String(commSettings));
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
    setContourBoxesFromDocument();
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
    setPumpBoxes(value(QStringLiteral("pump[0]")), ui->isUsePumpC1One, ui->isUsePumpC1Two);
    setPumpBoxes(value(QStringLiteral("pump[1]")), ui->isUsePumpUpOne, ui->isUsePumpUpTwo);
    setNavigation(true, true, false);
    ui->pb_PumpC1->setValue(40);
}

void Wizard::onPumpC2SettingsShow(int)
{
    setStageText(ui->stageName, "Предварительная настройка");
    ui->stackedWidget->setCurrentWidget(ui->PumpHotWaterSettingsPage);
    showButtonsPage(ui->wizardButtonsPage);
    ui->PumpHotWaterWorkTime->setText(value(QStringLiteral("t.wm[1]")));
    setPumpBoxes(value(QStringLiteral("pump[2]")), ui->isUsePumpC2One, ui->isUsePumpC2Two);
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
    setPumpBoxes(value(QStringLiteral("pump[3]")), ui->isUsePumpColdOne, ui->isUsePumpColdTwo);
    setNavigation(true, true, false);
    ui->pb_PumpColdWater->setValue(80);
}

void Wizard::onAdditionalSettingsShow(int)
{
    setStageText(ui->stageName, "Предварительная настройка");
    ui->stackedWidget->setCurrentWidget(ui->AdditionalSettingsPage);
    showButtonsPage(ui->wizardButtonsPage);
    ui->editAddSettingsK2Link->setVisible(checkedContourBoxes() != 1);
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

int Wizard::checkedContourBoxes() const
{
    int n = 0;
    for (const QCheckBox *box :
         {ui->IsOtopFirstCheckBox, ui->IsOtopSecondCheckBox, ui->IsWaterFirstCheckBox, ui->IsWaterSecondCheckBox})
        n += box->isChecked() ? 1 : 0;
    return n;
}

int Wizard::applyContourChoice()
{
    const QList<QCheckBox *> boxes = {ui->IsOtopFirstCheckBox, ui->IsOtopSecondCheckBox, ui->IsWaterFirstCheckBox,
                                      ui->IsWaterSecondCheckBox};
    for (QCheckBox *box : boxes)
        box->setEnabled(true);
    const int n = checkedContourBoxes();
    if (n == 0 && ui->stackedWidget->currentIndex() == 1) {
        ui->nextButton->setEnabled(false);
        ui->MaxKonturMessageText->hide();
        return n;
    }
    ui->nextButton->setEnabled(true);
    if (n == 2) {
        ui->MaxKonturMessageText->show();
        for (QCheckBox *box : boxes) {
            if (!box->isChecked())
                box->setEnabled(false);
        }
    } else {
        ui->MaxKonturMessageText->hide();
    }
    return n;
}

void Wizard::setContourBoxesFromDocument()
{
    for (QCheckBox *box :
         {ui->IsOtopFirstCheckBox, ui->IsOtopSecondCheckBox, ui->IsWaterFirstCheckBox, ui->IsWaterSecondCheckBox})
        box->setChecked(false);
    const bool firstIsWater = value(QStringLiteral("Node[0]")) == QLatin1String("1");
    const bool secondIsWater = value(QStringLiteral("Node[2]")) == QLatin1String("1");
    if (value(QStringLiteral("kont")) == QLatin1String("0")) {
        (firstIsWater ? ui->IsWaterFirstCheckBox : ui->IsOtopFirstCheckBox)->setChecked(true);
    } else if (!firstIsWater && !secondIsWater) {
        ui->IsOtopFirstCheckBox->setChecked(true);
        ui->IsOtopSecondCheckBox->setChecked(true);
    } else if (firstIsWater && secondIsWater) {
        ui->IsWaterFirstCheckBox->setChecked(true);
        ui->IsWaterSecondCheckBox->setChecked(true);
    } else {
        ui->IsOtopFirstCheckBox->setChecked(true);
        ui->IsWaterFirstCheckBox->setChecked(true);
    }
}

void Wizard::writeContourChoice()
{
    // A point count of 1 marks a hot-water contour. A contour chosen as a
    // heating contour that still has 1 point gets its factory count, or it
    // would come back as a hot-water contour.
    auto makeHeating = [this](const QString &name) {
        if (value(name) != QLatin1String("1"))
            return;
        QString factory = m_tree->findParameter(name).attribute(QStringLiteral("defaultvalue"));
        setValue(name, factory == QLatin1String("1") || factory.isEmpty() ? QStringLiteral("5") : factory);
    };
    const bool otop = ui->IsOtopFirstCheckBox->isChecked() || ui->IsOtopSecondCheckBox->isChecked();
    const bool bothOtop = ui->IsOtopFirstCheckBox->isChecked() && ui->IsOtopSecondCheckBox->isChecked();
    const bool bothWater = ui->IsWaterFirstCheckBox->isChecked() && ui->IsWaterSecondCheckBox->isChecked();
    const QString node0 = QStringLiteral("Node[0]");
    const QString node2 = QStringLiteral("Node[2]");
    switch (checkedContourBoxes()) {
    case 1:
        setValue(QStringLiteral("kont"), QStringLiteral("0"));
        if (otop)
            makeHeating(node0);
        else
            setValue(node0, QStringLiteral("1"));
        break;
    case 2:
        setValue(QStringLiteral("kont"), QStringLiteral("1"));
        if (bothOtop) {
            makeHeating(node0);
            makeHeating(node2);
        } else if (bothWater) {
            setValue(node0, QStringLiteral("1"));
            setValue(node2, QStringLiteral("1"));
        } else {
            makeHeating(node0);
            setValue(node2, QStringLiteral("1"));
        }
        break;
    default:
        break;
    }
}

void Wizard::setPumpBoxes(const QString &count, QWidget *first, QWidget *second)
{
    auto *one = static_cast<QCheckBox *>(first);
    auto *two = static_cast<QCheckBox *>(second);
    one->setChecked(false);
    two->setChecked(false);
    const int n = count.toInt();
    if (n > 0) {
        one->setChecked(true);
        if (n != 1)
            two->setChecked(true);
    }
}

QString Wizard::pumpCount(const QString &name, bool first, bool second)
{
    const int n = (first ? 1 : 0) + (second ? 1 : 0);
    const QString text = QString::number(n);
    const QDomElement element = m_tree->findParameter(name);
    const QStringList entries = HrcValueText::entries(element.attribute(QStringLiteral("valueset")));
    if (entries.isEmpty() || entries.contains(text))
        return text;
    // A group that cannot be empty (make-up and cold-water pumps count from
    // 1): the nearest count the device accepts.
    QString nearest = entries.constFirst();
    for (const QString &entry : entries) {
        if (qAbs(entry.toInt() - n) < qAbs(nearest.toInt() - n))
            nearest = entry;
    }
    return nearest;
}

// ---- Leaving a stage ---------------------------------------------------------------

void Wizard::onGetConfigFromUI(int stageFrom)
{
    switch (stageFrom) {
    case stContoursSet:
        writeContourChoice();
        break;
    case stOtopSettings:
        setValue(QStringLiteral("Ugr"), ui->GraphTypOne_OtopSettings->isChecked() ? QStringLiteral("0")
                                                                                  : QStringLiteral("1"));
        setValue(QStringLiteral("Node[0]"), ui->GraphCount_OtopSettings->currentText());
        break;
    case stOtopSettings2C:
        setValue(QStringLiteral("Node[2]"), ui->GraphCount_OtopSettings->currentText());
        break;
    case stBackWaterSettings:
    case stBackWaterSettings2C: {
        const QString c = stageFrom == stBackWaterSettings ? QStringLiteral("0") : QStringLiteral("1");
        setValue(stageFrom == stBackWaterSettings ? QStringLiteral("Node[1]") : QStringLiteral("Node[3]"),
                 ui->GraphCount_BackWaterSettings->currentText());
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
        setValue(QStringLiteral("pump[0]"),
                 pumpCount(QStringLiteral("pump[0]"), ui->isUsePumpC1One->isChecked(), ui->isUsePumpC1Two->isChecked()));
        setValue(QStringLiteral("pump[1]"),
                 pumpCount(QStringLiteral("pump[1]"), ui->isUsePumpUpOne->isChecked(), ui->isUsePumpUpTwo->isChecked()));
        break;
    case stPumpC2Settings:
        setRequiredValue(QStringLiteral("t.wm[1]"), ui->PumpHotWaterWorkTime->text());
        setValue(QStringLiteral("pump[2]"),
                 pumpCount(QStringLiteral("pump[2]"), ui->isUsePumpC2One->isChecked(), ui->isUsePumpC2Two->isChecked()));
        break;
    case stPumpColdWaterSettings:
        setRequiredValue(QStringLiteral("t.wm[2]"), ui->PumpColdWaterWorkTime->text());
        setValue(QStringLiteral("hws"), ui->isUsePumpCold->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
        setValue(QStringLiteral("pump[3]"), pumpCount(QStringLiteral("pump[3]"), ui->isUsePumpColdOne->isChecked(),
                                                      ui->isUsePumpColdTwo->isChecked()));
        break;
    default:
        break;
    }
}

// ---- Device jobs -------------------------------------------------------------------

void Wizard::onStagePostAction(QString title, QString params, KavuComm::KavuCommOperation opTyp)
{
    ui->abortCommButton->hide();
    ui->retryCommButton->hide();
    ui->saveParamButton->hide();
    ui->editAllParamButton->hide();
    ui->checkConnPage->show();
    ui->commCheckTitle->setProperty(sourceTextProperty, QVariant());
    ui->commCheckTitle->setText(title);
    ui->movieLabel->show();
    m_movie->start();
    m_tree->buildTree();
    m_jobOperation = opTyp;
    m_jobNames = params;
    // The device's values as last known, saved before the write changes them.
    if (opTyp == KavuComm::opWrite)
        DeviceBackup::save(m_tree->documentModel(), DeviceBackup::writeBranch(), this);
    ioHelper()->setJob(params, opTyp, true);
    ui->logTextEdit->clear();
    ui->langLabel->hide();
    ui->langSelectComboBox->hide();
    ui->abortIOButton->show();
    qDebug() << "Starting IO ..." << params;
    showButtonsPage(ui->commResButtons);
    ui->stackedWidget->setCurrentWidget(ui->checkConnPage);
    ioHelper()->startJob(false);
}

void Wizard::onIOUpdating(uint treeId, int count, int total)
{
    QDomElement element = m_tree->elementById(treeId);
    if (!HrcDocument::isParameter(element))
        return;
    const QString code = element.attribute(QStringLiteral("ioLastErrCode"));
    const bool writing = m_jobOperation == KavuComm::opWrite;
    if (code == QLatin1String("-1000"))
        return;
    if (code != QLatin1String("0")) {
        ui->logTextEdit->append((writing ? tr("Ошибка записи ") : tr("Ошибка чтения ")) + QStringLiteral(" \"")
                                + HrcDocument::translated(element.attribute(QStringLiteral("label")))
                                + QStringLiteral("\" (") + element.attribute(QStringLiteral("namekavu"))
                                + QStringLiteral("), ") + errorText(code.toInt()));
        return;
    }
    const QString name = element.attribute(QStringLiteral("namekavu"));
    const QString ioValue = element.attribute(QStringLiteral("ioValue"));
    if (ioValue.isEmpty())
        element.setAttribute(QStringLiteral("value"), ioValue);
    else
        m_tree->paramValue(name, ioValue);
    ui->commCheckTitle->setProperty(sourceTextProperty, QVariant());
    ui->commCheckTitle->setText(writing ? tr("Запись параметров. Записано %1 из %2").arg(count).arg(total)
                                        : tr("Чтение параметров. Прочитано %1 из %2").arg(count).arg(total));
}

void Wizard::onIOFihished(QString errStr, int count, int)
{
    qDebug() << "on IO Finished ..." << count << ", errStr:" << errStr;
    m_movie->stop();
    ui->movieLabel->hide();
    ui->abortIOButton->hide();
    ui->langLabel->hide();
    if (count == 0) {
        if (m_jobOperation == KavuComm::opRead && m_jobNames == QLatin1String(allSets))
            DeviceBackup::save(m_tree->documentModel(), DeviceBackup::read(), this);
        emitCurrentStageShow();
        qDebug() << "emit BeforeTransition" << m_stages->current() << " OKI";
        return;
    }
    if (count < 0)
        setStageText(ui->commCheckTitle, "Ошибка подключения к прибору.");
    else if (m_jobOperation == KavuComm::opWrite)
        setStageText(ui->commCheckTitle, "Параметры записаны с ошибками");
    else
        setStageText(ui->commCheckTitle, "Параметры прочитаны с ошибками");
    ui->logTextEdit->append(errStr);
    ui->retryCommButton->show();
    ui->abortCommButton->show();
}

// ---- Buttons -----------------------------------------------------------------------

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

void Wizard::on_nextButton_clicked()
{
    if (!requiredFieldsFilled())
        return;
    const int n = applyContourChoice();
    int path = -1;
    switch (m_stages->current()) {
    case stCommSettings:
        path = ui->workOfflineCheckBox->isChecked() ? stContoursSet : stGetDeviceInfo;
        break;
    case stContoursSet:
        path = ui->IsOtopFirstCheckBox->isChecked() || ui->IsOtopSecondCheckBox->isChecked() ? stOtopSettings
                                                                                            : stHotWaterSettings;
        break;
    case stPumpC1Settings:
        if (n == 1)
            path = stPumpColdWaterSettings;
        else if (!ui->IsOtopFirstCheckBox->isChecked())
            path = stHotWaterSettings2C;
        else
            path = ui->IsOtopSecondCheckBox->isChecked() ? stOtopSettings2C : stHotWaterSettings2C;
        break;
    default:
        break;
    }
    m_stages->nextStage(QStringLiteral("next"), path);
}

void Wizard::on_prevButton_clicked()
{
    m_stages->prevStage();
}

void Wizard::on_exitCommEditButton_clicked()
{
    m_stages->prevStage();
}

void Wizard::do_exitCommEditButton_clicked()
{
    m_stages->prevStage();
}

void Wizard::on_abortCommButton_clicked()
{
    m_stages->prevStage();
}

void Wizard::on_retryCommButton_clicked()
{
    m_stages->PostPreviousAction();
}

void Wizard::on_abortIOButton_clicked()
{
    ui->abortIOButton->hide();
    ioHelper()->terminate();
}

void Wizard::on_setDefaultCommParamButton_clicked()
{
    m_tree->updateItems(nullptr, false, QStringLiteral("defaultvalue"), false, true);
    qDebug() << "Set factory settings";
}

bool Wizard::isWorkingOffline() const
{
    return m_stages->isOffline();
}

void Wizard::on_workOfflineCheckBox_clicked()
{
    m_stages->setOffline(ui->workOfflineCheckBox->isChecked());
}

void Wizard::on_IsOtopFirstCheckBox_clicked()
{
    applyContourChoice();
}

void Wizard::on_IsOtopSecondCheckBox_clicked()
{
    applyContourChoice();
}

void Wizard::on_IsWaterFirstCheckBox_clicked()
{
    applyContourChoice();
}

void Wizard::on_IsWaterSecondCheckBox_clicked()
{
    applyContourChoice();
}

void Wizard::on_stackedWidget_currentChanged(int)
{
    applyContourChoice();
}

void Wizard::on_isUsePumpCold_clicked(bool checked)
{
    ui->PumpColdWaterWorkTime->setEnabled(checked);
    ui->isUsePumpColdOne->setEnabled(checked);
    ui->isUsePumpColdTwo->setEnabled(checked);
    if (!checked) {
        ui->isUsePumpColdOne->setChecked(false);
        ui->isUsePumpColdTwo->setChecked(false);
    }
}

void Wizard::on_editSensorsTypeLink_clicked()
{
    m_stages->nextStage(QStringLiteral("editSensor"));
}

void Wizard::on_editAddSettingsK1Link_clicked()
{
    m_stages->nextStage(QStringLiteral("editOne"));
}

void Wizard::on_editAddSettingsK2Link_clicked()
{
    m_stages->nextStage(QStringLiteral("editTwo"));
}

void Wizard::on_editCommParamButton_clicked()
{
    m_stages->nextStage(QStringLiteral("edit"));
}

void Wizard::on_showAllParamButton_clicked()
{
    m_stages->nextStage(QStringLiteral("paramsTree"));
}

void Wizard::on_editAllParamButton_clicked()
{
    m_stages->nextStage(QStringLiteral("paramsTree"));
}

void Wizard::on_checkCommParamButton_clicked()
{
    m_stages->nextStage(QStringLiteral("checkConn"));
}

void Wizard::on_otopPointsTkont_clicked()
{
    m_stages->nextStage(QStringLiteral("editGraph"));
}

void Wizard::on_otopPointsBackWater_clicked()
{
    m_stages->nextStage(QStringLiteral("editGraph"));
}

void Wizard::on_exitButton_clicked()
{
    settings->setValue(QLatin1String(geometryKey), saveGeometry());
    settings->sync();
    ioHelper()->terminate();
    close();
}

void Wizard::on_readyButton_clicked()
{
    ioHelper()->terminate();
    storeAllValues();
    close();
}

void Wizard::on_saveParamButton_clicked()
{
    const QString fileName = QFileDialog::getSaveFileName(this, tr("Сохранить файл конфигурации"), QDir::homePath(),
                                                          tr("Файлы HRC417 (*.hrc417)"));
    if (fileName.isEmpty())
        return;
    QString error;
    if (!ConfigStore::saveFile(m_tree->documentModel().allParams(), fileName, &error))
        QMessageBox::warning(this, tr("Конфигуратор HRC417"), tr("Ошибка записи файла %1:\n%2.").arg(fileName, error),
                             QMessageBox::Ok);
}

void Wizard::doOpenHelp()
{
    HelpWin::openHelp(this);
}

// ---- Window switching --------------------------------------------------------------

void Wizard::treeWinClose(QDomDocument doc, int)
{
    if (!doc.isNull() && doc.documentElement() != m_tree->document().documentElement()) {
        // Another document than the one the tree shows: the tree takes it over.
        HrcTree *old = m_tree;
        delete m_workers;
        createTree(doc);
        ui->hrcFrame->layout()->replaceWidget(old, m_tree);
        delete old;
    }
    applyTreeStyle();
    connectIoWorker();
    restoreStoredValues();
    show();
    m_stages->setStage(stCommSettings);
}

// ---- Window dragging ---------------------------------------------------------------

void Wizard::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressX = qRound(event->localPos().x());
        m_pressY = qRound(event->localPos().y());
        m_pressed = true;
        m_dragging = true;
        setCursor(Qt::ClosedHandCursor);
    }
    QWidget::mousePressEvent(event);
}

void Wizard::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragging)
        move(event->globalPos() - QPoint(m_pressX, m_pressY));
    QWidget::mouseMoveEvent(event);
}

void Wizard::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        const bool samePlace = m_pressed && qRound(event->localPos().x()) == m_pressX
                               && qRound(event->localPos().y()) == m_pressY;
        m_dragging = false;
        m_pressed = false;
        unsetCursor();
        if (samePlace && ui->langSelectComboBox->isVisible()) {
            ui->langSelectComboBox->hide();
            ui->langLabel->show();
        }
    }
    QWidget::mouseReleaseEvent(event);
}
