#pragma once

#include "ReportContent.h"

#include <QImage>
#include <QRectF>
#include <QVector>
#include <QString>

class QFontMetricsF;
class QTextDocument;

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
    // A page of the PDF: the strip [top, bottom) of the document laid out as
    // one long page, below the header row it repeats (if any).
    struct PdfPage
    {
        double top = 0;
        double bottom = 0;
        QRectF repeatedHeader;
    };
    // Cuts a laid-out document into pages of pageHeight: at the last place
    // before each page's end where a page may end.
    static QVector<PdfPage> paginate(QTextDocument &document, double pageHeight);

    QString htmlText(bool forPdf, const QVector<int> &columnWidths = {}) const;
    // Pixel widths of the parameter tables' columns for a table tableWidth
    // wide: each short column as wide as its widest text, the captions the rest.
    QVector<int> columnWidths(const QFontMetricsF &plain, const QFontMetricsF &bold, double tableWidth) const;

    ReportContent content;
};
