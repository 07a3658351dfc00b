#include "IValidator.h"

IValidator::IValidator(int minimum, int maximum, QObject *parent)
    : QIntValidator(minimum, maximum, parent)
{
}

QValidator::State IValidator::validate(QString &input, int &pos) const
{
    const State state = QIntValidator::validate(input, pos);
    return state == Invalid ? Intermediate : state;
}
