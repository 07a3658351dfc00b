#include "TestParamWin.h"

#include "HrcTree.h"
#include "QtCompat.h"
#include "KavuIOhelper.h"
#include "ValueCodec.h"
#include "WaitWin.h"
#include "ui_TestParamWin.h"

#include <QIntValidator>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace {
const QString kNamekavu = QStringLiteral("namekavu");
const QString kType = QStringLiteral("type");
const QString kValue = QStringLiteral("value");
} // namespace

TestParamWin::TestParamWin(QWidget *parent, HrcTree *owningTree, WaitWin *wait)
    : QDialog(parent)
    , ui(new Ui::TestParamWin)
    , tree(owningTree)
    , waitWin(wait)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowTitle(tr("Конфигуратор HRC417"));
    // Not modal: while the panel is open the engineer still finds parameters
    // in the tree, and the wait window's cancel button must stay reachable.
    setModal(false);

    ui->ParamNameComboBox->addItems(tree->baseNames());
    ui->ParamNameComboBox->setCurrentIndex(-1);
    ui->ParamNameComboBox->clearEditText();
    ui->testParamDataTypeComboBox->addItems(
        QStringLiteral("raw;byte;short;word;float;time;datetime").split(QLatin1Char(';')));
    ui->testParamDataTypeComboBox->setCurrentIndex(0);

    ui->testParamIndexEdit->setValidator(new QIntValidator(0, 50, this));
    ui->testParamIndexEdit->setEnabled(false);
    ui->testParamLenEdit->setValidator(new QIntValidator(0, 50, this));
    ui->testParamLenEdit->setEnabled(false);
    ui->checkBox_3->setChecked(false);
    updateValueValidator(ui->testParamDataTypeComboBox->currentText());

    testElement = tree->document().documentElement().firstChildElement(QStringLiteral("testParam"));

    connect(ui->ParamNameComboBox, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &TestParamWin::paramNameSelected);
    connect(ui->ParamNameComboBox, &QComboBox::editTextChanged, this, &TestParamWin::paramNameChanged);
    connect(ui->testParamDataTypeComboBox, &QComboBox::currentTextChanged, this,
            qOverload<const QString &>(&TestParamWin::onTestParamSettingsChanged));
    hide();
}

TestParamWin::~TestParamWin() = default;

void TestParamWin::setResultText(const QString &text)
{
    ui->testParamEdit->setText(text);
}

void TestParamWin::setStatusText(const QString &text, bool error)
{
    ui->testParamStatusLabel->setStyleSheet(error ? QStringLiteral("color: red;") : QString());
    ui->testParamStatusLabel->setText(text);
}

QString TestParamWin::statusText() const
{
    return ui->testParamStatusLabel->text();
}

void TestParamWin::updateValueValidator(const QString &type)
{
    // What may be typed on the way to a value of the type; the complete form
    // is checked before a write (valueFormProblem).
    static const QHash<QString, QString> partialForms = {
        {QStringLiteral("raw"), QStringLiteral("[0-9A-Fa-f]{0,30}")},
        {QStringLiteral("byte"), QStringLiteral("\\d{0,3}")},
        {QStringLiteral("enum"), QStringLiteral("\\d{0,3}")},
        {QStringLiteral("short"), QStringLiteral("\\d{0,5}")},
        {QStringLiteral("word"), QStringLiteral("\\d{0,5}")},
        {QStringLiteral("float"), QStringLiteral("[+-]?\\d{0,10}([.,]\\d{0,6})?")},
        {QStringLiteral("time"), QStringLiteral("\\d{0,2}(:\\d{0,2}(:\\d{0,2})?)?")},
        {QStringLiteral("datetime"),
         QStringLiteral("\\d{0,4}(/\\d{0,2}(/\\d{0,2}(/\\d{0,2}(:\\d{0,2}(:\\d{0,2})?)?)?)?)?")},
    };
    const QValidator *old = ui->testParamEdit->validator();
    const QString form = partialForms.value(type);
    ui->testParamEdit->setValidator(
        form.isEmpty() ? nullptr : new QRegularExpressionValidator(QRegularExpression(form), ui->testParamEdit));
    delete old;
}

