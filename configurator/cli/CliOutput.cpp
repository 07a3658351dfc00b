#include "CliOutput.h"

#include "DeviceText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "StandardStreams.h"

#include <cstdio>

namespace {

// The first system error of a write to standard output (0: none yet).
int standardOutputFailure = 0;

void write(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    const int failure = StandardStreams::write(stream, bytes.constData(), size_t(bytes.size()));
    if (failure != 0 && stream == stdout && standardOutputFailure == 0)
        standardOutputFailure = failure;
}

} // namespace

CliOutput::CliOutput(bool json, Sink *caught)
    : jsonMode(json), sink(caught), terminal(!caught && StandardStreams::isTerminal(stderr))
{
}

int CliOutput::standardOutputError()
{
    if (standardOutputFailure == 0)
        standardOutputFailure = StandardStreams::flush(stdout);
    return standardOutputFailure;
}

QString CliOutput::systemErrorText(int error)
{
    return QString::fromLocal8Bit(StandardStreams::errorText(error).c_str());
}

void CliOutput::line(const QString &text) const
{
    if (sink)
        return sink->line(text);
    write(stdout, DeviceText::withEscapedControls(text) + QLatin1Char('\n'));
}

void CliOutput::printJson(const QJsonValue &value) const
{
    if (sink)
        return sink->json(value);
    QJsonDocument document = value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    write(stdout, QString::fromUtf8(document.toJson(QJsonDocument::Indented)));
}

void CliOutput::error(const QString &text) const
{
    if (sink)
        return sink->message(text);
    write(stderr, QStringLiteral("hrc417: ") + DeviceText::withEscapedControls(text) + QLatin1Char('\n'));
}

void CliOutput::note(const QString &text) const
{
    if (sink)
        return sink->message(text);
    write(stderr, DeviceText::withEscapedControls(text) + QLatin1Char('\n'));
}

void CliOutput::progress(const QString &label, int done, int total)
{
    if (sink)
        return sink->progress(label, done, total);
    if (!terminal || total <= 0)
        return;
    const int width = 30;
    const int filled = qBound(0, done * width / total, width);
    write(stderr, QStringLiteral("\r%1 [%2%3] %4/%5 ")
                      .arg(label, QString(filled, QLatin1Char('#')), QString(width - filled, QLatin1Char('-')))
                      .arg(done)
                      .arg(total));
    barShown = true;
}

void CliOutput::progressLines(const QStringList &lines)
{
    if (!terminal)
        return;
    // Back to the first line drawn last time, each line cleared as it is
    // drawn, and what a longer block left below cleared.
    QString block = linesShown > 0 ? QStringLiteral("\033[%1F").arg(linesShown) : QStringLiteral("\r");
    for (const QString &line : lines)
        block += QStringLiteral("\033[K") + DeviceText::withEscapedControls(line) + QLatin1Char('\n');
    block += QStringLiteral("\033[J");
    write(stderr, block);
    linesShown = lines.size();
}

void CliOutput::endProgress()
{
    if (linesShown > 0) {
        write(stderr, QStringLiteral("\033[%1F\033[J").arg(linesShown));
        linesShown = 0;
    }
    if (!barShown)
        return;
    write(stderr, QStringLiteral("\r\033[K"));
    barShown = false;
}
