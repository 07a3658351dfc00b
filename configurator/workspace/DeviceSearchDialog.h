#pragma once

#include "DeviceSearch.h"

#include <QDialog>
#include <QVector>

#include <memory>

class HrcDocument;
class PortArbiter;
class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QThread;

// "Найти прибор…": finds the controllers on the line of the document's port
// when their address or speed is not known, with DeviceSearch (the order of
// hrc417 scan) in a worker thread, a progress bar and a cancel button. It
// lists what answers (address, speed, name, versions); "Взять адрес и
// скорость" puts the chosen device's address and speed into the document's
// link settings (as the program's settings, nothing is sent to the device).
class DeviceSearchDialog : public QDialog
{
    Q_OBJECT

public:
    // The document gives the port, the speeds and the address and speed
    // used last; arbiter: who holds the serial port (the program's).
    DeviceSearchDialog(HrcDocument &document, std::shared_ptr<PortArbiter> arbiter, QWidget *parent = nullptr);
    ~DeviceSearchDialog() override;

    bool searching() const { return worker != nullptr; }
    // The devices found so far, in the order they answered.
    const QVector<DeviceSearch::Found> &found() const { return devices; }

    // Puts a found device's address and speed into the document as the
    // settings in force (no edit waiting to be written).
    static void takeInto(HrcDocument &document, const DeviceSearch::Found &device);

    // Opens the dialog over parent; true when a device's address and speed
    // were taken into the document.
    static bool findInto(HrcDocument &document, std::shared_ptr<PortArbiter> arbiter, QWidget *parent);

public slots:
    void start();
    void cancel();
    void reject() override;

private:
    void onTrying(int done, int total, int address, int speed);
    void onFound(const DeviceSearch::Found &device);
    void onFinished(bool opened, const QString &failure);
    void takeSelected();
    void stopWorker();

    HrcDocument &doc;
    std::shared_ptr<PortArbiter> portArbiter;
    QStringList speedNames;
    QVector<DeviceSearch::Found> devices;
    std::unique_ptr<DeviceSearch> search;
    QThread *worker = nullptr;

    QLabel *portLabel;
    QSpinBox *firstAddress;
    QSpinBox *lastAddress;
    QCheckBox *allDevices;
    QProgressBar *progress;
    QLabel *status;
    QTableWidget *table;
    QPushButton *startButton;
    QPushButton *cancelButton;
    QPushButton *takeButton;
    QPushButton *closeButton;
};
