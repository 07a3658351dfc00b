#pragma once

#include "LinkHealth.h"

#include <QFrame>

class HrcTreeWorkers;
class QLabel;

// The main window's "Состояние связи" panel: the link counters of every job
// and poll cycle since the panel was last reset, the retry rate, time-outs,
// median and worst reply time, and the likely cause when they are bad. The
// counts come by signal from the workers, which read the library's counters
// in their own thread (they own the port) before each close and after each
// poll cycle; the GUI thread never touches the port.
class LinkHealthPanel : public QFrame
{
    Q_OBJECT

public:
    explicit LinkHealthPanel(QWidget *parent = nullptr);

    // Listens to the workers of a (new) tree; the counts so far stay.
    void attach(HrcTreeWorkers *workers);
    const LinkCounts &counts() const { return total; }
    QString causeText() const { return causeText(total); }
    // The likely cause the counts suggest, in words that agree with them.
    static QString causeText(const LinkCounts &counts);

public slots:
    void addCounts(const LinkCounts &counts);
    void reset();

signals:
    // "Сбросить": the counts start again (the visit's with them).
    void countsReset();

private:
    void refresh();

    LinkCounts total;
    QLabel *exchangesValue = nullptr;
    QLabel *retriesValue = nullptr;
    QLabel *timeoutsValue = nullptr;
    QLabel *damagedValue = nullptr;
    QLabel *refusedValue = nullptr;
    QLabel *medianValue = nullptr;
    QLabel *worstValue = nullptr;
    QLabel *cause = nullptr;
};
