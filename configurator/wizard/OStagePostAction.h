#pragma once

#include "KavuComm.h"

#include <QObject>
#include <QString>

// A device job bound to leaving a stage by one action: the wizard runs it
// (reads or writes the listed parameters) before the target page is shown.
class OStagePostAction : public QObject
{
    Q_OBJECT
public:
    OStagePostAction(const QString &title, const QString &params, KavuComm::KavuCommOperation op,
                     QObject *parent = nullptr);

    const QString &title() const { return m_title; }
    const QString &params() const { return m_params; }
    KavuComm::KavuCommOperation operation() const { return m_op; }

    // Emits PostAction with this action's title, list and operation.
    void trigger();

signals:
    void PostAction(QString title, QString params, KavuComm::KavuCommOperation op);

private:
    QString m_title;
    QString m_params; // ";"-separated protocol names
    KavuComm::KavuCommOperation m_op;
};
