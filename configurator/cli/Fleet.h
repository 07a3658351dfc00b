#pragma once

struct CliOptions;
class CliOutput;

// hrc417 fleet FILE COMMAND ...: one command of hrc417 (info, read, diff,
// set, write, report) on every site of a fleet file, several sites at once
// with -j, and a table of the outcomes. Returns the worst site's status.
int runFleet(const CliOptions &options, CliOutput &out);
