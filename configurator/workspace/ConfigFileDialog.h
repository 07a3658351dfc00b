#pragma once

#include <QString>

class QWidget;

// The file chooser of "Сохранить" for configuration files.
namespace ConfigFileDialog {

// Asks for the name to save under, starting in the home folder. A name typed
// without an extension gets ".hrc417", so that "Открыть" (which lists only
// *.hrc417) finds the file again; the question whether to replace an
// existing file is asked for that full name. "" when the user cancelled.
QString saveFileName(QWidget *parent, const QString &caption, const QString &filter);

} // namespace ConfigFileDialog
