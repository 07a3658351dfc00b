#pragma once

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

class OStagePostAction;

// One wizard page as a node of the stage machine: its outgoing transitions by
// action name and the post actions that run when it is left by an action.
class OStage : public QObject
{
    Q_OBJECT
public:
    explicit OStage(int id, QObject *parent = nullptr);

    int id() const { return m_id; }
    // The stage this one was last entered from by a forward step; -1 until then.
    int prev() const { return m_prev; }
    void setPrev(int stageId) { m_prev = stageId; }

    void setTransition(const QString &action, const QList<OStage *> &targets);
    bool hasTransition(const QString &action) const { return m_transitions.contains(action); }
    QList<OStage *> targets(const QString &action) const { return m_transitions.value(action); }

    // Replaces (and deletes) what was stored under the action; the stage owns it.
    void setPostAction(const QString &action, OStagePostAction *postAction);
    OStagePostAction *postAction(const QString &action) const { return m_postActions.value(action); }

    // Asks the receiver to show this stage's page.
    void show(int stageFrom) { emit BeforeTransition(stageFrom); }

signals:
    void BeforeTransition(int stageFrom);

private:
    const int m_id;
    int m_prev = -1;
    QMap<QString, QList<OStage *>> m_transitions;
    QMap<QString, OStagePostAction *> m_postActions;
};
