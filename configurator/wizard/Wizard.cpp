#include "Wizard.h"

#include "ConfigFileDialog.h"
#include "ConfigStore.h"
#include "DeviceSearchDialog.h"
#include "ErrorText.h"
#include "HelpWin.h"
#include "HrcDocument.h"
#include "DeviceBackup.h"
#include "HrcLog.h"
#include "HrcTree.h"
#include "HrcTreeWorkers.h"
#include "JobController.h"
#include "KavuIOhelper.h"
#include "OStage.h"
#include "OStagePostAction.h"
#include "OStagesMap.h"
#include "ValueCodec.h"
#include "ui_Wizard.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QMovie>
#include <QSettings>
#include <QShortcut>
#include <QVBoxLayout>

namespace {

const char *const settingsGroupKey = "hrc417/bPS";
const char *const geometryKey = "wizardWindowGeometry";
const char *const treeStyle = "font: 14pt Segoe UI;";
const char *const treeHeaderStyle = "font: 10pt Verdana; border: none;";

} // namespace

Wizard::Wizard(QDomDocument doc, FlyTranslator *translator, QWidget *parent, std::shared_ptr<PortArbiter> arbiter)
    : QWidget(parent), ui(new Ui::Wizard), m_portArbiter(std::move(arbiter))
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
    m_tree->updateItems(nullptr, QStringLiteral("defaultvalue"), HrcTree::IncludeLocal);
    m_tree->buildSummary(QLatin1String(WizardRules::linkSettingsSet));
    m_tree->buildTree(QLatin1String(WizardRules::linkSettingsSet));
    restoreStoredValues();

    // 5.-6. Texts and languages.
    m_translator = translator;
    retranslateForm();
    m_tree->buildSummary(QLatin1String(WizardRules::linkSettingsSet));
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
    m_tree->setLinkSettingsInForceAtOnce(true);
    m_workers = new HrcTreeWorkers(m_tree, false, m_portArbiter);
}

void Wizard::applyTreeStyle()
{
    m_tree->setStyleSheet(QLatin1String(treeStyle));
    m_tree->header()->setStyleSheet(QLatin1String(treeHeaderStyle));
}

JobController *Wizard::jobs() const
{
    return m_workers->jobs();
}

void Wizard::connectIoWorker()
{
    // The worker's results through the job controller: in batches, and the
    // backups made around the job.
    disconnectIoWorker();
    JobController *controller = jobs();
    connect(controller, &JobController::progress, this, [this](const QVector<JobProgress> &updates) {
        for (const JobProgress &update : updates)
            onIOUpdating(update.treeID, update.done, update.total);
    });
    connect(controller, &JobController::finished, this,
            [this](const JobEnd &end) { onIOFihished(end.message, end.errors, end.total); });
    controller->setBackupSaver(
        [this](const QString &action) { DeviceBackup::save(m_tree->documentModel(), action, this); });
}

void Wizard::disconnectIoWorker()
{
    disconnect(jobs(), nullptr, this, nullptr);
}

void Wizard::registerStages()
{
    m_stages = new OStagesMap(this);
    connect(m_stages, &OStagesMap::SignalGetConfigFromUI, this, &Wizard::onGetConfigFromUI);

    using Show = void (Wizard::*)(int);
    static const Show stageShows[stageCount] = {
        &Wizard::onCommSettingsShow,          &Wizard::onParamsTreeShow,
        &Wizard::onGetDeviceInfo,             &Wizard::onEditCommSettingsShow,
        &Wizard::onCheckCommSettingsShow,     &Wizard::onContoursSetShow,
        &Wizard::onOtopSettingsShow,          &Wizard::onEditGraphDataShow,
        &Wizard::onHotWaterSettingsShow,      &Wizard::onBackWaterSettingsShow,
        &Wizard::onOtopSettings_2C_Show,      &Wizard::onHotWaterSettings_2C_Show,
        &Wizard::onBackWaterSettings_2C_Show, &Wizard::onPumpC1SettingsShow,
        &Wizard::onPumpC2SettingsShow,        &Wizard::onPumpColdWaterSettingsShow,
        &Wizard::onAdditionalSettingsShow,    &Wizard::onEditSensorSettingsShow,
        &Wizard::onEditContourOneSettingsShow, &Wizard::onEditContourTwoSettingsShow,
        &Wizard::onFinalShow,
    };
    for (int id = 0; id < stageCount; ++id) {
        const int given = m_stages->addStage(this, stageShows[id]);
        Q_ASSERT(given == id);
        Q_UNUSED(given)
    }

    const QString title = tr("Установка связи с прибором...");
    for (const StageStep &step : WizardRules::stageTable()) {
        const QString action = QLatin1String(step.action);
        m_stages->addTransition(step.from, action, step.targets);
        if (!step.jobParams)
            continue;
        m_stages->addPostAction(step.from, action, this, &Wizard::onStagePostAction, title,
                                QLatin1String(step.jobParams), step.jobWrites ? KavuComm::opWrite : KavuComm::opRead);
    }

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
    // A typed number keeps the document's decimal comma whichever separator
    // was typed.
    m_tree->paramValue(name, ValueCodec::typedValue(ParameterSpec::fromElement(element), newValue));
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
        m_tree->buildSummary(QLatin1String(WizardRules::linkSettingsSet));
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
    ui->logTextEdit->clear();
    ui->langLabel->hide();
    ui->langSelectComboBox->hide();
    ui->abortIOButton->show();
    qCDebug(lcWizard) << "Starting IO ..." << params;
    showButtonsPage(ui->commResButtons);
    ui->stackedWidget->setCurrentWidget(ui->checkConnPage);
    JobRequest request;
    request.names = params;
    request.operation = opTyp;
    // The device's values as last known are saved before a write changes them.
    request.backupAction = DeviceBackup::writeBranch();
    jobs()->start(request);
}

