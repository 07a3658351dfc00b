#pragma once

#include <QJsonValue>
#include <QString>

// Where hrc417 writes: results to standard output (text lines or JSON),
// errors and notes to standard error, and a progress bar on standard error
// only when that is a terminal (a script's log never gets one).
class CliOutput
{
public:
    explicit CliOutput(bool json);

    bool json() const { return jsonMode; }

    // Lines and messages may carry device texts: their control characters
    // (tab and line feed aside) are shown escaped, never sent to a terminal.
    void line(const QString &text) const;            // standard output
    void printJson(const QJsonValue &value) const;   // standard output, one document
    void error(const QString &text) const;           // "hrc417: " + text on standard error
    void note(const QString &text) const;            // standard error as it stands

    // The system error (errno) of the first write to standard output that
    // failed (a full disk, a closed pipe), 0 while every write went out.
    static int standardOutputError();

    // Draws "label [#####-----] done/total" over the previous bar.
    void progress(const QString &label, int done, int total);
    // Clears the bar, if one is shown.
    void endProgress();

private:
    bool jsonMode;
    bool terminal;
    bool barShown = false;
};
