#pragma once

#include <QWidget>

#include <memory>

class QCheckBox;

namespace Ui {
class BitmaskEditor;
}

// Eight check boxes for a byte of flags: "b0_1" is bit 0, "b0_8" bit 7.
class BitmaskEditor : public QWidget
{
    Q_OBJECT

public:
    explicit BitmaskEditor(QWidget *parent = nullptr);
    ~BitmaskEditor() override;

    void setValue(uint value);
    uint value() const;
    QCheckBox *bitBox(int bit) const;

private:
    std::unique_ptr<Ui::BitmaskEditor> ui;
};
