// The stage machine on its own: registration, paths, offline work, retry and
// going back, with a receiver that records what the machine asks for.
#include "OStage.h"
#include "OStagesMap.h"

#include <QException>
#include <QSignalSpy>
#include <QtTest>

namespace {

class Receiver : public QObject
{
    Q_OBJECT
public:
    QList<QPair<int, int>> shown; // (stage shown, stage from)
    QStringList jobs;             // params of every post action
    QList<int> leftStages;        // SignalGetConfigFromUI
    QList<int> opsSeen;
    OStagesMap *map = nullptr;

public slots:
    void show0(int from) { shown.append({0, from}); }
    void show1(int from) { shown.append({1, from}); }
    void show2(int from) { shown.append({2, from}); }
    void show3(int from) { shown.append({3, from}); }
    void show4(int from) { shown.append({4, from}); }
    void show5(int from) { shown.append({5, from}); }
    void show6(int from) { shown.append({6, from}); }
    void postAction(QString, QString params, KavuComm::KavuCommOperation op)
    {
        jobs.append(params);
        opsSeen.append(int(op));
        // The machine has not moved yet; the job reports later.
        currentAtJob = map->current();
    }
    void left(int stage) { leftStages.append(stage); }

public:
    int currentAtJob = -2;
    // Completes a job as the wizard does on success.
    void succeed() { map->stage(map->current())->show(map->current()); }
};

// A reduced copy of the wizard's table, enough for every path rule:
// 0 -next-> {2, 5} (read), 0 -edit-> 3, 5 -next-> {6} (write), 6 -next-> {4} (write).
void buildTable(OStagesMap &map, Receiver &r)
{
    r.map = &map;
    QObject::connect(&map, &OStagesMap::SignalGetConfigFromUI, &r, &Receiver::left);
    map.addStage(&r, &Receiver::show0);
    map.addStage(&r, &Receiver::show1);
    map.addStage(&r, &Receiver::show2);
    map.addStage(&r, &Receiver::show3);
    map.addStage(&r, &Receiver::show4);
    map.addStage(&r, &Receiver::show5);
    map.addStage(&r, &Receiver::show6);
    const auto slot = &Receiver::postAction;
    map.addTransition(0, "next", {2, 5});
    map.addPostAction(0, "next", &r, slot, "t", "Dev;ver;p.ver", KavuComm::opRead);
    map.addTransition(0, "edit", {3});
    map.addTransition(5, "next", {6});
    map.addPostAction(5, "next", &r, slot, "t", "Node[0];Node[2];kont", KavuComm::opWrite);
    map.addTransition(6, "next", {4});
    map.addPostAction(6, "next", &r, slot, "t", "Ugr", KavuComm::opWrite);
    map.setStage(0);
}

} // namespace

class TestOStagesMap : public QObject
{
    Q_OBJECT
private slots:
    void registrationGivesDenseIdsAndOpensOnFirstStage();
    void registrationOnUnknownStageThrows();
    void transitionTargetsKeepOrderAndDropUnknownIds();
    void pathChoosesTarget();
    void unknownActionOrPathChangesNothing();
    void offlineSkipsPostActions();
    void retryAfterFailedPostAction();
    void backwardFollowsForwardChain();
    void setStageDoesNotTouchPrev();
};

void TestOStagesMap::registrationGivesDenseIdsAndOpensOnFirstStage()
{
    OStagesMap map;
    QCOMPARE(map.current(), -1);
    Receiver r;
    buildTable(map, r);
    QCOMPARE(map.stageCount(), 7);
    QCOMPARE(map.current(), 0);
    // setStage(0) right after the last addStage shows stage 0 "from" the last stage.
    QCOMPARE(r.shown, (QList<QPair<int, int>>{{0, 6}}));
    QCOMPARE(map.stage(0)->prev(), -1);
    QVERIFY(r.leftStages.isEmpty());
}

void TestOStagesMap::registrationOnUnknownStageThrows()
{
    OStagesMap map;
    Receiver r;
    map.addStage(&r, &Receiver::show0);
    QVERIFY_EXCEPTION_THROWN(map.addTransition(1, "next", {0}), QException);
    QVERIFY_EXCEPTION_THROWN(
        map.addPostAction(-1, "next", &r, &Receiver::postAction, "t", "Dev",
                          KavuComm::opRead),
        QException);
    // A replaced post action is the only one left under its action.
    const auto slot = &Receiver::postAction;
    map.addStage(&r, &Receiver::show1);
    map.addTransition(0, "next", {1});
    map.addPostAction(0, "next", &r, slot, "t", "A", KavuComm::opRead);
    map.addPostAction(0, "next", &r, slot, "t", "B", KavuComm::opWrite);
    r.map = &map;
    map.setStage(0);
    map.nextStage("next");
    QCOMPARE(r.jobs, QStringList{"B"});
    QCOMPARE(r.opsSeen, QList<int>{1});
}

