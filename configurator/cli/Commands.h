#pragma once

#include <QString>

struct CliOptions;
struct LinkCounts;
class CliOutput;

// Runs the command of options; returns the program's exit status. counts,
// when given, receives the link counters of the device's exchanges.
int runCommand(const CliOptions &options, CliOutput &out, LinkCounts *counts = nullptr);

// The program's help, or a command's (command empty: the program's).
QString helpText(const QString &command);
