#include "ReportWriter.h"

#include "AtomicFile.h"
#include "ValueCodec.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QCoreApplication>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

QString text(const char *source)
{
    return QCoreApplication::translate("ReportWriter", source);
}

// The graphs are drawn at twice the size they are shown, so that they stay
// sharp in print.
const QSize graphShown(330, 230);
const QSize graphDrawn(graphShown * 2);
// PDF: CSS pixels as on screen, so that point sizes and picture widths agree.
const int pdfResolution = 96;
const double footerHeight = 44.0;
const double rangePadding = 2.0;
const char *const differsColour = "#fff2cc";
const char *const problemColour = "#b00000";

QString esc(const QString &s)
{
    return s.toHtmlEscaped();
}

QString fieldsTable(const ReportFields &fields)
{
    QString h = QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\">\n");
    for (const auto &field : fields)
        h += QStringLiteral("<tr><th align=\"left\">%1</th><td>%2</td></tr>\n").arg(esc(field.first), esc(field.second));
    return h + QStringLiteral("</table>\n");
}

// Names and values are short and read badly when wrapped: their columns
// take the width of their longest text, and the captions the rest. A long
// value (a text parameter) still wraps rather than widen the page.
const int unwrappedLength = 24;
// Of the table's width, the result column takes at most this share (its
// longer texts wrap) and the captions at least that.
const double resultShare = 0.24;
const double captionShare = 0.25;
// A cell's padding, border and some air, in pixels.
const double cellExtra = 7;

QString cellStart(const QString &value)
{
    return value.size() <= unwrappedLength ? QStringLiteral("<td style=\"white-space: nowrap\"") : QStringLiteral("<td");
}

QString plainCell(const QString &value)
{
    return cellStart(value) + QStringLiteral(">%1</td>").arg(esc(value));
}

QString valueCell(const QString &value, bool differs)
{
    if (!differs)
        return plainCell(value);
    return cellStart(value)
           + QStringLiteral(" bgcolor=\"%1\"><b>%2&nbsp;*</b></td>").arg(QLatin1String(differsColour), esc(value));
}

// A step of 1, 2 or 5 times a power of ten giving about `count` intervals.
double niceStep(double span, int count)
{
    const double raw = span / count;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0}) {
        if (raw <= m * magnitude)
            return m * magnitude;
    }
    return 10.0 * magnitude;
}

} // namespace

ReportWriter::ReportWriter(const ReportContent &c)
    : content(c)
{
}