void TestOStagesMap::transitionTargetsKeepOrderAndDropUnknownIds()
{
    OStagesMap map;
    Receiver r;
    buildTable(map, r);
    map.addTransition(3, "next", {42, 6, 1});
    const QList<OStage *> targets = map.stage(3)->targets("next");
    QCOMPARE(targets.size(), 2);
    QCOMPARE(targets.at(0)->id(), 6);
    QCOMPARE(targets.at(1)->id(), 1);
    // A second registration replaces the list.
    map.addTransition(3, "next", {2});
    QCOMPARE(map.stage(3)->targets("next").size(), 1);
}

void TestOStagesMap::pathChoosesTarget()
{
    {
        OStagesMap map;
        Receiver r;
        buildTable(map, r);
        map.nextStage("next", 5);
        QCOMPARE(r.leftStages, QList<int>{0});
        QCOMPARE(r.jobs, QStringList{"Dev;ver;p.ver"});
        QCOMPARE(r.currentAtJob, 0); // the job starts before the machine moves
        QCOMPARE(map.current(), 5);
        QCOMPARE(map.stage(5)->prev(), 0);
        QCOMPARE(map.lastPostAction(), QString("next"));
        r.succeed();
        QCOMPARE(r.shown.last(), qMakePair(5, 5));
    }
    {
        OStagesMap map;
        Receiver r;
        buildTable(map, r);
        map.nextStage("next");
        QCOMPARE(map.current(), 2);
        // Without a post action the target shows at once.
        map.setStage(0);
        r.shown.clear();
        map.nextStage("edit");
        QCOMPARE(r.shown, (QList<QPair<int, int>>{{3, 0}}));
        QCOMPARE(map.current(), 3);
    }
}

void TestOStagesMap::unknownActionOrPathChangesNothing()
{
    OStagesMap map;
    Receiver r;
    buildTable(map, r);
    r.shown.clear();
    map.nextStage("next", 7);       // no such target
    map.nextStage("paramsTree");    // no such action
    map.PostPreviousAction();       // nothing ran yet
    map.prevStage();                // stage 0 has no previous stage
    map.setStage(99);
    QCOMPARE(map.current(), 0);
    QVERIFY(r.shown.isEmpty());
    QVERIFY(r.jobs.isEmpty());
    QVERIFY(r.leftStages.isEmpty());
    QVERIFY(map.lastPostAction().isEmpty());
}

void TestOStagesMap::offlineSkipsPostActions()
{
    OStagesMap map;
    Receiver r;
    buildTable(map, r);
    map.nextStage("next", 5); // online: a job
    r.succeed();
    QCOMPARE(r.jobs.size(), 1);
    map.setOffline(true);
    r.shown.clear();
    map.nextStage("next");
    QCOMPARE(r.jobs.size(), 1);
    QCOMPARE(r.shown, (QList<QPair<int, int>>{{6, 5}}));
    QCOMPARE(map.current(), 6);
    QCOMPARE(map.lastPostAction(), QString("next")); // still the earlier one
}

void TestOStagesMap::retryAfterFailedPostAction()
{
    OStagesMap map;
    Receiver r;
    buildTable(map, r);
    map.setOffline(true);
    map.nextStage("next", 5);
    map.setOffline(false);
    r.shown.clear();
    map.nextStage("next"); // 5 -> 6 with a write; say it failed
    QCOMPARE(map.current(), 6);
    QCOMPARE(r.jobs, QStringList{"Node[0];Node[2];kont"});
    QVERIFY(r.shown.isEmpty());
    map.PostPreviousAction(); // retry re-runs stage 5's job
    QCOMPARE(r.jobs, (QStringList{"Node[0];Node[2];kont", "Node[0];Node[2];kont"}));
    QCOMPARE(map.current(), 6);
    r.succeed();
    QCOMPARE(r.shown, (QList<QPair<int, int>>{{6, 6}}));
    // "Вернуться" after a failure goes back to where the job started.
    map.nextStage("next");
    map.prevStage();
    QCOMPARE(map.current(), 6);
    QCOMPARE(r.shown.last(), qMakePair(6, 4));
}

void TestOStagesMap::backwardFollowsForwardChain()
{
    OStagesMap map;
    Receiver r;
    buildTable(map, r);
    map.setOffline(true);
    map.nextStage("next", 5);
    map.nextStage("next");
    QCOMPARE(map.current(), 6);
    r.leftStages.clear();
    map.prevStage();
    QCOMPARE(map.current(), 5);
    map.prevStage();
    QCOMPARE(map.current(), 0);
    QCOMPARE(r.leftStages, (QList<int>{6, 5}));
    QCOMPARE(r.shown.mid(r.shown.size() - 2), (QList<QPair<int, int>>{{5, 6}, {0, 5}}));
    map.prevStage(); // the chain ends at stage 0
    QCOMPARE(map.current(), 0);
}

void TestOStagesMap::setStageDoesNotTouchPrev()
{
    OStagesMap map;
    Receiver r;
    buildTable(map, r);
    map.setOffline(true);
    map.nextStage("next", 5);
    map.setStage(6);
    QCOMPARE(map.stage(6)->prev(), -1);
    map.prevStage(); // 6 was never entered forward
    QCOMPARE(map.current(), 6);
}

QTEST_GUILESS_MAIN(TestOStagesMap)
#include "tst_ostagesmap.moc"
