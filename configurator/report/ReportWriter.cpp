#include "ReportWriter.h"

#include "AtomicFile.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QCoreApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>

#include <algorithm>
#include <cmath>

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

QString valueCell(const QString &value, bool differs)
{
    if (!differs)
        return QStringLiteral("<td>%1</td>").arg(esc(value));
    return QStringLiteral("<td bgcolor=\"%1\"><b>%2&nbsp;*</b></td>").arg(QLatin1String(differsColour), esc(value));
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

QString numberText(double value)
{
    return QString::number(value, 'g', 6).replace(QLatin1Char('.'), QLatin1Char(','));
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
                   numberText(x));
    }
    for (double y = std::ceil(minY / stepY) * stepY; y <= maxY + 1e-9; y += stepY) {
        const QPointF at = toPixel(minX, y);
        p.setPen(gridPen);
        p.drawLine(at, toPixel(maxX, y));
        p.setPen(Qt::black);
        p.drawText(QRectF(0, at.y() - metrics.height() / 2.0, plot.left() - 4, metrics.height()),
                   Qt::AlignRight | Qt::AlignVCenter, numberText(y));
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

QString ReportWriter::htmlText(bool forPdf) const
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
        for (const QString &column : c.columns)
            h += QStringLiteral("<th>%1</th>").arg(esc(column));
        h += QStringLiteral("</tr></thead>\n<tbody>\n");
        for (const ReportRow &row : set.rows) {
            h += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td>")
                     .arg(esc(row.caption), esc(row.name), esc(row.factory));
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
    document.setHtml(htmlText(true));
    const QRectF paper = writer.pageLayout().paintRectPixels(pdfResolution);
    const QSizeF body(paper.width(), paper.height() - footerHeight);
    document.setPageSize(body);
    const int pages = document.pageCount();

    QPainter painter;
    if (!painter.begin(&writer)) {
        *error = text("не удалось начать файл PDF");
        return false;
    }
    QFont small = document.defaultFont();
    small.setPointSizeF(8);
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            writer.newPage();
        painter.save();
        const QRectF shown(0, page * body.height(), body.width(), body.height());
        painter.translate(0, -shown.top());
        painter.setClipRect(shown);
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = shown;
        document.documentLayout()->draw(&painter, context);
        painter.restore();

        painter.setFont(small);
        painter.setPen(QPen(Qt::gray, 0.5));
        painter.drawLine(QPointF(0, body.height() + 6), QPointF(body.width(), body.height() + 6));
        painter.setPen(Qt::black);
        const QRectF footer(0, body.height() + 9, body.width(), footerHeight - 9);
        painter.drawText(footer, Qt::AlignLeft | Qt::AlignTop, content.footer);
        painter.drawText(footer, Qt::AlignRight | Qt::AlignTop, text("Страница %1 из %2").arg(page + 1).arg(pages));
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