QImage ReportWriter::drawGraph(const ReportGraph &graph, const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QFont font = p.font();
    font.setPixelSize(qMax(10, size.height() / 22));
    p.setFont(font);
    const QFontMetrics metrics(font);

    // The ranges of the points and the band, padded as the graph windows pad them.
    QVector<double> ys;
    QVector<double> xs;
    for (const QPointF &point : graph.points) {
        xs << point.x();
        ys << point.y();
        if (graph.hasBand) {
            ys << point.y() + graph.bandPlus << point.y() + graph.bandMinus;
        }
    }
    double minX = -30, maxX = 30, minY = 0, maxY = 100;
    if (!xs.isEmpty()) {
        minX = *std::min_element(xs.cbegin(), xs.cend()) - rangePadding;
        maxX = *std::max_element(xs.cbegin(), xs.cend()) + rangePadding;
        minY = *std::min_element(ys.cbegin(), ys.cend()) - rangePadding;
        maxY = *std::max_element(ys.cbegin(), ys.cend()) + rangePadding;
    }
    const QRectF area(metrics.horizontalAdvance(QStringLiteral("-0000")) + 2.2 * metrics.height(), metrics.height(),
                      0, 0);
    const QRectF plot(area.topLeft(), QPointF(size.width() - metrics.height(), size.height() - 2.6 * metrics.height()));
    auto toPixel = [&](double x, double y) {
        return QPointF(plot.left() + (x - minX) / (maxX - minX) * plot.width(),
                       plot.bottom() - (y - minY) / (maxY - minY) * plot.height());
    };

    // Grid and tick labels.
    QPen gridPen(QColor(220, 220, 220));
    gridPen.setWidthF(1.0);
    const double stepX = niceStep(maxX - minX, 6);
    const double stepY = niceStep(maxY - minY, 6);
    for (double x = std::ceil(minX / stepX) * stepX; x <= maxX + 1e-9; x += stepX) {
        const QPointF at = toPixel(x, minY);
        p.setPen(gridPen);
        p.drawLine(at, toPixel(x, maxY));
        p.setPen(Qt::black);
        p.drawText(QRectF(at.x() - 40, plot.bottom() + 3, 80, metrics.height()), Qt::AlignHCenter | Qt::AlignTop,
                   ValueCodec::floatText(x));
    }
    for (double y = std::ceil(minY / stepY) * stepY; y <= maxY + 1e-9; y += stepY) {
        const QPointF at = toPixel(minX, y);
        p.setPen(gridPen);
        p.drawLine(at, toPixel(maxX, y));
        p.setPen(Qt::black);
        p.drawText(QRectF(0, at.y() - metrics.height() / 2.0, plot.left() - 4, metrics.height()),
                   Qt::AlignRight | Qt::AlignVCenter, ValueCodec::floatText(y));
    }
    p.setPen(QPen(Qt::black, 1.5));
    p.drawRect(plot);
    p.drawText(QRectF(plot.left(), size.height() - 1.3 * metrics.height(), plot.width(), metrics.height()),
               Qt::AlignHCenter, graph.xCaption);
    p.save();
    p.translate(metrics.height() * 0.2, plot.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-plot.height() / 2, 0, plot.height(), metrics.height()), Qt::AlignHCenter, graph.yCaption);
    p.restore();

    p.setClipRect(plot);
    if (graph.hasBand) {
        QPen bandPen(Qt::magenta, 2.5, Qt::DashLine);
        p.setPen(bandPen);
        for (double offset : {graph.bandPlus, graph.bandMinus}) {
            if (offset == 0.0)
                continue;
            QPolygonF band;
            for (const QPointF &point : graph.points)
                band << toPixel(point.x(), point.y() + offset);
            p.drawPolyline(band);
        }
    }
    QPolygonF line;
    for (const QPointF &point : graph.points)
        line << toPixel(point.x(), point.y());
    p.setPen(QPen(Qt::red, 3.5));
    p.drawPolyline(line);
    p.setPen(QPen(Qt::red, 2.5));
    p.setBrush(Qt::white);
    for (const QPointF &at : line)
        p.drawEllipse(at, 6, 6);
    if (graph.points.isEmpty()) {
        p.setPen(Qt::black);
        p.drawText(plot, Qt::AlignCenter, text("нет точек"));
    }
    return image;
}

