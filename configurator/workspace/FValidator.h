#pragma once

#include <QDoubleValidator>

// Holds a float value editor within the parameter's limits, two decimals,
// while typing. The decimal separator is the comma of the stored values; a
// typed decimal point (also the keypad's decimal key) becomes that comma.
// No typed character is dropped: a text that is no number, or one outside the
// limits, stays in the editor as Intermediate so that Enter can say why it is
// refused (HrcEditDelegate::refusalReason).
class FValidator : public QDoubleValidator
{
    Q_OBJECT

public:
    FValidator(double minimum, double maximum, QObject *parent = nullptr);

    State validate(QString &input, int &pos) const override;
};
