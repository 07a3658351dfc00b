#pragma once

#include <QString>

// The message shown to the user for a result code of an exchange: the protocol
// library's codes, the configurator's own codes, and "Ошибка обмена (%1)" with
// the code for every code without a text of its own (0 included). Every text
// passes through the run-time translator (context "ErrorText"). Stateless; safe
// from any thread.
QString errorText(int code);
// The same, with a lost port (codePortLost) named as port: for a program that
// talks to several ports at once (hrc417's fleet), where the settings
// published last are another site's.
QString errorText(int code, const QString &port);

// "Связь потеряна: адаптер отключён (port)": the text of codePortLost (the
// port is gone), port as the engineer named it. errorText(codePortLost) names the
// port of the settings published last.
QString portLostText(const QString &port);

// The text of a parameter's outcome: errorText(code), except for a value the
// read-back found different ("Прибор хранит X вместо Y", deviceHolds and
// written as shown to the engineer).
QString outcomeText(int code, const QString &deviceHolds, const QString &written);
