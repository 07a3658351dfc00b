// Reading a report back as its reader sees it: the PDF's text as pdftotext
// gives it (in the order it was drawn) and the HTML's table rows, so that a
// test can check that both hold the same rows. Qt Core only.
#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QVector>

namespace reporttext {

inline QString collapsed(QString text)
{
    return text.replace(QRegularExpression(QStringLiteral("\\s+")), QStringLiteral(" ")).trimmed();
}

// The PDF's text, whitespace collapsed; "" when pdftotext failed.
inline QString pdfText(const QString &pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-raw"), pdf, QStringLiteral("-")});
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

// Rows of the parameter tables of the HTML that the PDF's text lacks: the
// cells from the name on, in order (a caption of two lines may be split by
// a page's end, which puts the footer between its lines).
inline QStringList rowsMissingFromPdf(const QVector<QStringList> &rows, const QString &pdfText)
{
    QStringList missing;
    int checked = 0;
    for (const QStringList &r : rows) {
        if (r.size() != 6)
            continue;
        ++checked;
        const QString line = r.mid(1).join(QLatin1Char(' '));
        if (!pdfText.contains(line))
            missing << line;
    }
    if (checked == 0)
        missing << QStringLiteral("(no parameter rows in the HTML)");
    return missing;
}

} // namespace reporttext
