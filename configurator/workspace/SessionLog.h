#pragma once

#include <QStringList>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QToolButton;

// The log of this run's jobs: time, job, result, counts and the first
// problems, one block per job, for the engineer to look back at and copy.
// Opened from the tools menu and from the status bar; GUI thread.
class SessionLogWin : public QWidget
{
    Q_OBJECT

public:
    explicit SessionLogWin(QWidget *parent = nullptr);

    // Adds a finished job; details are the lines under its result.
    void add(const QString &job, const QString &result, const QStringList &details);
    QString text() const;

private:
    QPlainTextEdit *view;
};

// The main window's bottom line: the last job's result stays there until
// the next job starts, with the command that writes the values the device
// did not take again and the way to the session log.
class JobStatusBar : public QWidget
{
    Q_OBJECT

public:
    explicit JobStatusBar(QWidget *parent = nullptr);

    void showRunning(const QString &job);
    // differing: the parameters whose read-back showed another value.
    void showResult(const QString &result, bool problem, const QStringList &differing);
    QString resultText() const;

signals:
    void writeDifferingAgainRequested();
    void sessionLogRequested();

private:
    QLabel *result;
    QToolButton *retry;
    QToolButton *log;
};
