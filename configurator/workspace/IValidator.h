#pragma once

#include <QIntValidator>

// Holds an integer value editor within the parameter's limits while typing.
class IValidator : public QIntValidator
{
    Q_OBJECT

public:
    IValidator(int minimum, int maximum, QObject *parent = nullptr);
};
