#pragma once

#include <QDateTime>
#include <QHash>
#include <QPointer>
#include <QVector>
#include <QWidget>

class HrcTree;
class KavuMon;
class QCPAxis;
class QCPGraph;
class QCustomPlot;
class QLabel;
class QPushButton;
class QSpinBox;

// Live trends of the polled operating values: every value the polling monitor
// reads (the boxes ticked in the tree) is plotted against the time it arrived,
// one value axis per unit ("°С", "%", and the states without a unit). It
// listens to the monitor's kavuMonUpdating and reads the value the monitor
// left in the document, so it adds no exchange of its own. Values are kept
// for the longest window (60 minutes); the plot shows the last 1 to 60.
class TrendWin : public QWidget
{
    Q_OBJECT

public:
    explicit TrendWin(HrcTree *tree, QWidget *parent = nullptr);

    static constexpr int maxWindowMinutes = 60;

    HrcTree *tree() const { return paramTree; }
    QCustomPlot *plot() const { return customPlot; }

    // One row per polling cycle: the time the cycle's first value came and
    // the value text of every series read in that cycle.
    struct Row
    {
        QDateTime time;
        QHash<QString, QString> values;
    };
    const QVector<Row> &rows() const { return samples; }
    // The plotted parameters (namekavu) in the order they first arrived.
    const QStringList &seriesNames() const { return names; }
    QCPGraph *graphOf(const QString &name) const;
    // The unit group of a polled parameter: the label's unit after the last
    // comma ("°С", "%"), or empty for the states and indexes.
    static QString unitOf(const QString &label);
    // The caption without its unit tail ("Температура на входе 1, °С" ->
    // "Температура на входе 1"), so that a value is followed by its unit once.
    static QString captionOf(const QString &label);
    QCPAxis *axisOfUnit(const QString &unit) const { return axes.value(unit); }

    // Shown over the empty plot: what to tick in the tree to get curves, or
    // that the ticked values are awaited; hidden once there is a curve.
    QLabel *emptyHint() const { return hintLabel; }

    int windowMinutes() const;
    void setWindowMinutes(int minutes);
    bool isPaused() const { return paused; }

    // What the read-out shows for a time on the plot: the time and, for every
    // series, the value read last at or before it.
    QString readoutAt(double key) const;
    QString readout() const;

    // ";"-separated like the monitor's log: "Время" and the labels, then one
    // line per cycle with the values as read (empty where none was read).
    // Both exports write the file whole or not at all; on failure *error
    // (when given) names the file and the reason.
    bool exportCsv(const QString &fileName, QString *error = nullptr) const;
    bool exportPng(const QString &fileName, QString *error = nullptr) const;

public slots:
    void onKavuMonUpdating(uint treeId, int, int);
    void setPaused(bool pause);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void attachMonitor();
    void updateHint();
    void addSample(const QString &name, const QString &label, const QString &text, const QDateTime &time);
    QCPGraph *seriesFor(const QString &name, const QString &label);
    void dropOldSamples(const QDateTime &now);
    void refreshRange();
    void chooseCsvFile();
    void choosePngFile();

    QPointer<HrcTree> paramTree;
    QPointer<KavuMon> monitor;
    QCustomPlot *customPlot = nullptr;
    QSpinBox *minutesBox = nullptr;
    QPushButton *pauseButton = nullptr;
    QLabel *readoutLabel = nullptr;
    QLabel *hintLabel = nullptr;
    QVector<Row> samples;
    QStringList names;
    QHash<QString, QString> labels;
    QHash<QString, QCPGraph *> graphs;
    QHash<QString, QCPAxis *> axes;
    bool paused = false;
    double frozenEnd = 0;
};
