#pragma once

#include <QString>

struct CliOptions;
class CliOutput;

// Runs the command of options; returns the program's exit status.
int runCommand(const CliOptions &options, CliOutput &out);

// The program's help, or a command's (command empty: the program's).
QString helpText(const QString &command);