QString TestParamWin::valueFormProblem(const QString &type, const QString &text) const
{
    const QString t = text.trimmed();
    bool ok = true;
    QString expected;
    if (type == QLatin1String("raw")) {
        static const QRegularExpression hexBytes(QStringLiteral("^([0-9A-Fa-f]{2}){1,15}$"));
        ok = hexBytes.match(t).hasMatch();
        expected = tr("от 1 до 15 байт шестнадцатеричными цифрами, например 0A1F");
    } else if (type == QLatin1String("byte") || type == QLatin1String("enum")) {
        ok = t.toUInt(&ok) <= 255 && ok;
        expected = tr("целое число от 0 до 255");
    } else if (type == QLatin1String("short") || type == QLatin1String("word")) {
        ok = t.toUInt(&ok) <= 65535 && ok;
        expected = tr("целое число от 0 до 65535");
    } else if (type == QLatin1String("float")) {
        float number = 0;
        ok = ValueCodec::parseFloat(ValueCodec::typedNumber(t), &number);
        expected = tr("число, например -12,5");
    } else if (type == QLatin1String("time")) {
        ok = ValueCodec::parseTime(t).isValid();
        expected = tr("время чч:мм:сс");
    } else if (type == QLatin1String("datetime")) {
        ok = ValueCodec::parseDateTime(t).isValid();
        expected = tr("дата и время гггг/ММ/дд/чч:мм:сс");
    }
    return ok ? QString() : tr("Значение не подходит для типа %1: ожидается %2").arg(type, expected);
}

QString TestParamWin::resultText() const
{
    return ui->testParamEdit->text();
}

QRect TestParamWin::parentGeometry() const
{
    return parentWidget() ? parentWidget()->geometry() : QRect();
}

void TestParamWin::placeBeside(int offset)
{
    const QRect main = parentGeometry();
    const QRect own = geometry();
    const int x = main.x() + ((main.right() - main.left()) - (own.right() - own.left())) - 5;
    const int y = main.y() + offset + 5;
    move(x, y);
    parentOffset = pos() - main.topLeft();
}

void TestParamWin::followParent(int x, int y)
{
    move(QPoint(x, y) + parentOffset);
}

QString TestParamWin::jobName() const
{
    QString name = ui->ParamNameComboBox->currentText();
    if (ui->checkBox->isChecked())
        name += QLatin1Char('[') + ui->testParamIndexEdit->text() + QLatin1Char(']');
    return name;
}

QString TestParamWin::normalisedJobName() const
{
    QString name = ui->ParamNameComboBox->currentText();
    if (ui->checkBox->isChecked())
        name += QLatin1Char('[') + QString::number(ui->testParamIndexEdit->text().toUInt()) + QLatin1Char(']');
    return name;
}

void TestParamWin::onTestParamSettingsChanged(const QString &)
{
    onTestParamSettingsChanged();
}

void TestParamWin::onTestParamSettingsChanged()
{
    updateValueValidator(ui->testParamDataTypeComboBox->currentText());
    testElement.setAttribute(kNamekavu, normalisedJobName());
    testElement.setAttribute(kType, ui->testParamDataTypeComboBox->currentText());
}

void TestParamWin::paramNameSelected(int index)
{
    if (index < 0)
        return;
    const QString text = ui->ParamNameComboBox->itemText(index);
    ui->checkBox->setChecked(false);
    ui->testParamIndexEdit->clear();
    ui->testParamIndexEdit->setEnabled(false);
    bool indexed = false;
    QDomElement element = tree->findParameter(text);
    if (element.isNull()) {
        element = tree->findParameter(text + QStringLiteral("[0]"));
        indexed = !element.isNull();
    }
    if (element.isNull())
        return;
    tree->selectParameter(text);
    ui->testParamDataTypeComboBox->setEditText(HrcDocument::typeName(element));
    ui->testParamEdit->setText(element.attribute(kValue));
    if (indexed) {
        ui->checkBox->setChecked(true);
        ui->testParamIndexEdit->setText(QStringLiteral("0"));
        ui->testParamIndexEdit->setEnabled(true);
    }
}