void Wizard::onIOUpdating(uint treeId, int count, int total)
{
    QDomElement element = m_tree->elementById(treeId);
    if (!HrcDocument::isParameter(element))
        return;
    const int code = resultCodeOf(element);
    const bool writing = jobs()->request().operation == KavuComm::opWrite;
    if (code == codeNotExchanged)
        return;
    if (code != codeSuccess) {
        ui->logTextEdit->append((writing ? tr("Ошибка записи ") : tr("Ошибка чтения ")) + QStringLiteral(" \"")
                                + HrcDocument::translated(element.attribute(QStringLiteral("label")))
                                + QStringLiteral("\" (") + element.attribute(QStringLiteral("namekavu"))
                                + QStringLiteral("), ")
                                + outcomeText(code, m_tree->displayText(element, QStringLiteral("ioValue")),
                                              m_tree->displayText(element)));
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
    qCDebug(lcWizard) << "on IO Finished ..." << count << ", errStr:" << errStr;
    m_movie->stop();
    ui->movieLabel->hide();
    ui->abortIOButton->hide();
    ui->langLabel->hide();
    const JobResult result = ioHelper()->finishedJobResult();
    const bool writing = jobs()->request().operation == KavuComm::opWrite;
    // A write tells what it sent and what reading it back found.
    if (writing && result.connected)
        ui->logTextEdit->append(KavuIOhelper::writeCountsText(result, true));
    if (count == 0) {
        emitCurrentStageShow();
        qCDebug(lcWizard) << "emit BeforeTransition" << m_stages->current() << " OKI";
        return;
    }
    if (!result.connected)
        setStageText(ui->commCheckTitle, "Ошибка подключения к прибору.");
    else if (writing)
        setStageText(ui->commCheckTitle, "Параметры записаны с ошибками");
    else
        setStageText(ui->commCheckTitle, "Параметры прочитаны с ошибками");
    ui->logTextEdit->append(errStr);
    ui->retryCommButton->show();
    ui->abortCommButton->show();
}

// ---- Buttons -----------------------------------------------------------------------

void Wizard::on_nextButton_clicked()
{
    if (!requiredFieldsFilled())
        return;
    applyContourChoice();
    m_stages->nextStage(QStringLiteral("next"),
                        WizardRules::forwardPath(m_stages->current(), contourChoice(),
                                                 ui->workOfflineCheckBox->isChecked()));
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
    jobs()->cancel();
}

void Wizard::on_setDefaultCommParamButton_clicked()
{
    m_tree->updateItems(nullptr, QStringLiteral("defaultvalue"), HrcTree::IncludeLocal);
    qCDebug(lcWizard) << "Set factory settings";
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

void Wizard::on_findDeviceButton_clicked()
{
    if (DeviceSearchDialog::findInto(m_tree->documentModel(), ioHelper()->portArbiter(), this))
        m_tree->rebuild();
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
    const QString fileName =
        ConfigFileDialog::saveFileName(this, tr("Сохранить файл конфигурации"), tr("Файлы HRC417 (*.hrc417)"));
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
