#include "OStagePostAction.h"

OStagePostAction::OStagePostAction(const QString &title, const QString &params,
                                   KavuComm::KavuCommOperation op, QObject *parent)
    : QObject(parent), m_title(title), m_params(params), m_op(op)
{
}

void OStagePostAction::trigger()
{
    emit PostAction(m_title, m_params, m_op);
}