QString ReportWriter::htmlText(bool forPdf, const QVector<int> &columnWidths) const
{
    const ReportContent &c = content;
    QString h = QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title>\n"
                               "<style>body { font-family: sans-serif; font-size: 9pt; }"
                               " th { background-color: #e8e8e8; }</style></head><body>\n")
                    .arg(esc(c.title));
    h += QStringLiteral("<p style=\"font-size: 15pt; font-weight: bold\">%1</p>\n").arg(esc(c.title));
    const QString offline = QStringLiteral("<p><font color=\"%1\"><b>%2</b></font></p>\n")
                                .arg(QLatin1String(problemColour), esc(c.offlineText));
    // The PDF says it on every page, in the footer; the HTML file at its top.
    if (c.offline && !forPdf)
        h += offline;
    h += fieldsTable(c.header);

    for (const ReportSet &set : c.sets) {
        h += QStringLiteral("<p style=\"font-size: 10pt; font-weight: bold; margin-top: 8px\">%1</p>\n").arg(esc(set.title));
        h += QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"2\" width=\"100%\">\n<thead><tr>");
        for (int column = 0; column < c.columns.size(); ++column) {
            h += (column > 0 && column < columnWidths.size() ? QStringLiteral("<th width=\"%1\">").arg(columnWidths.at(column))
                                               : QStringLiteral("<th>"))
                 + esc(c.columns.at(column)) + QStringLiteral("</th>");
        }
        h += QStringLiteral("</tr></thead>\n<tbody>\n");
        for (const ReportRow &row : set.rows) {
            h += QStringLiteral("<tr><td>%1</td>").arg(esc(row.caption)) + plainCell(row.name)
                 + plainCell(row.factory);
            h += valueCell(row.before, row.beforeDiffers) + valueCell(row.after, row.afterDiffers);
            h += row.problem ? QStringLiteral("<td><font color=\"%1\"><b>%2</b></font></td></tr>\n")
                                   .arg(QLatin1String(problemColour), esc(row.result))
                             : QStringLiteral("<td>%1</td></tr>\n").arg(esc(row.result));
        }
        h += QStringLiteral("</tbody></table>\n");
    }
    if (!c.legend.isEmpty())
        h += QStringLiteral("<p>%1</p>\n").arg(esc(c.legend));

    if (!c.graphs.isEmpty()) {
        h += QStringLiteral("<p style=\"font-size: 12pt; font-weight: bold; margin-top: 12px\">%1</p>\n<table cellspacing=\"4\" cellpadding=\"0\">\n").arg(esc(text("Графики")));
        for (int i = 0; i < c.graphs.size(); ++i) {
            const ReportGraph &graph = c.graphs.at(i);
            QString source = QStringLiteral("graph%1.png").arg(i);
            if (!forPdf) {
                QByteArray png;
                QBuffer buffer(&png);
                buffer.open(QIODevice::WriteOnly);
                drawGraph(graph, graphDrawn).save(&buffer, "PNG");
                source = QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.toBase64());
            }
            if (i % 2 == 0)
                h += QStringLiteral("<tr>");
            h += QStringLiteral("<td valign=\"top\"><b>%1</b><br><img src=\"%2\" width=\"%3\" height=\"%4\" alt=\"%1\">")
                     .arg(esc(graph.title), source)
                     .arg(graphShown.width())
                     .arg(graphShown.height());
            if (!graph.note.isEmpty())
                h += QStringLiteral("<br><i>%1</i>").arg(esc(graph.note));
            h += QStringLiteral("</td>");
            if (i % 2 == 1 || i + 1 == c.graphs.size())
                h += QStringLiteral("</tr>\n");
        }
        h += QStringLiteral("</table>\n");
    }

    h += QStringLiteral("<p style=\"font-size: 12pt; font-weight: bold; margin-top: 12px\">%1</p>\n").arg(esc(text("Состояние связи")));
    h += fieldsTable(c.linkHealth);

    h += QStringLiteral("<p style=\"font-size: 12pt; font-weight: bold; margin-top: 12px\">%1</p>\n").arg(esc(c.operatingTitle));
    if (c.operating.isEmpty()) {
        h += QStringLiteral("<p>%1</p>\n").arg(esc(text("Рабочие параметры не опрашивались.")));
    } else {
        h += QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"2\">\n");
        for (const QStringList &row : c.operating) {
            h += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td></tr>\n")
                     .arg(esc(row.value(0)), esc(row.value(1)), esc(row.value(2)));
        }
        h += QStringLiteral("</table>\n");
    }

    h += QStringLiteral("<p style=\"font-size: 12pt; font-weight: bold; margin-top: 12px\">%1</p>\n<table cellspacing=\"0\" cellpadding=\"8\">\n").arg(esc(text("Подписи")));
    for (const QString &who : c.signatures) {
        h += QStringLiteral("<tr><td>%1</td><td>______________________________</td><td>%2</td></tr>\n")
                 .arg(esc(who), esc(text("дата ____________")));
    }
    h += QStringLiteral("</table>\n");
    if (c.offline && !forPdf)
        h += offline;
    return h + QStringLiteral("</body></html>\n");
}

bool ReportWriter::writeHtml(const QString &fileName, QString *error) const
{
    return AtomicFile::write(fileName, html().toUtf8(), error);
}

QVector<int> ReportWriter::columnWidths(const QFontMetricsF &plain, const QFontMetricsF &bold, double tableWidth) const
{
    const int columns = content.columns.size();
    if (columns < 2)
        return {};
    // Headers wrap between words; short cells not at all; a long cell
    // between words.
    auto longestWord = [&](const QString &text) {
        double widest = 0;
        for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            widest = std::max(widest, bold.horizontalAdvance(word));
        return widest;
    };
    auto cellWidth = [&](const QString &text, bool marked) {
        if (text.size() > unwrappedLength)
            return longestWord(text);
        return marked ? bold.horizontalAdvance(text + QStringLiteral(" *")) : plain.horizontalAdvance(text);
    };
    QVector<double> widths(columns, 0.0);
    for (int column = 1; column < columns; ++column)
        widths[column] = longestWord(content.columns.at(column));
    for (const ReportSet &set : content.sets) {
        for (const ReportRow &row : set.rows) {
            const QVector<QPair<QString, bool>> cells = {{row.name, false},
                                                         {row.factory, false},
                                                         {row.before, row.beforeDiffers},
                                                         {row.after, row.afterDiffers},
                                                         {row.result, row.problem}};
            for (int column = 1; column < columns && column - 1 < cells.size(); ++column)
                widths[column] = std::max(widths[column], cellWidth(cells.at(column - 1).first, cells.at(column - 1).second));
        }
    }
    double others = 0;
    for (int column = 1; column < columns; ++column) {
        widths[column] += cellExtra;
        if (column == columns - 1)
            widths[column] = std::min(widths[column], resultShare * tableWidth);
        others += widths[column];
    }
    // Should the short columns leave too little, the result column gives way.
    const double shortfall = captionShare * tableWidth - (tableWidth - others);
    if (shortfall > 0)
        widths[columns - 1] = std::max(longestWord(content.columns.last()) + cellExtra, widths[columns - 1] - shortfall);
    QVector<int> rounded;
    for (int column = 0; column < columns; ++column)
        rounded << (column == 0 ? 0 : int(std::ceil(widths.at(column))));
    int rest = int(tableWidth);
    for (int column = 1; column < columns; ++column)
        rest -= rounded.at(column);
    rounded[0] = std::max(rest, 0);
    return rounded;
}