void TestParamWin::paramNameChanged(const QString &)
{
    ui->checkBox->setChecked(false);
    ui->testParamIndexEdit->setEnabled(false);
    ui->testParamDataTypeComboBox->setCurrentIndex(0);
}

void TestParamWin::on_checkBox_clicked()
{
    if (ui->testParamIndexEdit->isEnabled()) {
        ui->testParamIndexEdit->setEnabled(false);
        ui->testParamIndexEdit->clear();
    } else {
        ui->testParamIndexEdit->setEnabled(true);
        ui->testParamIndexEdit->setText(QStringLiteral("0"));
    }
}

void TestParamWin::on_checkBox_3_clicked()
{
    ui->testParamLenEdit->setEnabled(!ui->testParamLenEdit->isEnabled());
}

void TestParamWin::startJob(int operation)
{
    auto *helper = qobject_cast<KavuIOhelper *>(tree->ioWorker());
    if (!helper)
        return;
    onTestParamSettingsChanged();
    const QString name = jobName();
    const QString type = ui->testParamDataTypeComboBox->currentText();
    const auto op = KavuComm::KavuCommOperation(operation);
    if (op == KavuComm::opWrite && type == QLatin1String("float")) {
        // The description's own form: a decimal comma.
        ui->testParamEdit->setText(ValueCodec::typedNumber(ui->testParamEdit->text()));
    }
    setStatusText(QString(), false);
    QDomElement element = tree->findParameter(name);
    if (HrcDocument::isParameter(element) && HrcDocument::typeName(element) == type) {
        if (op == KavuComm::opWrite)
            element.setAttribute(kValue, ui->testParamEdit->text());
        helper->setJob(name, op, true);
    } else {
        testElement.setAttribute(kNamekavu, normalisedJobName());
        testElement.setAttribute(kType, type);
        if (op == KavuComm::opWrite)
            testElement.setAttribute(kValue, ui->testParamEdit->text());
        helper->setJob(QStringLiteral("testParam"), op, true);
    }
    emit jobStarting(operation);
    tree->setEnabled(false);
    waitWin->showConnecting();
    helper->startJob(false);
}

void TestParamWin::on_readParamButton_clicked()
{
    // The tree is disabled while any job runs; one job at a time.
    if (!tree->isEnabled())
        return;
    if (ui->ParamNameComboBox->currentText().isEmpty()) {
        setStatusText(tr("Не задан параметр"), true);
        return;
    }
    startJob(KavuComm::opRead);
}

void TestParamWin::on_writeParamButton_clicked()
{
    if (!tree->isEnabled())
        return;
    if (ui->testParamEdit->text().isEmpty()) {
        setStatusText(tr("Не задано значение"), true);
        return;
    }
    if (ui->ParamNameComboBox->currentText().isEmpty()) {
        setStatusText(tr("Не задан параметр"), true);
        return;
    }
    const QString problem = valueFormProblem(ui->testParamDataTypeComboBox->currentText(), ui->testParamEdit->text());
    if (!problem.isEmpty()) {
        setStatusText(problem, true);
        return;
    }
    startJob(KavuComm::opWrite);
}

void TestParamWin::on_findParamButton_clicked()
{
    tree->selectParameter(ui->ParamNameComboBox->currentText());
}

void TestParamWin::on_testParamWinCloseButton_clicked()
{
    hide();
}

void TestParamWin::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        dragging = true;
        setCursor(Qt::ClosedHandCursor);
        pressPos = QtCompat::eventPosition(event).toPoint();
    }
    QDialog::mousePressEvent(event);
}

void TestParamWin::mouseMoveEvent(QMouseEvent *event)
{
    if (dragging) {
        const QPoint topLeft = QtCompat::eventGlobalPosition(event).toPoint() - pressPos;
        const QRect main = parentGeometry();
        // The panel stays over the main window.
        if (main.contains(topLeft) && main.contains(topLeft + QPoint(width(), height())))
            move(topLeft);
    }
    QDialog::mouseMoveEvent(event);
}

void TestParamWin::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        dragging = false;
        unsetCursor();
        parentOffset = pos() - parentGeometry().topLeft();
    }
    QDialog::mouseReleaseEvent(event);
}
