#pragma once

#include <QJsonValue>
#include <QString>
#include <QStringList>

// Where hrc417 writes: results to standard output (text lines or JSON),
// errors and notes to standard error, and a progress bar on standard error
// only when that is a terminal (a script's log never gets one).
class CliOutput
{
public:
    // What a fleet's site writes, caught instead of reaching the streams;
    // called in the site's thread.
    class Sink
    {
    public:
        virtual ~Sink() = default;
        virtual void line(const QString &text) = 0;
        virtual void json(const QJsonValue &value) = 0;
        virtual void message(const QString &text) = 0; // an error or a note
        virtual void progress(const QString &label, int done, int total) = 0;
    };

    explicit CliOutput(bool json, Sink *sink = nullptr);

    bool json() const { return jsonMode; }

    // Lines and messages may carry device texts: their control characters
    // (tab and line feed aside) are shown escaped, never sent to a terminal.
    void line(const QString &text) const;            // standard output
    void printJson(const QJsonValue &value) const;   // standard output, one document
    void error(const QString &text) const;           // "hrc417: " + text on standard error
    void note(const QString &text) const;            // standard error as it stands

    // The system's error code of the first write to standard output that
    // failed (a full disk, a closed pipe), 0 while every write went out.
    static int standardOutputError();
    // The system's text for such an error code.
    static QString systemErrorText(int error);

    // Draws "label [#####-----] done/total" over the previous bar.
    void progress(const QString &label, int done, int total);
    // Draws lines (one per task under way) over those drawn before, on a
    // terminal only.
    void progressLines(const QStringList &lines);
    // Clears the bar or the lines, if shown.
    void endProgress();

private:
    bool jsonMode;
    Sink *sink;
    bool terminal;
    bool barShown = false;
    int linesShown = 0;
};