namespace {

// Where a page may end in a document laid out as one long strip, and what a
// page that starts there repeats above its content.
struct PageBreak
{
    double y = 0;
    // The header row of the table the break falls in, drawn again at the
    // top of the next page; empty when the break is outside a table.
    QRectF repeatedHeader;
};

// The top of a table row's content box: its cells' first lines less the
// cell padding and the border above them.
double rowTop(QAbstractTextDocumentLayout *layout, const QTextTable *table, int row)
{
    const QTextTableFormat format = table->format();
    double top = std::numeric_limits<double>::max();
    for (int column = 0; column < table->columns(); ++column) {
        const QTextTableCell cell = table->cellAt(row, column);
        if (cell.row() != row)
            continue;
        top = std::min(top, layout->blockBoundingRect(cell.firstCursorPosition().block()).top());
    }
    return top - format.cellPadding() - format.border();
}

// The places a page may end: before a top-level paragraph, before a table
// and between the body rows of a table. Never right after a heading (a bold
// paragraph), nor between a table's header and its first row, so that a
// heading always shares its page with the start of what it heads.
QVector<PageBreak> breaksOf(QTextDocument &document)
{
    QAbstractTextDocumentLayout *layout = document.documentLayout();
    QVector<PageBreak> breaks;
    bool afterHeading = false;
    QTextFrame *root = document.rootFrame();
    for (QTextFrame::iterator it = root->begin(); !it.atEnd(); ++it) {
        if (QTextFrame *frame = it.currentFrame()) {
            const QRectF box = layout->frameBoundingRect(frame);
            if (!afterHeading)
                breaks.append(PageBreak{box.top(), QRectF()});
            afterHeading = false;
            auto *table = qobject_cast<QTextTable *>(frame);
            if (!table)
                continue;
            const int headerRows = table->format().headerRowCount();
            const QRectF header = headerRows > 0 && headerRows < table->rows()
                                      ? QRectF(box.left(), box.top(), box.width(),
                                               rowTop(layout, table, headerRows) - box.top())
                                      : QRectF();
            // The first body row stays with the header (or with the top).
            for (int row = std::max(1, headerRows + 1); row < table->rows(); ++row)
                breaks.append(PageBreak{rowTop(layout, table, row), header});
            continue;
        }
        const QTextBlock block = it.currentBlock();
        if (!block.isValid() || block.text().trimmed().isEmpty())
            continue;
        if (!afterHeading)
            breaks.append(PageBreak{layout->blockBoundingRect(block).top(), QRectF()});
        afterHeading = block.charFormat().fontWeight() >= QFont::Bold
                       || QTextCursor(block).charFormat().fontWeight() >= QFont::Bold;
    }
    std::sort(breaks.begin(), breaks.end(), [](const PageBreak &a, const PageBreak &b) { return a.y < b.y; });
    return breaks;
}

} // namespace

