// The wait window and the message box as a user meets them: clicks on the
// real widgets, a job against the simulator, and screenshots to look at.
#include "HrcMessageBox.h"
#include "HrcTree.h"
#include "HrcTreeWorkers.h"
#include "IoTestSupport.h"
#include "KavuIOhelper.h"
#include "WaitWin.h"
#include "WorkspaceTestSupport.h"

#include <QLabel>
#include <QPushButton>
#include <QTextEdit>
#include <QtTest>

using namespace iotest;
using wstest::saveScreenshot;

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void waitWindowFollowsAJobAndCancelStopsIt();
    void waitWindowClosesASecondAfterTheFinishMessage();
    void aboutBoxClosesWithoutAnswer();
    void warningReportsTheAnswer();
};

void TestDialogs::waitWindowFollowsAJobAndCancelStopsIt()
{
    Simulator sim({"--baud", "9600"});
    QVERIFY2(sim.started(), qPrintable(sim.error()));
    HrcDocument document = loadDocument();
    connectTo(document, sim.path(), 3);
    HrcTree tree(document.document());
    tree.buildTree();
    HrcTreeWorkers workers(&tree, false);
    WaitWin wait(nullptr, &tree);
    QLabel *message = wait.findChild<QLabel *>("messagesLabel");
    QLabel *icon = wait.findChild<QLabel *>("waitIco");
    QPushButton *cancel = wait.findChild<QPushButton *>("canselIOButton");
    QVERIFY(message && icon && cancel);
    QCOMPARE(wait.size(), QSize(600, 56));
    QVERIFY(wait.windowFlags() & Qt::FramelessWindowHint);

    // The window shows progress as the main window feeds it.
    KavuIOhelper *helper = workers.ioHelper();
    connect(helper, &KavuIOhelper::kavuIOUpdating, &wait, [&](uint, int done, int total) {
        if (done > 0)
            wait.setMessage(QString("Прочитано %1 из %2").arg(done).arg(total), false);
    });
    connect(helper, &KavuIOhelper::kavuIOFinished, &wait,
            [&](const QString &msg, int, int) { wait.setMessage(msg, true); });
    JobRecorder recorder(helper, document);
    wait.showConnecting();
    QVERIFY(wait.isVisible());
    QCOMPARE(message->text(), QString("Соединение с прибором ..."));
    QVERIFY(cancel->isVisible() && icon->isVisible());
    helper->setJob(HrcDocument::allSets, KavuComm::opRead, true);
    helper->startJob(false);
    QTRY_VERIFY_WITH_TIMEOUT(message->text().startsWith("Прочитано 3 "), 20000);
    QVERIFY(!saveScreenshot(&wait, "waitwin-progress").isEmpty());

    QTest::mouseClick(cancel, Qt::LeftButton);
    QCOMPARE(message->text(), QString("Останавливаем ..."));
    QVERIFY(!cancel->isVisible());
    QVERIFY(!saveScreenshot(&wait, "waitwin-stopping").isEmpty());
    QVERIFY(recorder.waitFinished());
    QCOMPARE(recorder.message, QString("Прервано пользователем"));
    QCOMPARE(message->text(), QString("Прервано пользователем"));
    QVERIFY(!icon->isVisible());
    QVERIFY(!saveScreenshot(&wait, "waitwin-finished").isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!wait.isVisible(), 3000);
}

void TestDialogs::waitWindowClosesASecondAfterTheFinishMessage()
{
    WaitWin wait(nullptr, nullptr);
    wait.showConnecting();
    // Cancel without a job: only the window reacts.
    QTest::mouseClick(wait.findChild<QPushButton *>("canselIOButton"), Qt::LeftButton);
    QCOMPARE(wait.message(), QString("Останавливаем ..."));
    QElapsedTimer t;
    t.start();
    wait.setMessage("Параметры прочитаны без ошибок", true);
    QVERIFY(wait.isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!wait.isVisible(), 3000);
    QVERIFY(t.elapsed() >= 900);
    // Shown again, it starts over.
    wait.showConnecting();
    QVERIFY(wait.findChild<QPushButton *>("canselIOButton")->isVisible());
    QCOMPARE(wait.message(), QString("Соединение с прибором ..."));
    wait.closeWait();
}

void TestDialogs::aboutBoxClosesWithoutAnswer()
{
    HrcMessageBox box;
    QSignalSpy closed(&box, &HrcMessageBox::closeMessageBox);
    box.showAbout();
    QVERIFY(box.isVisible());
    QVERIFY(box.isModal());
    QCOMPARE(box.windowTitle(), QString("Конфигуратор HRC417"));
    QCOMPARE(box.findChild<QLabel *>("label")->text(), QString("О программе"));
    QVERIFY(!box.findChild<QPushButton *>("bYes")->isVisible());
    QVERIFY(!box.findChild<QPushButton *>("bNo")->isVisible());
    QVERIFY(box.findChild<QTextEdit *>("textEdit")->toPlainText().contains("HRC417"));
    QVERIFY(!saveScreenshot(&box, "messagebox-about").isEmpty());
    QTest::mouseClick(box.findChild<QPushButton *>("pushButton"), Qt::LeftButton);
    QVERIFY(!box.isVisible());
    QCOMPARE(closed.count(), 0);
    QVERIFY(!box.isAccepted());
}

void TestDialogs::warningReportsTheAnswer()
{
    HrcMessageBox box;
    QSignalSpy closed(&box, &HrcMessageBox::closeMessageBox);
    bool answerAtSignal = false;
    connect(&box, &HrcMessageBox::closeMessageBox, this, [&] { answerAtSignal = box.isAccepted(); });
    box.showWarning();
    QCOMPARE(box.findChild<QLabel *>("label")->text(), QString("Предупреждение"));
    QCOMPARE(box.findChild<QTextEdit *>("textEdit")->toPlainText(),
             QString("Параметры прибора записанные ранее будут установлены в заводские настройки."));
    QVERIFY(!box.findChild<QPushButton *>("pushButton")->isVisible());
    QVERIFY(!saveScreenshot(&box, "messagebox-warning").isEmpty());
    QTest::mouseClick(box.findChild<QPushButton *>("bYes"), Qt::LeftButton);
    QCOMPARE(closed.count(), 1);
    QVERIFY(answerAtSignal);
    QVERIFY(!box.isVisible());

    box.showWarning();
    QVERIFY(!box.isAccepted()); // a new question starts unanswered
    QTest::mouseClick(box.findChild<QPushButton *>("bNo"), Qt::LeftButton);
    QCOMPARE(closed.count(), 2);
    QVERIFY(!answerAtSignal);
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
