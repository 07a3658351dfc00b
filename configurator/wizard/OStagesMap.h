#pragma once

#include "KavuComm.h"
#include "OStage.h"
#include "OStagePostAction.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

// The wizard's table-driven navigation. The wizard registers its stages,
// transitions and post actions once; afterwards its buttons only name an
// action (and, where a transition has several targets, the target to take).
// The machine touches no widget and no device: it tells the receiver what to
// do through signals, delivered synchronously in the GUI thread.
//
// Every navigation failure is logged and changes nothing. Registering a
// transition or a post action on an unknown stage throws QException.
class OStagesMap : public QObject
{
    Q_OBJECT
public:
    explicit OStagesMap(QObject *parent = nullptr);
    ~OStagesMap() override;

    // Creates the next stage (ids are dense, from 0) and makes it current.
    int addStage();
    // The same, and connects the new stage's BeforeTransition(int) to slot:
    // a member function of receiver, or a functor run in receiver's context.
    template <typename Receiver, typename Slot>
    int addStage(const Receiver *receiver, Slot slot)
    {
        const int id = addStage();
        connect(stage(id), &OStage::BeforeTransition, receiver, slot);
        return id;
    }
    void addTransition(int fromId, const QString &action, const QList<int> &targetIds);
    // Stores a post action under the stage's action, replacing (and deleting)
    // what was stored there before.
    OStagePostAction *addPostAction(int stageId, const QString &action, const QString &title, const QString &params,
                                    KavuComm::KavuCommOperation op);
    // The same, and connects its PostAction(title, params, op) to slot: a
    // member function of receiver, or a functor run in receiver's context.
    template <typename Receiver, typename Slot>
    void addPostAction(int stageId, const QString &action, const Receiver *receiver, Slot slot,
                       const QString &title, const QString &params, KavuComm::KavuCommOperation op)
    {
        connect(addPostAction(stageId, action, title, params, op), &OStagePostAction::PostAction, receiver, slot);
    }

    void setStage(int id);
    void nextStage(const QString &action, int pathId = -1);
    void prevStage();
    // Re-runs the post action of the last forward transition (retry).
    void PostPreviousAction();

    void setOffline(bool value) { m_offline = value; }
    bool isOffline() const { return m_offline; }
    int current() const { return m_current; }
    OStage *stage(int id) const { return m_stages->value(id); }
    int stageCount() const { return m_stages->size(); }
    const QString &lastPostAction() const { return m_lastPostAction; }

signals:
    // The stage being left; the receiver copies that page into its document.
    void SignalGetConfigFromUI(int stageId);

private:
    OStage *requireStage(int id, const char *what) const;

    QMap<int, OStage *> *m_stages;
    int m_current = -1;
    bool m_offline = false;
    QString m_lastPostAction;
};
