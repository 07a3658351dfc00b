#pragma once

#include <QDialog>
#include <QDomElement>
#include <QPoint>

#include <memory>

class HrcTree;
class WaitWin;

namespace Ui {
class TestParamWin;
}

// The main window's panel for trying one device parameter by hand: a name
// (any protocol name, optionally indexed), a data type, and a read or a write.
// A parameter of the description with the same type runs as an ordinary job on
// it (the tree shows the result too); anything else goes through the
// document's scratch element testParam and the test job. The main window's job
// slots put the result or error text into the value field (setResultText).
class TestParamWin : public QDialog
{
    Q_OBJECT

public:
    TestParamWin(QWidget *parent, HrcTree *tree, WaitWin *waitWin);
    ~TestParamWin() override;

    // The value field: a value read or written.
    void setResultText(const QString &text);
    QString resultText() const;
    // The status line under the value: how the last exchange ended, or why
    // nothing was started (error true: shown in red).
    void setStatusText(const QString &text, bool error);
    QString statusText() const;

    // Against the main window's right edge, offset pixels below its top.
    void placeBeside(int offset);
    // The main window moved to (x, y): keep the panel where it was against it.
    void followParent(int x, int y);

    // The job name: the name field, with "[index]" when the index is on.
    QString jobName() const;
    QString normalisedJobName() const;

signals:
    // Right before a job of the panel starts (operation: KavuComm's opRead or
    // opWrite), so the main window can lock its commands.
    void jobStarting(int operation);

public slots:
    void paramNameSelected(int index);
    void paramNameChanged(const QString &text);
    void onTestParamSettingsChanged(const QString &str);
    void onTestParamSettingsChanged();
    void on_checkBox_clicked();
    void on_checkBox_3_clicked();
    void on_readParamButton_clicked();
    void on_writeParamButton_clicked();
    void on_findParamButton_clicked();
    void on_testParamWinCloseButton_clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void startJob(int operation);
    // Why the value field's text is no value of the chosen type; empty when it is.
    QString valueFormProblem(const QString &type, const QString &text) const;
    void updateValueValidator(const QString &type);
    QRect parentGeometry() const;

    std::unique_ptr<Ui::TestParamWin> ui;
    HrcTree *tree;
    WaitWin *waitWin;
    QDomElement testElement;
    bool dragging = false;
    QPoint pressPos;
    QPoint parentOffset;
};
