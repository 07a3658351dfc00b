#pragma once

#include "KavuComm.h"
#include "WizardRules.h"

#include <QHash>
#include <QDomDocument>
#include <QPoint>
#include <QString>
#include <QWidget>

#include <memory>

class FlyTranslator;
class HrcTree;
class HrcTreeWorkers;
class JobController;
class KavuIOhelper;
class OStagesMap;
class QCustomPlot;
class QLabel;
class QLineEdit;
class QMovie;
class QSettings;
class QTableWidget;

namespace Ui {
class Wizard;
}

// The first window: communication settings, the connection check with the
// device's name and versions, offline work and the hand-over to the main
// window, plus the guided set-up of contours, graphs and pumps that lies
// behind the hidden forward button. Navigation is the stage table registered
// with OStagesMap; device exchanges go through the embedded tree's I/O worker.
class Wizard : public QWidget, public WizardStages
{
    Q_OBJECT
public:
    // arbiter: who holds the serial port, shared with the main window.
    Wizard(QDomDocument doc, FlyTranslator *translator, QWidget *parent = nullptr,
           std::shared_ptr<PortArbiter> arbiter = nullptr);
    ~Wizard() override;

    // "Работа offline" is ticked: no exchange with the device took place.
    bool isWorkingOffline() const;
    HrcTree *tree() const { return m_tree; }
    OStagesMap *stagesMap() const { return m_stages; }
    KavuIOhelper *ioHelper() const;
    QDomDocument document() const;

    // Sets the document's "Port" (a command-line preset) and shows it.
    void presetPort(const QString &portName);

signals:
    void wizardClose(QDomDocument doc, int stageNo);

public slots:
    void treeWinClose(QDomDocument doc, int aStageNo);

    void chooseLang();
    void setLangFromList(int index);

    void onIOFihished(QString errStr, int count, int total);
    void onIOUpdating(uint treeId, int count, int total);

    void onCommSettingsShow(int stageFrom);
    void onParamsTreeShow(int stageFrom);
    void onGetDeviceInfo(int stageFrom);
    void onEditCommSettingsShow(int stageFrom);
    void onCheckCommSettingsShow(int stageFrom);
    void onContoursSetShow(int stageFrom);
    void onOtopSettingsShow(int stageFrom);
    void onEditGraphDataShow(int stageFrom);
    void onHotWaterSettingsShow(int stageFrom);
    void onBackWaterSettingsShow(int stageFrom);
    void onOtopSettings_2C_Show(int stageFrom);
    void onHotWaterSettings_2C_Show(int stageFrom);
    void onBackWaterSettings_2C_Show(int stageFrom);
    void onPumpC1SettingsShow(int stageFrom);
    void onPumpC2SettingsShow(int stageFrom);
    void onPumpColdWaterSettingsShow(int stageFrom);
    void onAdditionalSettingsShow(int stageFrom);
    void onEditSensorSettingsShow(int stageFrom);
    void onEditContourOneSettingsShow(int stageFrom);
    void onEditContourTwoSettingsShow(int stageFrom);
    void onFinalShow(int stageFrom);

    void onGetConfigFromUI(int stageFrom);
    void onStagePostAction(QString title, QString params, KavuComm::KavuCommOperation opTyp);

    void doOpenHelp();
    void do_exitCommEditButton_clicked();

private slots:
    void on_exitButton_clicked();
    void on_readyButton_clicked();
    void on_nextButton_clicked();
    void on_prevButton_clicked();
    void on_exitCommEditButton_clicked();
    void on_abortCommButton_clicked();
    void on_retryCommButton_clicked();
    void on_abortIOButton_clicked();
    void on_setDefaultCommParamButton_clicked();
    void on_workOfflineCheckBox_clicked();
    void on_IsOtopFirstCheckBox_clicked();
    void on_IsOtopSecondCheckBox_clicked();
    void on_IsWaterFirstCheckBox_clicked();
    void on_IsWaterSecondCheckBox_clicked();
    void on_stackedWidget_currentChanged(int arg1);
    void on_isUsePumpCold_clicked(bool checked);
    void on_saveParamButton_clicked();

    void on_editSensorsTypeLink_clicked();
    void on_editAddSettingsK1Link_clicked();
    void on_editAddSettingsK2Link_clicked();
    void on_editCommParamButton_clicked();
    void on_showAllParamButton_clicked();
    void on_editAllParamButton_clicked();
    void on_checkCommParamButton_clicked();
    void on_findDeviceButton_clicked();
    void on_otopPointsTkont_clicked();
    void on_otopPointsBackWater_clicked();

    // Graph pages.
    void on_GraphCount_OtopSettings_currentIndexChanged(int index);
    void on_GraphTypOne_OtopSettings_toggled(bool checked);
    void on_GraphCount_BackWaterSettings_currentIndexChanged(int index);
    void on_IsUseBackWater_toggled(bool checked);
    void on_GistPlus_BackWater_editingFinished();
    void on_GistMinus_BackWater_editingFinished();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void createTree(const QDomDocument &doc);
    void applyTreeStyle();
    JobController *jobs() const;
    void connectIoWorker();
    void disconnectIoWorker();
    void registerStages();
    void fillLanguageBox();
    void retranslateForm();
    // A text set by a stage: shown translated now and again after a language switch.
    void setStageText(QLabel *label, const char *sourceText);
    void retranslateStageTexts();
    void restoreStoredValues();
    void storeAllValues();
    void showButtonsPage(QWidget *page);
    void setNavigation(bool prevEnabled, bool nextEnabled, bool readyEnabled);
    void emitCurrentStageShow();

    QString value(const QString &name);
    void setValue(const QString &name, const QString &value);
    // The guided pages' fields that must not be left empty, and the check
    // that says so at the first empty one.
    QList<QLineEdit *> requiredFields(int stage) const;
    bool requiredFieldsFilled();
    void setRequiredValue(const QString &name, const QString &value);

    // The contour page's boxes (the rules are WizardRules').
    ContourChoice contourChoice() const;
    void showContourChoice(const ContourChoice &choice);
    int applyContourChoice();
    // A pump group's two boxes, shown from and read into its count parameter.
    void showPumpCount(const QString &name, QWidget *first, QWidget *second);
    void storePumpCount(const QString &name, const QWidget *first, const QWidget *second);

    // Graph pages.
    void showOtopPage(int contour);
    void showBackWaterPage(int contour);
    void fillGraph(int contour, int count, QTableWidget *table, const QString &prefix, QCustomPlot *plot,
                   const QString &yCaption);
    void acceptHysteresis(const QString &name, QWidget *edit);

    // The property that keeps the source text of a label set by a stage.
    static constexpr const char *sourceTextProperty = "stageSourceText";

    std::unique_ptr<Ui::Wizard> ui;
    std::unique_ptr<QSettings> settings;
    HrcTree *m_tree = nullptr;
    HrcTreeWorkers *m_workers = nullptr;
    std::shared_ptr<PortArbiter> m_portArbiter;
    OStagesMap *m_stages = nullptr;
    FlyTranslator *m_translator = nullptr;
    // After a language switch: the shown texts of every window in the new language.
    void retranslateShownTexts(const QHash<QString, QString> &before) const;
    QMovie *m_movie = nullptr;

    // Window dragging.
    int m_pressX = 0;
    int m_pressY = 0;
    bool m_pressed = false;
    bool m_dragging = false;
};
