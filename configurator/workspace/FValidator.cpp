#include "FValidator.h"

#include "ValueCodec.h"

#include <QLocale>

FValidator::FValidator(double minimum, double maximum, QObject *parent)
    : QDoubleValidator(minimum, maximum, 2, parent)
{
    // Values are stored and shown with a decimal comma ("0,10"), whatever the
    // machine's locale; the Russian locale reads exactly that form.
    QLocale russian(QLocale::Russian, QLocale::Russia);
    russian.setNumberOptions(QLocale::RejectGroupSeparator);
    setLocale(russian);
    setNotation(QDoubleValidator::StandardNotation);
}

QValidator::State FValidator::validate(QString &input, int &pos) const
{
    // The codec's rule for typed numbers: "." is the decimal comma. The
    // replacement keeps the length, so the cursor stays where it was.
    input = ValueCodec::withDecimalComma(input);
    const State state = QDoubleValidator::validate(input, pos);
    return state == Invalid ? Intermediate : state;
}
