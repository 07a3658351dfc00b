#pragma once

#include <QIntValidator>

// Holds an integer value editor within the parameter's limits while typing.
// No typed character is dropped: a text that is no integer, or one outside
// the limits, stays in the editor as Intermediate so that Enter can say why
// it is refused (HrcEditDelegate::refusalReason).
class IValidator : public QIntValidator
{
    Q_OBJECT

public:
    IValidator(int minimum, int maximum, QObject *parent = nullptr);

    State validate(QString &input, int &pos) const override;
};