QVector<ReportWriter::PdfPage> ReportWriter::paginate(QTextDocument &document, double pageHeight)
{
    const QVector<PageBreak> breaks = breaksOf(document);
    const double end = document.size().height();
    QVector<PdfPage> pages;
    PdfPage page;
    while (true) {
        const double room = pageHeight - page.repeatedHeader.height();
        if (end - page.top <= room) {
            page.bottom = end;
            pages.append(page);
            return pages;
        }
        // The last break that leaves the page no fuller than it can hold; a
        // single piece taller than a page is cut where the page ends.
        const PageBreak *chosen = nullptr;
        for (const PageBreak &candidate : breaks) {
            if (candidate.y > page.top + 0.5 && candidate.y <= page.top + room)
                chosen = &candidate;
        }
        PdfPage next;
        if (chosen) {
            page.bottom = chosen->y;
            next.top = chosen->y;
            next.repeatedHeader = chosen->repeatedHeader;
        } else {
            page.bottom = page.top + room;
            next.top = page.bottom;
        }
        pages.append(page);
        page = next;
    }
}

bool ReportWriter::writePdf(const QString &fileName, QString *error) const
{
    // Made in memory, then written whole; a target that cannot be written is
    // told before the work.
    if (!AtomicFile::checkTarget(fileName, error))
        return false;
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    QPdfWriter writer(&pdf);
    writer.setResolution(pdfResolution);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(14, 12, 14, 12),
                                     QPageLayout::Millimeter));
    writer.setTitle(content.title);
    writer.setCreator(QCoreApplication::applicationName());

    QTextDocument document;
    document.documentLayout()->setPaintDevice(&writer);
    for (int i = 0; i < content.graphs.size(); ++i) {
        document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("graph%1.png").arg(i)),
                             drawGraph(content.graphs.at(i), graphDrawn));
    }
    const QRectF paper = writer.pageLayout().paintRectPixels(pdfResolution);
    const QSizeF body(paper.width(), paper.height() - footerHeight);
    // The parameter tables share one set of column widths, measured in the
    // font they are set in: a column as wide as its longest short text.
    QFont tableFont(QStringLiteral("sans-serif"));
    tableFont.setPointSizeF(9);
    QFont boldFont = tableFont;
    boldFont.setBold(true);
    const double tableWidth = body.width() - 2 * document.documentMargin();
    document.setHtml(htmlText(true, columnWidths(QFontMetricsF(tableFont, &writer), QFontMetricsF(boldFont, &writer),
                                                 tableWidth)));
    // Laid out as one long strip and cut into pages here, so that no row is
    // split by a page's end, a heading keeps its table and a table that goes
    // on over a page repeats its header row.
    document.setTextWidth(body.width());
    const QVector<PdfPage> pages = paginate(document, body.height());

    QPainter painter;
    if (!painter.begin(&writer)) {
        *error = text("не удалось начать файл PDF");
        return false;
    }
    QFont small = document.defaultFont();
    small.setPointSizeF(8);
    auto drawStrip = [&](const QRectF &strip, double at) {
        painter.save();
        painter.translate(0, at - strip.top());
        painter.setClipRect(strip);
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = strip;
        document.documentLayout()->draw(&painter, context);
        painter.restore();
    };
    for (int page = 0; page < pages.size(); ++page) {
        if (page > 0)
            writer.newPage();
        const PdfPage &shown = pages.at(page);
        const double headerHeight = shown.repeatedHeader.height();
        if (headerHeight > 0)
            drawStrip(QRectF(0, shown.repeatedHeader.top(), body.width(), headerHeight), 0);
        drawStrip(QRectF(0, shown.top, body.width(), shown.bottom - shown.top), headerHeight);

        painter.setFont(small);
        painter.setPen(QPen(Qt::gray, 0.5));
        painter.drawLine(QPointF(0, body.height() + 6), QPointF(body.width(), body.height() + 6));
        painter.setPen(Qt::black);
        const QRectF footer(0, body.height() + 9, body.width(), footerHeight - 9);
        painter.drawText(footer, Qt::AlignLeft | Qt::AlignTop, content.footer);
        painter.drawText(footer, Qt::AlignRight | Qt::AlignTop,
                         text("Страница %1 из %2").arg(page + 1).arg(pages.size()));
        if (content.offline) {
            QFont bold = small;
            bold.setBold(true);
            painter.setFont(bold);
            painter.setPen(QColor(QLatin1String(problemColour)));
            painter.drawText(footer, Qt::AlignLeft | Qt::AlignBottom, content.offlineText);
        }
    }
    if (!painter.end()) {
        *error = text("не удалось записать файл PDF");
        return false;
    }
    pdf.close();
    return AtomicFile::write(fileName, pdf.data(), error);
}

bool ReportWriter::write(const QString &fileName, QString *error) const
{
    if (fileName.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        return writePdf(fileName, error);
    return writeHtml(fileName, error);
}
