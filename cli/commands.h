// The storage commands of vorlaxa-cli: info, pack and unpack.
#pragma once

#include "cli/request.h"

#include <QTextStream>

int ExecuteInfo(const CliRequest& r, QTextStream& out, QTextStream& err);
int ExecutePack(const CliRequest& r, QTextStream& out, QTextStream& err);
int ExecuteUnpack(const CliRequest& r, QTextStream& out, QTextStream& err);

// The header's date (days since 1899-12-30, the time of day as the fraction)
// as a local ISO date-time, or an empty string when the value is no date.
QString HeaderDateText(double days);

// print: loads the report into a report printer and prints it on the named
// printer (the default when none is named), with a progress line on err.
int ExecutePrint(const CliRequest& r, QTextStream& out, QTextStream& err);
