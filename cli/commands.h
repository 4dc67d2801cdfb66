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
