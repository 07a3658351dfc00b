#pragma once

#include <QChar>
#include <QString>

// Texts that came from the device (its name, versions, any text parameter)
// on their way to places that would otherwise interpret them: a terminal,
// which runs escape sequences, and a spreadsheet, which runs formulas. Pure
// functions; safe from any thread.
class DeviceText
{
public:
    // The text with every control character except tab and line feed shown
    // as \xNN (ESC as "\x1b"), so that nothing the device sends can move the
    // cursor, recolour or retitle the user's terminal.
    static QString withEscapedControls(const QString &text);

    // One field of a CSV line with the given separator: quoted as RFC 4180
    // says when it holds the separator, a quote or a line break (quotes
    // doubled), and a text that a spreadsheet would take for a formula
    // (leading "=", "+", "-" or "@" and not a number) gets a leading "'".
    static QString csvField(const QString &text, QChar separator);
};
