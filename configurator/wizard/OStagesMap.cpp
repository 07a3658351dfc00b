#include "OStagesMap.h"

#include "HrcLog.h"

#include <QException>

OStagesMap::OStagesMap(QObject *parent) : QObject(parent), m_stages(new QMap<int, OStage *>)
{
}

OStagesMap::~OStagesMap()
{
    qDeleteAll(*m_stages);
    delete m_stages;
}

OStage *OStagesMap::requireStage(int id, const char *what) const
{
    OStage *found = m_stages->value(id);
    if (!found) {
        qCDebug(lcWizard) << what << "on unknown stage" << id;
        throw QException();
    }
    return found;
}

int OStagesMap::addStage()
{
    const int id = m_stages->size();
    m_stages->insert(id, new OStage(id));
    m_current = id;
    return id;
}

void OStagesMap::addTransition(int fromId, const QString &action, const QList<int> &targetIds)
{
    OStage *from = requireStage(fromId, "addTransition");
    QList<OStage *> targets;
    for (int id : targetIds) {
        if (OStage *target = m_stages->value(id))
            targets.append(target);
    }
    from->setTransition(action, targets);
}

OStagePostAction *OStagesMap::addPostAction(int stageId, const QString &action, const QString &title,
                                            const QString &params, KavuComm::KavuCommOperation op)
{
    OStage *owner = requireStage(stageId, "addPostAction");
    auto *postAction = new OStagePostAction(title, params, op);
    owner->setPostAction(action, postAction);
    return postAction;
}

void OStagesMap::setStage(int id)
{
    OStage *target = m_stages->value(id);
    if (!target) {
        qCDebug(lcWizard) << "setStage " << id << " NOT FOUND";
        return;
    }
    const int from = m_current;
    target->show(from);
    m_current = id;
    qCDebug(lcWizard) << "setStage " << id << " OKI";
}

void OStagesMap::nextStage(const QString &action, int pathId)
{
    OStage *from = m_stages->value(m_current);
    if (!from) {
        qCDebug(lcWizard) << "Stage:" << m_current << " - NOT FOUND";
        return;
    }
    if (!from->hasTransition(action)) {
        qCDebug(lcWizard) << "Stage:" << m_current << ", action:" << action << " - NOT FOUND";
        return;
    }
    OStage *target = nullptr;
    for (OStage *candidate : from->targets(action)) {
        if (pathId == -1 || candidate->id() == pathId) {
            target = candidate;
            break;
        }
    }
    if (!target) {
        qCDebug(lcWizard) << "Stage " << m_current << "with action:" << action << " for PathIndex " << pathId
                 << " - NOT FOUND";
        return;
    }

    const int fromId = m_current;
    emit SignalGetConfigFromUI(fromId);
    OStagePostAction *postAction = from->postAction(action);
    if (!m_offline && postAction) {
        m_lastPostAction = action;
        postAction->trigger();
    } else {
        target->show(fromId);
    }
    qCDebug(lcWizard) << "Stage from:" << fromId << " " << action << " to:" << target->id() << " - OKI";
    // The job started by a post action reports through queued signals, so
    // the machine stands on the target before its result arrives.
    target->setPrev(fromId);
    m_current = target->id();
}

void OStagesMap::prevStage()
{
    OStage *from = m_stages->value(m_current);
    if (!from) {
        qCDebug(lcWizard) << "Stage:" << m_current << " - NOT FOUND";
        return;
    }
    OStage *previous = m_stages->value(from->prev());
    if (!previous) {
        qCDebug(lcWizard) << "Stage:" << m_current << ", prev Stage:" << from->prev() << " - NOT FOUND";
        return;
    }
    const int fromId = m_current;
    emit SignalGetConfigFromUI(fromId);
    previous->show(fromId);
    qCDebug(lcWizard) << "Stage back from:" << fromId << " to:" << previous->id() << " - OKI";
    m_current = previous->id();
}

void OStagesMap::PostPreviousAction()
{
    OStage *at = m_stages->value(m_current);
    if (!at) {
        qCDebug(lcWizard) << "PostPreviousAction: CurrentStage" << m_current << " NOT FOUND";
        return;
    }
    if (m_lastPostAction.isEmpty()) {
        qCDebug(lcWizard) << "PostPreviousAction: LastPostAction {" << m_lastPostAction << "} NOT DEF";
        return;
    }
    OStage *previous = m_stages->value(at->prev());
    if (!previous) {
        qCDebug(lcWizard) << "PostPreviousAction: prev_uid " << at->prev() << " NOT FOUND";
        return;
    }
    OStagePostAction *postAction = previous->postAction(m_lastPostAction);
    if (!postAction) {
        qCDebug(lcWizard) << "PostPreviousAction: prev_uid " << at->prev() << " NOT FOUND for action " << m_lastPostAction;
        return;
    }
    postAction->trigger();
    qCDebug(lcWizard) << "Post stage:" << at->prev() << " action: " << m_lastPostAction << " OKI";
}
