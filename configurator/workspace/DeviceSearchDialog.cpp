#include "DeviceSearchDialog.h"

#include "CommSettings.h"
#include "HrcDocument.h"
#include "HrcLog.h"
#include "ParameterSpec.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>

DeviceSearchDialog::DeviceSearchDialog(HrcDocument &document, std::shared_ptr<PortArbiter> arbiter, QWidget *parent)
    : QDialog(parent), doc(document), portArbiter(std::move(arbiter))
{
    setObjectName(QStringLiteral("DeviceSearchDialog"));
    setWindowTitle(tr("Найти прибор"));
    speedNames = doc.findParameter(QStringLiteral("bPS")).attribute(QStringLiteral("valueset")).split(QLatin1Char(';'));
    const CommSettings link = CommSettings::fromDocument(doc);

    portLabel = new QLabel(tr("Порт: %1. Сначала адрес и скорость прошлого сеанса, затем 9600, 19200, 115200 бит/с "
                              "и остальные скорости.")
                               .arg(link.port.trimmed()),
                           this);
    portLabel->setWordWrap(true);
    // 11-bit addresses only where the device uses them.
    const int maxAddress = ParameterSpec::longAddressMode(doc.findParameter(QStringLiteral("Addr"))) ? 2047 : 255;
    firstAddress = new QSpinBox(this);
    firstAddress->setObjectName(QStringLiteral("firstAddress"));
    firstAddress->setRange(1, maxAddress);
    firstAddress->setValue(1);
    lastAddress = new QSpinBox(this);
    lastAddress->setObjectName(QStringLiteral("lastAddress"));
    lastAddress->setRange(1, maxAddress);
    lastAddress->setValue(qMin(255, maxAddress));
    allDevices = new QCheckBox(tr("Искать все приборы линии"), this);
    allDevices->setObjectName(QStringLiteral("allDevices"));

    progress = new QProgressBar(this);
    progress->setRange(0, 1);
    progress->setValue(0);
    progress->setFormat(tr("%v из %m"));
    progress->setTextVisible(false); // no count before a search has one
    status = new QLabel(this);
    status->setObjectName(QStringLiteral("status"));

    table = new QTableWidget(0, 5, this);
    table->setObjectName(QStringLiteral("found"));
    table->setHorizontalHeaderLabels({tr("Адрес"), tr("Бит/с"), tr("Прибор"), tr("Версия"), tr("Протокол")});
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    for (int column = 0; column < 4; ++column)
        table->horizontalHeader()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);

    startButton = new QPushButton(tr("Начать поиск"), this);
    startButton->setObjectName(QStringLiteral("startButton"));
    cancelButton = new QPushButton(tr("Остановить"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->setEnabled(false);
    takeButton = new QPushButton(tr("Взять адрес и скорость"), this);
    takeButton->setObjectName(QStringLiteral("takeButton"));
    takeButton->setEnabled(false);
    closeButton = new QPushButton(tr("Закрыть"), this);
    closeButton->setObjectName(QStringLiteral("closeButton"));

    auto *range = new QHBoxLayout;
    range->addWidget(new QLabel(tr("Адреса с"), this));
    range->addWidget(firstAddress);
    range->addWidget(new QLabel(tr("по"), this));
    range->addWidget(lastAddress);
    range->addSpacing(12);
    range->addWidget(allDevices);
    range->addStretch();
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(startButton);
    buttons->addWidget(cancelButton);
    buttons->addStretch();
    buttons->addWidget(takeButton);
    buttons->addWidget(closeButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(portLabel);
    layout->addLayout(range);
    layout->addWidget(progress);
    layout->addWidget(status);
    layout->addWidget(table, 1);
    layout->addLayout(buttons);
    resize(700, 380);

    connect(startButton, &QPushButton::clicked, this, &DeviceSearchDialog::start);
    connect(cancelButton, &QPushButton::clicked, this, &DeviceSearchDialog::cancel);
    connect(takeButton, &QPushButton::clicked, this, &DeviceSearchDialog::takeSelected);
    connect(closeButton, &QPushButton::clicked, this, &DeviceSearchDialog::reject);
    connect(table, &QTableWidget::itemSelectionChanged, this,
            [this] { takeButton->setEnabled(!searching() && !table->selectedItems().isEmpty()); });
    connect(table, &QTableWidget::cellDoubleClicked, this, [this] {
        if (!searching())
            takeSelected();
    });
}

DeviceSearchDialog::~DeviceSearchDialog()
{
    stopWorker();
}

void DeviceSearchDialog::start()
{
    if (searching())
        return;
    DeviceSearch::Plan plan;
    plan.speedNames = speedNames;
    plan.first = qMin(firstAddress->value(), lastAddress->value());
    plan.last = qMax(firstAddress->value(), lastAddress->value());
    const CommSettings link = CommSettings::fromDocument(doc);
    plan.lastAddress = link.address.toInt();
    plan.lastSpeed = link.speed.toInt();
    plan.factoryAddress = doc.findParameter(QStringLiteral("Addr")).attribute(QStringLiteral("defaultvalue")).toInt();
    const QVector<DeviceSearch::Attempt> attempts = DeviceSearch::order(plan);
    const bool all = allDevices->isChecked();

    devices.clear();
    table->setRowCount(0);
    progress->setRange(0, attempts.size());
    progress->setValue(0);
    progress->setTextVisible(true);
    status->setText(tr("Поиск…"));
    startButton->setEnabled(false);
    takeButton->setEnabled(false);
    cancelButton->setEnabled(true);
    firstAddress->setEnabled(false);
    lastAddress->setEnabled(false);
    allDevices->setEnabled(false);

    search = std::make_unique<DeviceSearch>(portArbiter);
    search->setSettings(link);
    DeviceSearch *s = search.get();
    const QStringList names = speedNames;
    // The worker reports back through queued calls on this dialog; those
    // still queued when the dialog goes are dropped with it.
    worker = QThread::create([this, s, attempts, names, all] {
        const bool opened = s->run(
            attempts, names, all,
            [this](int done, int total, const DeviceSearch::Attempt &attempt) {
                QMetaObject::invokeMethod(
                    this, [=] { onTrying(done, total, attempt.address, attempt.speed); }, Qt::QueuedConnection);
            },
            [this](const DeviceSearch::Found &device) {
                QMetaObject::invokeMethod(this, [=] { onFound(device); }, Qt::QueuedConnection);
            });
        const QString failure = opened ? QString() : s->connectFailure().text();
        QMetaObject::invokeMethod(this, [=] { onFinished(opened, failure); }, Qt::QueuedConnection);
    });
    worker->start();
    qCDebug(lcWorkspace) << "device search started," << attempts.size() << "attempts";
}

void DeviceSearchDialog::onTrying(int done, int total, int address, int speed)
{
    progress->setRange(0, total);
    progress->setValue(done);
    status->setText(tr("Проверяется адрес %1, %2 бит/с").arg(address).arg(speedNames.value(speed)));
}

void DeviceSearchDialog::onFound(const DeviceSearch::Found &device)
{
    progress->setValue(progress->value() + 1);
    devices.append(device);
    const int row = table->rowCount();
    table->insertRow(row);
    const QStringList cells{QString::number(device.address), QString::number(device.bitsPerSecond), device.name,
                            device.version, device.protocol};
    for (int column = 0; column < cells.size(); ++column)
        table->setItem(row, column, new QTableWidgetItem(cells.at(column)));
    if (row == 0)
        table->selectRow(0);
}

void DeviceSearchDialog::onFinished(bool opened, const QString &failure)
{
    const bool cancelled = search && search->isTerminating();
    stopWorker();
    if (!opened)
        status->setText(failure);
    else if (cancelled)
        status->setText(tr("Поиск остановлен: найдено приборов %1").arg(devices.size()));
    else if (devices.isEmpty())
        status->setText(tr("Ни один прибор не ответил. Проверьте порт, подключение линии и питание прибора."));
    else
        status->setText(tr("Найдено приборов: %1. Выберите прибор и нажмите \"Взять адрес и скорость\".").arg(devices.size()));
    // The bar keeps how far the search went: it stops at the first answer.
    if (!cancelled && opened && devices.isEmpty())
        progress->setValue(progress->maximum());
    startButton->setEnabled(true);
    cancelButton->setEnabled(false);
    firstAddress->setEnabled(true);
    lastAddress->setEnabled(true);
    allDevices->setEnabled(true);
    takeButton->setEnabled(!table->selectedItems().isEmpty());
}

void DeviceSearchDialog::cancel()
{
    if (search)
        search->terminate();
}

void DeviceSearchDialog::reject()
{
    // The attempt in flight ends first: the port is given back before the
    // dialog goes.
    stopWorker();
    QDialog::reject();
}

void DeviceSearchDialog::stopWorker()
{
    if (!worker)
        return;
    search->terminate();
    worker->wait();
    delete worker;
    worker = nullptr;
}

void DeviceSearchDialog::takeSelected()
{
    const QList<QTableWidgetItem *> selected = table->selectedItems();
    if (selected.isEmpty())
        return;
    const int row = selected.first()->row();
    if (row < 0 || row >= devices.size())
        return;
    takeInto(doc, devices.at(row));
    accept();
}

void DeviceSearchDialog::takeInto(HrcDocument &document, const DeviceSearch::Found &device)
{
    for (const auto &setting : {qMakePair(QStringLiteral("Addr"), QString::number(device.address)),
                                qMakePair(QStringLiteral("bPS"), QString::number(device.speed))}) {
        QDomElement element = document.findParameter(setting.first);
        element.setAttribute(QStringLiteral("value"), setting.second);
        // The device works with these now: nothing waits to be written.
        element.removeAttribute(QStringLiteral("undoValue"));
    }
}

bool DeviceSearchDialog::findInto(HrcDocument &document, std::shared_ptr<PortArbiter> arbiter, QWidget *parent)
{
    DeviceSearchDialog dialog(document, std::move(arbiter), parent);
    return dialog.exec() == QDialog::Accepted;
}
