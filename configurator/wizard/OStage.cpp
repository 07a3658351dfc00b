#include "OStage.h"

#include "OStagePostAction.h"

OStage::OStage(int id, QObject *parent) : QObject(parent), m_id(id)
{
}

void OStage::setTransition(const QString &action, const QList<OStage *> &targets)
{
    m_transitions.insert(action, targets);
}

void OStage::setPostAction(const QString &action, OStagePostAction *postAction)
{
    delete m_postActions.take(action);
    postAction->setParent(this);
    m_postActions.insert(action, postAction);
}
