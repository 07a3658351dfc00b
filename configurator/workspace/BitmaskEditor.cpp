#include "BitmaskEditor.h"

#include "ui_BitmaskEditor.h"

BitmaskEditor::BitmaskEditor(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::BitmaskEditor)
{
    ui->setupUi(this);
    // The editor covers the cell; without an opaque background the old cell
    // text would show through between the boxes.
    setAutoFillBackground(true);
}

BitmaskEditor::~BitmaskEditor() = default;

QCheckBox *BitmaskEditor::bitBox(int bit) const
{
    QCheckBox *const boxes[8] = {ui->b0_1, ui->b0_2, ui->b0_3, ui->b0_4,
                                 ui->b0_5, ui->b0_6, ui->b0_7, ui->b0_8};
    return bit >= 0 && bit < 8 ? boxes[bit] : nullptr;
}

void BitmaskEditor::setValue(uint value)
{
    for (int bit = 0; bit < 8; ++bit)
        bitBox(bit)->setChecked(value & (1u << bit));
}

uint BitmaskEditor::value() const
{
    uint value = 0;
    for (int bit = 0; bit < 8; ++bit) {
        if (bitBox(bit)->isChecked())
            value += 1u << bit;
    }
    return value;
}
