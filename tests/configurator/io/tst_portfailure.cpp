// Why a port did not open, as the engineer reads it: the system's reason from
// a real open through kavu_io (missing file, not a serial device, held by
// another program, named by the system), a device that does not answer, and
// permission denied, which cannot be made to happen to root and is taken
// from its error code.
#include "IoTestSupport.h"
#include "PortFailure.h"
#include "kavu_io.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>

class TestPortFailure : public QObject
{
    Q_OBJECT

private slots:
    void reasonsFromRealOpens();
    void reasonsFromErrorCodes();
    void holdersAsTheSystemTellsThem();
};

namespace {

// Opens the device as the configurator does and returns what it reports.
PortFailure openAndExplain(const QString &device)
{
    SetApiMode(0);
    const QByteArray path = device.toLocal8Bit();
    SetPortName(255, path.constData());
    const int opened = OpenPort(255, 8, 0, 1, 0, 1);
    if (opened == 0) {
        ClosePort();
        return PortFailure();
    }
    return PortFailure::openFailed(device, path, GetLastOpenSysErr());
}

} // namespace

void TestPortFailure::reasonsFromRealOpens()
{
    const PortFailure missing = openAndExplain("/dev/ttyUSB-not-plugged");
    QCOMPARE(missing.kind, PortFailure::NoDeviceFile);
    QCOMPARE(missing.text(), QString("Порт /dev/ttyUSB-not-plugged не найден: такого устройства в системе нет. "
                                     "Проверьте, подключён ли адаптер, и выберите порт из списка."));

    const PortFailure notSerial = openAndExplain("/dev/null");
    QCOMPARE(notSerial.kind, PortFailure::NotSerialDevice);
    QCOMPARE(notSerial.text(), QString("/dev/null не является последовательным портом. Выберите другой порт."));

    // Another program holds the simulator's port with a lock, as an exclusive
    // terminal program does; the system names it.
    iotest::Simulator sim;
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    QProcess holder;
    holder.start("python3", {"-c",
                             "import fcntl, sys, time\n"
                             "port = open(sys.argv[1], 'rb')\n"
                             "fcntl.flock(port, fcntl.LOCK_EX)\n"
                             "time.sleep(30)\n",
                             sim.path()});
    QVERIFY(holder.waitForStarted());
    PortFailure held;
    QVERIFY(QTest::qWaitFor([&]() {
        held = openAndExplain(sim.path());
        return held.kind == PortFailure::HeldByAnotherProgram;
    }, 5000));
    QVERIFY(held.systemError == EWOULDBLOCK || held.systemError == EBUSY);
    const QString lockHolder = QString("python3 (PID %1)").arg(holder.processId());
    QVERIFY2(held.holders.contains(lockHolder), qPrintable(held.holders.join(';')));
    QVERIFY(held.text().startsWith(QString("Порт %1 занят другой программой: ").arg(sim.path())));
    QVERIFY(held.text().contains(lockHolder));
    QVERIFY(held.text().endsWith("Закройте её и повторите."));
    holder.kill();
    holder.waitForFinished();
    QTRY_COMPARE(openAndExplain(sim.path()).kind, PortFailure::None);
}

void TestPortFailure::reasonsFromErrorCodes()
{
    // Root opens any device file, so a refusal is built from its code here;
    // the windows show the same text.
    const PortFailure denied = PortFailure::openFailed("ttyUSB0", QByteArray(), EACCES);
    QCOMPARE(denied.kind, PortFailure::PermissionDenied);
    QCOMPARE(denied.text(), QString("Нет доступа к порту ttyUSB0. Добавьте пользователя в группу dialout "
                                    "(sudo usermod -aG dialout имя_пользователя) и войдите в систему заново."));
    QCOMPARE(PortFailure::classify(EPERM), PortFailure::PermissionDenied);
    QCOMPARE(PortFailure::classify(EBUSY), PortFailure::HeldByAnotherProgram);
    QCOMPARE(PortFailure::classify(ENXIO), PortFailure::NoDeviceFile);
    QCOMPARE(PortFailure::classify(ENOTTY), PortFailure::NotSerialDevice);

    // A port held where the system does not tell by whom.
    const PortFailure held = PortFailure::openFailed("COM3", QByteArray(), EBUSY);
    QCOMPARE(held.text(), QString("Порт COM3 занят другой программой. Закройте её и повторите."));

    const PortFailure other = PortFailure::openFailed("ttyS0", QByteArray(), EIO);
    QCOMPARE(other.kind, PortFailure::OpenFailed);
    QVERIFY(other.text().startsWith("Не удалось открыть порт ttyS0: "));
    QVERIFY(other.text().endsWith(QString("(код %1).").arg(EIO)));

    QCOMPARE(PortFailure::noAnswer("ttyUSB0").text(),
             QString("Порт ttyUSB0 открыт, но прибор не отвечает. Проверьте скорость обмена, адрес прибора "
                     "и подключение линии связи."));
}

void TestPortFailure::holdersAsTheSystemTellsThem()
{
    // A process table with two holders of the device (one through a link to
    // it), one process of another file and one whose descriptors are hidden.
    QTemporaryDir proc;
    QVERIFY(proc.isValid());
    QTemporaryDir devices;
    const QString device = devices.filePath("ttyUSB0");
    QFile(device).open(QIODevice::WriteOnly);
    const QString link = devices.filePath("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    QVERIFY(QFile::link(device, link));
    const auto process = [&](const QString &pid, const QString &name, const QString &fdTarget) {
        QDir(proc.path()).mkpath(pid + "/fd");
        QFile comm(proc.filePath(pid + "/comm"));
        QVERIFY(comm.open(QIODevice::WriteOnly));
        comm.write(name.toUtf8() + "\n");
        if (!fdTarget.isEmpty())
            QVERIFY(QFile::link(fdTarget, proc.filePath(pid + "/fd/5")));
    };
    process("4242", "minicom", device);
    process("77", "cutecom", link);
    process("100", "bash", devices.path());
    process("900", "secret", QString());
    QDir(proc.path()).mkpath("self/fd");

    QStringList holders = PortFailure::holdersOf(link.toLocal8Bit(), proc.path());
    holders.sort();
    QCOMPARE(holders, QStringList({"cutecom (PID 77)", "minicom (PID 4242)"}));
    const PortFailure held = PortFailure::openFailed("/dev/serial/by-id/x", device.toLocal8Bit(), EWOULDBLOCK,
                                                     proc.path());
    QCOMPARE(held.holders.size(), 2);
}

QTEST_GUILESS_MAIN(TestPortFailure)
#include "tst_portfailure.moc"
