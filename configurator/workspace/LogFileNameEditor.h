#pragma once

#include <QWidget>

#include <memory>

class QLineEdit;

namespace Ui {
class LogFileNameEditor;
}

// The polling log's file name: a line edit and a "..." button that opens a
// save-file chooser.
class LogFileNameEditor : public QWidget
{
    Q_OBJECT

public:
    explicit LogFileNameEditor(QWidget *parent = nullptr);
    ~LogFileNameEditor() override;

    QString text() const;
    void setText(const QString &text);
    QLineEdit *lineEdit() const;

public slots:
    void on_pushButton_clicked();

private:
    std::unique_ptr<Ui::LogFileNameEditor> ui;
};
