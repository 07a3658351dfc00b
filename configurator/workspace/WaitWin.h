#pragma once

#include <QDialog>
#include <QString>

#include <memory>

class HrcTree;
class KavuComm;
class QMovie;
class QTimer;

namespace Ui {
class WaitWin;
}

// Shown while an I/O job runs: an animated icon, a one-line message that
// follows the job, and a button that cancels it. Closes itself a second after
// the finish message; a failure to reach the device stays until closed.
class WaitWin : public QDialog
{
    Q_OBJECT

public:
    // tree: its I/O worker is the job the cancel button stops.
    WaitWin(QWidget *parent, HrcTree *tree);
    ~WaitWin() override;

    void showConnecting();
    void setMessage(const QString &text, bool finished);
    // A job that could not reach the device: the reason stays on screen, with
    // a button that closes the window, until the engineer has read it.
    void showFailure(const QString &reason);
    bool showsFailure() const { return failureShown; }
    QString message() const;

public slots:
    void closeWait();
    void on_canselIOButton_clicked();
    // Esc: cancels the running job after a confirmation instead of hiding.
    void reject() override;

private:
    KavuComm *job() const;

    std::unique_ptr<Ui::WaitWin> ui;
    HrcTree *tree;
    QMovie *movie;
    QTimer *timer;
    bool failureShown = false;
    bool cancelRequested = false;
};
