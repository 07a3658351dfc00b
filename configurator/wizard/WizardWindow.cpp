// The wizard's frameless window: its texts in the chosen language and moving
// it by dragging.
#include "Wizard.h"

#include "FlyTranslator.h"
#include "HrcTree.h"
#include "QtCompat.h"
#include "ui_Wizard.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QSettings>

namespace {
const char *const languageKey = "hrc417/useLangIndex";
} // namespace

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

void Wizard::retranslateShownTexts(const QHash<QString, QString> &before) const
{
    // Every window made its texts when it was built: each shown text that is
    // one of the program's own in the language before is put into the new
    // one (device texts and values are no such text and stay).
    auto again = [&](const QString &shown) {
        const auto source = before.constFind(shown);
        return source == before.cend() ? shown : m_translator->translate("", source.value().toUtf8().constData());
    };
    auto actionsAgain = [&](const QList<QAction *> &actions) {
        for (QAction *action : actions) {
            action->setText(again(action->text()));
            action->setToolTip(again(action->toolTip()));
        }
    };
    for (QWidget *widget : QApplication::allWidgets()) {
        if (!widget->windowTitle().isEmpty())
            widget->setWindowTitle(again(widget->windowTitle()));
        if (!widget->toolTip().isEmpty())
            widget->setToolTip(again(widget->toolTip()));
        actionsAgain(widget->actions());
        if (auto *label = qobject_cast<QLabel *>(widget))
            label->setText(again(label->text()));
        else if (auto *button = qobject_cast<QAbstractButton *>(widget))
            button->setText(again(button->text()));
        else if (auto *edit = qobject_cast<QLineEdit *>(widget))
            edit->setPlaceholderText(again(edit->placeholderText()));
        else if (auto *menu = qobject_cast<QMenu *>(widget))
            menu->setTitle(again(menu->title()));
        if (auto *tree = qobject_cast<QTreeWidget *>(widget)) {
            for (int c = 0; c < tree->columnCount(); ++c)
                tree->headerItem()->setText(c, again(tree->headerItem()->text(c)));
            for (QTreeWidgetItemIterator it(tree); *it; ++it) {
                for (int c = 0; c < tree->columnCount(); ++c) {
                    (*it)->setText(c, again((*it)->text(c)));
                    if (!(*it)->toolTip(c).isEmpty())
                        (*it)->setToolTip(c, again((*it)->toolTip(c)));
                }
            }
        }
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
    if (m_translator) {
        const QHash<QString, QString> before = m_translator->shownToSource();
        m_translator->loadLanguage(ui->langSelectComboBox->currentIndex());
        retranslateShownTexts(before);
    }
    settings->setValue(QLatin1String(languageKey), ui->langSelectComboBox->currentIndex());
    retranslateForm();
    // The device details of a successful check, told again in the new language.
    if (ui->stackedWidget->currentWidget() == ui->checkConnPage && ui->editAllParamButton->isVisible())
        onGetDeviceInfo(0);
    // The tree of the page in view, as it was (a summary or an editable
    // list), with the new language's captions.
    m_tree->rebuild();
}

// ---- Window dragging ---------------------------------------------------------------

void Wizard::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressX = qRound(QtCompat::eventPosition(event).x());
        m_pressY = qRound(QtCompat::eventPosition(event).y());
        m_pressed = true;
        m_dragging = true;
        setCursor(Qt::ClosedHandCursor);
    }
    QWidget::mousePressEvent(event);
}

void Wizard::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragging)
        move(QtCompat::eventGlobalPosition(event).toPoint() - QPoint(m_pressX, m_pressY));
    QWidget::mouseMoveEvent(event);
}

void Wizard::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        const bool samePlace = m_pressed && qRound(QtCompat::eventPosition(event).x()) == m_pressX
                               && qRound(QtCompat::eventPosition(event).y()) == m_pressY;
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
