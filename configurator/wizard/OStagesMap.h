#pragma once

#include "KavuComm.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

class OStage;

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

    // Creates the next stage (ids are dense, from 0), makes it current and
    // connects its BeforeTransition(int) to receiver's slot when one is given.
    int addStage(QObject *receiver, const char *slot);
    void addTransition(int fromId, const QString &action, const QList<int> &targetIds);
    void addPostAction(int stageId, const QString &action, QObject *receiver, const char *slot,
                       const QString &title, const QString &params, KavuComm::KavuCommOperation op);

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
