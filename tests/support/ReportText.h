// Reading a report back as its reader sees it: the PDF's text as pdftotext
// gives it (in the order it was drawn) and the HTML's table rows, so that a
// test can check that both hold the same rows. Qt Core only.
#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QVector>

#include <algorithm>

namespace reporttext {

inline QString collapsed(QString text)
{
    return text.replace(QRegularExpression(QStringLiteral("\\s+")), QStringLiteral(" ")).trimmed();
}

// The PDF's text (or of its page `page`, from 1), whitespace collapsed; ""
// when pdftotext failed.
inline QString pdfText(const QString &pdf, int page = 0)
{
    QStringList arguments{QStringLiteral("-raw")};
    if (page > 0)
        arguments << QStringLiteral("-f") << QString::number(page) << QStringLiteral("-l") << QString::number(page);
    QProcess p;
    p.start(QStringLiteral("pdftotext"), arguments << pdf << QStringLiteral("-"));
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return QString();
    // The font draws "ff", "fi" and "fl" as one glyph; a reader reads letters.
    return collapsed(QString::fromUtf8(p.readAllStandardOutput())
                         .replace(QChar(0xFB00), QStringLiteral("ff"))
                         .replace(QChar(0xFB01), QStringLiteral("fi"))
                         .replace(QChar(0xFB02), QStringLiteral("fl")));
}

inline int pdfPages(const QString &pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {pdf});
    p.waitForFinished(30000);
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(QString::fromUtf8(p.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// The first page as <stem>.png at 80 dpi; true when it was written.
inline bool firstPagePng(const QString &pdf, const QString &stem)
{
    return QProcess::execute(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("80"), QStringLiteral("-png"),
                                                          QStringLiteral("-singlefile"), QStringLiteral("-f"),
                                                          QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("1"),
                                                          pdf, stem})
           == 0;
}

// The cells of every table row of the HTML, tags stripped, entities read.
inline QVector<QStringList> htmlRows(const QString &html)
{
    QVector<QStringList> rows;
    static const QRegularExpression row(QStringLiteral("<tr>(.*?)</tr>"), QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression cell(QStringLiteral("<t[dh][^>]*>(.*?)</t[dh]>"),
                                         QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    for (auto r = row.globalMatch(html); r.hasNext();) {
        QStringList cells;
        const QString inside = r.next().captured(1);
        for (auto c = cell.globalMatch(inside); c.hasNext();) {
            QString t = c.next().captured(1).remove(tag);
            t.replace(QStringLiteral("&nbsp;"), QStringLiteral(" ")).replace(QStringLiteral("&lt;"), QStringLiteral("<"))
                .replace(QStringLiteral("&gt;"), QStringLiteral(">")).replace(QStringLiteral("&quot;"), QStringLiteral("\""))
                .replace(QStringLiteral("&#39;"), QStringLiteral("'")).replace(QStringLiteral("&amp;"), QStringLiteral("&"));
            cells << collapsed(t);
        }
        rows << cells;
    }
    return rows;
}

// The row of a parameter table (six cells) whose name cell is name.
inline QStringList parameterRow(const QVector<QStringList> &rows, const QString &name)
{
    for (const QStringList &r : rows) {
        if (r.size() == 6 && r.at(1) == name)
            return r;
    }
    return {};
}

// The text of each page of the PDF.
inline QStringList pdfPageTexts(const QString &pdf)
{
    QStringList pages;
    for (int page = 1, count = pdfPages(pdf); page <= count; ++page)
        pages << pdfText(pdf, page);
    return pages;
}

// Rows of the parameter tables of the HTML that no page of the PDF holds
// whole: all six cells, in order, on one page. A cell's text may wrap where
// it has no space (Qt 6 breaks after "/" in "лето/зима"), which the extracted
// text shows as a line end: rows and pages are compared without white space.
inline QStringList rowsMissingFromPdf(const QVector<QStringList> &rows, const QStringList &pageTexts)
{
    static const QRegularExpression space(QStringLiteral("\\s+"));
    QStringList pages;
    for (const QString &page : pageTexts)
        pages << QString(page).remove(space);
    QStringList missing;
    int checked = 0;
    for (const QStringList &r : rows) {
        if (r.size() != 6)
            continue;
        ++checked;
        const QString line = r.join(QLatin1Char(' '));
        const QString bare = QString(line).remove(space);
        if (std::none_of(pages.cbegin(), pages.cend(), [&](const QString &page) { return page.contains(bare); }))
            missing << line;
    }
    if (checked == 0)
        missing << QStringLiteral("(no parameter rows in the HTML)");
    return missing;
}

// Headings of the HTML that no page of the PDF holds together with the
// start of the table they head: its header row, if any, and the first cell
// of its first row.
inline QStringList headingsApartFromTables(const QString &html, const QStringList &pageTexts)
{
    static const QRegularExpression headed(
        QStringLiteral("<p[^>]*>([^<]+)</p>\\s*<table[^>]*>\\s*(?:<thead>(<tr>.*?</tr>)</thead>\\s*<tbody>\\s*)?(<tr>.*?</tr>)"),
        QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression pollTime(QStringLiteral(" ?\\(\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d\\)"));
    QStringList apart;
    int checked = 0;
    for (auto m = headed.globalMatch(html); m.hasNext(); ++checked) {
        const QRegularExpressionMatch match = m.next();
        QStringList together{collapsed(match.captured(1))};
        const QVector<QStringList> header = htmlRows(match.captured(2));
        if (!header.isEmpty())
            together << header.first().join(QLatin1Char(' '));
        // The first cell of the first row only: other cells may be values
        // read again for another copy of the report.
        const QVector<QStringList> first = htmlRows(match.captured(3));
        if (!first.isEmpty() && !first.first().isEmpty())
            together << first.first().first();
        // A heading's time of the last poll may have moved on between the two
        // copies (the poll goes on while they are made): times are left out.
        const QString text = together.join(QLatin1Char(' '));
        const QString timeless = QString(text).remove(pollTime);
        if (std::none_of(pageTexts.cbegin(), pageTexts.cend(),
                         [&](const QString &page) { return QString(page).remove(pollTime).contains(timeless); }))
            apart << text;
    }
    if (checked == 0)
        apart << QStringLiteral("(no headed tables in the HTML)");
    return apart;
}

} // namespace reporttext
