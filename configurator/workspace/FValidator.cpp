#include "FValidator.h"

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
