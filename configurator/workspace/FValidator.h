#pragma once

#include <QDoubleValidator>

// Holds a float value editor within the parameter's limits, two decimals,
// while typing. The decimal separator is the comma of the stored values.
class FValidator : public QDoubleValidator
{
    Q_OBJECT

public:
    FValidator(double minimum, double maximum, QObject *parent = nullptr);
};
