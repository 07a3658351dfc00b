#pragma once

#include "ReportContent.h"

#include <QImage>
#include <QString>

// Lays a report out as HTML (one self-contained file, the graphs embedded)
// and as a paged A4 PDF from the same HTML: every page carries the footer,
// the page number and, for a report made offline, the offline notice. Needs
// a QGuiApplication (fonts).
class ReportWriter
{
public:
    explicit ReportWriter(const ReportContent &content);

    QString html() const { return htmlText(false); }
    bool writeHtml(const QString &fileName, QString *error) const;
    bool writePdf(const QString &fileName, QString *error) const;
    // By the file's suffix: ".pdf" is PDF, anything else HTML.
    bool write(const QString &fileName, QString *error) const;

    // A graph drawn as a picture: axes with their captions, grid, the points
    // joined in red, the band dashed in magenta.
    static QImage drawGraph(const ReportGraph &graph, const QSize &size);

private:
    QString htmlText(bool forPdf) const;

    ReportContent content;
};
