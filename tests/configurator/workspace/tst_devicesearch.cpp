// "Найти прибор…" as an engineer uses it: a controller at an address and
// speed nobody wrote down, found with clicks in the search dialog (the order
// of hrc417 scan: the common speeds first), its address and speed taken into
// the link settings; a search stopped half-way; the entry of the main
// window's tools menu.
#include "DeviceSearchDialog.h"
#include "HrcTree.h"
#include "HrcTreeWin.h"
#include "IoTestSupport.h"
#include "PortArbiter.h"
#include "WorkspaceTestSupport.h"

#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

namespace {

void typeInto(QSpinBox *box, int value)
{
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, QString::number(value));
    QTest::keyClick(box, Qt::Key_Tab);
}

} // namespace

class TstDeviceSearch : public QObject
{
    Q_OBJECT

private slots:
    void findsTheDeviceAndTakesItsAddressAndSpeed()
    {
        // Address 7 at 19200 bit/s, deaf to any other speed; the settings
        // say 16 at 115200, as after a factory reset of the program.
        iotest::Simulator sim({QStringLiteral("--address"), QStringLiteral("7"), QStringLiteral("--baud"),
                               QStringLiteral("19200"), QStringLiteral("--speed-check")});
        QVERIFY2(sim.started(), qPrintable(sim.error()));
        HrcDocument document = iotest::loadDocument();
        iotest::connectTo(document, sim.path(), 2);
        document.paramValue(QStringLiteral("Addr"), QStringLiteral("16"));
        document.paramValue(QStringLiteral("bPS"), QStringLiteral("0"));
        // An edit of the address not yet written: the search's result replaces it.
        document.findParameter(QStringLiteral("Addr")).setAttribute(QStringLiteral("undoValue"), QStringLiteral("16"));

        DeviceSearchDialog dialog(document, std::make_shared<PortArbiter>());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto *first = dialog.findChild<QSpinBox *>(QStringLiteral("firstAddress"));
        auto *last = dialog.findChild<QSpinBox *>(QStringLiteral("lastAddress"));
        auto *table = dialog.findChild<QTableWidget *>(QStringLiteral("found"));
        auto *take = dialog.findChild<QPushButton *>(QStringLiteral("takeButton"));
        typeInto(first, 1);
        typeInto(last, 12);
        QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("startButton")), Qt::LeftButton);
        QVERIFY(dialog.searching());
        QVERIFY(!take->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.searching(), 30000);
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(table->item(0, 0)->text(), QStringLiteral("7"));
        QCOMPARE(table->item(0, 1)->text(), QStringLiteral("19200"));
        QCOMPARE(table->item(0, 2)->text(), QStringLiteral("HRC417"));
        QCOMPARE(table->item(0, 3)->text(), QStringLiteral("вер. 2.14"));
        // 9600 was tried at every address before 19200, and the search
        // stopped at the answer: 115200 never came.
        QCOMPARE(sim.log().count(QStringLiteral("at 9600 bit/s not understood")), 12);
        QVERIFY(!sim.log().contains(QStringLiteral("at 115200 bit/s")));
        QVERIFY(dialog.findChild<QLabel *>(QStringLiteral("status"))->text().contains(QStringLiteral("Найдено приборов: 1")));
        QVERIFY(!wstest::saveScreenshot(&dialog, QStringLiteral("device-search-found")).isEmpty());

        QVERIFY(take->isEnabled());
        QTest::mouseClick(take, Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(document.paramValue(QStringLiteral("Addr")), QStringLiteral("7"));
        QCOMPARE(document.paramValue(QStringLiteral("bPS")), QStringLiteral("4"));
        QVERIFY(!document.findParameter(QStringLiteral("Addr")).hasAttribute(QStringLiteral("undoValue")));
        const CommSettings link = CommSettings::fromDocument(document);
        QCOMPARE(link.address, QStringLiteral("7"));
        QCOMPARE(link.speed, QStringLiteral("4"));
    }

    // A line without an answering device: "Остановить" ends the search after
    // the attempt in flight, and the port is free again at once.
    void aSearchStoppedHalfWay()
    {
        iotest::SilentDevice silent;
        QVERIFY2(silent.started(), qPrintable(silent.error()));
        HrcDocument document = iotest::loadDocument();
        iotest::connectTo(document, silent.path(), 2);
        auto arbiter = std::make_shared<PortArbiter>();
        DeviceSearchDialog dialog(document, arbiter);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto *progress = dialog.findChild<QProgressBar *>();
        QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("startButton")), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(progress->value() >= 2, 10000);
        auto *stop = dialog.findChild<QPushButton *>(QStringLiteral("cancelButton"));
        QVERIFY(stop->isEnabled());
        QTest::mouseClick(stop, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.searching(), 3000);
        QVERIFY(progress->value() < progress->maximum());
        QVERIFY(dialog.findChild<QLabel *>(QStringLiteral("status"))->text().startsWith(QStringLiteral("Поиск остановлен")));
        QVERIFY(!arbiter->ioBusy());
        QVERIFY(!stop->isEnabled());
        QVERIFY(dialog.findChild<QPushButton *>(QStringLiteral("startButton"))->isEnabled());
        QVERIFY(!wstest::saveScreenshot(&dialog, QStringLiteral("device-search-stopped")).isEmpty());
        // Closed while searching: the attempt in flight ends first.
        QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("startButton")), Qt::LeftButton);
        QVERIFY(dialog.searching());
        QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("closeButton")), Qt::LeftButton);
        QVERIFY(!dialog.searching());
        QVERIFY(!dialog.isVisible());
    }

    // The main window's tools menu opens the same search.
    void theToolsMenuOpensTheSearch()
    {
        wstest::WindowSession session;
        QVERIFY2(session.ready, qPrintable(session.sim.error()));
        auto *tools = session.window->findChild<QToolButton *>(QStringLiteral("toolButton_tools"));
        QVERIFY(tools);
        QAction *find = tools->menu()->findChild<QAction *>(QStringLiteral("findDeviceAction"));
        QVERIFY(find);
        QCOMPARE(find->text(), QStringLiteral("Найти прибор…"));
        bool shown = false;
        wstest::whenDialogShown<DeviceSearchDialog>([&shown](DeviceSearchDialog *dialog) {
            shown = true;
            QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("startButton")), Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(!dialog->searching(), 30000);
            QCOMPARE(dialog->found().size(), 1);
            QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("takeButton")), Qt::LeftButton);
        });
        find->trigger();
        QVERIFY(shown);
        QCOMPARE(session.tree()->paramValue(QStringLiteral("Addr")), QStringLiteral("16"));
    }
};

QTEST_MAIN(TstDeviceSearch)
#include "tst_devicesearch.moc"
