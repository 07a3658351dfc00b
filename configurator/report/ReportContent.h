#pragma once

#include <QPair>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QVector>

// What a commissioning report says, free of how it is laid out: the writer
// turns it into HTML and into a paged PDF with the same text.
struct ReportRow
{
    QString caption;
    QString name;
    QString factory;
    QString before;       // found at the first read (or in the backup)
    QString after;        // written (or held by the device now)
    QString result;
    bool beforeDiffers = false; // before differs from the factory value
    bool afterDiffers = false;  // after differs from the factory value
    bool problem = false;       // the result is a failure or a difference
};

struct ReportSet
{
    QString title;
    QVector<ReportRow> rows;
};

// One graph of a contour: the points in order, and for the return-water
// graph the band around them (plus above, minus below; 0: not drawn).
struct ReportGraph
{
    QString title;
    QString xCaption;
    QString yCaption;
    QVector<QPointF> points;
    bool hasBand = false;
    double bandPlus = 0.0;
    double bandMinus = 0.0;
    QString note; // where the values come from when not all from the device
};

using ReportFields = QVector<QPair<QString, QString>>;

struct ReportContent
{
    QString title;
    ReportFields header;
    QStringList columns;   // the six column titles of the parameter tables
    QString legend;        // explains the mark of values differing from factory
    QVector<ReportSet> sets;
    QVector<ReportGraph> graphs;
    ReportFields linkHealth;
    QString operatingTitle;
    QVector<QStringList> operating; // caption, name, value
    QStringList signatures;         // one line per signing person
    bool offline = false;
    QString offlineText;  // said on every page when offline
    QString footer;       // device and date, on every page
};
