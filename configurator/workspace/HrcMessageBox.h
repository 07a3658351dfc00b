#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class HrcMessageBox;
}

// The program's about box (one "Ok" button) and its yes/no warning before
// parameters are set to their factory values. closeMessageBox() follows an
// answer to the warning; isAccepted() tells which.
class HrcMessageBox : public QDialog
{
    Q_OBJECT

public:
    explicit HrcMessageBox(QWidget *parent = nullptr);
    ~HrcMessageBox() override;

    void showAbout();
    void showWarning();
    bool isAccepted() const { return accepted; }

public slots:
    void on_bYes_clicked();
    void on_bNo_clicked();
    void on_pushButton_clicked();

signals:
    void closeMessageBox();

private:
    std::unique_ptr<Ui::HrcMessageBox> ui;
    bool accepted = false;
};
